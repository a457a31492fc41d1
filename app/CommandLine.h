// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"
#include "registers/SimMode.h"
#include "session/LogFormat.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

class LineSession;

// What a run is told on the command line. A choice left unset keeps the session's start-up
// state.
struct StartOptions {
    bool window = true;         // false: --no-window
    bool open = false;          // --open (a run without windows always opens)
    bool autoHandshake = false; // --auto
    std::optional<SimMode> mode;
    std::optional<FrameEnd> frameEnd;
    std::optional<QString> quietTime;   // milliseconds, 0 to 32767, as digits
    std::optional<QString> settings;    // a settings string the port accepts
    std::optional<int> port;            // the last --port: Com<n>: is chosen
    QList<QPair<int, QString>> devices; // each --port N=DEVICE, in order
    QString logFile;                    // --log
    QString registerDump;               // --register-dump
    enum class LogFormat { Text, JsonLines };
    LogFormat logFormat = LogFormat::Text;    // --log-format
    QString controlPath;                      // --control
    QList<QPair<int, QString>> registerWords; // read from --registers FILE
    std::optional<int> handshakePeriodMs;     // --handshake-period
    bool endWithParent = false;               // --end-with-parent
    QString temporaryFolder;                  // --temporary-folder
    std::optional<StampPrecision> stamps;     // --timestamps
    bool dtrAtOpen = true, rtsAtOpen = true;  // --dtr, --rts
    bool reconnect = false;                   // --reconnect
};

// The command line read: run with the options, or print a text and end.
struct CommandLine {
    enum class Action { Run, Help, Version, ListPorts, Refuse };
    Action action = Action::Run;
    StartOptions options;
    // Help, Version: what to print. Refuse: one line naming the option and what is wrong.
    QString text;
};

// Exit status of a command line that is refused.
constexpr int UsageErrorStatus = 2;

// Reads the arguments (the first is the program's name) and the register file they name.
// Prints nothing, ends nothing.
CommandLine readCommandLine(const QStringList &arguments);

// A run without windows never opens a port's built-in default device (/dev/ttyS<n-1>): the
// port it opens must be named by --port N=DEVICE, PORTWREN_COM<n> or a choice stored from the
// port menu. The refusal's text when nothing names it, otherwise empty.
QString unnamedDeviceProblem(const StartOptions &options);

// Puts the options into the session: the devices (for this run only, over PORTWREN_COM<n> and
// the stored choice), the port, the mode, then the frame end, quiet time and settings that
// override the mode's, the words stored at each OPEN, the handshake's Auto mode and period, the
// modem outputs at OPEN and the wait for a lost port. Opens nothing.
void applyOptions(const StartOptions &options, LineSession &session);
