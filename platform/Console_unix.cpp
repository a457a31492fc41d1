// SPDX-License-Identifier: MIT
#include "platform/Console.h"

void releaseOwnConsole() {}
