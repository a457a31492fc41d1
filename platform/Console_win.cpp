// SPDX-License-Identifier: MIT
#include "platform/Console.h"

#include <windows.h>

void releaseOwnConsole()
{
    DWORD processes[2];
    if (::GetConsoleWindow() && ::GetConsoleProcessList(processes, 2) == 1)
        ::FreeConsole();
}
