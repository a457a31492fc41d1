// SPDX-License-Identifier: MIT
// The command line: every option with good and bad values (what a run is told, or the one
// line that refuses it), help, version and the port list winning over the rest, options as GNU
// programs read them and Qt's own options of a run with windows, the order in which the options
// reach the line session, and that it takes the same names and limits as the control socket.
#include "SessionFixture.h"
#include "app/CommandLine.h"
#include "control/ControlRequests.h"
#include "platform/PortMap.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

namespace
{

// A device named for one run: a virtual line where the system has them, else a serial port.
#ifdef Q_OS_WIN
const char *const RunDevice = "COM14";
#else
const char *const RunDevice = "pty:/tmp/cli-com4";
#endif

// The options a run is told, each set one as "name=value", in a fixed order.
QString rendered(const StartOptions &o)
{
    QStringList set;
    const auto add = [&set](bool isSet, const QString &text) {
        if (isSet)
            set << text;
    };
    add(!o.window, QStringLiteral("no-window"));
    add(o.open, QStringLiteral("open"));
    add(o.autoHandshake, QStringLiteral("auto"));
    add(bool(o.port), QStringLiteral("port=%1").arg(o.port.value_or(0)));
    for (const auto &[n, device] : o.devices)
        add(true, QStringLiteral("com%1=%2").arg(n).arg(device));
    add(bool(o.mode), QStringLiteral("mode=%1").arg(int(o.mode.value_or(SimMode::None))));
    add(bool(o.frameEnd), QStringLiteral("end=%1").arg(int(o.frameEnd.value_or(FrameEnd::Time))));
    add(bool(o.quietTime), QStringLiteral("quiet=") + o.quietTime.value_or(QString()));
    add(bool(o.settings), QStringLiteral("settings=") + o.settings.value_or(QString()));
    add(!o.logFile.isEmpty(), QStringLiteral("log=") + o.logFile);
    add(!o.registerDump.isEmpty(), QStringLiteral("dump=") + o.registerDump);
    add(o.logFormat == StartOptions::LogFormat::JsonLines, QStringLiteral("jsonl"));
    add(!o.controlPath.isEmpty(), QStringLiteral("control=") + o.controlPath);
    add(bool(o.handshakePeriodMs),
        QStringLiteral("period=%1").arg(o.handshakePeriodMs.value_or(0)));
    add(o.endWithParent, QStringLiteral("end-with-parent"));
    add(!o.temporaryFolder.isEmpty(), QStringLiteral("folder=") + o.temporaryFolder);
    add(bool(o.stamps), o.stamps == StampPrecision::Milliseconds ? QStringLiteral("stamps=ms")
                                                                 : QStringLiteral("stamps=s"));
    add(!o.dtrAtOpen, QStringLiteral("dtr=off"));
    add(!o.rtsAtOpen, QStringLiteral("rts=off"));
    add(o.reconnect, QStringLiteral("reconnect"));
    return set.join(QLatin1Char(' '));
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // rendered options, or "refused: " + the line

        const auto row = [](const char *name, QStringList arguments, const QString &expected) {
            QTest::newRow(name) << arguments << expected;
        };
        const auto refused = [](const char *line) { return QStringLiteral("refused: ") + line; };
        row("nothing", {}, QString());
        row("port alone", {"--port", "3"}, "port=3");
#ifdef Q_OS_WIN
        row("ports, last chosen", {"--port", "1=COM10", "--port=2= COM7 "},
            "port=2 com1=COM10 com2=COM7");
        row("virtual line on Windows", {"--port", "1=pty:/tmp/a"},
            refused("--port: a virtual line (pty:PATH) is a pseudo-terminal, which Windows does "
                    "not have; use a pair of virtual serial ports joined by a null-modem driver "
                    "instead: PORTWREN on one (--port 1=COM10), the host program on the other "
                    "(COM11)"));
#else
        row("ports, last chosen", {"--port", "1=pty:/tmp/a b", "--port=2= /dev/ttyUSB0 "},
            "port=2 com1=pty:/tmp/a b com2=/dev/ttyUSB0");
#endif
        row("port 7", {"--port", "7"}, refused("--port: '7' is not 1 to 6"));
        row("port without device", {"--port", "1="}, refused("--port: '1=' names no device"));
        row("port without link path", {"--port", "1=pty:"}, refused("--port: '1=pty:' names no"));
        row("mode rack", {"--mode", "rack"}, "mode=3");
        row("mode any case", {"--mode", "prgps"}, "mode=1");
        row("mode caption", {"--mode", "無人車"}, "mode=5");
        row("mode unknown", {"--mode", "rack2"}, refused("--mode: unknown mode 'rack2'"));
        row("frame end", {"--frame-end", "CRLF"}, "end=0");
        row("frame end unknown", {"--frame-end", "lf"}, refused("--frame-end: unknown frame end"));
        row("quiet time", {"--quiet-time", "32767"}, "quiet=32767");
        row("quiet time too long", {"--quiet-time", "32768"}, refused("--quiet-time: '32768'"));
        row("quiet time fraction", {"--quiet-time", "2.5"}, refused("--quiet-time: '2.5'"));
        row("settings", {"--settings", "4800,o,7,2"}, "settings=4800,o,7,2");
        row("settings parity", {"--settings", "9600,X,8,1"},
            refused("--settings: '9600,X,8,1': parity"));
        row("open", {"--open"}, "open");
        row("no window opens", {"--no-window"}, "no-window open");
        row("run without windows", {"--no-window", "--auto", "--log", "l", "--register-dump", "d"},
            "no-window open auto log=l dump=d");
        row("auto with window", {"--auto"}, refused("--auto: only with --no-window"));
        row("dump unnamed", {"--no-window", "--register-dump", ""},
            refused("--register-dump: no file named"));
        row("Qt's options with windows", {"-platform", "offscreen", "--style=fusion", "-reverse"},
            QString());
        row("Qt's option without windows", {"--no-window", "-display", ":1"},
            refused("-display: only with windows"));
        row("unknown option", {"--bogus=1"}, refused("unknown option '--bogus'"));
        row("long name after one dash", {"-port", "3"}, refused("unknown option '-port'"));
        row("value missing before an option", {"--port", "--no-window"},
            refused("--port: the value is missing"));
        row("value missing at the end", {"--open", "--mode"},
            refused("--mode: the value is missing"));
        row("negative number is a value", {"--quiet-time", "-5"}, refused("--quiet-time: '-5'"));
        row("value to a switch", {"--open=yes"}, refused("--open: takes no value"));
        row("Qt's value after '='", {"-platform=offscreen"}, refused("-platform: give the value"));
        row("argument", {"extra"}, refused("unexpected argument 'extra'"));
        row("simulator under control",
            {"--no-window", "--log-format", "jsonl", "--control", "/tmp/c", "--handshake-period",
             "50"},
            "no-window open jsonl control=/tmp/c period=50");
        row("a run for a test",
            {"--no-window", "--end-with-parent", "--temporary-folder", "/tmp/r"},
            "no-window open end-with-parent folder=/tmp/r");
        row("end with parent with windows", {"--end-with-parent"},
            refused("--end-with-parent: only with --no-window"));
        row("temporary folder with windows", {"--temporary-folder", "/tmp/r"},
            refused("--temporary-folder: only with --no-window"));
        row("temporary folder unnamed", {"--no-window", "--temporary-folder="},
            refused("--temporary-folder: no folder named"));
        row("stamps to the millisecond", {"--timestamps", "ms"}, "stamps=ms");
        row("stamps to the second, without windows", {"--no-window", "--timestamps=s"},
            "no-window open stamps=s");
        row("stamps unknown", {"--timestamps", "us"},
            refused("--timestamps: unknown unit 'us' (s, ms)"));
        row("modem outputs off", {"--dtr", "off", "--rts=off"}, "dtr=off rts=off");
        row("modem outputs on", {"--dtr=on", "--rts", "on"}, QString());
        row("DTR neither on nor off", {"--dtr", "1"}, refused("--dtr: '1' is not on or off"));
        row("RTS in capitals", {"--rts", "OFF"}, refused("--rts: 'OFF' is not on or off"));
        row("reconnect without windows", {"--no-window", "--reconnect"},
            "no-window open reconnect");
        row("reconnect with windows", {"--reconnect"}, "reconnect");
        row("log format unknown", {"--no-window", "--log-format", "xml"},
            refused("--log-format: unknown format 'xml'"));
        row("handshake period 0", {"--handshake-period", "0"}, refused("--handshake-period: '0'"));
        row("register file missing", {"--registers", "/nonexistent/r"},
            refused("--registers: cannot read '/nonexistent/r'"));
        row("help wins", {"--mode=NONE", "--help"}, "help: Usage: portwren [options]");
        row("help, short", {"-h"}, "help: Usage: portwren [options]");
        row("version wins", {"--mode=NONE", "--version"}, "version: portwren 4.0\n");
        row("port list wins", {"--mode=NONE", "--list-ports"}, "list-ports: ");
        static const QByteArray hugeShown = "--quiet-time: '" + QByteArray(60, '9') + "…' is not";
        row("huge value quoted to 60 characters", {"--quiet-time", QString(100000, u'9')},
            refused(hugeShown.constData()));
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const CommandLine read =
            readCommandLine(QStringList{QStringLiteral("portwren")} + arguments);
        const bool run = read.action == CommandLine::Action::Run;
        const char *const actions[] = {"", "help: ", "version: ", "list-ports: ", "refused: "};
        const QString got = actions[int(read.action)] + (run ? rendered(read.options) : read.text);
        QVERIFY2(run ? got == expected : got.startsWith(expected), qPrintable(got));
        QVERIFY(read.action != CommandLine::Action::Refuse || !read.text.contains(u'\n'));
    }

    // A mode puts its own settings and frame end in place: the options given beside it win.
    void optionsReachTheSession()
    {
        QStandardPaths::setTestModeEnabled(true); // the user's stored choices are not read
        SessionFixture f;
        const CommandLine read = readCommandLine(
            {"portwren", "--settings", "4800,N,8,1", "--frame-end", "cr", "--mode", "rack",
             "--quiet-time", "20", "--port", QStringLiteral("4=") + RunDevice, "--no-window",
             "--auto", "--dtr", "off", "--reconnect"});
        applyOptions(read.options, f.session);
        QCOMPARE(f.session.mode(), SimMode::Rack);
        QCOMPARE(f.session.frameEnd(), FrameEnd::Cr);
        QCOMPARE(f.session.settingsText(), QStringLiteral("4800,N,8,1"));
        QCOMPARE(f.session.quietTimeText(), QStringLiteral("20"));
        QCOMPARE(f.session.portNumber(), 4);
        // The device is this run's: neither put in the environment nor stored.
        QCOMPARE(f.session.deviceFor(4), QLatin1String(RunDevice));
        QVERIFY(PortMap::environmentDevice(4).isEmpty() && PortMap::storedDevice(4).isEmpty());
        QVERIFY(f.session.handshake().isAuto());
        QVERIFY(f.session.reconnects());
        QVERIFY(!f.session.isOpen() && f.log.isEmpty());
        QVERIFY(f.session.open());
        QCOMPARE(f.port->lineChanges, QStringList{"DTR off"});
    }

    // A choice the command line takes, the control socket's "set" (or "handshake auto") takes
    // too, and what one refuses the other refuses: the rules exist once.
    void choicesAgreeWithTheControlSocket_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        const auto row = [](const char *option, const char *member, const char *value,
                            bool accepted) {
            QTest::addRow("%s %s", option, value) << option << member << value << accepted;
        };
        // Names in the command line's spelling, in any case, or as the window's captions.
        for (const char *mode :
             {"none", "prgps", "mnea", "rack", "rackerr", "vehicle", "NONE", "prGPS", "RACKERR",
              "Vehicle", "ラック", "ラックERR", "ラックerr", "無人車"})
            row("mode", "mode", mode, true);
        for (const char *mode : {"rack2", "", "ラック ", "rack-err"})
            row("mode", "mode", mode, false);
        for (const char *end : {"crlf", "cr", "time", "CRLF", "Cr", "TIME", "Time（ｍｓ）"})
            row("frame-end", "frame_end", end, true);
        for (const char *end : {"lf", "cr lf", "CR+LF"})
            row("frame-end", "frame_end", end, false);
        row("quiet-time", "quiet_time", "0", true);
        row("quiet-time", "quiet_time", "32767", true);
        row("quiet-time", "quiet_time", "32768", false);
        row("quiet-time", "quiet_time", "-1", false);
        row("settings", "settings", "4800,o,7,1.5", true);
        row("settings", "settings", "0,E,8,1", false);
        row("settings", "settings", "9600,E,4,1", false);
        row("handshake-period", "period_ms", "1", true);
        row("handshake-period", "period_ms", "3600000", true);
        row("handshake-period", "period_ms", "0", false);
        row("handshake-period", "period_ms", "3600001", false);
    }

    void choicesAgreeWithTheControlSocket()
    {
        QFETCH(QString, option);
        QFETCH(QString, member);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        const CommandLine read = readCommandLine({"portwren", "--" + option, value});
        QCOMPARE(read.action == CommandLine::Action::Run, accepted);
        SessionFixture f;
        ControlRequests requests(f.session);
        const bool number = member != "mode" && member != "frame_end" && member != "settings";
        const QString quoted = number ? value : '"' + value + '"';
        const QString request = member == "period_ms"
                                    ? R"({"op":"handshake","action":"auto","%2":%1})"
                                    : R"({"op":"set","%2":%1})";
        const QByteArray answer = requests.answer(request.arg(quoted, member).toUtf8()).line;
        QCOMPARE(QJsonDocument::fromJson(answer)["ok"].toBool(), accepted);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "test_command_line.moc"
