// SPDX-License-Identifier: MIT
// Feeds an arbitrary dial text and received frame to the modem dialog, directly and through
// the frame responder in mode prGPS under every frame end, and checks that every text it sends
// ends with CR LF and that one frame is answered at most once.
//
// Input: the first byte is the length of the dial text (read as UTF-8) that follows it; the
// rest is the frame.
#include "protocol/FrameResponder.h"
#include "protocol/ModemDialog.h"
#include "registers/RegisterMemory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace
{

void requireSendsEndInCrLf(const LineActions &actions)
{
    int sends = 0;
    for (const LineAction &a : actions) {
        if (a.kind != LineAction::Send)
            continue;
        ++sends;
        if (!a.bytes.endsWith("\r\n"))
            std::abort();
    }
    if (sends > 1)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data) + 1;
    const qsizetype rest = qsizetype(size - 1);
    const qsizetype dialLength = std::min<qsizetype>(data[0], rest);
    const QString dialText = QString::fromUtf8(bytes, dialLength);
    const QByteArray frame(bytes + dialLength, rest - dialLength);

    requireSendsEndInCrLf(answerModemPrompt(frame, dialText));
    RegisterMemory memory;
    for (const FrameEnd end : {FrameEnd::CrLf, FrameEnd::Cr, FrameEnd::Time}) {
        ResponderState state;
        state.mode = SimMode::PrGps;
        state.frameEnd = end;
        state.dialText = dialText;
        requireSendsEndInCrLf(respondToFrame(frame, state, memory));
    }
    return 0;
}
