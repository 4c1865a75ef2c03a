#include "probewindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ProbeWindow window;
    window.show();
    return QApplication::exec();
}
