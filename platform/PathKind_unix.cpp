// SPDX-License-Identifier: MIT
#include "platform/PathKind.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

std::optional<PathKind> pathKind(const QString &path, QString *reason)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        if (errno == ENOENT)
            return PathKind::Missing;
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    if (S_ISREG(status.st_mode))
        return PathKind::RegularFile;
    if (S_ISDIR(status.st_mode))
        return PathKind::Directory;
    if (S_ISSOCK(status.st_mode))
        return PathKind::Socket;
    return PathKind::Other;
}

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                        S_ISREG(status.st_mode)};
}
