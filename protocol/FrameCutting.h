// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Cutting received bytes into frames: by their frame end (CR LF or CR), or, for the frame end
// by time, by a pause longer than the quiet time (the receive path's timers find the pause).

// The unfinished rest of the receive buffer never holds more than this many bytes.
constexpr qsizetype ReceiveBufferBound = 32767;

// Under CR LF and CR: the first complete frame at the front of the buffer, frame end included,
// taken out of it; nothing while no frame end has arrived (and always nothing by time).
std::optional<QByteArray> takeFrame(QByteArray &buffer, FrameEnd end);

// The length of the complete frames at the front of the buffer (everything up to and including
// its last frame end); 0 by time, where no frame is complete before the quiet time.
qsizetype completeFramesLength(const QByteArray &buffer, FrameEnd end);

// Keeps the unfinished rest of the buffer (what follows its first `complete` bytes) within the
// bound by taking the rest's oldest bytes out; returns them. Complete frames are never dropped.
QByteArray dropBeyondBound(QByteArray &buffer, qsizetype complete = 0);

// The quiet time in milliseconds from the operator's text: its leading decimal number, blanks
// ignored, halves rounded to even, no number -> 0; clamped to 0..32767.
int quietTimeFrom(const QString &text);
