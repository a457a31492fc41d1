// SPDX-License-Identifier: MIT
// What the program writes, on Windows: a file at a path the user names (a regular file or a new
// path written safely, a device or a named pipe written in place, refused when nobody reads it
// or when it is a directory, given up when its reader stops), and the output queue of whole
// lines in front of a pipe whose reader stops, resumes or goes away, every line accounted for at
// the end. (The Unix counterparts: test_platform_outputs.)
#include "ReaderFallingBehind.h"
#include "platform/FileTarget.h"
#include "platform/OutputQueue.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <windows.h>

namespace
{

// The test's end of a pipe: what has come so far, read without ever waiting.
class PipeReader
{
public:
    explicit PipeReader(HANDLE h) : m_handle(h) {}
    ~PipeReader() { ::CloseHandle(m_handle); }
    PipeReader(const PipeReader &) = delete;
    PipeReader &operator=(const PipeReader &) = delete;

    QByteArray collect()
    {
        DWORD waiting = 0;
        while (::PeekNamedPipe(m_handle, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
            QByteArray chunk(qsizetype(waiting), Qt::Uninitialized);
            DWORD got = 0;
            if (!::ReadFile(m_handle, chunk.data(), waiting, &got, nullptr))
                break;
            m_got += chunk.left(got);
        }
        return m_got;
    }

private:
    HANDLE m_handle;
    QByteArray m_got;
};

// A named pipe for a target of the table: its server end, inbound, one instance that takes
// 4 KiB before its writer must wait.
HANDLE makeNamedPipe(const QString &name)
{
    return ::CreateNamedPipeW(reinterpret_cast<LPCWSTR>(name.utf16()), PIPE_ACCESS_INBOUND,
                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 4096, 0,
                              nullptr);
}

} // namespace

using namespace ReaderFallingBehind;

class TestOutputsWindows : public QObject
{
    Q_OBJECT
private slots:
    void pathTargets_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("refusal"); // empty: written
        QTest::newRow("regular file") << "regular file" << QString();
        QTest::newRow("new path") << "new path" << QString();
        QTest::newRow("NUL") << "NUL" << QString();
        QTest::newRow("named pipe with a reader") << "named pipe with a reader" << QString();
        QTest::newRow("named pipe without a reader") << "named pipe without a reader"
                                                     << "no program has the pipe open for reading";
        QTest::newRow("named pipe whose reader stops") << "named pipe whose reader stops"
                                                       << "it stopped taking bytes";
        QTest::newRow("directory") << "directory"
                                   << "it is a directory";
    }

    // A regular file or a new path gets the new contents, whole and nothing after them; a device
    // or a named pipe gets them in place and no file appears in their stead; the rest is
    // refused with a message naming the path.
    void pathTargets()
    {
        QFETCH(QString, kind);
        QFETCH(QString, refusal);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("target"));
        std::unique_ptr<PipeReader> reader;
        if (kind == "regular file") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) &&
                    file.write("old contents, longer than the new ones that replace them\n") > 0);
        } else if (kind == "NUL") {
            path = QStringLiteral("NUL");
        } else if (kind.startsWith(QLatin1String("named pipe"))) {
            static int pipes = 0;
            path = QStringLiteral("\\\\.\\pipe\\portwren-test-%1-%2")
                       .arg(::GetCurrentProcessId())
                       .arg(++pipes);
            if (kind != "named pipe without a reader") {
                const HANDLE server = makeNamedPipe(path);
                QVERIFY(server != INVALID_HANDLE_VALUE);
                reader = std::make_unique<PipeReader>(server);
            }
        } else if (kind == "directory") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("target")));
        }
        const QByteArray contents = kind == "named pipe whose reader stops"
                                        ? QByteArray(1 << 20, 'x')
                                        : "D0000 0001\nD0001 0002\n";
        QString error;
        const bool written = writeToPath(
            path, [&](QIODevice &device) { return device.write(contents) == contents.size(); },
            &error);
        QCOMPARE(written, refusal.isEmpty());
        QVERIFY2(error.startsWith(path + QStringLiteral(": ")) == !written, qPrintable(error));
        QVERIFY2(error.contains(refusal), qPrintable(error));
        if (written && reader)
            QTRY_COMPARE(reader->collect(), contents);
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 kind == "regular file" || kind == "new path" || kind == "directory"
                     ? QStringList{QStringLiteral("target")}
                     : QStringList());
        if (written && !reader && kind != "NUL") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), contents);
        }
    }

    void readerThatFallsBehind_data() { addRows(); }

    // A pipe's reader that stops (ReaderFallingBehind::play says what each row checks); the
    // writer thread's line in flight when the end gave up may still reach it.
    void readerThatFallsBehind()
    {
        QFETCH(Reader, reader);
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        QVERIFY(::CreatePipe(&readEnd, &writeEnd, nullptr, 4096));
        OutputQueue queue(WriteEnd::ofHandle(writeEnd, false), Bound, overflowFor(reader));
        play(reader, queue, std::make_unique<PipeReader>(readEnd), 50, true);
    }
};

QTEST_GUILESS_MAIN(TestOutputsWindows)
#include "test_platform_outputs_win.moc"
