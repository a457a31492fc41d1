// SPDX-License-Identifier: MIT
#pragma once

#include "platform/PathLock.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// The path a virtual line is published at: a symbolic link to the pseudo-terminal's far end,
// with a lock file beside it (PATH.lock, flock) held for as long as the line is open. The lock
// tells a live line from a link left behind by a run that ended abruptly: a held lock refuses
// the path. Without a holder, a link is replaced only when it is the running user's own
// (PathOwner) and leads (every link on the way resolved) to a pseudo-terminal's far end in
// /dev/pts/ that no program has open any more, or that is gone; another user's link or lock
// file, a link to a pseudo-terminal still open (another program's line) and anything else at
// the path are never touched. At the end only the link made here is removed.
//
// A claimed link is also removed when the process ends through exit() without running
// destructors (PathLock).
class LineLink
{
public:
    explicit LineLink(const QString &path);
    ~LineLink();
    LineLink(const LineLink &) = delete;
    LineLink &operator=(const LineLink &) = delete;

    // Takes the lock and points the link at target. False with *reason, naming the path, when
    // the path is held by another line, holds something that is not a stale virtual line's
    // link, or the link cannot be made; nothing is left held or created then.
    bool claim(const QByteArray &target, QString *reason);
    // Removes the link if it is still ours and the lock file if it is still the one locked,
    // then lets the lock go. Does nothing when nothing is held. A removal that fails is
    // added to *problems when given.
    void release(QString *problems = nullptr);

private:
    bool clearPath(const QByteArray &ourFarEnd, QString *reason);
    void removeLink(QString *problems);

    QString m_path;
    QByteArray m_link;
    QByteArray m_target;
    // The link made: what release() may remove.
    dev_t m_device = 0;
    ino_t m_inode = 0;
    PathLock m_lock;
    bool m_linked = false;
};
