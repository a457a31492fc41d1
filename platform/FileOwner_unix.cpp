// SPDX-License-Identifier: MIT
#include "platform/FileOwner.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

bool keepOwnerAndMode(const QString &oldPath, int fd, QString *reason)
{
    struct stat old, made;
    bool kept =
        ::stat(QFile::encodeName(oldPath).constData(), &old) == 0 && ::fstat(fd, &made) == 0;
    // Only when they differ: a file system that refuses every change of owner (one without
    // owners) still takes a new file that needs none.
    if (kept && (made.st_uid != old.st_uid || made.st_gid != old.st_gid))
        kept = ::fchown(fd, old.st_uid, old.st_gid) == 0;
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    if (kept)
        kept = ::fchmod(fd, old.st_mode & 07777) == 0;
    if (!kept && reason)
        *reason = QString::fromLocal8Bit(std::strerror(errno));
    return kept;
}
