// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

#include "platform/MessageText.h"
#include "platform/PortMap.h"
#include "registers/RegisterFile.h"
#include "session/Choices.h"
#include "session/LineSession.h"

#include <QCommandLineParser>
#include <QFile>
#include <string_view>

namespace
{

// A refusal: the option's name and what is wrong with its value.
struct Refusal {
    QString text;
};

// The options, in the order --help lists them.
const QList<QCommandLineOption> &allOptions()
{
    static const QList<QCommandLineOption> options = {
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and end.")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")},
        {QStringLiteral("list-ports"),
         QStringLiteral("List the machine's serial ports, one a line, and end.")},
#ifdef Q_OS_WIN
        {QStringLiteral("port"),
         QStringLiteral("Choose Com<N>: (1 to 6); with =DEVICE it leads to DEVICE (COM7), as "
                        "PORTWREN_COM<N> does. Repeatable; the last one is chosen."),
         QStringLiteral("N[=DEVICE]")},
#else
        {QStringLiteral("port"),
         QStringLiteral("Choose Com<N>: (1 to 6); with =DEVICE it leads to DEVICE, as "
                        "PORTWREN_COM<N> does (pty:PATH: a virtual line linked at PATH). "
                        "Repeatable; the last one is chosen."),
         QStringLiteral("N[=DEVICE]")},
#endif
        {QStringLiteral("mode"),
         QStringLiteral("Simulator mode: NONE, prGPS, MNEA, rack (ラック), rackERR (ラックERR) "
                        "or vehicle (無人車)."),
         QStringLiteral("MODE")},
        {QStringLiteral("frame-end"), QStringLiteral("Frame end: %1.").arg(frameEndNamesListed()),
         QStringLiteral("END")},
        {QStringLiteral("quiet-time"),
         QStringLiteral("Quiet time that ends a frame under the time frame end, %1 to %2 ms.")
             .arg(QuietTimeRange.lo)
             .arg(QuietTimeRange.hi),
         QStringLiteral("MS")},
        {QStringLiteral("settings"),
         QStringLiteral("Line settings speed,parity,data bits,stop bits (9600,E,8,1)."),
         QStringLiteral("SETTINGS")},
        {QStringLiteral("open"), QStringLiteral("Open the port at start, as OPEN does.")},
        {QStringLiteral("dtr"), QStringLiteral("DTR at every OPEN: on (the default) or off."),
         QStringLiteral("on|off")},
        {QStringLiteral("rts"), QStringLiteral("RTS at every OPEN: on (the default) or off."),
         QStringLiteral("on|off")},
        {QStringLiteral("reconnect"),
         QStringLiteral("When the port is lost, wait for its device to come back and reopen it; "
                        "a run without windows waits instead of ending. With windows, for this "
                        "run.")},
        {QStringLiteral("no-window"),
         QStringLiteral("Run without windows: open the port, write the traffic log to standard "
                        "output, end on a termination signal.")},
        {QStringLiteral("auto"),
         QStringLiteral("With --no-window: play the transport handshake once a second.")},
        {QStringLiteral("log"),
         QStringLiteral("With --no-window: append the traffic log to FILE instead."),
         QStringLiteral("FILE")},
        {QStringLiteral("register-dump"),
         QStringLiteral("With --no-window: write the 128 registers to FILE at the end, one "
                        "\"D0033 0001\" line each."),
         QStringLiteral("FILE")},
        {QStringLiteral("log-format"),
         QStringLiteral("With --no-window: the log as text (one line an event, control "
                        "characters escaped) or jsonl (one JSON object an event)."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("registers"),
         QStringLiteral("Store the words of FILE (as --register-dump writes it; all 128 "
                        "registers or some) after the mode's preset at every OPEN."),
         QStringLiteral("FILE")},
        {QStringLiteral("handshake-period"),
         QStringLiteral("The transport handshake's tick, %1 to %2 ms (%3).")
             .arg(HandshakePeriodRange.lo)
             .arg(HandshakePeriodRange.hi)
             .arg(LineSession::DefaultHandshakePeriodMs),
         QStringLiteral("MS")},
        {QStringLiteral("timestamps"),
         QStringLiteral("The traffic log's time stamps: s ([HH:mm:ss], the default) or ms "
                        "([HH:mm:ss.zzz]); with windows, for this run."),
         QStringLiteral("UNIT")},
#ifdef Q_OS_WIN
        {QStringLiteral("control"),
         QStringLiteral("Listen for control programs on the named pipe \\\\.\\pipe\\NAME, "
                        "which only this user may open (JSON lines; see README.md)."),
         QStringLiteral("NAME")},
#else
        {QStringLiteral("control"),
         QStringLiteral("Listen for control programs on a Unix-domain socket at PATH (JSON "
                        "lines; see portwren(1))."),
         QStringLiteral("PATH")},
#endif
        {QStringLiteral("end-with-parent"),
         QStringLiteral("With --no-window: end, as on SIGTERM, once the process that started "
                        "the run has ended, however it ended.")},
        {QStringLiteral("temporary-folder"),
         QStringLiteral("With --no-window: DIR is the run's own folder; at the end the run "
                        "removes its log in it and then DIR, when nothing else is left in it."),
         QStringLiteral("DIR")},
    };
    return options;
}

// --control with an empty value: a socket's path, on Windows a pipe's name.
#ifdef Q_OS_WIN
const char *const NoControlNamed = "no pipe named";
#else
const char *const NoControlNamed = "no path named";
#endif

Refusal refuse(const char *option, const QString &what)
{
    return {QStringLiteral("--%1: %2").arg(QLatin1String(option), what)};
}

QString notWholeMs(const QString &value, const WholeRange &range)
{
    return QStringLiteral("'%1' is not a whole number of ms from %2 to %3")
        .arg(quotedValue(value))
        .arg(range.lo)
        .arg(range.hi);
}

// Qt's own options, which QApplication takes out of the arguments of a run with windows: those
// that take the next argument as their value, and those that stand alone.
const QStringList qtValueOptions = {
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"),    QStringLiteral("session"),
    QStringLiteral("display"),         QStringLiteral("geometry"),
    QStringLiteral("style"),           QStringLiteral("stylesheet")};
const QStringList qtFlagOptions = {QStringLiteral("reverse"), QStringLiteral("widgetcount")};
// The only ones of Qt's that also take "-name=value".
const QStringList qtEqualsOptions = {QStringLiteral("style"), QStringLiteral("stylesheet")};

// An option as written: "--port=3" is "--", "port" and a value; "-platform" is "-", "platform".
struct Spelling {
    QString dashes, name;
    bool withValue = false;
    QString written() const { return dashes + name; }
};

Spelling spelled(const QString &argument)
{
    const qsizetype dashes = argument.startsWith(QLatin1String("--")) ? 2 : 1;
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    return {argument.left(dashes), argument.mid(dashes, equals < 0 ? -1 : equals - dashes),
            equals >= 0};
}

// "-x..." or "--x...": an option. "-", "-5" and "--" are not.
bool looksLikeOption(const QString &argument)
{
    return argument.size() > 1 && argument.front() == QLatin1Char('-') &&
           (argument.at(1).isLetter() ||
            (argument.at(1) == QLatin1Char('-') && argument.size() > 2));
}

// Ours (a long name after "--", a one-letter name after "-") or Qt's (after "-" or "--", as Qt
// reads them), and whether it takes a value.
struct OptionKind {
    bool qt = false;
    bool takesValue = false;
};

std::optional<OptionKind> kindOf(const Spelling &spelling)
{
    for (const QCommandLineOption &option : allOptions())
        for (const QString &name : option.names())
            if (name == spelling.name && (name.size() == 1) == (spelling.dashes.size() == 1))
                return OptionKind{false, !option.valueName().isEmpty()};
    if (qtValueOptions.contains(spelling.name))
        return OptionKind{true, true};
    if (qtFlagOptions.contains(spelling.name))
        return OptionKind{true, false};
    return std::nullopt;
}

// The arguments as GNU programs read them: each option known, a value where one is needed (an
// option in its place means it is missing), none where none is taken. Qt's own options go to
// qtOptions, the rest to ours, which the parser then reads without a fault.
std::optional<Refusal> sortArguments(const QStringList &arguments, QStringList &ours,
                                     QStringList &qtOptions)
{
    ours << arguments.value(0);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return ours << arguments.mid(i), std::nullopt;
        if (!looksLikeOption(argument)) {
            ours << argument;
            continue;
        }
        const Spelling spelling = spelled(argument);
        const std::optional<OptionKind> kind = kindOf(spelling);
        if (!kind)
            return Refusal{
                QStringLiteral("unknown option '%1'").arg(quotedValue(spelling.written()))};
        if (spelling.withValue && !kind->takesValue)
            return Refusal{
                QStringLiteral("%1: takes no value").arg(quotedValue(spelling.written()))};
        if (spelling.withValue && kind->qt && !qtEqualsOptions.contains(spelling.name))
            return Refusal{QStringLiteral("%1: give the value after a space")
                               .arg(quotedValue(spelling.written()))};
        QStringList &into = kind->qt ? qtOptions : ours;
        into << argument;
        if (kind->takesValue && !spelling.withValue) {
            if (i + 1 == arguments.size() || looksLikeOption(arguments.at(i + 1)))
                return Refusal{QStringLiteral("%1: the value is missing")
                                   .arg(quotedValue(spelling.written()))};
            into << arguments.at(++i);
        }
    }
    return std::nullopt;
}

// "N" or "N=DEVICE", N from 1 to 6.
std::optional<Refusal> readPort(const QString &value, StartOptions &options)
{
    const qsizetype equals = value.indexOf(QLatin1Char('='));
    bool numeric = false;
    const int n = value.left(equals).trimmed().toInt(&numeric);
    if (!numeric || n < 1 || n > PortMap::PortCount)
        return refuse("port",
                      QStringLiteral("'%1' is not 1 to 6 (N or N=DEVICE)").arg(quotedValue(value)));
    options.port = n;
    if (equals < 0)
        return std::nullopt;
    const QString device = value.mid(equals + 1).trimmed();
    if (device.isEmpty() ||
        (PortMap::isVirtualLine(device) && PortMap::virtualLinePath(device).trimmed().isEmpty()))
        return refuse("port", QStringLiteral("'%1' names no device").arg(quotedValue(value)));
    if (PortMap::isVirtualLine(device) && !PortMap::virtualLineRefusal().isEmpty())
        return refuse("port", PortMap::virtualLineRefusal());
    options.devices.append({n, device});
    return std::nullopt;
}

std::optional<Refusal> readChoices(const QCommandLineParser &parser, StartOptions &options)
{
    for (const QString &value : parser.values(QStringLiteral("port")))
        if (std::optional<Refusal> refusal = readPort(value, options))
            return refusal;
    if (parser.isSet(QStringLiteral("mode"))) {
        const QString value = parser.value(QStringLiteral("mode"));
        if (!(options.mode = modeNamed(value)))
            return refuse("mode", QStringLiteral("unknown mode '%1' (%2)")
                                      .arg(quotedValue(value), modeNamesOfCommandLine()));
    }
    if (parser.isSet(QStringLiteral("frame-end"))) {
        const QString value = parser.value(QStringLiteral("frame-end"));
        if (!(options.frameEnd = frameEndNamed(value)))
            return refuse("frame-end", QStringLiteral("unknown frame end '%1' (%2)")
                                           .arg(quotedValue(value), frameEndNamesListed()));
    }
    if (parser.isSet(QStringLiteral("quiet-time"))) {
        const QString value = parser.value(QStringLiteral("quiet-time")).trimmed();
        const std::optional<int> ms = wholeNumberFrom(value, QuietTimeRange);
        if (!ms)
            return refuse("quiet-time", notWholeMs(value, QuietTimeRange));
        options.quietTime = QString::number(*ms);
    }
    if (parser.isSet(QStringLiteral("settings"))) {
        const QString value = parser.value(QStringLiteral("settings"));
        if (const QString reason = settingsRefusal(value); !reason.isEmpty())
            return refuse("settings", QStringLiteral("'%1': %2").arg(quotedValue(value), reason));
        options.settings = value;
    }
    for (const char *name : {"dtr", "rts"}) {
        const QString value = parser.value(QLatin1String(name));
        if (value.isEmpty())
            continue;
        if (value != QLatin1String("on") && value != QLatin1String("off"))
            return refuse(name, QStringLiteral("'%1' is not on or off").arg(quotedValue(value)));
        (name == std::string_view("dtr") ? options.dtrAtOpen : options.rtsAtOpen) =
            value == QLatin1String("on");
    }
    options.reconnect = parser.isSet(QStringLiteral("reconnect"));
    if (parser.isSet(QStringLiteral("timestamps"))) {
        const QString value = parser.value(QStringLiteral("timestamps"));
        if (value == QLatin1String("s"))
            options.stamps = StampPrecision::Seconds;
        else if (value == QLatin1String("ms"))
            options.stamps = StampPrecision::Milliseconds;
        else
            return refuse("timestamps",
                          QStringLiteral("unknown unit '%1' (s, ms)").arg(quotedValue(value)));
    }
    return std::nullopt;
}

// --registers, --handshake-period and --control.
std::optional<Refusal> readSimulatorFiles(const QCommandLineParser &parser, StartOptions &options)
{
    if (parser.isSet(QStringLiteral("registers"))) {
        const QString path = parser.value(QStringLiteral("registers"));
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return refuse(
                "registers",
                QStringLiteral("cannot read '%1': %2").arg(quotedValue(path), file.errorString()));
        const RegisterFileContents contents = readRegisterFile(file.read(1 << 20));
        if (!contents.problem.isEmpty())
            return refuse("registers",
                          QStringLiteral("%1: %2").arg(quotedValue(path), contents.problem));
        options.registerWords = contents.words;
    }
    if (parser.isSet(QStringLiteral("handshake-period"))) {
        const QString value = parser.value(QStringLiteral("handshake-period")).trimmed();
        if (!(options.handshakePeriodMs = wholeNumberFrom(value, HandshakePeriodRange)))
            return refuse("handshake-period", notWholeMs(value, HandshakePeriodRange));
    }
    if (parser.isSet(QStringLiteral("control"))) {
        options.controlPath = parser.value(QStringLiteral("control"));
        if (options.controlPath.isEmpty())
            return refuse("control", QLatin1String(NoControlNamed));
    }
    return std::nullopt;
}

// --auto, --log, --log-format, --register-dump, --end-with-parent and --temporary-folder belong
// to a run without windows, Qt's options to one with.
std::optional<Refusal> readRunWithoutWindows(const QCommandLineParser &parser,
                                             const QStringList &qtOptions, StartOptions &options)
{
    options.window = !parser.isSet(QStringLiteral("no-window"));
    if (!qtOptions.isEmpty() && !options.window)
        return Refusal{QStringLiteral("%1: only with windows, not with --no-window")
                           .arg(spelled(qtOptions.first()).written())};
    options.open = parser.isSet(QStringLiteral("open")) || !options.window;
    options.autoHandshake = parser.isSet(QStringLiteral("auto"));
    options.logFile = parser.value(QStringLiteral("log"));
    options.registerDump = parser.value(QStringLiteral("register-dump"));
    options.endWithParent = parser.isSet(QStringLiteral("end-with-parent"));
    options.temporaryFolder = parser.value(QStringLiteral("temporary-folder"));
    for (const char *name :
         {"auto", "end-with-parent", "log-format", "log", "register-dump", "temporary-folder"}) {
        const QString option = QLatin1String(name);
        if (parser.isSet(option) && options.window)
            return refuse(name, QStringLiteral("only with --no-window"));
    }
    for (const char *name : {"log", "register-dump"})
        if (parser.isSet(QLatin1String(name)) && parser.value(QLatin1String(name)).isEmpty())
            return refuse(name, QStringLiteral("no file named"));
    if (parser.isSet(QStringLiteral("temporary-folder")) && options.temporaryFolder.isEmpty())
        return refuse("temporary-folder", QStringLiteral("no folder named"));
    const QString format = parser.value(QStringLiteral("log-format"));
    if (format == QLatin1String("jsonl"))
        options.logFormat = StartOptions::LogFormat::JsonLines;
    else if (!format.isEmpty() && format != QLatin1String("text"))
        return refuse("log-format",
                      QStringLiteral("unknown format '%1' (text, jsonl)").arg(quotedValue(format)));
    return std::nullopt;
}

// The parser names the running executable, or none before the application object exists.
QString helpText(QCommandLineParser &parser)
{
    QString text = parser.helpText();
    text.replace(0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: portwren [options]"));
    return text + QStringLiteral("\nWith windows, Qt's own options are taken too: -platform NAME, "
                                 "-style NAME,\n-display DISPLAY, -geometry GEOMETRY and the "
                                 "others Qt documents.\n"
                                 "\nEnvironment: PORTWREN_COM1 ... PORTWREN_COM6 name the device "
                                 "of each port.\nSee portwren(1).\n");
}

QString versionText()
{
    return QStringLiteral("portwren " PORTWREN_VERSION "\n"
                          "Copyright (c) 2026 the PORTWREN developers\n"
                          "License: MIT (see /usr/share/doc/portwren/copyright, or LICENSE in "
                          "the source).\n"
                          "This is free software: you are free to change and redistribute it.\n"
                          "There is NO WARRANTY, to the extent permitted by law.\n");
}

} // namespace

CommandLine readCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("PORTWREN: a test tool for equipment and host programs on a serial line."));
    parser.addOptions(allOptions());
    CommandLine read;
    const auto refused = [&read](const QString &text) {
        read.action = CommandLine::Action::Refuse;
        read.text = text;
        return read;
    };
    QStringList ours, qtOptions;
    if (std::optional<Refusal> refusal = sortArguments(arguments, ours, qtOptions))
        return refused(refusal->text);
    if (!parser.parse(ours))
        return refused(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return refused(QStringLiteral("unexpected argument '%1'")
                           .arg(quotedValue(parser.positionalArguments().first())));
    if (parser.isSet(QStringLiteral("help"))) {
        read.action = CommandLine::Action::Help;
        read.text = helpText(parser);
        return read;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        read.action = CommandLine::Action::Version;
        read.text = versionText();
        return read;
    }
    if (parser.isSet(QStringLiteral("list-ports"))) {
        read.action = CommandLine::Action::ListPorts;
        return read;
    }
    if (std::optional<Refusal> refusal = readChoices(parser, read.options))
        return refused(refusal->text);
    if (std::optional<Refusal> refusal = readSimulatorFiles(parser, read.options))
        return refused(refusal->text);
    if (std::optional<Refusal> refusal = readRunWithoutWindows(parser, qtOptions, read.options))
        return refused(refusal->text);
    return read;
}

QString unnamedDeviceProblem(const StartOptions &options)
{
    const int port = options.port.value_or(1);
    if (options.window || !PortMap::environmentDevice(port).isEmpty() ||
        !PortMap::storedDevice(port).isEmpty())
        return {};
    for (const auto &[n, device] : options.devices)
        if (n == port)
            return {};
    return QStringLiteral("--no-window: nothing names the device of Com%1: (use --port %1=DEVICE, "
                          "PORTWREN_COM%1, or choose it in the port menu)")
        .arg(port);
}

void applyOptions(const StartOptions &options, LineSession &session)
{
    for (const auto &[port, device] : options.devices)
        session.chooseDevice(port, device, DeviceChoice::ForThisRun);
    if (options.port)
        session.choosePort(*options.port);
    if (options.mode)
        session.chooseMode(*options.mode);
    if (options.frameEnd)
        session.chooseFrameEnd(*options.frameEnd);
    if (options.quietTime)
        session.setQuietTimeText(*options.quietTime);
    if (options.settings)
        session.setSettingsText(*options.settings);
    session.setWordsAtOpen(options.registerWords);
    if (options.handshakePeriodMs)
        session.setHandshakePeriod(*options.handshakePeriodMs);
    session.setOutputsAtOpen(options.dtrAtOpen, options.rtsAtOpen);
    if (options.reconnect)
        session.setReconnect(true);
    session.setHandshakeAuto(options.autoHandshake);
}
