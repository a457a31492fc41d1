// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Cp932.h"
#include "platform/SerialPortService.h"
#include "protocol/ControlCodes.h"
#include "protocol/FrameResponder.h"
#include "registers/HandshakeAutomaton.h"
#include "registers/RegisterMemory.h"
#include "registers/SimMode.h"
#include "session/HandshakeTick.h"
#include "session/OutgoingReplies.h"
#include "session/PortWatch.h"
#include "session/RepeatPlayer.h"
#include "session/SessionEvents.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

class Clock;
class Receiver;
class Timer;
struct ProcedureChoices;

// The operator's transmit commands.
enum class TransmitCommand {
    StxEtx, // STX, the transmit text, ETX
    CrLf,   // the transmit text, CR, LF
    Cr,     // the transmit text, CR
    Ack,
    Nak,
    Eot,
    Send, // computer-link modes: ENQ, text, sum, terminator; other modes: the text alone
};

// The caption of a transmit command's button ("CR+LF"), as notes name it.
QString transmitCaption(TransmitCommand command);

// How long a device chosen for a port is kept: in the user's settings file (the port menu), or
// for this run only (the command line). A choice for the run wins over PORTWREN_COM<n>, which
// wins over the stored one.
enum class DeviceChoice { Stored, ForThisRun };

// Who changed registers: a host's word write on the line, the operator (the data window, R, the
// preset at OPEN), the transport handshake, or a control program.
enum class RegisterWriter { Line, Operator, Handshake, Control };

// The line session: one serial port and everything that talks over it. It owns the port, the
// clock, the receive buffer and frame end, the simulator mode and its profile, the operator's
// texts (settings, transmit, quiet time), the register memory and the handshake automaton with
// its tick. It opens and closes the port, frames the operator's transmissions, cuts received
// bytes into frames and answers them, watches the modem lines on a 100 ms tick, and says what
// happened as typed events: traffic, notes, and changes of state. The operator's tools on the
// line are here too: DTR, RTS and BREAK, a transmission repeated (RepeatPlayer), and the wait
// for a lost port to come back (PortWatch). No widgets: the main window shows what it signals,
// and the same session runs without one.
class LineSession : public QObject
{
    Q_OBJECT
public:
    // The handshake's tick until a player asks for another period.
    static constexpr int DefaultHandshakePeriodMs = HandshakeTick::DefaultPeriodMs;

    LineSession(std::unique_ptr<SerialPortService> port, std::unique_ptr<Clock> clock,
                QObject *parent = nullptr);
    ~LineSession() override;

    // Starts the 100 ms tick (line monitor and receive poll); tests call tick() themselves.
    void startTicking();

    // The operator's choices. A mode choice puts its profile's texts in place (all but
    // "NONE") and selects its frame end; it never touches an open port.
    void chooseMode(SimMode mode);
    // Port 1 to 6, for the next open.
    void choosePort(int number);
    // The device port n leads to from the next open; an empty text goes back to the default.
    // A stored choice that cannot be written is noted in the log; returns whether it was kept.
    bool chooseDevice(int port, const QString &device, DeviceChoice how);
    // The device port n leads to now.
    QString deviceFor(int port) const;
    void chooseFrameEnd(FrameEnd end);
    void setSettingsText(const QString &text);
    void setTransmitText(const QString &text);
    void setQuietTimeText(const QString &text);
    // Whether transmitted and received bytes are also logged as a hexadecimal dump.
    void setHexDump(bool on);

    // Opens the chosen port with the settings text (a blank text keeps the port's settings),
    // logs the OPEN line and runs the mode's open step, then sets the modem outputs chosen for
    // OPEN. A failed open logs why, raises openFailed() and stays closed. Returns whether the
    // port opened. An open ends a wait for a lost port.
    bool open();
    // Closes the port and logs the CLOSE line; a repeat stops, a BREAK ends. While a lost port
    // is waited for, CLOSE ends the wait instead.
    void close();
    // The program ends: the port closes without a log line and nothing more is received.
    void end();
    // Frames and sends a transmit command, then logs its note; nothing at all while closed.
    // Returns whether the port took the bytes (a refusal is noted, as for send()).
    bool transmit(TransmitCommand command);
    // The 100 ms tick: the modem lines, then a receive poll.
    void tick();
    // Puts bytes on the line and reports them as sent. On a closed port, or when the device
    // refuses them, a note says so instead; returns false.
    bool send(const QByteArray &bytes);
    // The modem outputs every OPEN sets (both on unless told otherwise): one that is off is
    // changed, with its note, right after the OPEN line.
    void setOutputsAtOpen(bool dtr, bool rts);
    // DTR or RTS changed on the open port now, with a note ("  <<DTR off>>"). On a closed port,
    // or when the device refused it or does not carry it (a virtual line), the note and the
    // return say why, and nothing changed.
    std::optional<QString> setDataTerminalReady(bool on);
    std::optional<QString> setRequestToSend(bool on);
    // A BREAK of ms milliseconds (BreakRange) on the open port, with a note; refused as a
    // modem output is, and while a BREAK is on.
    std::optional<QString> sendBreak(int ms);
    bool isBreakOn() const { return m_breakOn; }
    // The modem lines as the port reports them now.
    ModemLines modemLines() { return m_port->modemLines(); }

    // A transmit command, or bytes, sent again and again on the open port (RepeatPlayer):
    // every periodMs, count times (0: until stopped), the first at once (RepeatPeriodRange,
    // RepeatCountRange). A running repeat is
    // replaced. Refused on a closed port, with the note and the reason.
    std::optional<QString> repeatTransmit(TransmitCommand command, int periodMs, int count);
    std::optional<QString> repeatBytes(const QByteArray &bytes, int periodMs, int count);
    void stopRepeat() { m_repeat.stop(); }
    const RepeatPlayer &repeat() const { return m_repeat; }

    // Whether a lost port is waited for and reopened (PortWatch): with the same settings, mode
    // and modem outputs, the registers keeping their words. Off at start; turning it off ends a
    // wait.
    void setReconnect(bool on);
    bool reconnects() const { return m_reconnect; }
    // The device waited for since the port was lost; empty when none is.
    QString waitingFor() const { return m_watch.device(); }

    // A note for the traffic log, now.
    void note(NoteSource source, const QString &text, const QByteArray &dump = {});

    // The transport handshake's tick (HandshakeTick), on while a player wants it. Each tick
    // raises handshakeTickStarting(), then the automaton steps (it acts only in Auto).
    void setHandshakeTicking(TickPlayer player, bool on) { m_handshakeTick.want(player, on); }
    bool isHandshakeTicking() const { return m_handshakeTick.isRunning(); }
    // The handshake's Auto (true) or Manual, as the data window's options choose it.
    void setHandshakeAuto(bool on);
    // One step of the handshake now, as a tick in Auto would run it, in Auto or Manual alike.
    void stepHandshakeNow();
    // Manual at step 0, as the data window opens (the wait count carries over).
    void restartHandshakeInManual();
    // The status text of the handshake's latest step that acted (empty after "R").
    const QString &handshakeStatus() const { return m_handshakeStatus; }
    // The tick's period, 1 ms or more; a running tick takes it from its next tick.
    void setHandshakePeriod(int ms) { m_handshakeTick.setPeriod(ms); }
    int handshakePeriod() const { return m_handshakeTick.period(); }
    // One tick of the handshake, as the tick runs it.
    void tickHandshake();
    // The data window's "R": the mode's register preset, and the handshake back to step 0
    // with an empty status.
    void resetHandshake();

    // Stores texts in the words from `from` on, all or none (RegisterMemory::storeTexts), and
    // reports the write and the change as the writer's.
    std::optional<WordsRefused> storeWords(int from, const QStringList &texts, RegisterWriter by);
    // Words stored after the mode's preset at every OPEN, so that a host reads them first.
    void setWordsAtOpen(const QList<QPair<int, QString>> &words) { m_wordsAtOpen = words; }

    // Faults for the simulated device's next replies (ReplyFaults): one more, refused with the
    // reason when too many wait; dropping them all, which sends the replies they hold back at
    // once (OutgoingReplies); the replies still to be faulted.
    std::optional<QString> addFault(const Fault &fault) { return m_replies.addFault(fault); }
    void clearFaults() { m_replies.clearFaults(); }
    qint64 faultsPending() const { return m_replies.faultsPending(); }
    // Frames received and answered, and replies that went out whole, since start.
    qint64 framesReceived() const { return m_framesReceived; }
    qint64 repliesSent() const { return m_replies.repliesSent(); }
    // The replies waiting to go out behind a delay or a split.
    const OutgoingReplies &outgoingReplies() const { return m_replies; }

    // The time now, by the session's clock (microseconds since 1970-01-01 00:00 UTC).
    qint64 nowUs() const;
    // The time of the change being signalled (connection, registers, a write, a fault used,
    // handshake status), the same for every reader of it.
    qint64 changeTimeUs() const { return m_changeTimeUs; }

    SimMode mode() const { return m_mode; }
    FrameEnd frameEnd() const { return m_frameEnd; }
    int portNumber() const { return m_port->portNumber(); }
    bool isOpen() const { return m_port->isOpen(); }
    // Why the port last failed (an open, a write), in the port's words.
    QString portError() const { return m_port->errorString(); }
    bool hexDump() const { return m_hexDump; }
    // The settings text for the next OPEN, and the settings in effect on the open line (empty
    // while closed).
    const QString &settingsText() const { return m_settingsText; }
    QString lineSettings() const { return isOpen() ? m_port->settings() : QString(); }
    const QString &transmitText() const { return m_transmitText; }
    const QString &quietTimeText() const { return m_quietTimeText; }
    const QByteArray &receiveBuffer() const;
    RegisterMemory &registers() { return m_registers; }
    HandshakeAutomaton &handshake() { return m_handshake; }

Q_SIGNALS:
    // Bytes went over the line: a frame received (before its answer) or bytes sent.
    void trafficPassed(const Traffic &traffic);
    void noted(const Note &note);
    // An OPEN failed, or the open port's device went away; the reason names the device.
    void openFailed(const QString &reason);
    void portLost(const QString &reason);
    void connectionChanged(bool open);
    void modemLinesChanged(const ModemLines &lines);
    void modeChanged(SimMode mode);
    void frameEndChanged(FrameEnd end);
    // A choice changed, by the operator, by a mode's profile or by a control program.
    void settingsTextChanged(const QString &text);
    void transmitTextChanged(const QString &text);
    void quietTimeTextChanged(const QString &text);
    void hexDumpChanged(bool on);
    // Words from..from+words.size()-1 changed (the span from the first to the last changed).
    void registersChanged(int from, const QStringList &words, RegisterWriter by);
    // A word write stored these words from `from` on, changed or not: a host's on the line, a
    // control program's or the data window's. registersChanged follows when any changed.
    void wordsWritten(int from, const QStringList &words, RegisterWriter by);
    // A fault shaped a reply; its note is the log line just before.
    void faultApplied(const AppliedFault &fault);
    void handshakeAutoChanged(bool on);
    // A handshake tick begins: a view shows the registers, step and wait before the step.
    void handshakeTickStarting();
    void handshakeStatusChanged(const QString &status);
    // A repeat started, sent or ended.
    void repeatChanged();
    void reconnectChanged(bool on);
    // A wait for a lost port began (the device waited for) or ended (empty).
    void waitingForChanged(const QString &device);

private:
    ProcedureChoices choicesNow() const;
    bool sendShowing(const QByteArray &bytes, bool hexShown);
    LineActions answerOf(const QByteArray &frame, const ResponderState &state);
    void reportRegisterChanges(RegisterWriter by);
    void reportWrite(int from, const QStringList &words, RegisterWriter by);
    void reportFault(const AppliedFault &fault);
    bool sendWithNote(const QByteArray &bytes, const QString &note);
    void answerFrame(const QByteArray &frame, const ProcedureChoices &choices);
    void noteOverflow(const QByteArray &dropped);
    void onPortLost(const QString &reason);
    void startLine(bool reopened);
    std::optional<QString> reopen();
    std::optional<QString> changeOutput(const QString &change, bool (SerialPortService::*set)(bool),
                                        bool on);
    void endBreak();
    std::optional<QString> startRepeat(const RepeatPlayer::Plan &plan, std::function<bool()> send);
    void showModemLines();
    void closeWithNote(NoteSource source);
    void showHandshakeStatus(const QString &status);
    void stampChange();

    std::unique_ptr<SerialPortService> m_port;
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<Receiver> m_receiver;
    OutgoingReplies m_replies;
    HandshakeTick m_handshakeTick;
    RepeatPlayer m_repeat;
    PortWatch m_watch;
    std::unique_ptr<Timer> m_breakTimer;
    bool m_breakOn = false;
    bool m_reconnect = false;
    bool m_dtrAtOpen = true, m_rtsAtOpen = true;
    QTimer m_tick;
    bool m_ended = false;
    SimMode m_mode = SimMode::None;
    FrameEnd m_frameEnd = FrameEnd::Time;
    QString m_settingsText = QStringLiteral("9600,N,7,1");
    QString m_transmitText;
    QString m_quietTimeText = QStringLiteral("200");
    bool m_hexDump = false;
    QString m_handshakeStatus;
    qint64 m_changeTimeUs = 0;
    QList<QPair<int, QString>> m_wordsAtOpen;
    // A virtual line's far end can wait: it is not read while the waiting replies leave no room
    // for more. A real port is read whatever waits, or its driver would drop bytes.
    bool m_readingWaitsForReplies = false;
    qint64 m_framesReceived = 0;
    // The words as last reported, to find what changed.
    std::array<QString, RegisterMemory::Count> m_reportedWords;
    // The text of each direction, decoded as a stream: a character split between two frames or
    // two transmissions shows whole.
    Cp932::StreamDecoder m_receivedText;
    Cp932::StreamDecoder m_sentText;
    ModemLines m_shownLines;
    RegisterMemory m_registers;
    HandshakeAutomaton m_handshake;
};
