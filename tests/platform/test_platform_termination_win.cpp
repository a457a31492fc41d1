// SPDX-License-Identifier: MIT
// The requests to end the program on Windows: Ctrl+C and Ctrl+Break on the program's console
// reach the event thread as received(), with the event's number, and end nothing by themselves;
// one instance watches at a time. (The Unix counterpart, the signals: tests/program.)
#include "platform/TerminationSignals.h"

#include <QSignalSpy>
#include <QtTest>

#include <windows.h>

class TestTerminationWindows : public QObject
{
    Q_OBJECT
private slots:
    // A console of the test's own, so that the events go to this process alone.
    void initTestCase()
    {
        ::FreeConsole();
        QVERIFY(::AllocConsole());
        // A process may have been started with Ctrl+C ignored; the program's handler takes it.
        QVERIFY(::SetConsoleCtrlHandler(nullptr, FALSE));
    }

    void consoleEvents_data()
    {
        QTest::addColumn<int>("event");
        QTest::newRow("Ctrl+C") << int(CTRL_C_EVENT);
        QTest::newRow("Ctrl+Break") << int(CTRL_BREAK_EVENT);
    }

    void consoleEvents()
    {
        QFETCH(int, event);
        TerminationSignals termination;
        QVERIFY2(termination.isWatching(), qPrintable(termination.errorString()));
        TerminationSignals second;
        QVERIFY(!second.isWatching() && !second.errorString().isEmpty());
        QSignalSpy received(&termination, &TerminationSignals::received);
        QVERIFY(::GenerateConsoleCtrlEvent(DWORD(event), 0));
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.first().first().toInt(), event);
    }
};

QTEST_GUILESS_MAIN(TestTerminationWindows)
#include "test_platform_termination_win.moc"
