// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include <sys/types.h>

// The lock beside a path the program publishes (a virtual line's link, the control socket): a
// lock file PATH.lock, flock'ed for as long as the path is ours. A held lock tells a live
// publisher from what a run that ended abruptly left behind. A lock file that is another
// user's is never taken (PathOwner); the lock file is removed just before the lock is let go,
// only if it is still the file locked, this user's and empty.
//
// What the lock guards can be removed with it: the owner gives a removal that release() runs
// first, also when the process ends through exit() without running destructors (Qt ends the
// program so when its display connection is lost). A forked child that ends lets go of its
// copy of the lock and removes nothing: the path stays its parent's.
class PathLock
{
public:
    // path: the published path, as the user named it; the lock file is path + ".lock".
    explicit PathLock(const QString &path);
    ~PathLock();
    PathLock(const PathLock &) = delete;
    PathLock &operator=(const PathLock &) = delete;

    // What release() removes before the lock file; problems go to its argument when given.
    void setRemoval(std::function<void(QString *problems)> removeGuarded);

    // Takes the lock without waiting. False with *reason, naming the path, when another
    // program holds it or the lock file cannot be used (another user's, not a regular file).
    bool lock(QString *reason);
    bool isHeld() const { return m_fd >= 0; }
    // Runs the removal, removes the lock file, lets the lock go. Does nothing when not held. A
    // removal that fails is added to *problems when given.
    void release(QString *problems = nullptr);

private:
    QString m_path;
    QByteArray m_lockPath;
    std::function<void(QString *)> m_removeGuarded;
    int m_fd = -1;
    // The process that took the lock: a forked child that ends leaves its parent's path.
    pid_t m_owner = 0;
};

// Adds a problem to those already noted ("; " between two).
void addProblem(QString *problems, const QString &text);
