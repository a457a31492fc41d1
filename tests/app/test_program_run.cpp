// SPDX-License-Identifier: MIT
// What only the built program shows, over virtual lines: termination signals end a run, with
// windows or without, as END does; a standard output that falls behind holds up neither the
// line nor the end, and has the traffic log one line an event; the register dump at the end; a
// lost port and every failure end the run with its status and one line on standard error,
// opening nothing. (Replies, faults, register writes and the handshake through the control
// socket: the session's and control's tests, and the tests that drive the built program from
// outside.)
#include "HostEnd.h"
#include "ProgramRun.h"
#include "TestHelpers.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace
{

const QByteArray ReadD32("\x05"
                         "000000WR0000320250\r\n");
const QByteArray RepliedD32("\x02"
                            "00000000020001\x03"
                            "A6\r\n");

} // namespace

class ProgramRunTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void signalsEndAsEnd_data()
    {
        QTest::addColumn<QStringList>("run");
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("without windows, INT") << QStringList{"--no-window"} << SIGINT;
        QTest::newRow("without windows, QUIT") << QStringList{"--no-window"} << SIGQUIT;
        QTest::newRow("window, TERM") << QStringList{"--open"} << SIGTERM;
        QTest::newRow("window with Qt's options, HUP")
            << QStringList{"-platform", "offscreen", "-style", "fusion", "--open"} << SIGHUP;
    }

    void signalsEndAsEnd()
    {
        QFETCH(QStringList, run);
        QFETCH(int, signalNumber);
        ProgramRun program;
        program.start(run + QStringList{"--port", "1=pty:DIR/com1"});
        QTRY_VERIFY_WITH_TIMEOUT(program.linked(), 10000);
        QCOMPARE(program.endWith(signalNumber), 0);
        QVERIFY(!program.linked());
    }

    void failuresEndWithAStatusAndANote_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("outputClosed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("note");
        const auto row = [](const char *name, const QStringList &arguments, int status,
                            const QString &note, bool outputClosed = false) {
            QTest::newRow(name) << arguments << outputClosed << status << note;
        };
        const QStringList run{"--no-window", "--port", "1=pty:DIR/com1"};
        row("unknown option", {"--no-window", "--bogus"}, 2, "portwren: unknown option '--bogus'");
        row("log not writable", run + QStringList{"--log", "DIR/com1/no/log"}, 1,
            "portwren: cannot open the log");
        row("log a FIFO nobody reads", run + QStringList{"--log", "DIR/fifo"}, 1,
            "portwren: cannot open the log");
        row("standard output closed", run, 1,
            "portwren: standard output is closed (use --log FILE)", true);
        row("open fails", {"--no-window", "--port", "1=/nonexistent/ttyS9"}, 1,
            "portwren: <<OPENできません: /nonexistent/ttyS9: ");
        row("no device named", {"--no-window"}, 2,
            "portwren: --no-window: nothing names the device of Com1: (use --port 1=DEVICE, "
            "PORTWREN_COM1, or choose it in the port menu)");
        row("control path taken", run + QStringList{"--control", "DIR"}, 1,
            "portwren: --control: " + QDir::tempPath());
        row("control path taken, with windows",
            {"--port", "1=pty:DIR/com1", "--open", "--control", "DIR"}, 1,
            "portwren: --control: " + QDir::tempPath());
    }

    void failuresEndWithAStatusAndANote()
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

    void logThatFallsBehind_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("text, never read") << "text";
        QTest::newRow("JSON lines, read late") << "jsonl";
    }

    // A standard output whose reader falls behind (a test that does not drain the pipe): the host
    // is answered all the same. Read late, every line is whole, one of them a note event counting
    // those lost; never read, a termination signal still ends the run, the registers are dumped,
    // standard error counts the lines that did not go out, and the lines that did are stamped,
    // one per event, control characters escaped.
    void logThatFallsBehind()
    {
        QFETCH(QString, format);
        int log[2];
        QVERIFY(::pipe2(log, O_CLOEXEC) == 0);
        ProgramRun run;
        run.program.setChildProcessModifier([&log] { ::dup2(log[1], STDOUT_FILENO); });
        run.start({"--no-window", "--port", "1=pty:DIR/com1", "--mode", "rack", "--frame-end",
                   "crlf", "--log-format", format, "--register-dump", "DIR/dump"});
        ::close(log[1]);
        HostEnd reader(log[0]);
        QVERIFY(run.waitReady());
        HostEnd host(run.link);
        const int requests = 8000; // well past the log's 1 MiB in either format
        QVERIFY(host.feed(ReadD32.repeated(requests), 60000));
        QTRY_COMPARE_WITH_TIMEOUT(host.collect(), RepliedD32.repeated(requests), 60000);
        if (format == "jsonl") {
            QVERIFY(
                QTest::qWaitFor([&] { return reader.collect().contains("lines not written"); }));
            const QByteArray read = reader.collect();
            QJsonObject dropped;
            for (const QByteArray &line : read.left(read.lastIndexOf('\n')).split('\n')) {
                const QJsonObject event = QJsonDocument::fromJson(line).object();
                QVERIFY2(event.contains("event"), line.constData());
                dropped = line.contains("lines not written") ? event : dropped;
            }
            QVERIFY(dropped.value("event") == "note" && dropped.value("source") == "output");
            QVERIFY(dropped.value("text").toString().endsWith(
                " lines not written: the reader fell behind>>"));
        }
        QCOMPARE(run.endWith(SIGTERM), 0);
        QVERIFY(!run.linked());
        QFile dump(run.path("dump"));
        QVERIFY(dump.open(QIODevice::ReadOnly));
        const QList<QByteArray> words = dump.readAll().split('\n');
        QVERIFY(words.size() == 129 && words.at(33) == "D0033 0001"); // 128 lines, each ended
        if (format == "jsonl")
            return;
        QVERIFY2(run.errors.endsWith(" lines of the traffic log were not written: its reader did "
                                     "not take them\n"),
                 run.errors.constData());
        QStringList lines = QString::fromUtf8(reader.collect()).split(u'\n').mid(0, 5);
        for (QString &line : lines)
            line = withoutStamp(line).prepend(line == withoutStamp(line) ? "no stamp: " : "");
        QCOMPARE(lines, QStringList({"----- OPEN  ----- Protcol=9600,E,8,1",
                                     "●\\x05000000WR0000320250", "  <<ENQを受信しました>>",
                                     "  <<データ返送>>", "◎\\x0200000000020001\\x03A6\\r\\n"}));
    }

    // A device that goes away (the other side of a pseudo-terminal opened as a system port).
    void lostPortEndsTheRun()
    {
        int master = -1, slave = -1;
        char name[256];
        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        ::close(slave);
        ::fcntl(master, F_SETFD, FD_CLOEXEC); // the program must not hold the device's other side
        ProgramRun run;
        run.start({"--no-window", "--port", QStringLiteral("1=%1").arg(QLatin1String(name)),
                   "--settings", "9600,N,8,1"});
        QVERIFY(run.waitReady());
        ::close(master);
        QCOMPARE(run.status(), 1);
        QVERIFY2(run.errors.startsWith("portwren: ready\nportwren: <<ポートが切断されました: " +
                                       QByteArray(name)),
                 run.errors.constData());
    }
};

QTEST_GUILESS_MAIN(ProgramRunTest)
#include "test_program_run.moc"
