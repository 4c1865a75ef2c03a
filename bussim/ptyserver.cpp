#include "ptyserver.h"

#include "monotonicclock.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace bussim {

namespace {
QString SystemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1StringView(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

PtyServer::PtyServer(Network &network, QObject *parent)
    : QObject(parent), m_network(network), m_simulator(network)
{}

PtyServer::~PtyServer()
{
    delete m_notifier;
    delete m_closeNotifier;
    if (m_closes >= 0)
        ::close(m_closes);
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyServer::open(QString *error)
{
    const auto fail = [error](const char *what) {
        if (error)
            *error = SystemError(what);
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return fail("posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return fail("grantpt/unlockpt");
    const char *name = ptsname(m_master);
    if (!name)
        return fail("ptsname");
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return fail("open slave");
    // No echo, no line editing, no translation of CR or LF: the bus is binary.
    termios raw{};
    if (tcgetattr(m_slave, &raw) != 0)
        return fail("tcgetattr");
    cfmakeraw(&raw);
    cfsetispeed(&raw, B19200);
    cfsetospeed(&raw, B19200);
    if (tcsetattr(m_slave, TCSANOW, &raw) != 0)
        return fail("tcsetattr");
    // A tool takes its port for itself (exclusive mode) and gives it back as
    // it closes it; a tool that is killed gives nothing back. On a serial
    // device the mode ends with the device's last close, which never comes
    // here (the slave side is held open above, and the master side keeps the
    // device alive anyway), so every later tool would find the port taken.
    // The mode is ended here instead whenever the device is closed, by a
    // tool on purpose or by its death: while a tool holds the port nobody
    // else has it open, but for root, whom the mode does not stop anyway.
    m_closes = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_closes < 0 || inotify_add_watch(m_closes, name, IN_CLOSE) < 0)
        return fail("inotify");
    m_closeNotifier = new QSocketNotifier(m_closes, QSocketNotifier::Read);
    connect(m_closeNotifier, &QSocketNotifier::activated, this, &PtyServer::releasePort);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyServer::readMaster);
    return true;
}

void PtyServer::readMaster()
{
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return; // EAGAIN: all taken
        if (m_parser.inFrame() && m_sinceLastByte.isValid() &&
            m_sinceLastByte.elapsed() > FrameTimeoutMs)
            m_parser.reset();
        m_sinceLastByte.start();
        for (ssize_t i = 0; i < n; ++i) {
            if (auto request = m_parser.feed(static_cast<quint8>(buffer[i])))
                handle(*request);
        }
    }
}

void PtyServer::releasePort()
{
    // Each event is a close of the device (its kind does not matter).
    char events[4096];
    while (::read(m_closes, events, sizeof events) > 0) {
    }
    ::ioctl(m_slave, TIOCNXCL);
}

void PtyServer::handle(const Request &request)
{
    if (m_log)
        m_log->frameIn(request.wire, request.address, request.command, request.checksumOk);
    emit requestReceived(request.wire, request.checksumOk);
    const Response response = m_simulator.respond(request);
    const auto tell = [this, &request](const QString &event) {
        if (m_log)
            m_log->event(request.address, event);
        emit eventLogged(request.address, event);
    };
    if (!response.event.isEmpty())
        tell(response.event);
    // A fault drawn at random is told like any other event, so that a test or
    // an installer can count what the bus did to the replies.
    if (!response.fault.isEmpty())
        tell(QStringLiteral("fault: ") + response.fault);
    // Each piece waits for its own pause after the one before it (two pauses
    // of a minute at most).
    int due = 0;
    for (const Piece &piece : response.pieces) {
        due += piece.delayMs;
        if (due == 0) {
            send(piece.bytes);
            continue;
        }
        QTimer::singleShot(due, Qt::PreciseTimer, this,
                           [this, bytes = piece.bytes] { send(bytes); });
    }
}

void PtyServer::send(const QByteArray &bytes)
{
    // Logged once the bytes are out, with the times of the first write and
    // of the return of the last: the tool hears the reply's end then.
    const qint64 firstUs = MonotonicMicroseconds();
    writeOut(bytes);
    if (m_log)
        m_log->frameOut(bytes, firstUs, MonotonicMicroseconds());
}

void PtyServer::writeOut(const QByteArray &bytes)
{
    if (!m_wireTime) {
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + written,
                                      static_cast<size_t>(bytes.size() - written));
            if (n <= 0)
                return; // nobody reads the bus: the bytes are lost, as on a real line
            written += n;
        }
        return;
    }
    // One byte per byte time, each to an absolute deadline so no error builds
    // up; nothing is waited after the last.
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            next.tv_nsec += ByteTimeNs;
            while (next.tv_nsec >= 1'000'000'000L) {
                next.tv_nsec -= 1'000'000'000L;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
        if (::write(m_master, bytes.constData() + i, 1) != 1)
            return;
    }
}

} // namespace bussim
