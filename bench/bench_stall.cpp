// SPDX-License-Identifier: MIT
// Prints how the real program without windows behaves when nobody reads its standard output
// (the traffic log) while a host floods its virtual line: word reads in mode rack, or empty
// frames (CR LF alone) echoed in mode NONE. For each: the replies per second the host still
// gets, and the time from SIGTERM to the program's end, the worst of several runs. The same
// runs with the log going to /dev/null (a reader that takes everything at once) tell what the
// unread log itself adds.
//   bench_stall [runs=5] [flood ms=3000] [requests/s=0: as fast as the line takes them]
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace
{

using Clock = std::chrono::steady_clock;

// What a host floods the line with, in which mode, and the size of one reply.
struct Flood {
    const char *name;
    const char *mode;
    QByteArray request;
    double replyBytes;
};
const Flood Floods[] = {
    {"word reads", "rack",
     "\x05"
     "000000WR0000320250\r\n",
     20}, // STX, 6 + 8 characters, ETX, sum, CR LF
    {"CR LF alone", "NONE", "\r\n", 2},
};

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The program with its standard output on a pipe whose read end the bench holds and never
// reads (or on /dev/null when unreadPipe is -1), standard error on /dev/null.
pid_t startProgram(const QString &link, const Flood &flood, int unreadPipe)
{
    const QByteArray port = "1=pty:" + QFile::encodeName(link);
    const char *arguments[] = {PORTWREN_PROGRAM, "--no-window", "--port",
                               port.constData(), "--mode",      flood.mode,
                               "--frame-end",    "crlf",        nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (unreadPipe >= 0)
        posix_spawn_file_actions_adddup2(&actions, unreadPipe, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, PORTWREN_PROGRAM, &actions, nullptr, const_cast<char **>(arguments),
                    environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// A host that sends requests, as fast as the line takes them or at a rate, and reads every
// reply, until stopped; counts the replies' bytes.
void hostFlooding(const QString &link, const QByteArray &request, int rate,
                  const std::atomic<bool> &stop, std::atomic<qint64> &received)
{
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    const QByteArray requests = request.repeated(64);
    qsizetype at = 0;
    char buffer[65536];
    const Clock::time_point start = Clock::now();
    qint64 sent = 0;
    while (!stop) {
        const bool due = rate <= 0 || sent < qint64(msSince(start) / 1000 * rate) * request.size();
        pollfd pfd{fd, short(POLLIN | (due ? POLLOUT : 0)), 0};
        if (::poll(&pfd, 1, due ? 50 : 1) <= 0)
            continue;
        if (pfd.revents & POLLIN) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            received += std::max<ssize_t>(n, 0);
        }
        if (pfd.revents & POLLOUT) {
            const ssize_t n = ::write(fd, requests.constData() + at, size_t(requests.size() - at));
            at = (at + std::max<ssize_t>(n, 0)) % requests.size();
            sent += std::max<ssize_t>(n, 0);
        }
        if (pfd.revents & (POLLERR | POLLHUP))
            break;
    }
    ::close(fd);
}

struct RunFigures {
    double repliesPerSecond = 0;
    double endMs = -1;
};

RunFigures oneRun(const Flood &flood, int floodMs, int rate, bool logUnread)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("com1"));
    int unread[2] = {-1, -1};
    if (logUnread && ::pipe2(unread, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = startProgram(link, flood, unread[1]);
    if (logUnread)
        ::close(unread[1]);
    if (pid <= 0) {
        if (logUnread)
            ::close(unread[0]);
        std::printf("cannot start %s\n", PORTWREN_PROGRAM);
        return {};
    }
    const Clock::time_point started = Clock::now();
    while (!QFileInfo(link).isSymLink() && msSince(started) < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::atomic<bool> stop = false;
    std::atomic<qint64> received = 0;
    std::thread host(hostFlooding, link, flood.request, rate, std::cref(stop), std::ref(received));
    std::this_thread::sleep_for(std::chrono::milliseconds(floodMs));
    RunFigures figures;
    figures.repliesPerSecond = double(received) / flood.replyBytes / (floodMs / 1000.0);

    const Clock::time_point signalled = Clock::now();
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    figures.endMs = msSince(signalled);
    stop = true;
    host.join();
    if (logUnread)
        ::close(unread[0]);
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int floodMs = argc > 2 ? std::max(100, atoi(argv[2])) : 3000;
    const int rate = argc > 3 ? atoi(argv[3]) : 0;
    for (const Flood &flood : Floods) {
        for (const bool logUnread : {true, false}) {
            const char *log = logUnread ? "standard output nobody reads" : "log to /dev/null";
            double worstEnd = 0, slowestReplies = 1e12;
            for (int run = 0; run < runs; ++run) {
                const RunFigures figures = oneRun(flood, floodMs, rate, logUnread);
                worstEnd = std::max(worstEnd, figures.endMs);
                slowestReplies = std::min(slowestReplies, figures.repliesPerSecond);
            }
            std::printf("%s, a host sending %s %s: worst SIGTERM to end %.1f ms over %d runs "
                        "(target <= 100 ms); slowest %.0f replies/s\n",
                        log, flood.name,
                        rate > 0 ? qPrintable(QStringLiteral("at %1/s").arg(rate)) : "all out",
                        worstEnd, runs, slowestReplies);
        }
    }
    return 0;
}
