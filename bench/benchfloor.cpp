// The machine's floor for the bench: what this machine gives a program that
// does nothing but wait, on the same kernel timers and the same kind of
// pseudo-terminal the tools and bussim go through. Prints one interval per
// line, in milliseconds, once all are taken.
//
//   benchfloor restarted PERIOD_MS COUNT
//       a timer started again at each tick, as a wait for a reply is
//   benchfloor repeating PERIOD_MS COUNT
//       a timer that keeps its own period, as a write run's tick does
//   benchfloor reply QUIET_MS TICK_MS COUNT
//       the chain of a read run: a byte written on the master side of a
//       pseudo-terminal wakes a second process on the other side, which waits
//       the end-of-burst quiet time, then the tick, and writes a byte back.
//       Each interval runs from the return of the first write to the arrival
//       of the byte back, as bussim's log times a reply and the next request.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

// bussim answers a read request with 13 bytes at 19200 baud; its last byte
// goes out 12 byte times after the first. The floor's bus side holds back as
// long before it answers, so that the other side is asleep again by then.
constexpr long ReplyWireNs = 12L * 10 * 1'000'000'000 / 19200;

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "benchfloor: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

double NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

timespec Span(double ms)
{
    const auto ns = static_cast<long long>(ms * 1e6);
    return {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
}

int NewTimer()
{
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (fd < 0)
        Fail("timerfd_create");
    return fd;
}

// One period from now; with `repeat`, every period after that as well.
void Arm(int timer, double ms, bool repeat)
{
    itimerspec when{};
    when.it_value = Span(ms);
    if (repeat)
        when.it_interval = when.it_value;
    if (timerfd_settime(timer, 0, &when, nullptr) != 0)
        Fail("timerfd_settime");
}

void AwaitTick(int timer)
{
    std::uint64_t expirations = 0;
    if (::read(timer, &expirations, sizeof expirations) != sizeof expirations)
        Fail("read timer");
}

void AwaitInput(int fd)
{
    pollfd wanted{fd, POLLIN, 0};
    while (::poll(&wanted, 1, -1) != 1)
        if (errno != EINTR)
            Fail("poll");
}

std::vector<double> Timer(double periodMs, bool repeating, int count)
{
    std::vector<double> intervals;
    const int timer = NewTimer();
    double last = NowMs();
    if (repeating)
        Arm(timer, periodMs, true);
    for (int i = 0; i < count; ++i) {
        if (!repeating)
            Arm(timer, periodMs, false);
        AwaitTick(timer);
        const double now = NowMs();
        intervals.push_back(now - last);
        last = now;
    }
    return intervals;
}

// The tool's side of the read chain: wake on the byte, wait the quiet time
// and the tick, each on a timer started afresh, and answer.
void ToolSide(int port, double quietMs, double tickMs, int count)
{
    const int timer = NewTimer();
    char buffer[64];
    for (int i = 0; i < count; ++i) {
        AwaitInput(port);
        if (::read(port, buffer, sizeof buffer) <= 0)
            Fail("read pty");
        Arm(timer, quietMs, false);
        AwaitTick(timer);
        Arm(timer, tickMs, false);
        AwaitTick(timer);
        if (::write(port, "\x55", 1) != 1)
            Fail("write pty");
    }
}

std::vector<double> Reply(double quietMs, double tickMs, int count)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        Fail("posix_openpt");
    const char *name = ptsname(master);
    const int slave = name ? ::open(name, O_RDWR | O_NOCTTY) : -1;
    if (slave < 0)
        Fail("open pty");
    termios raw{};
    if (tcgetattr(slave, &raw) != 0)
        Fail("tcgetattr");
    cfmakeraw(&raw);
    cfsetispeed(&raw, B19200);
    cfsetospeed(&raw, B19200);
    if (tcsetattr(slave, TCSANOW, &raw) != 0)
        Fail("tcsetattr");

    std::fflush(nullptr);
    const pid_t tool = fork();
    if (tool < 0)
        Fail("fork");
    if (tool == 0) {
        ::close(master);
        ToolSide(slave, quietMs, tickMs, count);
        _exit(0);
    }
    std::vector<double> intervals;
    const timespec hold{0, ReplyWireNs};
    char back[64];
    for (int i = 0; i < count; ++i) {
        clock_nanosleep(CLOCK_MONOTONIC, 0, &hold, nullptr);
        if (::write(master, "\xAA", 1) != 1)
            Fail("write pty");
        const double sent = NowMs();
        AwaitInput(master);
        if (::read(master, back, sizeof back) <= 0)
            Fail("read pty");
        intervals.push_back(NowMs() - sent);
    }
    int status = 0;
    if (waitpid(tool, &status, 0) != tool || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail("the tool's side failed");
    return intervals;
}

} // namespace

int main(int argc, char *argv[])
{
    const auto number = [&](int i) {
        return i < argc ? std::atof(argv[i]) : 0.0;
    };
    const char *kind = argc > 1 ? argv[1] : "";
    std::vector<double> intervals;
    if (std::strcmp(kind, "reply") == 0 && argc == 5 && number(2) > 0 && number(3) > 0)
        intervals = Reply(number(2), number(3), int(number(4)));
    else if ((std::strcmp(kind, "restarted") == 0 || std::strcmp(kind, "repeating") == 0) &&
             argc == 4 && number(2) > 0)
        intervals = Timer(number(2), std::strcmp(kind, "repeating") == 0, int(number(3)));
    else {
        std::fprintf(stderr, "usage: benchfloor restarted|repeating PERIOD_MS COUNT\n"
                             "       benchfloor reply QUIET_MS TICK_MS COUNT\n");
        return 2;
    }
    for (const double ms : intervals)
        std::printf("%.3f\n", ms);
    return 0;
}
