// SPDX-License-Identifier: MIT
// Word-read requests answered per second through the frame responder (notes and reply built, as
// the session has them for each frame), plus a word write and a sum error for comparison.
// Prints figures only; compare ratios measured in one run.
#include "protocol/FrameResponder.h"
#include "protocol/SumCheck.h"
#include "registers/RegisterMemory.h"

#include <QElapsedTimer>

#include <cstdio>

namespace
{

QByteArray request(const QByteArray &body)
{
    return Ctl::ENQ + body + sumCheck(body) + Ctl::CR + Ctl::LF;
}

// Runs the frame through the responder for about half a second; returns frames per second.
double framesPerSecond(const QByteArray &frame, const ResponderState &state, RegisterMemory &memory)
{
    qint64 frames = 0;
    qsizetype sink = 0;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 500) {
        for (int i = 0; i < 1000; ++i)
            sink += respondToFrame(frame, state, memory).size();
        frames += 1000;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    return sink > 0 ? frames / seconds : 0.0;
}

} // namespace

int main()
{
    RegisterMemory memory;
    memory.applyRackPreset();
    ResponderState state;
    state.mode = SimMode::Rack;
    state.frameEnd = FrameEnd::CrLf;

    const struct {
        const char *name;
        QByteArray frame;
    } cases[] = {
        {"word read, 2 words", request("000000WR00003202")},
        {"word read, 64 words", request("000000WR00000040")},
        {"word write, 2 words", request("000000WW0000400200070123")},
        {"sum error", Ctl::ENQ + "000000WR00003202" + "00" + Ctl::CR + Ctl::LF},
    };
    for (const auto &c : cases)
        std::printf("%-22s %12.0f requests/s\n", c.name, framesPerSecond(c.frame, state, memory));
    return 0;
}
