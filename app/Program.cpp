// SPDX-License-Identifier: MIT
#include "app/Program.h"

#include "app/CommandLine.h"
#include "app/DisplayCheck.h"
#include "app/StandardStreams.h"
#include "app/WindowlessRun.h"
#include "control/ControlServer.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/DevicePortService.h"
#include "platform/SystemPorts.h"
#include "platform/TerminationSignals.h"
#include "session/LineSession.h"
#include "ui/MainWindow.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

namespace
{

// What standard error's queued messages get at the end: the rest of the end's 100 ms, after
// the log's lines had theirs.
constexpr int NotesEndMs = 20;

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

std::unique_ptr<LineSession> makeSession(const StartOptions &options)
{
    auto session = std::make_unique<LineSession>(std::make_unique<DevicePortService>(),
                                                 std::make_unique<SystemClock>());
    applyOptions(options, *session);
    return session;
}

// A termination signal ends the program as END does; without the watch, a note says so.
void watchSignals(TerminationSignals &termination)
{
    if (!termination.isWatching())
        printNote(QStringLiteral("termination signals are not watched: ") +
                  termination.errorString());
}

// The main window over the session. Its log shows every line from the first, so the window
// exists before --open opens the port; it is shown with the state the options left.
int runWithWindows(int argc, char *argv[], const StartOptions &options)
{
    releaseOwnConsole();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PORTWREN"));
    NoteOutput notes;
    installFontSubstitutions();
    TerminationSignals termination;
    watchSignals(termination);
    const std::unique_ptr<LineSession> session = makeSession(options);
    MainWindow window(*session);
    if (options.stamps)
        window.setStampPrecision(*options.stamps);
    QObject::connect(&window, &MainWindow::endRequested, &app, &QApplication::quit);
    QObject::connect(&termination, &TerminationSignals::received, &window, &MainWindow::end);
    ControlServer control(*session);
    QString reason;
    if (!options.controlPath.isEmpty() && !control.listen(options.controlPath, &reason)) {
        printNote(QStringLiteral("--control: ") + reason);
        notes.drain(QDeadlineTimer(NotesEndMs));
        return 1;
    }
    session->startTicking();
    if (options.open)
        session->open();
    window.show();
    const int status = QApplication::exec();
    notes.drain(QDeadlineTimer(NotesEndMs));
    return status;
}

int runWithoutWindows(int argc, char *argv[], const StartOptions &options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("PORTWREN"));
    NoteOutput notes;
    TerminationSignals::ignoreBrokenPipe();
    TerminationSignals termination;
    watchSignals(termination);
    const std::unique_ptr<LineSession> session = makeSession(options);
    WindowlessRun run(*session, options);
    QObject::connect(&run, &WindowlessRun::finished, &app,
                     [](int status) { QCoreApplication::exit(status); });
    QObject::connect(&termination, &TerminationSignals::received, &run, [&run] { run.finish(0); });
    session->startTicking();
    QTimer::singleShot(0, &run, &WindowlessRun::start);
    const int status = QCoreApplication::exec();
    notes.drain(QDeadlineTimer(NotesEndMs));
    return status;
}

} // namespace

int runProgram(int argc, char *argv[])
{
    const ClosedStandardStreams closed = openClosedStandardStreams();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine read = readCommandLine(arguments);
    switch (read.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        print(read.text);
        return 0;
    case CommandLine::Action::ListPorts:
        for (const SystemPort &port : listSystemPorts())
            print(port.device +
                  (describePort(port).isEmpty() ? QString()
                                                : QLatin1Char('\t') + describePort(port)) +
                  QLatin1Char('\n'));
        return 0;
    case CommandLine::Action::Refuse:
        printNote(read.text);
        std::fputs("Try 'portwren --help' for more information.\n", stderr);
        return UsageErrorStatus;
    case CommandLine::Action::Run:
        break;
    }
    if (const QString unnamed = unnamedDeviceProblem(read.options); !unnamed.isEmpty()) {
        printNote(unnamed);
        std::fputs("Try 'portwren --help' for more information.\n", stderr);
        return UsageErrorStatus;
    }
    if (!read.options.window && read.options.logFile.isEmpty() && closed.output) {
        printNote(QStringLiteral("standard output is closed (use --log FILE)"));
        return 1;
    }
    if (read.options.window &&
        !displayCanOpen(arguments, QProcessEnvironment::systemEnvironment(), x11DisplayAnswers)) {
        printNote(NoDisplayText);
        return NoDisplayStatus;
    }
    return read.options.window ? runWithWindows(argc, argv, read.options)
                               : runWithoutWindows(argc, argv, read.options);
}
