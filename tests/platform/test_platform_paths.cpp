// SPDX-License-Identifier: MIT
// Who may take a path the program publishes (the control socket, a virtual line's link) and
// the lock file beside it: the lock's own rules; the rule that only the running user's own
// leftovers are taken over, as a function of the owner and the running user; that rule over
// every kind of leftover, with files of other users made by changing their owner (root only:
// these rows fail, never skip, without it); and the end of a run, which removes only what the
// run made.
#include "platform/LineLink.h"
#include "platform/ListeningSocket.h"
#include "platform/PathLock.h"
#include "platform/PathOwner.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

Q_DECLARE_METATYPE(LeftBehind)

namespace
{

// A uid that names no user, for the rows of an owner without a name.
uid_t unnamedUid()
{
    uid_t uid = 4242;
    while (::getpwuid(uid))
        ++uid;
    return uid;
}

const QString NamedOther = QStringLiteral("daemon"); // uid 1 on Debian and most systems

struct stat nodeOf(const QString &path)
{
    struct stat status {
    };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        status.st_ino = 0;
    return status;
}

bool exists(const QString &path)
{
    return nodeOf(path).st_ino != 0;
}

// What identifies a leftover: the same node, of the same owner and kind.
auto identity(const struct stat &status)
{
    return std::tuple(status.st_dev, status.st_ino, status.st_uid, status.st_mode);
}

// Gives the file at path (not what a link leads to) to owner; the test fails when it cannot.
void giveTo(const QString &path, uid_t owner)
{
    QVERIFY2(::lchown(QFile::encodeName(path).constData(), owner, owner) == 0,
             qPrintable(QStringLiteral("cannot give %1 to uid %2 (%3): these rows make another "
                                       "user's files, which needs root")
                            .arg(path)
                            .arg(owner)
                            .arg(QString::fromLocal8Bit(strerror(errno)))));
}

// A socket as a killed run leaves it: its file is there, nobody listens.
void makeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    ::close(fd);
}

void makeEmptyFile(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// A link as a killed run leaves it: to a pseudo-terminal's far end that is gone.
void makeStaleLink(const QString &path)
{
    int missing = 4242;
    while (QFileInfo::exists(QStringLiteral("/dev/pts/%1").arg(missing)))
        ++missing;
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/%1").arg(missing), path));
}

// What a virtual line's link is made to point at: the far end of a pseudo-terminal of the test.
struct FarEnd {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QByteArray name = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0
                          ? QByteArray(::ptsname(master))
                          : QByteArray();
    ~FarEnd() { ::close(master); }
};

} // namespace

class TestPaths : public QObject
{
    Q_OBJECT
    const uid_t m_us = ::geteuid();
    const uid_t m_unnamed = unnamedUid();

    // Publishes path as a socket or as a link, by kind; false with *reason when refused.
    struct Publisher {
        std::unique_ptr<ListeningSocket> socket;
        std::unique_ptr<LineLink> link;
        FarEnd farEnd;
        bool publish(bool asSocket, const QString &path, QString *reason)
        {
            if (asSocket) {
                socket = std::make_unique<ListeningSocket>(path);
                return socket->listen(reason);
            }
            link = std::make_unique<LineLink>(path);
            return link->claim(farEnd.name, reason);
        }
        void end()
        {
            socket.reset();
            link.reset();
        }
    };

private slots:
    void takeOverRule_data()
    {
        QTest::addColumn<LeftBehind>("kind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<uint>("owner");
        QTest::addColumn<uint>("running");
        QTest::addColumn<QString>("ownerName");
        QTest::addColumn<QString>("refusal"); // empty: taken over
        const QString leftAsItIs =
            QStringLiteral(", not to the user running PORTWREN; it is left as it is");
        QTest::newRow("root's socket, root runs")
            << LeftBehind::Socket << "/d/ctl" << 0u << 0u << "root" << QString();
        QTest::newRow("a user's link, that user runs")
            << LeftBehind::Link << "/d/line" << 1000u << 1000u << "ann" << QString();
        QTest::newRow("a user's lock file, root runs")
            << LeftBehind::LockFile << "/d/ctl.lock" << 1000u << 0u << "victim"
            << "the lock file /d/ctl.lock belongs to user victim" + leftAsItIs;
        QTest::newRow("root's socket, a user runs")
            << LeftBehind::Socket << "/d/ctl" << 0u << 1000u << "root"
            << "the socket /d/ctl belongs to user root" + leftAsItIs;
        QTest::newRow("another user's link")
            << LeftBehind::Link << "/d/line" << 1001u << 1000u << "bob"
            << "the link /d/line belongs to user bob" + leftAsItIs;
        QTest::newRow("an owner without a name")
            << LeftBehind::Socket << "/d/ctl" << 4242u << 0u << QString()
            << "the socket /d/ctl belongs to uid 4242" + leftAsItIs;
    }

    // Only the running user's own is taken over, root included; a refusal names what it is,
    // the path, and the owner by name, or by uid when the owner has none.
    void takeOverRule()
    {
        QFETCH(LeftBehind, kind);
        QFETCH(QString, path);
        QFETCH(uint, owner);
        QFETCH(uint, running);
        QFETCH(QString, ownerName);
        QFETCH(QString, refusal);
        QCOMPARE(takeOverRefusal(kind, path, owner, running, ownerName), refusal);
    }

    void lockFile_data()
    {
        QTest::addColumn<QString>("before");  // what is at PATH.lock, or happens while held
        QTest::addColumn<QString>("refusal"); // empty: locked
        QTest::addColumn<bool>("keptAfter");  // whether PATH.lock is there after the release
        const auto row = [](const char *before, const char *refusal, bool kept) {
            QTest::newRow(before) << QString::fromLatin1(before) << QString::fromLatin1(refusal)
                                  << kept;
        };
        row("nothing", "", false);
        row("a stale lock file of ours", "", false);
        row("a lock another holder holds", "is in use: another program holds its lock", true);
        row("a directory", "cannot open the lock file", true);
        row("a FIFO", "is not a regular file", true);
        row("a symbolic link to a file", "cannot open the lock file", true);
        row("written to while held", "", true);
        row("replaced while held", "", true);
    }

    // The lock file PATH.lock: made when missing, taken when stale, refused while another holds
    // it or when it is not a plain file (and then left as it is, a FIFO without blocking). The
    // release runs the guarded removal first, then removes the lock file only while it is still
    // the one locked and empty.
    void lockFile()
    {
        QFETCH(QString, before);
        QFETCH(QString, refusal);
        QFETCH(bool, keptAfter);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("line"));
        const QString lockPath = path + QStringLiteral(".lock");
        const QByteArray lockName = QFile::encodeName(lockPath);
        PathLock other(path);
        if (before == "a stale lock file of ours")
            makeEmptyFile(lockPath);
        else if (before == "a lock another holder holds")
            QVERIFY(other.lock(nullptr));
        else if (before == "a directory")
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("line.lock")));
        else if (before == "a FIFO")
            QVERIFY(::mkfifo(lockName.constData(), 0600) == 0);
        else if (before == "a symbolic link to a file")
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere")), lockPath));
        const struct stat was = nodeOf(lockPath);

        PathLock lock(path);
        QStringList order;
        lock.setRemoval([&](QString *) {
            order << (exists(lockPath) ? "guarded removal, lock file there" : "lock file gone");
        });
        QString reason;
        QCOMPARE(lock.lock(&reason), refusal.isEmpty());
        QCOMPARE(lock.isHeld(), refusal.isEmpty());
        if (!refusal.isEmpty()) {
            QVERIFY2(reason.contains(lockPath) && reason.contains(refusal), qPrintable(reason));
            QVERIFY(identity(nodeOf(lockPath)) == identity(was));
            lock.release();
            QVERIFY(order.isEmpty()); // nothing held, nothing removed
        } else {
            QVERIFY(QFileInfo(lockPath).isFile());
            QVERIFY(!PathLock(path).lock(nullptr)); // a second holder is refused
            if (before == "written to while held") {
                QFile file(lockPath);
                QVERIFY(file.open(QIODevice::Append) && file.write("someone's") > 0);
            } else if (before == "replaced while held") {
                QVERIFY(QFile::remove(lockPath));
                makeEmptyFile(lockPath);
            }
            lock.release();
            QCOMPARE(order, QStringList{"guarded removal, lock file there"});
        }
        QCOMPARE(exists(lockPath), keptAfter);
        QVERIFY(!lock.isHeld());
    }

    void takeOver_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("owner");
        for (const char *kind : {"socket", "socket's lock file", "link", "link's lock file"})
            for (const char *owner : {"ours", "another user's", "an owner without a name's"})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(owner, kind)))
                    << QString::fromLatin1(kind) << QString::fromLatin1(owner);
    }

    // What a killed run left (a socket nobody listens on, a link to a pseudo-terminal that is
    // gone, a lock file nobody holds) is taken over only when it is the running user's. Another
    // user's refuses the socket's listen or the link's claim with a message naming the path and
    // its owner, and is left as it is; nothing is left behind by the refusal.
    void takeOver()
    {
        QFETCH(QString, kind);
        QFETCH(QString, owner);
        QTemporaryDir dir;
        const bool socket = kind.startsWith(QLatin1String("socket"));
        const QString path = dir.filePath(socket ? QStringLiteral("ctl") : QStringLiteral("line"));
        const QString lockPath = path + QStringLiteral(".lock");
        const QString leftover = kind.endsWith(QLatin1String("lock file")) ? lockPath : path;
        const QString other = leftover == lockPath ? path : lockPath;
        if (leftover == lockPath)
            makeEmptyFile(lockPath);
        else if (socket)
            makeStaleSocket(path);
        else
            makeStaleLink(path);
        const passwd *named = ::getpwnam(qPrintable(NamedOther));
        QVERIFY2(named, "the rows of another user's need the user daemon");
        const uid_t uid = owner == "ours"             ? m_us
                          : owner == "another user's" ? named->pw_uid
                                                      : m_unnamed;
        if (uid != m_us)
            giveTo(leftover, uid);
        const struct stat was = nodeOf(leftover);

        Publisher publisher;
        QString reason;
        const bool published = publisher.publish(socket, path, &reason);
        if (uid == m_us) {
            QVERIFY2(published, qPrintable(reason));
            publisher.end();
            QVERIFY(!exists(path) && !exists(lockPath));
            return;
        }
        QVERIFY(!published);
        const QString ownerText = uid == m_unnamed ? QStringLiteral("uid %1").arg(uid)
                                                   : QStringLiteral("user ") + NamedOther;
        QVERIFY2(reason.contains(leftover + QStringLiteral(" belongs to ") + ownerText),
                 qPrintable(reason));
        publisher.end();
        QVERIFY(identity(nodeOf(leftover)) == identity(was));
        QVERIFY(!exists(other));
    }

    void endRemovesOnlyItsOwn_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"socket", "socket's lock file", "link", "link's lock file"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }

    // While a run holds its path, another user puts their own socket, link (to the very same
    // far end) or lock file in place of the run's: the end of the run removes neither, nor
    // anything else of theirs.
    void endRemovesOnlyItsOwn()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const bool socket = kind.startsWith(QLatin1String("socket"));
        const QString path = dir.filePath(socket ? QStringLiteral("ctl") : QStringLiteral("line"));
        const QString replaced =
            kind.endsWith(QLatin1String("lock file")) ? path + QStringLiteral(".lock") : path;
        Publisher publisher;
        QString reason;
        QVERIFY2(publisher.publish(socket, path, &reason), qPrintable(reason));
        QVERIFY(QFile::remove(replaced));
        if (replaced != path)
            makeEmptyFile(replaced);
        else if (socket)
            makeStaleSocket(path);
        else
            QVERIFY(QFile::link(QFile::decodeName(publisher.farEnd.name), path));
        giveTo(replaced, m_unnamed);
        const struct stat theirs = nodeOf(replaced);
        publisher.end();
        QVERIFY(identity(nodeOf(replaced)) == identity(theirs));
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "test_platform_paths.moc"
