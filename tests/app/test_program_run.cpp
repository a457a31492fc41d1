// SPDX-License-Identifier: MIT
// The built program over virtual lines. Without windows it answers a host's word read and word
// write byte for byte, writes the traffic log oldest line first on standard output and dumps
// the registers at the end; a termination signal ends it, with windows or without, as END
// does; a failure ends it with its status and a note on standard error, and opens nothing.
#include "HostEnd.h"
#include "TestHelpers.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <pty.h>

namespace
{

// One run of the program, its Com1: linked in a temporary folder ("LINK" in its arguments),
// with settings of its own.
struct ProgramRun {
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("com1"));
    QProcess program;
    QByteArray output, errors;

    void start(QStringList arguments)
    {
        arguments.replaceInStrings(QStringLiteral("LINK"), link);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("c")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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
    void lostPortEndsTheRun();
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
    QTest::addColumn<QString>("run");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("without windows, INT") << "--no-window" << SIGINT;
    QTest::newRow("without windows, QUIT") << "--no-window" << SIGQUIT;
    QTest::newRow("window, TERM") << "--open" << SIGTERM;
    QTest::newRow("window, HUP") << "--open" << SIGHUP;
}

void ProgramRunTest::signalsEndAsEnd()
{
    QFETCH(QString, run);
    QFETCH(int, signalNumber);
    ProgramRun program;
    program.start({run, "--port", "1=pty:LINK"});
    QTRY_VERIFY_WITH_TIMEOUT(program.linked(), 10000);
    QCOMPARE(program.endWith(signalNumber), 0);
    QVERIFY(!program.linked());
}

void ProgramRunTest::failuresEndWithAStatusAndANote_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("note");
    QTest::newRow("bad option") << QStringList{"--no-window", "--port", "1=pty:LINK", "--mode",
                                               "rock"}
                                << 2 << "portwren: --mode: unknown mode 'rock'";
    QTest::newRow("log not writable")
        << QStringList{"--no-window", "--port", "1=pty:LINK", "--log", "LINK/no/log"} << 1
        << "portwren: cannot open the log";
    QTest::newRow("open fails") << QStringList{"--no-window", "--port", "1=/nonexistent/ttyS9"} << 1
                                << "portwren: <<OPENできません: /nonexistent/ttyS9: ";
}

void ProgramRunTest::failuresEndWithAStatusAndANote()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, note);
    ProgramRun run;
    run.start(arguments);
    QCOMPARE(run.status(), status);
    const QStringList lines = QString::fromUtf8(run.errors).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2); // one line, ended
    QVERIFY2(lines.first().startsWith(note), run.errors.constData());
    QVERIFY(!run.linked());
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
    QVERIFY2(QString::fromUtf8(run.errors)
                 .startsWith(QStringLiteral("portwren: <<ポートが切断されました: ") + name),
             run.errors.constData());
}

QTEST_GUILESS_MAIN(ProgramRunTest)
#include "test_program_run.moc"
