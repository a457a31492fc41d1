#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class Clock;
class SerialPortService;

// Where the receive procedure runs from: the port's event or the main window's 100 ms tick.
enum class ReceiveTrigger { PortEvent, TimerTick };

// What the receive procedure works on: the port, the blocking wait, the main window's
// receive buffer and frame-end choice, and the window's hooks.
struct ReceiveContext {
    SerialPortService &port;
    Clock &clock;
    QByteArray &recvBuf;                                 // RecvBuf
    int termKind;                                        // TermKind
    std::function<QString()> quietText;                  // Text3, read at each timed read
    std::function<void(const QByteArray &)> frameProc;   // FrameProc
    std::function<void(bool)> setTimerEnabled;           // Timer1.Enabled
    std::function<void(const QString &)> note;           // a note for the traffic log
};

// Gathers waiting bytes into RecvBuf, cuts frames by the frame end and hands each to
// frameProc, in arrival order, with the waits that the trigger calls for.
void runReceive(ReceiveTrigger trigger, ReceiveContext &ctx);

// The quiet time in milliseconds from Text3's text: its leading decimal number, blanks
// ignored, halves rounded to even, no number -> 0; clamped to 0..32767.
int quietTimeFrom(const QString &text);
