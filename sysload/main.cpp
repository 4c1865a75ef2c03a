#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(SysloadText::ProgramTitle());
    MainWindow window;
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
