// SPDX-License-Identifier: MIT
#pragma once

// A run with windows started from the desktop, not from a console: on Windows the system opens a
// console window for the program (it is a console program, so that a console's user sees its
// messages and its Ctrl+C); that console, when no other program shares it, is let go, and its
// empty window goes. Does nothing on Unix, or for a console the user started it from.
void releaseOwnConsole();
