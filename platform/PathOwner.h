// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <sys/types.h>

// Who may take over what a run that ended abruptly left at a path the program publishes: a
// stale socket, its lock file, a virtual line's link. Only the user running the program may,
// and only what is that user's own: root too takes over only root's, since a path in a shared
// folder (/tmp) may be another user's. Anything else is refused and left as it is. Unix
// systems, where a path's owner is a user id.

enum class LeftBehind { Socket, LockFile, Link };

// The refusal to take over what is at path, of kind and owned by owner, for the program
// running as running: empty when owner is running; otherwise a message naming the path and its
// owner ("user NAME" by ownerName, or "uid N" when the user has no name).
QString takeOverRefusal(LeftBehind kind, const QString &path, uid_t owner, uid_t running,
                        const QString &ownerName);

// The same for this process, running as its effective user, with the owner's name from the
// system's user database.
QString takeOverRefusal(LeftBehind kind, const QString &path, uid_t owner);

// The name of a user, empty when the user database has none.
QString userName(uid_t uid);
