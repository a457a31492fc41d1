// SPDX-License-Identifier: MIT
#include "protocol/ControlCodes.h"

QByteArray terminatorFor(FrameEnd end)
{
    switch (end) {
    case FrameEnd::CrLf:
        return Ctl::CR + Ctl::LF;
    case FrameEnd::Cr:
        return Ctl::CR;
    case FrameEnd::Time:
        break;
    }
    return QByteArray();
}
