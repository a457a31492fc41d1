#pragma once

#include <QByteArray>

// The single-byte control codes of the line, the one place they are spelled out.
namespace Ctl
{

inline const QByteArray NUL(1, '\x00');
inline const QByteArray SOH(1, '\x01');
inline const QByteArray STX(1, '\x02');
inline const QByteArray ETX(1, '\x03');
inline const QByteArray EOT(1, '\x04');
inline const QByteArray ENQ(1, '\x05');
inline const QByteArray ACK(1, '\x06');
inline const QByteArray LF(1, '\x0A');
inline const QByteArray CR(1, '\x0D');
inline const QByteArray DLE(1, '\x10');
inline const QByteArray NAK(1, '\x15');
inline const QByteArray DC1(1, '\x11');
inline const QByteArray DC2(1, '\x12');
inline const QByteArray DC3(1, '\x13');

} // namespace Ctl

// The frame-end choice (TermKind) and the terminator string that goes with it.
enum TermKindIndex : qint16 { TermCrLf = 0, TermCr = 1, TermTime = 2 };

// CR LF for TermCrLf, CR for TermCr, nothing for TermTime.
QByteArray terminatorFor(int termKind);
