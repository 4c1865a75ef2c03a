// bussim: the controller network on a pseudo-terminal, for rehearsing,
// demonstrating and testing the tools without a house full of controllers.
#include "options.h"
#include "ptyserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int SignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(SignalPipe[1], &byte, 1);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bussim"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    bussim::Options options;
    QString error;
    if (!bussim::ParseOptions(app.arguments(), &options, &error)) {
        err << error << Qt::endl;
        return 2;
    }
    if (options.helpShown) {
        out << bussim::HelpText();
        return 0;
    }

    // SIGINT and SIGTERM end the event loop through a pipe, so the network is
    // saved by ordinary code, not inside a signal handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0) {
        err << "bussim: cannot set up signal handling" << Qt::endl;
        return 1;
    }
    QSocketNotifier signalNotifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app,
                     [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    bussim::FrameLog log;
    if (!options.logPath.isEmpty() && !log.open(options.logPath, &error)) {
        err << "bussim: cannot open the log " << error << Qt::endl;
        return 1;
    }
    bussim::PtyServer server(options.network);
    server.setWireTime(options.wireTime);
    server.setLog(&log);
    if (!server.open(&error)) {
        err << "bussim: cannot open a pseudo-terminal: " << error << Qt::endl;
        return 1;
    }
    // The link first: the printed path tells a waiting caller everything is ready.
    if (!options.linkPath.isEmpty()) {
        // Only an old link is replaced; a file of any other kind is not ours to remove.
        const QFileInfo existing(options.linkPath);
        if (existing.isSymLink())
            QFile::remove(options.linkPath);
        if (!QFile::link(server.slavePath(), options.linkPath)) {
            err << "bussim: cannot make the link " << options.linkPath << Qt::endl;
            return 1;
        }
    }
    out << server.slavePath() << Qt::endl;

    const int code = app.exec();

    if (!options.linkPath.isEmpty() &&
        QFileInfo(options.linkPath).symLinkTarget() == server.slavePath())
        QFile::remove(options.linkPath);
    if (!options.networkPath.isEmpty() && !options.network.save(options.networkPath, &error)) {
        err << "bussim: the network was not saved: " << error << Qt::endl;
        return 1;
    }
    return code;
}
