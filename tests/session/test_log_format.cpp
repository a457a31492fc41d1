// SPDX-License-Identifier: MIT
// The traffic log's lines made from the session's events: the window's lines as the line's
// bytes decode, the log file's lines one per event with every control character escaped, so
// that no received byte and no path can forge a line. Their stamps to the second or the
// millisecond, and the first line of a saved log.
#include "SessionFixture.h"
#include "session/LogFormat.h"

#include <QTest>

using namespace Qt::StringLiterals;

class LogFormatTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linesOfAnEvent_data()
    {
        QTest::addColumn<Traffic>("traffic"); // empty bytes: the note below instead
        QTest::addColumn<Note>("note");
        QTest::addColumn<QStringList>("window");
        QTest::addColumn<QStringList>("file");
        const auto traffic = [](Traffic::Direction direction, const QString &text, bool hex) {
            return Traffic{direction, 0, text.toLatin1(), text, FrameEnd::CrLf, hex};
        };
        QTest::newRow("received, a forged line inside")
            << traffic(Traffic::Received, u"ab\r\n[12:00:00]----- OPEN \x05\\"_s, false) << Note{}
            << QStringList{u"●ab\r\n[12:00:00]----- OPEN \x05\\"_s}
            << QStringList{u"●ab\\r\\n[12:00:00]----- OPEN \\x05\\\\"_s};
        QTest::newRow("sent, with its dump")
            << traffic(Traffic::Sent, u"\x02\t1\x7f"_s, true) << Note{}
            << QStringList{u"◎\x02\t1\x7f"_s, u"　02 09 31 7F "_s}
            << QStringList{u"◎\\x02\\t1\\x7f"_s, u"　02 09 31 7F "_s};
        QTest::newRow("a note naming a path with a line feed")
            << Traffic{}
            << Note{0, NoteSource::Port, u"  <<OPENできません: /tmp/a\nb: gone>>"_s, {}}
            << QStringList{u"  <<OPENできません: /tmp/a\nb: gone>>"_s}
            << QStringList{u"  <<OPENできません: /tmp/a\\nb: gone>>"_s};
        QTest::newRow("the receive buffer's overflow with what it dropped")
            << Traffic{}
            << Note{0, NoteSource::LineMonitor, u"  <<受信バッファあふれ: 2 バイト破棄>>"_s, "\r\n"}
            << QStringList{u"  <<受信バッファあふれ: 2 バイト破棄>>"_s, u"　0D 0A "_s}
            << QStringList{u"  <<受信バッファあふれ: 2 バイト破棄>>"_s, u"　0D 0A "_s};
    }

    void linesOfAnEvent()
    {
        QFETCH(Traffic, traffic);
        QFETCH(Note, note);
        const bool isTraffic = !traffic.bytes.isEmpty();
        for (const LogEscaping escaping : {LogEscaping::None, LogEscaping::ControlCharacters}) {
            const QStringList lines =
                isTraffic ? logTexts(traffic, escaping) : logTexts(note, escaping);
            if (escaping == LogEscaping::None)
                QTEST(lines, "window");
            else
                QTEST(lines, "file");
        }
    }

    // Moments in turn, each stamped to the second (s) or the millisecond (ms) as the stamp
    // stands at that moment; times are milliseconds after 12:34:56.000 local time, and a
    // moment a few microseconds on shows no later time than its own.
    void stamps_data()
    {
        QTest::addColumn<QList<qint64>>("timesUs"); // after 12:34:56
        QTest::addColumn<QStringList>("precisions");
        QTest::addColumn<QStringList>("stamps");
        QTest::newRow("to the second, a second's milliseconds left out")
            << QList<qint64>{0, 999'999, 1'000'000} << QStringList{"s", "s", "s"}
            << QStringList{"[12:34:56]", "[12:34:56]", "[12:34:57]"};
        QTest::newRow("milliseconds within one second, each its own")
            << QList<qint64>{0, 1'000, 200'000, 200'999, 999'999}
            << QStringList{"ms", "ms", "ms", "ms", "ms"}
            << QStringList{"[12:34:56.000]", "[12:34:56.001]", "[12:34:56.200]", "[12:34:56.200]",
                           "[12:34:56.999]"};
        QTest::newRow("milliseconds across seconds and minutes")
            << QList<qint64>{999'000, 1'000'000, 4'000'007'000} << QStringList{"ms", "ms", "ms"}
            << QStringList{"[12:34:56.999]", "[12:34:57.000]", "[13:41:36.007]"};
        QTest::newRow("changed within a second, both ways")
            << QList<qint64>{100'000, 100'000, 300'000, 300'000}
            << QStringList{"s", "ms", "ms", "s"}
            << QStringList{"[12:34:56]", "[12:34:56.100]", "[12:34:56.300]", "[12:34:56]"};
    }

    void stamps()
    {
        QFETCH(QList<qint64>, timesUs);
        QFETCH(QStringList, precisions);
        const qint64 start =
            QDateTime(QDate(2026, 12, 7), QTime(12, 34, 56)).toMSecsSinceEpoch() * 1000;
        LogStamp stamp;
        QStringList stamps;
        for (qsizetype i = 0; i < timesUs.size(); ++i) {
            const auto precision =
                precisions[i] == u"ms"_s ? StampPrecision::Milliseconds : StampPrecision::Seconds;
            if (precision != stamp.precision())
                stamp.setPrecision(precision);
            stamps << stamp.of(start + timesUs[i]);
        }
        QTEST(stamps, "stamps");
    }

    // The date the rows' stamps lack, the time with its offset from UTC, and the version.
    void savedLogHeader_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QDateTime>("savedAt");
        QTest::addColumn<QString>("header");
        const QDate date(2026, 1, 7);
        const QTime time(9, 5, 3, 999);
        QTest::newRow("east of UTC") << "4.0" << QDateTime(date, time, Qt::OffsetFromUTC, 9 * 3600)
                                     << "PORTWREN 4.0 traffic log saved 2026-01-07 09:05:03 +09:00";
        QTest::newRow("UTC") << "4.0" << QDateTime(date, time, Qt::UTC)
                             << "PORTWREN 4.0 traffic log saved 2026-01-07 09:05:03 +00:00";
        QTest::newRow("west of UTC by hours and a half")
            << "4.1" << QDateTime(date, time, Qt::OffsetFromUTC, -(3 * 3600 + 1800))
            << "PORTWREN 4.1 traffic log saved 2026-01-07 09:05:03 -03:30";
    }

    void savedLogHeader()
    {
        QFETCH(QString, version);
        QFETCH(QDateTime, savedAt);
        QTEST(::savedLogHeader(version, savedAt), "header");
    }

    // A session's log takes the precision from the next line on.
    void sessionLogStampsToTheMillisecond()
    {
        SessionFixture f;
        QStringList stamps;
        QObject::connect(&f.sessionLog, &SessionLog::lineLogged,
                         [&stamps](const LogLine &line) { stamps << line.stamp; });
        f.clock->advance(250);
        f.session.note(NoteSource::Operator, u"a"_s);
        f.sessionLog.setStampPrecision(StampPrecision::Milliseconds);
        f.session.note(NoteSource::Operator, u"b"_s);
        f.clock->advance(1);
        f.session.note(NoteSource::Operator, u"c"_s);
        QCOMPARE(stamps, QStringList({"[12:34:56]", "[12:34:56.250]", "[12:34:56.251]"}));
    }
};

QTEST_GUILESS_MAIN(LogFormatTest)
#include "test_log_format.moc"
