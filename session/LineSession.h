// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Cp932.h"
#include "platform/SerialPortService.h"
#include "protocol/ControlCodes.h"
#include "registers/HandshakeAutomaton.h"
#include "registers/RegisterMemory.h"
#include "registers/SimMode.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class Clock;
class Receiver;

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

// The line session: one serial port and everything that talks over it. It owns the port, the
// clock, the receive buffer and frame end, the simulator mode and its profile, the operator's
// texts (settings, transmit, quiet time), the register memory and the handshake automaton. It
// opens and closes the port, frames the operator's transmissions, cuts received bytes into
// frames and answers them, watches the modem lines on a 100 ms tick, and says what to log.
// No widgets: the main window shows what it signals, and the same session runs without one.
class LineSession : public QObject
{
    Q_OBJECT
public:
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
    void chooseFrameEnd(FrameEnd end);
    void setSettingsText(const QString &text);
    void setTransmitText(const QString &text);
    void setQuietTimeText(const QString &text);
    // Whether transmitted and received bytes are also logged as a hexadecimal dump.
    void setHexDump(bool on);

    // Opens the chosen port with the settings text (a blank text keeps the port's settings),
    // logs the OPEN line and runs the mode's open step. A failed open logs why and stays
    // closed. Returns whether the port opened.
    bool open();
    // Closes the port and logs the CLOSE line.
    void close();
    // The program ends: the port closes without a log line and nothing more is received.
    void end();
    // Frames and sends a transmit command, then logs its note; nothing at all while closed.
    void transmit(TransmitCommand command);
    // The 100 ms tick: the modem lines, then a receive poll.
    void tick();
    // Puts bytes on the line and logs them as sent ("◎", then the dump when it is on). On a
    // closed port, or when the device refuses them, a note says so instead; returns false.
    bool send(const QByteArray &bytes);
    // Adds "[HH:mm:ss]" + text to the traffic log.
    void log(const QString &text);

    // One tick of the transport handshake in the current mode; the new status text when a step
    // acted.
    std::optional<QString> stepHandshake();
    // The data window's "R": the mode's register preset, and the handshake back to step 0.
    void resetHandshake();

    SimMode mode() const { return m_mode; }
    FrameEnd frameEnd() const { return m_frameEnd; }
    int portNumber() const { return m_port->portNumber(); }
    bool isOpen() const { return m_port->isOpen(); }
    bool hexDump() const { return m_hexDump; }
    const QString &settingsText() const { return m_settingsText; }
    const QString &transmitText() const { return m_transmitText; }
    const QString &quietTimeText() const { return m_quietTimeText; }
    const QByteArray &receiveBuffer() const;
    RegisterMemory &registers() { return m_registers; }
    HandshakeAutomaton &handshake() { return m_handshake; }

Q_SIGNALS:
    // One traffic-log line: "[HH:mm:ss]" + text.
    void lineLogged(const QString &line);
    void connectionChanged(bool open);
    void modemLinesChanged(const ModemLines &lines);
    // The session changed a text or the frame end itself (a mode choice).
    void settingsTextChanged(const QString &text);
    void transmitTextChanged(const QString &text);
    void frameEndChanged(FrameEnd end);

private:
    void sendWithNote(const QByteArray &bytes, const QString &note);
    void answerFrame(const QByteArray &frame, FrameEnd end);
    void onPortLost(const QString &reason);

    std::unique_ptr<SerialPortService> m_port;
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<Receiver> m_receiver;
    QTimer m_tick;
    bool m_ended = false;
    SimMode m_mode = SimMode::None;
    FrameEnd m_frameEnd = FrameEnd::Time;
    QString m_settingsText = QStringLiteral("9600,N,7,1");
    QString m_transmitText;
    QString m_quietTimeText = QStringLiteral("200");
    bool m_hexDump = false;
    // The log's text of each direction, decoded as a stream: a character split between two
    // frames or two transmissions shows whole.
    Cp932::StreamDecoder m_receivedText;
    Cp932::StreamDecoder m_sentText;
    ModemLines m_shownLines;
    RegisterMemory m_registers;
    HandshakeAutomaton m_handshake;
};
