// SPDX-License-Identifier: MIT
#pragma once

// Which of the standard streams (input, output, error) were closed when the program started.
struct ClosedStandardStreams {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Opens each closed standard stream on the null device (/dev/null, NUL), so that no descriptor
// the program opens later (an event, the signal pipe, a port) takes its number and receives
// what is meant for standard output or error. The first thing the program does.
ClosedStandardStreams openClosedStandardStreams();
