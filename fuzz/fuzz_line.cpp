// SPDX-License-Identifier: MIT
// Feeds arbitrary line bytes through the receive path, the frame responder and the log lines of
// what was received and sent, in every simulator mode and frame end, and checks that the
// register memory keeps the word format (a word outside D0-D127 would already have thrown from
// the memory's bounds check) and that an escaped log line stays one line.
//
// Input: the first byte steers the run (bit 0: HEX display on; bit 1: the rest is the body of
// one request, sent as ENQ, body, its correct sum and the frame end in use, so that the checks
// behind the sum are reached; bits 2-7: bytes per arrival, 0 for all at once); the rest is
// what arrives on the line. Inputs run up to 40,000 bytes (fuzz/run), past the receive buffer's
// bound of 32,767, so that the overflow path is reached.
#include "FakeSerialPort.h"
#include "WordFormatCheck.h"
#include "platform/Cp932.h"
#include "protocol/FrameCutting.h"
#include "protocol/FrameResponder.h"
#include "protocol/SumCheck.h"
#include "registers/RegisterMemory.h"
#include "session/LogFormat.h"
#include "session/Receiver.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace
{

// A line of the log a program reads: one line, whatever the bytes were.
__attribute__((no_sanitize("coverage"))) void requireOneLine(const Traffic &traffic)
{
    for (const QString &text : logTexts(traffic, LogEscaping::ControlCharacters)) {
        if (text.contains(u'\n') || text.contains(u'\r'))
            std::abort();
    }
}

// At most this many arrivals per run: a full receive buffer is searched and shifted on every
// arrival, so a long input taken byte by byte would hold the fuzzer for half a minute.
constexpr qsizetype MaxArrivals = 512;

// The line's bytes arrive in chunks at alternating short and long gaps; port events and
// ticks take turns to start the receive path, and a last tick takes what is left.
void receiveAll(const QByteArray &line, int chunk, const ProcedureChoices &choices,
                RegisterMemory &memory)
{
    FakeClock clock;
    FakeSerialPort port(&clock);
    port.open();
    Cp932::StreamDecoder receivedText;
    const auto answer = [&](const QByteArray &frame, const ProcedureChoices &cutBy) {
        requireOneLine({Traffic::Received, 0, frame, receivedText.decode(frame),
                        cutBy.responder.frameEnd, cutBy.hexShown});
        for (const LineAction &a : respondToFrame(frame, cutBy.responder, memory)) {
            if (a.kind == LineAction::Send)
                port.write(a.bytes);
        }
    };
    Receiver receiver(
        port, clock,
        Receiver::Hooks{[] { return QStringLiteral("200"); }, answer, [](const QByteArray &) {}});
    const FrameEnd end = choices.responder.frameEnd;
    const qsizetype fewest = (line.size() + MaxArrivals - 1) / MaxArrivals;
    const qsizetype step = std::max<qsizetype>({1, chunk > 0 ? chunk : line.size(), fewest});
    for (qsizetype at = 0, turn = 0; at < line.size(); at += step, ++turn) {
        clock.advance(turn % 2 ? 50 : 300);
        port.arriveNow(line.mid(at, step));
        receiver.start(turn % 2 ? ReceiveTrigger::Tick : ReceiveTrigger::PortEvent, choices);
        const QByteArray &buffer = receiver.buffer();
        if (buffer.size() - completeFramesLength(buffer, end) > ReceiveBufferBound)
            std::abort();
    }
    clock.advance(1000);
    receiver.start(ReceiveTrigger::Tick, choices);
    clock.advance(1000);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray payload(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const bool asRequest = data[0] & 2;
    const int chunk = data[0] >> 2;
    RegisterMemory memory;
    memory.applyRackPreset();
    for (int mode = 0; mode < SimModeCount; ++mode) {
        for (const FrameEnd end : {FrameEnd::CrLf, FrameEnd::Cr, FrameEnd::Time}) {
            const QByteArray line =
                asRequest ? Ctl::ENQ + payload + sumCheck(payload) + terminatorFor(end) : payload;
            const ProcedureChoices choices{{SimMode(mode), end, QString::fromLatin1(line.left(12))},
                                           bool(data[0] & 1)};
            receiveAll(line, chunk, choices, memory);
            respondToFrame(line, choices.responder, memory); // the whole input as one frame
            requireWordFormat(memory);
        }
    }
    return 0;
}
