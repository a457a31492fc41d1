#include "ControlCodes.h"

QByteArray terminatorFor(int termKind)
{
    switch (termKind) {
    case TermCrLf:
        return Ctl::CR + Ctl::LF;
    case TermCr:
        return Ctl::CR;
    default:
        return QByteArray();
    }
}
