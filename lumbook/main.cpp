#include "busport.h"
#include "lumbookwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SerialBusPort port;
    port.open(SerialBusPort::DefaultDevice()); // a failure is shown in the window
    LumbookWindow window(&port);
    window.show();
    const int result = app.exec();
    port.close();
    return result;
}
