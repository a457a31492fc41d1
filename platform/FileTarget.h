// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

class QIODevice;

// Writes a whole file at a path the user named (a register dump, a saved log), by the rule for
// paths that are the user's. A regular file or a new path, also behind a symbolic link (the
// link stays), is written safely: to a temporary file beside it that then takes its place, so
// a failed write leaves the old file whole; the new file keeps the old one's owner, group and
// mode. A regular file whose owner or group this user may not give a new file is written in
// place instead (cut to the new contents), so it never changes hands. Anything else (a device, a
// FIFO, /dev/fd/N, a link to one) is never replaced: it is opened without blocking and written in
// place. A FIFO that no program reads, a directory, a socket, or a target that cannot be opened is
// refused, and nothing is written. A target that stops taking bytes holds the caller for at most
// stallMs of waiting in all; then the write is given up.
//
// contents writes into the device it is given and returns false when a write failed. True
// when everything was written; otherwise false with *error, "PATH: reason".
bool writeToPath(const QString &path, const std::function<bool(QIODevice &)> &contents,
                 QString *error, int stallMs = 1000);
