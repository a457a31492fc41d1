// SPDX-License-Identifier: MIT
// The built program over virtual lines. Without windows it answers a host's word read and word
// write byte for byte, writes the traffic log oldest line first on standard output and dumps
// the registers at the end; a standard output nobody reads holds up neither the line nor the
// end; a termination signal ends it, with windows (Qt's own options taken) or without, as END
// does; a failure ends it with its status and a note on standard error, and opens nothing.
// A control program drives a run without windows over its socket while a host is answered.
#include "ControlEnd.h"
#include "HostEnd.h"
#include "TestHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// One run of the program, its Com1: linked in a temporary folder ("LINK" in its arguments),
// with settings of its own.
struct ProgramRun {
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("com1"));
    QProcess program;
    QByteArray output, errors;

    // "FIFO" in the arguments is a FIFO made in the folder, which nobody reads; "DIR" is the
    // folder. No port's device is named but by the arguments.
    void start(QStringList arguments)
    {
        arguments.replaceInStrings(QStringLiteral("LINK"), link);
        arguments.replaceInStrings(QStringLiteral("DIR"), dir.path());
        if (arguments.contains(QStringLiteral("FIFO"))) {
            ::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600);
            arguments.replaceInStrings(QStringLiteral("FIFO"), path("fifo"));
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("c")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path()); // Qt asks for one
        for (int port = 1; port <= 6; ++port)
            environment.remove(QStringLiteral("PORTWREN_COM%1").arg(port));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PORTWREN_PROGRAM), arguments);
    }
    ~ProgramRun()
    {
        program.kill();
        program.waitForFinished();
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    bool linked() const { return QFileInfo(link).isSymLink(); }
    void collect()
    {
        output += program.readAllStandardOutput();
        errors += program.readAllStandardError();
    }
    // The exit status once the program has ended by itself, or -1.
    int status()
    {
        const bool ended = program.waitForFinished(10000);
        collect();
        return ended && program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }
    // "portwren: ready" on standard error: the port is open, the control socket listens.
    bool waitReady()
    {
        return QTest::qWaitFor([this] {
            collect();
            return errors.contains("portwren: ready\n");
        });
    }
    int endWith(int signalNumber)
    {
        ::kill(pid_t(program.processId()), signalNumber);
        return status();
    }
    // The traffic log's lines without their "[HH:mm:ss]" stamps, which must be there.
    QStringList logLines() const
    {
        QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
        lines.removeLast();
        for (QString &line : lines) {
            const QString bare = withoutStamp(line);
            line = bare.size() < line.size() ? bare : QStringLiteral("no stamp: ") + line;
        }
        return lines;
    }
};

} // namespace

class ProgramRunTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answersAHostWithoutWindows();
    void signalsEndAsEnd_data();
    void signalsEndAsEnd();
    void failuresEndWithAStatusAndANote_data();
    void failuresEndWithAStatusAndANote();
    void logNobodyReadsHoldsUpNeitherLineNorEnd();
    void lostPortEndsTheRun();
    void jsonLogReaderThatFellBehindGetsANoteEvent();
    void controlDrivesARunWithoutWindows();
    void faultsReachTheHost_data();
    void faultsReachTheHost();
};

void ProgramRunTest::answersAHostWithoutWindows()
{
    ProgramRun run;
    run.start({"--no-window", "--port", "1=pty:LINK", "--mode", "rack", "--quiet-time", "20",
               "--register-dump", run.path("dump")});
    QTRY_VERIFY_WITH_TIMEOUT(run.linked(), 10000);
    HostEnd host(run.link);
    const QByteArray wordRead("\x05"
                              "000000WR0000320250");
    const QByteArray readReply("\x02"
                               "00000000020001\x03"
                               "A6");
    const QByteArray wordWrite("\x05"
                               "000000WW0000000200050006DB");
    host.send(wordRead);
    QTRY_COMPARE(host.collect(), readReply);
    host.send(wordWrite);
    QTRY_COMPARE(host.collect(), readReply + "\x06"
                                             "000000");

    QCOMPARE(run.endWith(SIGTERM), 0);
    QVERIFY(!run.linked());
    // One line per event, the control characters of the line's bytes escaped.
    QCOMPARE(run.logLines(),
             QStringList({"----- OPEN  ----- Protcol=9600,E,8,1", "●\\x05000000WR0000320250",
                          "  <<ENQを受信しました>>", "  <<データ返送>>",
                          "◎\\x0200000000020001\\x03A6", "●\\x05000000WW0000000200050006DB",
                          "  <<ENQを受信しました>>", "  <<ACK返送>>", "◎\\x06000000"}));
    QFile dump(run.path("dump"));
    QVERIFY(dump.open(QIODevice::ReadOnly));
    const QList<QByteArray> words = dump.readAll().split('\n');
    QCOMPARE(words.size(), 129); // 128 lines, each ended
    QCOMPARE(words.mid(0, 2), QList<QByteArray>({"D0000 0005", "D0001 0006"}));
    QCOMPARE(words.mid(32, 2), QList<QByteArray>({"D0032 0002", "D0033 0001"}));
    QCOMPARE(words.at(127), QByteArray("D0127 0000"));
}

void ProgramRunTest::signalsEndAsEnd_data()
{
    QTest::addColumn<QStringList>("run");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("without windows, INT") << QStringList{"--no-window"} << SIGINT;
    QTest::newRow("without windows, QUIT") << QStringList{"--no-window"} << SIGQUIT;
    QTest::newRow("window, TERM") << QStringList{"--open"} << SIGTERM;
    QTest::newRow("window with Qt's options, HUP")
        << QStringList{"-platform", "offscreen", "-style", "fusion", "--open"} << SIGHUP;
}

void ProgramRunTest::signalsEndAsEnd()
{
    QFETCH(QStringList, run);
    QFETCH(int, signalNumber);
    ProgramRun program;
    program.start(run + QStringList{"--port", "1=pty:LINK"});
    QTRY_VERIFY_WITH_TIMEOUT(program.linked(), 10000);
    QCOMPARE(program.endWith(signalNumber), 0);
    QVERIFY(!program.linked());
}

void ProgramRunTest::failuresEndWithAStatusAndANote_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("outputClosed");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("note");
    QTest::newRow("unknown option") << QStringList{"--no-window", "--bogus"} << false << 2
                                    << "portwren: unknown option '--bogus'";
    QTest::newRow("bad value") << QStringList{"--no-window", "--port", "1=pty:LINK", "--mode",
                                              "rock"}
                               << false << 2 << "portwren: --mode: unknown mode 'rock'";
    QTest::newRow("log not writable")
        << QStringList{"--no-window", "--port", "1=pty:LINK", "--log", "LINK/no/log"} << false << 1
        << "portwren: cannot open the log";
    QTest::newRow("log a FIFO nobody reads")
        << QStringList{"--no-window", "--port", "1=pty:LINK", "--log", "FIFO"} << false << 1
        << "portwren: cannot open the log";
    QTest::newRow("standard output closed")
        << QStringList{"--no-window", "--port", "1=pty:LINK"} << true << 1
        << "portwren: standard output is closed (use --log FILE)";
    QTest::newRow("open fails") << QStringList{"--no-window", "--port", "1=/nonexistent/ttyS9"}
                                << false << 1 << "portwren: <<OPENできません: /nonexistent/ttyS9: ";
    QTest::newRow("no device named")
        << QStringList{"--no-window"} << false << 2
        << "portwren: --no-window: nothing names the device of Com1: (use --port 1=DEVICE, "
           "PORTWREN_COM1, or choose it in the port menu)";
    QTest::newRow("control path taken")
        << QStringList{"--no-window", "--port", "1=pty:LINK", "--control", "DIR"} << false << 1
        << "portwren: --control: " + QDir::tempPath();
    QTest::newRow("control path taken, with windows")
        << QStringList{"--port", "1=pty:LINK", "--open", "--control", "DIR"} << false << 1
        << "portwren: --control: " + QDir::tempPath();
}

void ProgramRunTest::failuresEndWithAStatusAndANote()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, outputClosed);
    QFETCH(int, status);
    QFETCH(QString, note);
    ProgramRun run;
    if (outputClosed)
        run.program.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    run.start(arguments);
    QCOMPARE(run.status(), status);
    const QStringList lines = QString::fromUtf8(run.errors).split(QLatin1Char('\n'));
    // One line, ended; a refused command line adds where to look.
    const bool refused = status == 2;
    QCOMPARE(lines.size(), refused ? 3 : 2);
    QVERIFY2(lines.first().startsWith(note), run.errors.constData());
    if (refused)
        QCOMPARE(lines.at(1), QStringLiteral("Try 'portwren --help' for more information."));
    QVERIFY(!run.linked());
}

// A standard output that nobody reads (a test that never drains the pipe): the program keeps
// answering the host, and a termination signal still ends it; the log's lines that could not
// go out are counted on standard error.
void ProgramRunTest::logNobodyReadsHoldsUpNeitherLineNorEnd()
{
    int unread[2];
    QVERIFY(::pipe2(unread, O_CLOEXEC) == 0);
    ProgramRun run;
    run.program.setChildProcessModifier([&unread] { ::dup2(unread[1], STDOUT_FILENO); });
    run.start({"--no-window", "--port", "1=pty:LINK", "--mode", "rack", "--frame-end", "crlf"});
    ::close(unread[1]);
    QTRY_VERIFY_WITH_TIMEOUT(run.linked(), 10000);
    HostEnd host(run.link);
    // Far more log than a pipe holds: some 140 bytes of log a request.
    const int requests = 2000;
    const QByteArray requestBytes = QByteArray("\x05"
                                               "000000WR0000320250\r\n")
                                        .repeated(requests);
    const QByteArray reply("\x02"
                           "00000000020001\x03"
                           "A6\r\n");
    qsizetype sent = 0;
    QVERIFY(QTest::qWaitFor(
        [&] {
            const ssize_t n = ::write(host.fd(), requestBytes.constData() + sent,
                                      size_t(requestBytes.size() - sent));
            sent += std::max<ssize_t>(n, 0);
            return sent == requestBytes.size() && host.collect().size() == reply.size() * requests;
        },
        60000));
    QCOMPARE(host.collect(), reply.repeated(requests));

    QCOMPARE(run.endWith(SIGTERM), 0);
    QVERIFY(!run.linked());
    QVERIFY2(run.errors.contains(" lines of the traffic log were not written"),
             run.errors.constData());
    ::close(unread[0]);
}

// A device that goes away (the other side of a pseudo-terminal opened as a system port).
void ProgramRunTest::lostPortEndsTheRun()
{
    int master = -1, slave = -1;
    char name[256];
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    ::fcntl(master, F_SETFD, FD_CLOEXEC); // the program must not hold the device's other side
    ProgramRun run;
    run.start({"--no-window", "--port", QStringLiteral("1=%1").arg(QLatin1String(name)),
               "--settings", "9600,N,8,1"});
    QTRY_VERIFY_WITH_TIMEOUT((run.collect(), run.output.contains("----- OPEN")), 10000);
    ::close(master);
    QCOMPARE(run.status(), 1);
    QVERIFY2(
        QString::fromUtf8(run.errors)
            .startsWith(QStringLiteral("portwren: ready\nportwren: <<ポートが切断されました: ") +
                        name),
        run.errors.constData());
}

namespace
{

// A word read of D32 and D33 under CR LF, and its reply once D32 and D33 hold 7 and 8.
const QByteArray ReadD32("\x05"
                         "000000WR0000320250\r\n");
const QByteArray RepliedD32("\x02"
                            "00000000070008\x03"
                            "B2\r\n");

// The program without windows on a virtual line under CR LF in mode rack, its control socket
// in the run's folder, and a control program connected to it.
struct ControlledRun : ProgramRun {
    std::unique_ptr<ControlEnd> control;

    bool start(const QStringList &more = {})
    {
        ProgramRun::start(QStringList{"--no-window", "--port", "1=pty:LINK", "--mode", "rack",
                                      "--frame-end", "crlf", "--control", "DIR/control"} +
                          more);
        if (!waitReady())
            return false;
        control = std::make_unique<ControlEnd>(path("control"));
        return control->isConnected();
    }
    // The answer to one request.
    QJsonObject ask(const QByteArray &request)
    {
        const qsizetype answered = control->lines().size();
        control->request(request);
        if (!QTest::qWaitFor([&] { return control->lines().size() > answered; }))
            return {};
        return control->objects().at(answered);
    }
    bool asked(const QByteArray &request) { return ask(request).value("ok").toBool(); }
};

} // namespace

// A JSON-lines log whose reader stops, then catches up: every line it reads is a JSON object,
// the line saying how many were dropped a note event among them.
void ProgramRunTest::jsonLogReaderThatFellBehindGetsANoteEvent()
{
    int log[2];
    QVERIFY(::pipe2(log, O_CLOEXEC) == 0);
    ProgramRun run;
    run.program.setChildProcessModifier([&log] { ::dup2(log[1], STDOUT_FILENO); });
    run.start({"--no-window", "--port", "1=pty:LINK", "--mode", "rack", "--frame-end", "crlf",
               "--log-format", "jsonl"});
    ::close(log[1]);
    QVERIFY(run.waitReady());
    HostEnd host(run.link);
    const int requests = 8000; // some 600 bytes of events each: past the log's 1 MiB
    const QByteArray requestBytes = ReadD32.repeated(requests);
    qsizetype sent = 0;
    QVERIFY(QTest::qWaitFor(
        [&] {
            const ssize_t n = ::write(host.fd(), requestBytes.constData() + sent,
                                      size_t(requestBytes.size() - sent));
            sent += std::max<ssize_t>(n, 0);
            return host.collect().size() == 20 * requests; // each reply 20 bytes
        },
        60000));
    ::fcntl(log[0], F_SETFL, O_NONBLOCK);
    QByteArray read;
    QVERIFY(QTest::qWaitFor(
        [&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(log[0], buffer, sizeof buffer)) > 0;)
                read.append(buffer, n);
            return read.contains("lines not written");
        },
        10000));
    ::close(log[0]);
    QList<QByteArray> lines = read.split('\n');
    lines.removeLast();
    QJsonObject dropped;
    for (const QByteArray &line : lines) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        QVERIFY2(event.contains("event"), line.constData());
        if (event.value("text").toString().contains("lines not written"))
            dropped = event;
    }
    QCOMPARE(dropped.value("event"), "note");
    QCOMPARE(dropped.value("source"), "output");
    QVERIFY(
        dropped.value("text").toString().endsWith(" lines not written: the reader fell behind>>"));
}

// The host is answered with what the control program wrote and what the handshake it steps
// wrote; a close and a refused open from the socket leave the run going, and the log in JSON
// lines has every event.
void ProgramRunTest::controlDrivesARunWithoutWindows()
{
    ControlledRun run;
    QVERIFY(run.start({"--log-format", "jsonl"}));
    QCOMPARE(run.errors, QByteArray("portwren: ready\n"));
    QVERIFY(run.asked(R"({"op":"write_registers","from":32,"words":["7","8"]})"));
    auto host = std::make_unique<HostEnd>(run.link);
    host->send(ReadD32);
    QTRY_COMPARE(host->collect(), RepliedD32);

    // A storage instruction and its flag, then steps until the equipment answers OK in D33.
    QVERIFY(run.asked(R"({"op":"write_registers","from":0,"words":["1","0101"]})"));
    QVERIFY(run.asked(R"({"op":"write_registers","from":10,"words":["1"]})"));
    for (int step = 0;
         step < 20 && run.ask(R"({"op":"read_registers","from":33})").value("words").toArray() !=
                          QJsonArray{"0002"};
         ++step)
        QVERIFY(run.asked(R"({"op":"handshake","action":"step"})"));
    host->send(ReadD32);
    QTRY_COMPARE(host->collect(), RepliedD32 + "\x02"
                                               "00000000070002\x03"
                                               "AC\r\n");

    QVERIFY(run.asked(R"({"op":"close"})"));
    QTRY_VERIFY(!run.linked());
    QVERIFY(run.asked(R"({"op":"set","settings":"9600,X,8,1"})"));
    QVERIFY(run.ask(R"({"op":"open"})").value("error").toString().startsWith("cannot open: "));
    QVERIFY(run.asked(R"({"op":"set","settings":"9600,E,8,1"})"));
    QVERIFY(run.asked(R"({"op":"open"})"));
    QVERIFY(run.linked());
    host = std::make_unique<HostEnd>(run.link);
    host->send(ReadD32);
    QTRY_COMPARE(host->collect(), QByteArray("\x02" // the preset again, as at every OPEN
                                             "00000000020001\x03"
                                             "A6\r\n"));

    QCOMPARE(run.endWith(SIGTERM), 0);
    QStringList events;
    for (const QByteArray &line : run.output.split('\n'))
        if (!line.isEmpty())
            events << QJsonDocument::fromJson(line).object().value("event").toString("NOT JSON");
    QCOMPARE(events.count("received"), 3);
    QCOMPARE(events.count("sent"), 3);
    QCOMPARE(events.count("connection"), 3); // open, close, open
    QVERIFY(events.contains("registers") && events.contains("handshake"));
    QVERIFY(!events.contains("NOT JSON"));
}

void ProgramRunTest::faultsReachTheHost_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QByteArray>("firstTwo"); // what the host reads for its first two requests
    QByteArray garbled = RepliedD32;
    garbled.back() = char(0xF5);
    QTest::newRow("drop") << QByteArray(R"("kind":"drop")") << RepliedD32;
    QTest::newRow("drop, count 2") << QByteArray(R"("kind":"drop","count":2)") << QByteArray();
    QTest::newRow("delay") << QByteArray(R"("kind":"delay","ms":30)") << RepliedD32.repeated(2);
    QTest::newRow("nak") << QByteArray(R"("kind":"nak","code":"05")")
                         << "\x15"
                            "00000005\r\n" +
                                RepliedD32;
    QTest::newRow("bad_sum") << QByteArray(R"("kind":"bad_sum")")
                             << "\x02"
                                "00000000070008\x03"
                                "02\r\n" +
                                    RepliedD32;
    QTest::newRow("split") << QByteArray(R"("kind":"split","pieces":3,"gap_ms":20)")
                           << RepliedD32.repeated(2);
    QTest::newRow("garble") << QByteArray(R"("kind":"garble")") << garbled + RepliedD32;
    QTest::newRow("clear") << QByteArray(R"("kind":"clear")") << RepliedD32.repeated(2);
}

// Three requests at once after the fault (a drop first for "clear"): the first two replies as
// the fault makes them, the third whole, in order and nothing more.
void ProgramRunTest::faultsReachTheHost()
{
    QFETCH(QByteArray, fault);
    QFETCH(QByteArray, firstTwo);
    ControlledRun run;
    QVERIFY(run.start());
    QVERIFY(run.asked(R"({"op":"write_registers","from":32,"words":["7","8"]})"));
    if (fault.contains("clear"))
        QVERIFY(run.asked(R"({"op":"fault","kind":"drop"})"));
    QVERIFY(run.asked(R"({"op":"fault",)" + fault + "}"));
    HostEnd host(run.link);
    host.send(ReadD32.repeated(3));
    const QByteArray expected = firstTwo + RepliedD32;
    QVERIFY(QTest::qWaitFor([&] { return host.collect().size() >= expected.size(); }));
    QCOMPARE(host.collect(), expected);
    QCOMPARE(run.ask(R"({"op":"status"})").value("faults_pending").toInt(), 0);
}

QTEST_GUILESS_MAIN(ProgramRunTest)
#include "test_program_run.moc"
