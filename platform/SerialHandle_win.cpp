// SPDX-License-Identifier: MIT
#include "platform/SerialHandle.h"

#include <windows.h>

int SerialHandle::bytesWaiting(Native)
{
    return 0;
}

qint64 SerialHandle::bytesNotSent(Native handle)
{
    DWORD errors = 0;
    COMSTAT status{};
    return handle != INVALID_HANDLE_VALUE && ::ClearCommError(HANDLE(handle), &errors, &status)
               ? qint64(status.cbOutQue)
               : 0;
}

QByteArray SerialHandle::takeBytes(Native)
{
    return {};
}

// The driver no longer answers for a device that is gone (ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED
// after an adapter is unplugged). Qt reports no line errors, so clearing them loses nothing.
bool SerialHandle::hungUp(Native handle)
{
    DWORD errors = 0;
    COMSTAT status{};
    return handle == INVALID_HANDLE_VALUE || !::ClearCommError(HANDLE(handle), &errors, &status);
}

bool SerialHandle::isPseudoTerminal(const QString &)
{
    return false;
}
