// SPDX-License-Identifier: MIT
#pragma once

// The whole program: reads the command line, then shows the main window over the line session
// or runs the session without windows. Returns the exit status.
int runProgram(int argc, char *argv[]);
