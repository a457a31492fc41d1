// SPDX-License-Identifier: MIT
// The requests to end the program on Windows: Ctrl+C on the program's console reaches the event
// thread as received(), with the event's number, and ends nothing by itself; one instance
// watches at a time. (Ctrl+Break, the console closed, logoff and shutdown take the same handler;
// Wine 8 generates none of them for a test. The Unix counterpart, the signals: tests/program.)
#include "platform/TerminationSignals.h"

#include <QSignalSpy>
#include <QtTest>

#include <windows.h>

class TestTerminationWindows : public QObject
{
    Q_OBJECT
private slots:
    // A console of the test's own, so that the event goes to this process alone; a process may
    // have been started with Ctrl+C ignored, and the program's handler takes it anyway.
    void initTestCase()
    {
        // The console's own process must not inherit the test's output, whose reader (CTest)
        // would wait for it: the standard handles are the null device while it starts.
        const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        HANDLE saved[3];
        const HANDLE null = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        for (int i = 0; i < 3; ++i) {
            saved[i] = ::GetStdHandle(kinds[i]);
            ::SetStdHandle(kinds[i], null);
        }
        ::FreeConsole();
        const bool allocated = ::AllocConsole();
        for (int i = 0; i < 3; ++i)
            ::SetStdHandle(kinds[i], saved[i]);
        QVERIFY(allocated);
        QVERIFY(::SetConsoleCtrlHandler(nullptr, FALSE));
    }
    void cleanupTestCase() { ::FreeConsole(); }

    void ctrlC()
    {
        TerminationSignals termination;
        QVERIFY2(termination.isWatching(), qPrintable(termination.errorString()));
        TerminationSignals second;
        QVERIFY(!second.isWatching() && !second.errorString().isEmpty());
        QSignalSpy received(&termination, &TerminationSignals::received);
        QVERIFY(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.first().first().toInt(), int(CTRL_C_EVENT));
    }
};

QTEST_GUILESS_MAIN(TestTerminationWindows)
#include "test_platform_termination_win.moc"
