#pragma once

#include <QString>

// The reason the system gives for a failed file or device operation, in the
// installer's words. The library's own texts (from the C library's error
// names, in the user's locale, or its own English ones) are matched once here;
// a text that matches nothing known is shown as the system gave it.
QString SystemReason(const QString &systemText);
