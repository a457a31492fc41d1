// The receive path: gathers waiting bytes in the receive buffer and cuts them into frames by the
// frame end (CR LF, CR, or a pause longer than the quiet time).
#include "protocol/ReceivePath.h"

#include "platform/Clock.h"
#include "platform/SerialPortService.h"
#include "protocol/SumCheck.h"

#include <algorithm>
#include <cmath>

namespace
{

constexpr int InputWaitMs = 100; // the wait before each read under CR LF and CR
constexpr qsizetype ReceiveBufferBound =
    32767; // the receive buffer never holds more bytes than this
constexpr int QuietTimeMaxMs = 32767;

// Keeps the receive buffer within its bound by dropping its oldest bytes. They are never lost
// silently: the log gets a note with their count, then their hex dump.
void keepWithinBound(ReceiveContext &ctx)
{
    const qsizetype excess = ctx.buffer.size() - ReceiveBufferBound;
    if (excess <= 0)
        return;
    const QByteArray dropped = ctx.buffer.left(excess);
    ctx.buffer.remove(0, excess);
    ctx.note(QStringLiteral("  <<受信バッファあふれ: %1 バイト破棄>>").arg(excess));
    ctx.note(QStringLiteral("　") + hexDump(dropped));
}

// Takes what is waiting onto the receive buffer. False when nothing came: a port that reports bytes
// but hands none over ends the procedure instead of holding the window in a loop.
bool takeInput(ReceiveContext &ctx)
{
    const QByteArray arrived = ctx.port.readAll();
    ctx.buffer += arrived;
    return !arrived.isEmpty();
}

// CR LF and CR: after each read, every complete frame is cut from the front of the receive buffer
// and handed on; then what remains is bounded (complete frames are never dropped).
void cutFrames(ReceiveContext &ctx, const QByteArray &frameEnd, bool waitBeforeInput)
{
    while (ctx.port.bytesWaiting() > 0) {
        if (waitBeforeInput)
            ctx.clock.wait(InputWaitMs);
        if (!takeInput(ctx))
            return;
        for (qsizetype end; (end = ctx.buffer.indexOf(frameEnd)) >= 0;) {
            const QByteArray frame = ctx.buffer.left(end + frameEnd.size());
            ctx.buffer.remove(0, frame.size());
            ctx.onFrame(frame);
        }
        keepWithinBound(ctx);
    }
}

// By time: reads until the line has been quiet for the quiet time, then hands on all of
// the receive buffer as one frame, leftovers from another frame end included. The timer is off
// meanwhile.
void timedRead(ReceiveTrigger trigger, ReceiveContext &ctx)
{
    ctx.setTickEnabled(false);
    const int quietMs = quietTimeFrom(ctx.quietText());
    while (ctx.port.bytesWaiting() > 0) {
        if (!takeInput(ctx))
            break;
        keepWithinBound(ctx);
        ctx.clock.wait(quietMs);
    }
    // The port event hands on even an empty buffer (the responder ignores it); the tick does
    // not.
    if (trigger == ReceiveTrigger::PortEvent || !ctx.buffer.isEmpty()) {
        const QByteArray frame = ctx.buffer;
        ctx.onFrame(frame);
        ctx.buffer.clear();
    }
    ctx.setTickEnabled(true);
}

} // namespace

void runReceive(ReceiveTrigger trigger, ReceiveContext &ctx)
{
    const bool onPortEvent = trigger == ReceiveTrigger::PortEvent;
    switch (ctx.frameEnd) {
    case FrameEnd::CrLf:
        return cutFrames(ctx, Ctl::CR + Ctl::LF, onPortEvent); // the tick reads without waiting
    case FrameEnd::Cr:
        return cutFrames(ctx, Ctl::CR, true);
    case FrameEnd::Time:
        return timedRead(trigger, ctx);
    }
}

// Read as a leading number is read from operator text: blanks, tabs and line feeds are skipped
// wherever they stand ("1 2" is 12); then an optional sign, digits and one decimal point; the
// first other character ends the number ("200ms" is 200, "1e3" is 1, "abc" is 0). Halves round
// to the even neighbour ("2.5" is 2, "3.5" is 4); the result is clamped into 0..32767.
int quietTimeFrom(const QString &text)
{
    QByteArray number;
    bool point = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        if (c.isDigit() && c.unicode() < 0x80)
            number += char(c.unicode());
        else if ((c == u'-' || c == u'+') && number.isEmpty())
            number += char(c.unicode());
        else if (c == u'.' && !point)
            number += '.', point = true;
        else
            break;
    }
    bool ok = false;
    double value = number.toDouble(&ok); // 0 for a text without digits
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (!ok && std::any_of(number.begin(), number.end(), isDigit))
        value = number.startsWith('-') ? -HUGE_VAL : HUGE_VAL; // too long for a double
    return static_cast<int>(std::clamp(std::nearbyint(value), 0.0, double(QuietTimeMaxMs)));
}
