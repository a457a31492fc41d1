// SPDX-License-Identifier: MIT
#include "platform/PathOwner.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

QString takeOverRefusal(LeftBehind kind, const QString &path, uid_t owner, uid_t running,
                        const QString &ownerName)
{
    if (owner == running)
        return {};
    const QString what = kind == LeftBehind::Socket     ? QStringLiteral("the socket")
                         : kind == LeftBehind::LockFile ? QStringLiteral("the lock file")
                                                        : QStringLiteral("the link");
    const QString who = ownerName.isEmpty() ? QStringLiteral("uid %1").arg(owner)
                                            : QStringLiteral("user ") + ownerName;
    return QStringLiteral("%1 %2 belongs to %3, not to the user running PORTWREN; it is left as "
                          "it is")
        .arg(what, path, who);
}

QString takeOverRefusal(LeftBehind kind, const QString &path, uid_t owner)
{
    const uid_t running = ::geteuid();
    return owner == running ? QString()
                            : takeOverRefusal(kind, path, owner, running, userName(owner));
}

QString userName(uid_t uid)
{
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? size_t(suggested) : 4096);
    passwd entry{};
    passwd *found = nullptr;
    while (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1 << 20))
        buffer.resize(buffer.size() * 2);
    return found ? QString::fromLocal8Bit(found->pw_name) : QString();
}
