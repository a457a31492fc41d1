// SPDX-License-Identifier: MIT
// The operator's tools on the line session, on a scripted port and clock: a transmission
// repeated (its pace, its count, a slow line that delays it without piling sends up, and every
// way it stops), the modem outputs and BREAK (the port's calls, the notes, refusals), and the
// wait for a lost port to come back (reopened with its settings and the registers' words).
// Then the same wait on a real device: a link to a pseudo-terminal's far end whose pair is
// closed and whose link then points at a new pair. The log captured to a file: its rows as the
// window shows them, its notes, and a file that fails.
#include "SessionFixture.h"
#include "platform/DevicePortService.h"
#include "session/LogCapture.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace
{
// A step of a scripted run: at a moment (ms after the first send), what happens.
struct Step {
    int atMs;
    QString action; // "busy", "free", "refuse", "stop", "close", "lose", "end", "text X"
};
using Script = QList<Step>;

const QString Close = u"----- CLOSE -----"_s;

QStringList repeatNotes(const QStringList &log)
{
    return log.filter(QStringLiteral("<<repeat"));
}
} // namespace

Q_DECLARE_METATYPE(Script)

class LineToolsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void repeats_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("count");
        QTest::addColumn<Script>("script");
        QTest::addColumn<QList<int>>("sentAt"); // the moments of the sends, in ms
        QTest::addColumn<QStringList>("notes"); // the repeat's notes
        // The start's note names the period it runs at, "every" ms.
        const auto row = [](const char *name, int period, int count, const Script &script,
                            const QList<int> &sentAt, const char *end, int every = 500) {
            const QString start = u"  <<repeat CR every %1 ms"_s.arg(every) +
                                  (count ? u", %1 times>>"_s.arg(count) : u" until stopped>>"_s);
            QTest::newRow(name) << period << count << script << sentAt
                                << QStringList{start, QString::fromUtf8(end)};
        };
        row("a count, at its pace", 500, 3, {}, {0, 500, 1000}, "  <<repeat done: 3 of 3 sent>>");
        row("until stopped by the operator", 500, 0, {{1200, "stop"}}, {0, 500, 1000},
            "  <<repeat stopped: 3 sent>>");
        // The line still holds the last send: the next waits for it and goes as it leaves,
        // then the pace goes on; a delay of a whole period counts the period from the late send.
        row("a slow line delays, never piles up", 500, 0,
            {{400, "busy"}, {725, "free"}, {900, "busy"}, {2100, "free"}, {3000, "stop"}},
            {0, 730, 2110, 2610}, "  <<repeat stopped: 4 sent>>");
        row("CLOSE", 500, 10, {{600, "close"}}, {0, 500},
            "  <<repeat stopped (CLOSE): 2 of 10 sent>>");
        row("a lost port", 500, 0, {{100, "lose"}}, {0},
            "  <<repeat stopped (the port was lost): 1 sent>>");
        row("END", 500, 0, {{500, "end"}}, {0, 500}, "  <<repeat stopped (END): 2 sent>>");
        row("a send the port refuses", 500, 0, {{700, "refuse"}}, {0, 500},
            "  <<repeat stopped (the port did not take a send): 2 sent>>");
        row("the period clamped to 10 ms", 1, 3, {}, {0, 10, 20}, "  <<repeat done: 3 of 3 sent>>",
            10);
        // Each send takes the transmit text of its moment, as a click would.
        row("a new transmit text", 500, 2, {{200, "text B"}}, {0, 500},
            "  <<repeat done: 2 of 2 sent>>");
    }
    void repeats()
    {
        QFETCH(int, period);
        QFETCH(int, count);
        QFETCH(Script, script);
        SessionFixture f;
        f.open(SimMode::None, FrameEnd::Time);
        f.session.setTransmitText(u"A"_s);
        QList<int> sentAt;
        QObject::connect(&f.session, &LineSession::trafficPassed, [&](const Traffic &t) {
            if (t.direction == Traffic::Sent)
                sentAt << int(f.clock->nowMs());
        });
        QVERIFY(!f.session.repeatTransmit(TransmitCommand::Cr, period, count));
        QVERIFY(f.session.repeat().isRunning() || count == 1);
        for (const Step &step : script) {
            f.clock->advance(step.atMs - f.clock->nowMs());
            if (step.action == "busy")
                f.port->unsent = 7;
            else if (step.action == "free")
                f.port->unsent = 0;
            else if (step.action == "refuse")
                f.port->refuseWrites(u"full"_s);
            else if (step.action == "stop")
                f.session.stopRepeat();
            else if (step.action == "close")
                f.session.close();
            else if (step.action == "lose")
                f.port->loseLine(u"unplugged"_s);
            else if (step.action == "end")
                f.session.end();
            else if (step.action.startsWith("text "))
                f.session.setTransmitText(step.action.mid(5));
            QCoreApplication::processEvents(); // a lost port is reported as a handler of its own
        }
        f.clock->advance(10000);
        QTEST(sentAt, "sentAt");
        QTEST(repeatNotes(f.log), "notes");
        QVERIFY(!f.session.repeat().isRunning());
        if (QByteArray(QTest::currentDataTag()) == "a new transmit text")
            QCOMPARE(f.port->written, QByteArrayList({"A\r", "B\r"}));
    }

    // Bytes given by their code repeat as they are, named by them; a new repeat replaces the one
    // running; a closed port refuses a repeat with a note.
    void repeatedBytes()
    {
        SessionFixture f;
        QCOMPARE(f.session.repeatBytes("\x05\x30", 100, 0), u"the port is not open"_s);
        QCOMPARE(f.log, QStringList{u"  <<repeat 05 30 refused: the port is not open>>"_s});
        f.open(SimMode::None, FrameEnd::Time);
        QSignalSpy changed(&f.session, &LineSession::repeatChanged);
        QVERIFY(!f.session.repeatBytes("\x05\x30", 100, 0));
        f.port->unsent = 2;
        f.clock->advance(100);
        QVERIFY(f.session.repeat().isWaitingForLine());
        f.port->unsent = 0;
        f.clock->advance(10);
        QVERIFY(!f.session.repeat().isWaitingForLine());
        f.clock->advance(40);
        QVERIFY(!f.session.repeatTransmit(TransmitCommand::Ack, 1000, 1));
        f.clock->advance(5000);
        QCOMPARE(f.port->written, QByteArrayList({"\x05\x30", "\x05\x30", "\x06"}));
        QCOMPARE(repeatNotes(f.log),
                 QStringList({"  <<repeat 05 30 refused: the port is not open>>",
                              "  <<repeat 05 30 every 100 ms until stopped>>",
                              "  <<repeat stopped (another repeat started): 2 sent>>",
                              "  <<repeat ACK every 1000 ms, 1 times>>",
                              "  <<repeat done: 1 of 1 sent>>"}));
        QCOMPARE(f.session.repeat().sent(), 1);
        QVERIFY(changed.size() >= 5);
    }

    void modemOutputsAndBreak_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("refusal");     // what the call returns; empty: done
        QTest::addColumn<QStringList>("calls");   // the port's changes
        QTest::addColumn<QStringList>("notes");   // after the OPEN line
        QTest::addColumn<QString>("shownDtrRts"); // the indicators at the end
        const auto row = [](const char *name, const char *action, const char *refusal,
                            const QStringList &calls, const QStringList &notes,
                            const char *shown = "on on") {
            QTest::newRow(name) << QString::fromLatin1(action) << QString::fromLatin1(refusal)
                                << calls << notes << QString::fromLatin1(shown);
        };
        const QString break250 = u"  <<BREAK 250 ms>>"_s;
        row("DTR off", "dtr off", "", {"DTR off"}, {"  <<DTR off>>"}, "off on");
        row("RTS off, then on", "rts off;rts on", "", {"RTS off", "RTS on"},
            {"  <<RTS off>>", "  <<RTS on>>"});
        row("the device refuses", "refuse;rts off", "no modem lines", {},
            {"  <<RTS off refused: no modem lines>>"});
        row("a closed port", "close;dtr off", "the port is not open", {},
            {Close, "  <<DTR off refused: the port is not open>>"}, "off on");
        row("off at every OPEN", "at open", "", {"DTR off", "RTS off"},
            {"  <<DTR off>>", "  <<RTS off>>"}, "off off");
        row("BREAK for its time", "break 250;wait 249", "", {"BREAK on"}, {break250});
        row("BREAK ended", "break 250;wait 250", "", {"BREAK on", "BREAK off"}, {break250});
        row("BREAK ended before CLOSE", "break 250;close", "", {"BREAK on", "BREAK off"},
            {break250, Close}, "off on");
        row("BREAK on a BREAK", "break 250;break 100", "a BREAK is on already", {"BREAK on"},
            {break250, "  <<BREAK 100 ms refused: a BREAK is on already>>"});
        row("BREAK too long", "break 10001", "a BREAK lasts 1 to 10000 ms", {},
            {"  <<BREAK 10001 ms refused: a BREAK lasts 1 to 10000 ms>>"});
        row("BREAK on a lost port", "break 250;lose", "", {"BREAK on"},
            {break250, "  <<ポートが切断されました: gone>>", Close}, "off on");
    }
    // Each change is the port's call and a note; one that did not happen is noted as refused
    // with why, and changes nothing. The indicators follow at once.
    void modemOutputsAndBreak()
    {
        QFETCH(QString, action);
        SessionFixture f;
        QString shown;
        QObject::connect(&f.session, &LineSession::modemLinesChanged, [&](const ModemLines &l) {
            shown = QStringLiteral("%1 %2").arg(l.dataTerminalReady ? u"on" : u"off",
                                                l.requestToSend ? u"on" : u"off");
        });
        if (action == "at open")
            f.session.setOutputsAtOpen(false, false);
        f.open(SimMode::None, FrameEnd::Time);
        f.session.tick();
        std::optional<QString> result;
        for (const QString &step : action.split(u';')) {
            const QStringList word = step.split(u' ');
            if (word[0] == "dtr")
                result = f.session.setDataTerminalReady(word[1] == "on");
            else if (word[0] == "rts")
                result = f.session.setRequestToSend(word[1] == "on");
            else if (word[0] == "break")
                result = f.session.sendBreak(word[1].toInt());
            else if (word[0] == "refuse")
                f.port->refuseLineChanges(u"no modem lines"_s);
            else if (word[0] == "close")
                f.session.close();
            else if (word[0] == "lose")
                f.port->loseLine(u"gone"_s);
            else if (word[0] == "wait")
                f.clock->advance(word[1].toInt());
            QCoreApplication::processEvents();
        }
        f.session.tick();
        QTEST(result.value_or(QString()), "refusal");
        QTEST(f.port->lineChanges, "calls");
        QTEST(f.log.mid(1), "notes");
        QTEST(shown, "shownDtrRts");
        QCOMPARE(f.session.isBreakOn(),
                 f.port->lineChanges == QStringList{"BREAK on"} && !action.endsWith("lose"));
    }

    // With the choice on, a lost port is waited for: nothing while the device is away, a failed
    // reopen noted once per reason, then the port reopened with the settings of the open it was
    // lost from and the registers' words as they were (no preset), in the mode, each step a
    // note. Without the choice nothing waits.
    void reconnects()
    {
        SessionFixture f;
        QSignalSpy waiting(&f.session, &LineSession::waitingForChanged);
        f.session.setReconnect(true);
        f.session.setSettingsText(u"4800,N,8,1"_s);
        f.open(SimMode::Rack, FrameEnd::Time);
        const QString settings = f.port->openedWith;
        f.session.storeWords(0, {u"77"_s}, RegisterWriter::Control);
        const QString word = f.session.registers().word(0);
        f.session.setSettingsText(u"1200,N,8,1"_s); // typed meanwhile, for the next OPEN
        f.log.clear();
        f.port->loseLine(u"fake1: unplugged"_s);
        QCoreApplication::processEvents();
        QCOMPARE(f.session.waitingFor(), u"fake1"_s);
        QCOMPARE(waiting.takeFirst().at(0).toString(), u"fake1"_s);
        f.clock->advance(2000);
        QCOMPARE(f.port->opens, 1);
        f.port->present = true;
        for (int i = 0; i < 2; ++i) {
            f.port->failNextOpen(u"fake1: permission denied"_s);
            f.clock->advance(500);
        }
        f.clock->advance(500);
        QVERIFY(f.session.isOpen() && f.session.waitingFor().isEmpty());
        QCOMPARE(waiting.takeFirst().at(0).toString(), QString());
        QCOMPARE(f.port->opens, 2);
        QCOMPARE(f.port->openedWith, settings);
        QCOMPARE(f.session.registers().word(0), word);
        QCOMPARE(f.log, QStringList({"  <<ポートが切断されました: fake1: unplugged>>", Close,
                                     "  <<port lost: unplugged; waiting for fake1>>",
                                     "  <<cannot reopen yet: fake1: permission denied>>",
                                     "  <<reopened fake1>>"}));
        f.session.setReconnect(false);
        f.port->loseLine(u"gone"_s);
        QCoreApplication::processEvents();
        QVERIFY(f.session.waitingFor().isEmpty());
    }

    // The wait ends at CLOSE (the port stays closed), END, the choice turned off, an OPEN, and
    // when the port is made to lead elsewhere; each with its note but END and OPEN.
    void waitEnds_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("note"); // the last note; empty: none after the wait's start
        const auto row = [](const char *action, const char *note) {
            QTest::newRow(action) << QString::fromLatin1(action) << QString::fromLatin1(note);
        };
        const char *noLonger = "  <<no longer waiting for fake1>>";
        row("close", noLonger);
        row("off", noLonger); // the choice turned off
        row("end", "");
        row("open", "----- OPEN  ----- Protcol=9600,N,7,1");
        row("port", "  <<no longer waiting for fake1: the port now leads to fake2>>");
    }
    void waitEnds()
    {
        QFETCH(QString, action);
        SessionFixture f;
        f.session.setReconnect(true);
        f.open(SimMode::None, FrameEnd::Time);
        f.port->loseLine(u"gone"_s);
        QCoreApplication::processEvents();
        const qsizetype before = f.log.size();
        if (action == "close")
            f.session.close();
        else if (action == "off")
            f.session.setReconnect(false);
        else if (action == "end")
            f.session.end();
        else if (action == "open")
            f.port->present = true, f.session.open();
        else if (action == "port")
            f.session.choosePort(2);
        f.port->present = true;
        f.clock->advance(5000);
        QVERIFY(f.session.waitingFor().isEmpty());
        QCOMPARE(f.port->opens, action == "open" ? 2 : 1);
        QFETCH(QString, note);
        QCOMPARE(f.log.size() > before ? f.log.last() : QString(), note);
        QVERIFY(!f.log.contains(u"  <<reopened fake1>>"_s));
    }

#ifdef Q_OS_UNIX
    // A device path that is a symbolic link to a pseudo-terminal's far end: the pair closes (the
    // port is lost and waited for; the link leads nowhere), then the link points at a new pair,
    // and the port is reopened on it and carries bytes.
    void reopensALinkedDevice()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(u"ttyUSB0"_s);
        int master = -1, slave = -1;
        char name[256];
        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        QVERIFY(QFile::link(QString::fromLocal8Bit(name), link));
        auto *clock = new FakeClock;
        auto *port = new DevicePortService;
        LineSession session{std::unique_ptr<SerialPortService>(port),
                            std::unique_ptr<Clock>(clock)};
        QStringList notes;
        QObject::connect(&session, &LineSession::noted,
                         [&notes](const Note &note) { notes << note.text; });
        session.chooseDevice(1, link, DeviceChoice::ForThisRun);
        session.chooseMode(SimMode::None);
        session.setSettingsText(u"9600,N,8,1"_s);
        session.setReconnect(true);
        QVERIFY(session.open());
        QSignalSpy lost(&session, &LineSession::portLost);
        ::close(master);
        ::close(slave);
        QVERIFY(lost.wait(5000));
        QCOMPARE(session.waitingFor(), link);
        clock->advance(1000);
        QVERIFY(!session.isOpen() && !port->devicePresent());

        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        QVERIFY(QFile::remove(link) && QFile::link(QString::fromLocal8Bit(name), link));
        clock->advance(500);
        QVERIFY(session.isOpen() && session.waitingFor().isEmpty());
        QCOMPARE(notes.last(), u"  <<reopened "_s + link + u">>"_s);
        QVERIFY(session.send("again"));
        char got[16] = {};
        QVERIFY(QTest::qWaitFor([&] { return ::read(master, got, sizeof got) == 5; }));
        QCOMPARE(QByteArray(got), QByteArray("again"));
        session.end();
        ::close(master);
        ::close(slave);
    }
#endif

    // From the start on, every row goes to the file as the window shows it (a line holding line
    // ends makes several rows), the start note first; the end is noted in the log only. A file
    // that fails ends the capture with a note saying why.
    void logToFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"capture.log"_s);
        SessionFixture f;
        LogCapture capture(f.session);
        QObject::connect(&f.sessionLog, &SessionLog::lineLogged, &capture, &LogCapture::add);
        f.open(SimMode::None, FrameEnd::Time);
        QVERIFY(capture.start(path));
        f.session.send("A\r\nB");
        f.clock->advance(1500);
        f.session.send("C");
        capture.stop();
        f.session.send("D");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), ("[12:34:56]  <<logging to " + path + ">>\n").toUtf8() +
                                     "[12:34:56]◎A\nB\n[12:34:57]◎C\n");
        QCOMPARE(f.log.mid(f.log.size() - 2),
                 QStringList({"  <<logging to " + path + " ended>>", u"◎D"_s}));
#ifdef Q_OS_UNIX
        QVERIFY(capture.start(u"/dev/full"_s));
        QSignalSpy changed(&capture, &LogCapture::changed);
        f.session.send("E");
        QVERIFY(changed.wait(5000));
        QVERIFY(!capture.isActive());
        QCOMPARE(f.log.last(), "  <<logging ended: /dev/full: "_L1 + strerror(ENOSPC) + ">>"_L1);
        QVERIFY(!capture.start(dir.path()));
        QCOMPARE(f.log.last(),
                 "  <<cannot log to file: "_L1 + dir.path() + ": "_L1 + strerror(EISDIR) + ">>"_L1);
#endif
    }
};

QTEST_GUILESS_MAIN(LineToolsTest)
#include "test_line_tools.moc"
