// The smallest Qt Widgets program with a window: one label. The bench starts
// it exactly as it starts the tools, driver and all, so the time until its
// window shows is what the machine and Qt take for any window; a tool's start
// is measured against it.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Label1"));
    // The bench driver waits for the first paint of the window of this name.
    label.setObjectName(QStringLiteral("Form1"));
    label.show();
    return app.exec();
}
