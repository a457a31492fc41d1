// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// A file that replaces a regular file the user named keeps what the old one had: its owner, its
// group and its mode (so that a dump written as root does not take a user's file from them).
// Gives the new file, open at fd, those of the regular file at oldPath (links followed). False,
// with *reason, when the system does not let this user give them (a user may give a file
// neither to another user nor to a group they are not in), or oldPath cannot be examined.
bool keepOwnerAndMode(const QString &oldPath, int fd, QString *reason);
