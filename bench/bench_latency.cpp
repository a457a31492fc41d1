// Prints the reply latency over a virtual line: a host on the far end sends word-read requests
// to the rack simulator (frame end by time) and times each from the request's last byte written
// to the reply's last byte read. The quiet time the receive path waits by design is subtracted;
// what remains is the program's own overhead.
//   bench_latency [requests=50]
#include "BenchSupport.h"
#include "protocol/SumCheck.h"
#include "ui/TrafficLogView.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

int openHost(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw{};
    if (fd >= 0 && ::tcgetattr(fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    return fd;
}

// Median overhead in milliseconds of `requests` exchanges with the given quiet time.
double medianOverhead(const QString &link, int quietMs, int requests)
{
    Program program;
    LineSession &session = program.session;
    session.chooseMode(SimMode::Rack); // computer link, frame end by time
    session.setQuietTimeText(QString::number(quietMs));
    session.open();
    const int host = openHost(link);
    const QByteArray body = "000000WR00003202";
    const QByteArray request = "\x05" + body + FCS(body);
    const int replySize = 1 + 6 + 8 + 1 + 2;
    QList<double> overheads;
    for (int i = 0; i < requests; ++i) {
        QElapsedTimer timer;
        (void)::write(host, request.constData(), size_t(request.size()));
        timer.start();
        int got = 0;
        QEventLoop loop;
        QSocketNotifier arrived(host, QSocketNotifier::Read);
        QObject::connect(&arrived, &QSocketNotifier::activated, &loop, [&] {
            char buffer[256];
            ssize_t n;
            while ((n = ::read(host, buffer, sizeof buffer)) > 0)
                got += int(n);
            if (got >= replySize)
                loop.quit();
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        overheads << timer.nsecsElapsed() / 1e6 - quietMs;
        program.window.trafficLog()->clear();
    }
    ::close(host);
    session.close();
    std::sort(overheads.begin(), overheads.end());
    return overheads[overheads.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    useOffscreenUnlessSet();
    QApplication app(argc, argv);
    installFontSubstitutions();
    const int requests = argc > 1 ? atoi(argv[1]) : 50;
    QTemporaryDir dir;
    const QString link = mapCom1ToVirtualLine(dir);
    for (int quiet : {0, 200})
        std::printf("quiet time %3d ms: median reply overhead %.2f ms over %d requests "
                    "(target <= 2 ms)\n",
                    quiet, medianOverhead(link, quiet, requests), requests);
    return 0;
}
