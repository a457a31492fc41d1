// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

// The single-byte control codes of the line, the one place they are spelled out.
namespace Ctl
{

inline const QByteArray STX(1, '\x02');
inline const QByteArray ETX(1, '\x03');
inline const QByteArray EOT(1, '\x04');
inline const QByteArray ENQ(1, '\x05');
inline const QByteArray ACK(1, '\x06');
inline const QByteArray LF(1, '\x0A');
inline const QByteArray CR(1, '\x0D');
inline const QByteArray NAK(1, '\x15');

} // namespace Ctl

// How received bytes are cut into frames, and the terminator that framed transmissions and
// replies carry: CR LF, CR, or nothing when a pause on the line ends a frame. The values are
// the positions of the choices in the main window.
enum class FrameEnd : qint16 { CrLf = 0, Cr = 1, Time = 2 };

// CR LF, CR, or nothing for Time.
QByteArray terminatorFor(FrameEnd end);
