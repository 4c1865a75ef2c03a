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
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

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
    if (options.versionShown) {
        out << "bussim " << UMD_VERSION << Qt::endl;
        return 0;
    }

    // SIGINT, SIGTERM and SIGHUP (the terminal closed) end the event loop
    // through a pipe, so the network is saved by ordinary code, not inside a
    // signal handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0) {
        err << "bussim: cannot set up signal handling" << Qt::endl;
        return 1;
    }
    QSocketNotifier signalNotifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app,
                     [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    // Unless started to outlive its terminal (nohup).
    if (std::signal(SIGHUP, OnSignal) == SIG_IGN)
        std::signal(SIGHUP, SIG_IGN);

    bussim::FrameLog log;
    if (!options.logPath.isEmpty() && !log.open(options.logPath, &error)) {
        err << "bussim: cannot open the log " << error << Qt::endl;
        return 1;
    }
    bussim::Network played = bussim::PlayedNetwork(options);
    std::vector<std::unique_ptr<bussim::PtyServer>> servers;
    for (int i = 0; i < options.ports; ++i) {
        auto server = std::make_unique<bussim::PtyServer>(played);
        server->setWireTime(options.wireTime);
        server->setLog(&log);
        if (!server->open(&error)) {
            err << "bussim: cannot open a pseudo-terminal: " << error << Qt::endl;
            return 1;
        }
        servers.push_back(std::move(server));
    }
    // The links first: the printed paths tell a waiting caller everything is ready.
    for (qsizetype i = 0; i < options.linkPaths.size(); ++i) {
        const QString &link = options.linkPaths[i];
        // Only an old link is replaced; a file of any other kind is not ours to remove.
        if (QFileInfo(link).isSymLink())
            QFile::remove(link);
        if (!QFile::link(servers[static_cast<size_t>(i)]->slavePath(), link)) {
            err << "bussim: cannot make the link " << link << Qt::endl;
            return 1;
        }
    }
    for (const auto &server : servers)
        out << server->slavePath() << Qt::endl;

    const int code = app.exec();

    for (qsizetype i = 0; i < options.linkPaths.size(); ++i) {
        if (QFileInfo(options.linkPaths[i]).symLinkTarget() ==
            servers[static_cast<size_t>(i)]->slavePath())
            QFile::remove(options.linkPaths[i]);
    }
    // What the network is, without what this run's command line made of it.
    options.network.setContents(played);
    if (!options.networkPath.isEmpty() && !options.network.save(options.networkPath, &error)) {
        err << "bussim: the network was not saved: " << error << Qt::endl;
        return 1;
    }
    return code;
}
