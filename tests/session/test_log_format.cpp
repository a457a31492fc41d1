// SPDX-License-Identifier: MIT
// The traffic log's lines made from the session's events: the window's lines as the line's
// bytes decode, the log file's lines one per event with every control character escaped, so
// that no received byte and no path can forge a line.
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
};

QTEST_GUILESS_MAIN(LogFormatTest)
#include "test_log_format.moc"
