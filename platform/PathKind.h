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

// What tells one file from another at a path, links followed: the file system's identity of the
// file (device and inode on Unix, volume and file index on Windows), its size, and whether it is
// a regular file. std::nullopt when nothing is there or it cannot be examined.
struct FileIdentity {
    quint64 volume = 0;
    quint64 file = 0;
    qint64 size = 0;
    bool regular = false;
    bool sameFile(const FileIdentity &other) const
    {
        return volume == other.volume && file == other.file;
    }
};

std::optional<FileIdentity> fileIdentity(const QString &path);
