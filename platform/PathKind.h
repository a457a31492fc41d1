// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <optional>

// What is at a path the user names for the program to write, links followed: nothing yet (also
// a link to nothing), a regular file, a directory, a socket, or anything else, which is written
// in place and never replaced (a device, a FIFO, /dev/fd/N; on Windows a device such as NUL or
// COM1, or a named pipe \\.\pipe\NAME). std::nullopt, with *reason, when the path cannot be
// examined.
enum class PathKind { Missing, RegularFile, Directory, Socket, Other };

std::optional<PathKind> pathKind(const QString &path, QString *reason);
