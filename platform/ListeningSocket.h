// SPDX-License-Identifier: MIT
#pragma once

#include "platform/PathLock.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// A Unix-domain stream socket listening at a path the user names, for programs of the same
// user only: the socket file is made owner-only (0600). The path follows the virtual line's
// rules, under a lock beside it (PATH.lock): a socket there of the user running the program
// that refuses connections and whose lock nobody holds is one a run that ended abruptly left,
// and is replaced; another user's socket or lock file (PathOwner), a socket another program
// listens on, a held lock, or anything else at the path (a file, a directory, a symbolic link)
// refuses the listen and is left as it is. At the end only the socket file this object bound
// is removed (the same inode, still this user's), with the lock file; so also when the process
// ends through exit() without running destructors. POSIX systems only.
class ListeningSocket
{
public:
    explicit ListeningSocket(const QString &path);
    ~ListeningSocket();
    ListeningSocket(const ListeningSocket &) = delete;
    ListeningSocket &operator=(const ListeningSocket &) = delete;

    // Takes the lock, replaces a stale socket, binds and listens; the descriptor does not
    // block and is closed on exec. False with *reason, naming the path, and nothing left held
    // or created.
    bool listen(QString *reason);
    bool isListening() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const QString &path() const { return m_path; }
    // One waiting connection, non-blocking and closed on exec; -1 with errno (EAGAIN: none).
    int accept() const;
    // Stops listening, removes the socket file if it is still the one bound, then the lock.
    // A removal that fails is added to *problems when given.
    void close(QString *problems = nullptr);

private:
    bool clearPath(QString *reason);
    bool bindAndListen(QString *reason);
    void removeSocketFile(QString *problems);

    QString m_path;
    QByteArray m_name;
    PathLock m_lock;
    int m_fd = -1;
    // The socket file bound: what close() may remove.
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_bound = false;
};
