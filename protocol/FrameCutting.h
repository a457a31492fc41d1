// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Cutting received bytes into frames: by their frame end (CR LF or CR), or, for the frame end
// by time, by a pause longer than the quiet time (the receive path's timers find the pause).

// The receive buffer never holds more than this many bytes.
constexpr qsizetype ReceiveBufferBound = 32767;

// Under CR LF and CR: the first complete frame at the front of the buffer, frame end included,
// taken out of it; nothing while no frame end has arrived (and always nothing by time).
std::optional<QByteArray> takeFrame(QByteArray &buffer, FrameEnd end);

// Keeps the buffer within its bound by taking its oldest bytes out; returns them.
QByteArray dropBeyondBound(QByteArray &buffer);

// The quiet time in milliseconds from the operator's text: its leading decimal number, blanks
// ignored, halves rounded to even, no number -> 0; clamped to 0..32767.
int quietTimeFrom(const QString &text);
