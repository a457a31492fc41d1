// SPDX-License-Identifier: MIT
// PORTWREN: a serial-line test tool. Reads the command line, builds the line session on the
// real serial port and the system clock, and shows the main window over it or runs it without
// windows.
#include "app/Program.h"

int main(int argc, char *argv[])
{
    return runProgram(argc, argv);
}
