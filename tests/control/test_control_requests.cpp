// SPDX-License-Identifier: MIT
// The control protocol's requests against a session on a scripted port and clock: each
// operation with good and bad arguments, the answer's fields, what it puts on the line and
// does to the session, and that a refused request changes nothing, with the refusal's class, the
// member at fault and the window's own text; every operation refusing a member it does not take
// before it acts; the id coming back exactly as written; the greeting naming exactly the
// operations answered and the events sent.
#include "SessionFixture.h"
#include "control/ControlRequests.h"
#include "control/EventJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{
// All a request may change in the session but its log and the bytes it sends: a refused
// request changes none of it.
auto sessionState(SessionFixture &f)
{
    LineSession &s = f.session;
    QStringList words;
    for (int n = 0; n < RegisterMemory::Count; ++n)
        words << s.registers().word(n);
    return std::tuple(words, s.mode(), s.frameEnd(), s.quietTimeText(), s.settingsText(),
                      s.transmitText(), s.hexDump(), s.isOpen(), s.faultsPending(),
                      s.handshake().isAuto(), s.handshake().stepNumber(), s.isHandshakeTicking(),
                      s.isOpen() ? s.modemLines() : ModemLines{}, s.isBreakOn(),
                      s.repeat().isRunning());
}
} // namespace

class ControlRequestsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each row: the requests (one a line; those before the last must succeed), the port before
    // them (closed, open, open and refusing writes, or closed with the next open failing), the
    // last answer's fields that matter (a refusal's error in full; "id" is always echoed) and the
    // bytes put on the line.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("written");
        const auto row = [](const char *name, const QByteArray &request, const QByteArray &expected,
                            const char *port = "closed", const QByteArray &written = {}) {
            QTest::newRow(name) << request << QString::fromLatin1(port) << expected << written;
        };
        // A refusal's fields: its error (none: any), class, and the member and text it names.
        const auto refused = [](const char *error, const char *errorClass,
                                const char *member = nullptr, const char *text = nullptr) {
            QJsonObject answer{{u"ok"_s, false}, {u"class"_s, QString::fromLatin1(errorClass)}};
            if (error)
                answer.insert(u"error"_s, QString::fromUtf8(error));
            if (member)
                answer.insert(u"member"_s, QString::fromLatin1(member));
            if (text)
                answer.insert(u"text"_s, QString::fromUtf8(text));
            return QJsonDocument(answer).toJson(QJsonDocument::Compact);
        };
        const auto bad = [&refused](const char *member, const char *error = nullptr) {
            return refused(error, "BadArgument", member);
        };
        const auto outOfRange = [&refused](const char *member, const char *error = nullptr) {
            return refused(error, "OutOfRange", member);
        };
        row("status", R"({"id":1,"op":"status"})",
            R"({"id":1,"ok":true,"mode":"none","frame_end":"time","quiet_time":200,"open":false,
                "port":1,"hex":false,"frames_received":0,"faults_pending":0})");
        row("not JSON", "{",
            R"({"id":null,"ok":false,"error":"not JSON: unterminated object",
                "class":"BadArgument"})");
        row("not an object", "[1]", refused("a request must be a JSON object", "BadArgument"));
        row("no op", R"({"id":"x"})",
            R"({"id":"x","ok":false,"error":"'op' must name an operation","class":"BadArgument",
                "member":"op"})");
        row("unknown op", R"({"id":[2],"op":"fly"})",
            R"({"id":[2],"ok":false,"error":"unknown op 'fly'",
                "class":"UnknownOp","member":"op"})");
        row("set mode", R"({"op":"set","mode":"rack","quiet_time":20})",
            R"({"ok":true,"mode":"rack","quiet_time":20,"settings":"9600,E,8,1"})");
        row("set refused whole", R"({"op":"set","frame_end":"crlf","mode":"rock"})",
            bad("mode", "'mode' must be none, prgps, mnea, rack, rackerr or vehicle"));
        const char *quietTime = "'quiet_time' must be a whole number from 0 to 32767";
        row("quiet time out of range", R"({"op":"set","quiet_time":40000})",
            outOfRange("quiet_time", quietTime));
        row("quiet time not whole", R"({"op":"set","quiet_time":1.5})",
            bad("quiet_time", quietTime));
        row("quiet time as text", R"({"op":"set","quiet_time":"5"})", bad("quiet_time"));
        row("mode in the command line's spelling", R"({"op":"set","mode":"NONE"})",
            R"({"ok":true,"mode":"none"})");
        row("mode in any case", R"({"op":"set","mode":"RackErr"})",
            R"({"ok":true,"mode":"rackerr"})");
        row("mode by its caption", R"({"op":"set","mode":"無人車"})",
            R"({"ok":true,"mode":"vehicle"})");
        row("frame end by its caption", R"({"op":"set","frame_end":"Time（ｍｓ）"})",
            R"({"ok":true,"frame_end":"time"})");
        row("frame end in upper case", R"({"op":"set","frame_end":"CRLF"})",
            R"({"ok":true,"frame_end":"crlf"})");
        row("settings OPEN would refuse, while open", R"({"op":"set","settings":"0,E,8,1"})",
            bad("settings",
                R"('settings' would not open the line: speed "0" is not a positive number)"),
            "open");
        row("settings OPEN would refuse, while closed", R"({"op":"set","settings":"9600,E,9,1"})",
            bad("settings", R"('settings' would not open the line: data bits "9" must be 5 to 8)"));
        row("blank settings keep the port's", R"({"op":"set","settings":" "})",
            R"({"ok":true,"settings":" "})", "open");
        row("settings for the next open beside the line's",
            "{\"op\":\"set\",\"settings\":\"4800,N,8,1\"}\n{\"op\":\"status\"}",
            R"({"ok":true,"settings":"4800,N,8,1","line_settings":"9600,N,7,1"})", "open");
        row("no line settings while closed", R"({"op":"status"})",
            R"({"ok":true,"settings":"9600,N,7,1","line_settings":null})");
        row("hex not a bool", R"({"op":"set","hex":1})", bad("hex", "'hex' must be true or false"));
        row("read", R"({"op":"read_registers","from":32,"count":2})",
            R"({"ok":true,"words":["0002","0001"]})");
        row("read past D127", R"({"op":"read_registers","from":127,"count":2})",
            outOfRange("count", "'count' must be a whole number from 1 to 1"));
        row("read from text", R"({"op":"read_registers","from":"a"})",
            bad("from", "'from' must be a whole number from 0 to 127"));
        row("write", R"({"op":"write_registers","from":40,"words":["1",-5," 2.5"]})",
            R"({"ok":true})");
        row("write not a number", R"({"op":"write_registers","from":40,"words":["1","x"]})",
            refused("D0041: not a number", "BadArgument", "words", "D0041: 数値に変換できません"));
        row("write out of range", R"({"op":"write_registers","from":40,"words":["40000"]})",
            refused("D0040: outside -32768 to 32767", "OutOfRange", "words",
                    "D0040: -32768〜32767 の範囲外です"));
        row("write no list", R"({"op":"write_registers","from":40,"words":"7"})", bad("words"));
        row("write a word neither text nor number",
            R"({"op":"write_registers","from":40,"words":[true]})",
            bad("words", "'words' must hold strings or numbers"));
        row("write ending at D127",
            "{\"op\":\"write_registers\",\"from\":126,\"words\":[\"5\",-6]}\n"
            "{\"op\":\"read_registers\",\"from\":125,\"count\":3}",
            R"({"ok":true,"words":["0000","0005","-0006"]})");
        row("write past D127", R"({"op":"write_registers","from":127,"words":["1","2"]})",
            outOfRange("words", "'words' must be a list of 1 to 1 words from D0127 on"));
        row("handshake action unknown", R"({"op":"handshake","action":"jump"})",
            bad("action", "'action' must be step, reset, auto or manual"));
        row("handshake period out of range",
            R"({"op":"handshake","action":"auto","period_ms":3600001})",
            outOfRange("period_ms", "'period_ms' must be a whole number from 1 to 3600000"));
        row("handshake reset", R"({"op":"handshake","action":"reset"})",
            R"({"ok":true,"status":"","step":0,"wait":0})");
        row("fault without code", R"({"op":"fault","kind":"nak"})",
            bad("code", "'code' must be a string"));
        row("fault unknown", R"({"op":"fault","kind":"boom"})",
            bad("kind", "'kind' must be drop, delay, nak, bad_sum, split, garble or clear"));
        const QByteArray nakCode =
            bad("code", R"('code' must be two characters from ! to ~ (0x21 to 0x7E), e.g. "05")");
        row("nak code not ASCII", R"({"op":"fault","kind":"nak","code":"あい"})", nakCode);
        row("nak code with a blank", R"({"op":"fault","kind":"nak","code":" 5"})", nakCode);
        row("nak code of three", R"({"op":"fault","kind":"nak","code":"050"})", nakCode);
        row("nak code at the ends of ASCII", R"({"op":"fault","kind":"nak","code":"!~"})",
            R"({"ok":true,"faults_pending":1})");
        row("fault delay", R"({"op":"fault","kind":"delay","ms":30,"count":3})",
            R"({"ok":true,"faults_pending":3})");
        row("split of one piece", R"({"op":"fault","kind":"split","pieces":1})",
            outOfRange("pieces", "'pieces' must be a whole number from 2 to 1024"));
        row("fault count out of range", R"({"op":"fault","kind":"drop","count":0})",
            outOfRange("count"));
        row("delay out of range", R"({"op":"fault","kind":"delay","ms":600001})",
            outOfRange("ms", "'ms' must be a whole number from 0 to 600000"));
        row("send of 30,000 bytes", "{\"op\":\"send\",\"hex\":\"" + QByteArray(60000, 'a') + "\"}",
            R"({"ok":true})", "open", QByteArray(30000, '\xaa'));
        const QByteArray notHex = bad("hex", "'hex' must be pairs of hexadecimal digits");
        row("send of an odd digit", R"({"op":"send","hex":"414"})", notHex, "open");
        row("send not hex", R"({"op":"send","hex":"0g"})", notHex, "open");
        const QByteArray notSent = refused("not sent: fake1: full", "Refused", nullptr,
                                           "  <<送信できませんでした: fake1: full>>");
        row("send refused by the port", R"({"op":"send","hex":"41"})", notSent, "refusing");
        row("transmit refused by the port", R"({"op":"transmit","command":"ack"})", notSent,
            "refusing");
        row("transmit of a computer-link request refused by the port",
            "{\"op\":\"set\",\"mode\":\"rack\"}\n{\"op\":\"transmit\",\"command\":\"send\"}",
            notSent, "refusing");
        row("repeat refused by the port", R"({"op":"repeat","command":"ack","every_ms":10})",
            notSent, "refusing");
        // Each operation on the line checks the port itself.
        for (const char *request :
             {R"({"op":"send","hex":"41"})", R"({"op":"transmit","command":"ack"})",
              R"({"op":"repeat","command":"ack","every_ms":10})", R"({"op":"lines","dtr":true})",
              R"({"op":"break"})"})
            row(request, request, refused("the port is not open", "NotOpen"));
        const QByteArray unknownCommand =
            bad("command", "'command' must be stx_etx, crlf, cr, ack, nak, eot or send");
        row("transmit unknown", R"({"op":"transmit","command":"bell"})", unknownCommand, "open");
        row("subscribe", R"({"op":"subscribe","id":7})", R"({"id":7,"ok":true})");
        row("status of the tools", R"({"op":"status"})",
            R"({"ok":true,"lines":{"cd":false,"cts":false,"dsr":false,"dtr":true,"rts":true},
                "break":false,"repeat":null,"reconnect":false,"waiting_for":null})",
            "open");
        row("repeat a command", R"({"op":"repeat","command":"cr","every_ms":500,"count":3})",
            R"({"ok":true,"repeat":{"running":true,"what":"CR","every_ms":500,"count":3,
                "sent":1}})",
            "open", "\r");
        row("repeat bytes until stopped", R"({"op":"repeat","hex":"0530","every_ms":10})",
            R"({"ok":true,"repeat":{"running":true,"what":"05 30","every_ms":10,"count":null,
                "sent":1}})",
            "open", "\x05\x30");
        row("repeat stopped",
            "{\"op\":\"repeat\",\"hex\":\"41\",\"every_ms\":100}\n"
            "{\"op\":\"repeat\",\"stop\":true}",
            R"({"ok":true,"repeat":{"running":false,"what":"41","every_ms":100,"count":null,
                "sent":1}})",
            "open", "A");
        row("repeat stop false", R"({"op":"repeat","stop":false})",
            bad("stop", "'stop' must be true"), "open");
        const QByteArray oneOf =
            refused("'repeat' takes exactly one of command and hex, or stop", "BadArgument");
        row("repeat both", R"({"op":"repeat","command":"cr","hex":"41","every_ms":100})", oneOf,
            "open");
        row("repeat neither", R"({"op":"repeat","every_ms":100})", oneOf, "open");
        const char *period = "'every_ms' must be a whole number from 10 to 3600000";
        row("repeat too often", R"({"op":"repeat","command":"ack","every_ms":9})",
            outOfRange("every_ms", period), "open");
        row("repeat without a period", R"({"op":"repeat","command":"ack"})",
            bad("every_ms", period), "open");
        row("repeat no times", R"({"op":"repeat","command":"ack","every_ms":10,"count":0})",
            outOfRange("count", "'count' must be a whole number from 1 to 1000000000"), "open");
        row("repeat no bytes", R"({"op":"repeat","hex":"","every_ms":10})", notHex, "open");
        row("repeat unknown command", R"({"op":"repeat","command":"bell","every_ms":10})",
            unknownCommand, "open");
        row("lines", R"({"op":"lines","dtr":false,"rts":true})",
            R"({"ok":true,"lines":{"cd":false,"cts":false,"dsr":false,"dtr":false,"rts":true}})",
            "open");
        row("lines not a bool", R"({"op":"lines","dtr":false,"rts":0})",
            bad("rts", "'rts' must be true or false"), "open");
        row("lines neither", R"({"op":"lines"})",
            refused("'lines' takes dtr, rts or both", "BadArgument"), "open");
        row("lines the device refuses", R"({"op":"lines","rts":false})",
            refused("RTS off refused: fake1: no modem lines", "Refused"), "no modem lines");
        row("break", "{\"op\":\"break\"}\n{\"op\":\"status\"}", R"({"ok":true,"break":true})",
            "open");
        row("break of a length", R"({"op":"break","ms":10000})", R"({"ok":true,"ms":10000})",
            "open");
        row("break too long", R"({"op":"break","ms":10001})",
            outOfRange("ms", "'ms' must be a whole number from 1 to 10000"), "open");
        row("break the device refuses", R"({"op":"break","ms":1})",
            refused("BREAK refused: fake1: no modem lines", "Refused"), "no modem lines");
        row("sync", R"({"op":"sync","id":8})", R"({"id":8,"ok":true})");
        row("open", "{\"op\":\"open\"}\n{\"op\":\"status\"}", R"({"ok":true,"open":true})");
        row("open fails", R"({"op":"open"})",
            refused("cannot open: fake1: busy", "Refused", nullptr,
                    "  <<OPENできません: fake1: busy>>"),
            "fails");
        row("close", "{\"op\":\"close\"}\n{\"op\":\"status\"}", R"({"ok":true,"open":false})",
            "open");
        row("transmit, the text kept for the next",
            R"({"op":"transmit","command":"crlf","text":"AB"}
           {"op":"transmit","command":"cr"})",
            R"({"ok":true})", "open", "AB\r\nAB\r");
        row("send", R"({"op":"send","hex":"0d0A"})", R"({"ok":true})", "open", "\r\n");
        row("handshake step in Manual",
            R"({"op":"set","mode":"rack"}
               {"op":"write_registers","from":0,"words":["1","0101"]}
               {"op":"write_registers","from":10,"words":["1"]}
               {"op":"handshake","action":"step"})",
            R"({"ok":true,"wait":10,"status":"搬送設定完了フラグＯＮ-入庫(0101→0000,0000,0000)[0000]"})");
        QByteArray tenThousand;
        for (int i = 0; i < 10000; ++i)
            tenThousand += R"({"op":"fault","kind":"drop","count":100000})"
                           "\n";
        row("a fault past the queue's limit", tenThousand + R"({"op":"fault","kind":"drop"})",
            refused("10000 faults already wait, the most there may be: clear them or let replies "
                    "use them up first",
                    "Busy"));
        row("the pending count past the range of int", tenThousand + R"({"op":"status"})",
            R"({"ok":true,"faults_pending":1000000000})");
    }

    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, port);
        QFETCH(QByteArray, expected);
        SessionFixture f;
        if (port == "open")
            QVERIFY(f.session.open());
        if (port == "fails")
            f.port->failNextOpen(u"fake1: busy"_s);
        if (port == "refusing") {
            QVERIFY(f.session.open());
            f.port->refuseWrites(u"fake1: full"_s);
        }
        if (port == "no modem lines") {
            QVERIFY(f.session.open());
            f.port->refuseLineChanges(u"fake1: no modem lines"_s);
        }
        ControlRequests requests(f.session);
        QList<QByteArray> lines = request.split('\n');
        const QByteArray last = lines.takeLast();
        for (const QByteArray &line : lines)
            QVERIFY(QJsonDocument::fromJson(requests.answer(line).line)["ok"].toBool());
        const auto before = sessionState(f);
        const ControlRequests::Answer answer = requests.answer(last);
        QVERIFY(!answer.line.contains('\n'));
        const QJsonObject got = QJsonDocument::fromJson(answer.line).object();
        const QJsonObject want = QJsonDocument::fromJson(expected).object();
        QVERIFY2(!want.isEmpty(), "the expected answer is JSON");
        for (auto field = want.begin(); field != want.end(); ++field)
            QVERIFY2(got.value(field.key()) == field.value(), answer.line.constData());
        QCOMPARE(answer.subscribe, last.contains("subscribe"));
        if (!got.value(u"ok"_s).toBool()) { // refused: nothing changed
            QVERIFY(sessionState(f) == before);
            // A refusal carries exactly its error, class, and the member and text expected.
            QStringList keys = want.keys() + QStringList{u"id"_s, u"error"_s};
            keys.removeDuplicates();
            keys.sort();
            QCOMPARE(got.keys(), keys);
        }
        QTEST(f.port->written.join(), "written");
    }

    // Every operation names the members it takes; any other, or one given twice, refuses the
    // whole request before anything changes, and the refusal names it. Each row's request is
    // one its operation would carry out but for the member.
    void unknownMembersRefuseTheRequest_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("member");
        const auto unknown = [](const char *name, const char *request, const char *member,
                                const char *takes, bool open = true) {
            QTest::newRow(name) << QByteArray(request) << open
                                << u"unknown member '%1' (%2)"_s.arg(QLatin1String(member),
                                                                     QLatin1String(takes))
                                << QString::fromUtf8(member);
        };
        unknown("status", R"({"op":"status","verbose":true})", "verbose", "'status' takes none");
        unknown("open", R"({"op":"open","port":2})", "port", "'open' takes none", false);
        unknown("close", R"({"op":"close","now":1})", "now", "'close' takes none");
        const char *setTakes =
            "'set' takes mode, frame_end, quiet_time, settings, hex or transmit_text";
        unknown("set, a misspelt mode", R"({"op":"set","mdoe":"vehicle"})", "mdoe", setTakes);
        unknown("set, after good members", R"({"op":"set","mode":"rack","quiet_time":5,"bogus":1})",
                "bogus", setTakes);
        unknown("set, the first unknown as written", R"({"zz":1,"op":"set","aa":2,"mode":"rack"})",
                "zz", setTakes);
        unknown("read_registers", R"({"op":"read_registers","from":1,"words":2})", "words",
                "'read_registers' takes from or count");
        unknown("write_registers", R"({"op":"write_registers","from":40,"words":["7"],"count":1})",
                "count", "'write_registers' takes from or words");
        unknown("handshake step with a period",
                R"({"op":"handshake","action":"step","period_ms":50})", "period_ms",
                "'handshake' with action 'step' takes only action");
        unknown("handshake auto", R"({"op":"handshake","action":"auto","period":50})", "period",
                "'handshake' with action 'auto' takes action or period_ms");
        unknown("transmit", R"({"op":"transmit","command":"cr","txt":"A"})", "txt",
                "'transmit' takes command or text");
        unknown("send", R"({"op":"send","hex":"41","data":"41"})", "data", "'send' takes only hex");
        unknown("fault split with gap for gap_ms",
                R"({"op":"fault","kind":"split","pieces":2,"gap":20})", "gap",
                "'fault' of kind 'split' takes kind, count, pieces or gap_ms");
        unknown("fault clear with a count", R"({"op":"fault","kind":"clear","count":1})", "count",
                "'fault' of kind 'clear' takes only kind");
        unknown("fault drop with ms", R"({"op":"fault","kind":"drop","ms":5})", "ms",
                "'fault' of kind 'drop' takes kind or count");
        unknown("fault nak with pieces", R"({"op":"fault","kind":"nak","code":"05","pieces":2})",
                "pieces", "'fault' of kind 'nak' takes kind, count or code");
        unknown("subscribe", R"({"op":"subscribe","events":["sent"]})", "events",
                "'subscribe' takes none");
        unknown("repeat with a period misspelt", R"({"op":"repeat","command":"cr","every":100})",
                "every", "'repeat' takes command, hex, every_ms or count");
        unknown("repeat stop with a count", R"({"op":"repeat","stop":true,"count":2})", "count",
                "'repeat' with stop takes only stop");
        unknown("lines with CD", R"({"op":"lines","dtr":true,"cd":true})", "cd",
                "'lines' takes dtr or rts");
        unknown("break with a length", R"({"op":"break","length":100})", "length",
                "'break' takes only ms");
        unknown("sync", R"({"op":"sync","after":1})", "after", "'sync' takes none");
        unknown("an escaped name", "{\"op\":\"set\",\"m\\u006fde\":\"rack\",\"\\u0078\":1}", "x",
                setTakes);
        QTest::newRow("a member twice") << QByteArray(R"({"op":"set","mode":"rack","mode":"none"})")
                                        << true << u"'mode' is given twice"_s << u"mode"_s;
        QTest::newRow("an id twice") << QByteArray(R"({"id":1,"op":"close","id":2})") << true
                                     << u"'id' is given twice"_s << u"id"_s;
    }

    void unknownMembersRefuseTheRequest()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, open);
        QFETCH(QString, error);
        SessionFixture f;
        f.session.setQuietTimeText(u"0"_s);
        if (open)
            QVERIFY(f.open(SimMode::None, FrameEnd::Time));
        ControlRequests requests(f.session);
        const auto before = std::tuple(sessionState(f), f.port->written, f.log);
        const ControlRequests::Answer answer = requests.answer(request);
        const QJsonObject got = QJsonDocument::fromJson(answer.line).object();
        QCOMPARE(got.value(u"ok"_s), QJsonValue(false));
        QCOMPARE(got.value(u"error"_s).toString(), error);
        QCOMPARE(got.value(u"class"_s).toString(), u"BadArgument"_s);
        QTEST(got.value(u"member"_s).toString(), "member");
        QVERIFY(std::tuple(sessionState(f), f.port->written, f.log) == before);
        QVERIFY(!answer.subscribe);
        // A wrong member is no part of any request: a fault asked for without it is applied.
        f.session.addFault(Fault{});
        QCOMPARE(f.session.faultsPending(), 1);
    }

    // The greeting names the program's version, the protocol, every operation the requests
    // answer (no other is known) and every event a subscriber gets, from the tables they use.
    void greetingNamesWhatIsServed()
    {
        const QJsonObject greeting = QJsonDocument::fromJson(ControlRequests::greetingLine())
                                         .object()
                                         .value(u"portwren"_s)
                                         .toObject();
        QCOMPARE(greeting.value(u"version"_s).toString(), u"4.0"_s);
        QCOMPARE(greeting.value(u"protocol"_s).toInt(), ControlRequests::ProtocolVersion);
        SessionFixture f;
        ControlRequests requests(f.session);
        const auto classOf = [&requests](const QString &op) {
            const QByteArray request = "{\"op\":\"" + op.toUtf8() + "\"}";
            return QJsonDocument::fromJson(requests.answer(request).line)[u"class"_s].toString();
        };
        const QStringList ops = greeting.value(u"ops"_s).toVariant().toStringList();
        QCOMPARE(ops.size(), 15);
        for (const QString &op : ops)
            QVERIFY2(classOf(op) != u"UnknownOp"_s, qPrintable(op));
        QCOMPARE(classOf(u"pause"_s), u"UnknownOp"_s);

        // A session that makes every kind of event.
        EventFeed feed(f.session);
        QSet<QString> seen;
        QObject::connect(&feed, &EventFeed::eventLine, [&seen](const QByteArray &line) {
            seen.insert(QJsonDocument::fromJson(line)[u"event"_s].toString());
        });
        f.session.setQuietTimeText(u"0"_s);
        QVERIFY(f.open(SimMode::Rack, FrameEnd::CrLf));
        f.session.addFault(Fault{});
        f.arrive("\x05"
                 "000000WW00003201111118\r\n"); // its reply dropped
        f.arrive("\x05"
                 "000000WR0000320250\r\n");
        f.session.resetHandshake();
        const QStringList events = greeting.value(u"events"_s).toVariant().toStringList();
        QCOMPARE(QSet<QString>(events.begin(), events.end()), seen);
        QCOMPARE(events, eventNames());
    }

    // The answer's id is the request's id as written, whatever JSON value it is, and in every
    // answer, refusals included; a line that is not an object has none.
    void idComesBackAsWritten_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("id");
        const auto row = [](const char *request, const char *id) {
            QTest::newRow(id) << QByteArray(request) << QByteArray(id);
        };
        row(R"({"id":18446744073709551615,"op":"status"})", "18446744073709551615");
        row(R"({"id":1.10,"op":"status"})", "1.10");
        row(R"({"id":-0,"op":"status"})", "-0");
        row(R"({"id":2.50E-3,"op":"status"})", "2.50E-3");
        row("{\"op\":\"status\",\"id\":\"a\\\"}{\\\\\"}", "\"a\\\"}{\\\\\"");
        row("{\"id\":\"\\u3042\\n\",\"op\":\"status\"}", "\"\\u3042\\n\"");
        row("{\"id\" : [1, {\"id\":2}, \"]\"] ,\"op\":\"status\"}", "[1, {\"id\":2}, \"]\"]");
        QTest::newRow("a CR inside")
            << QByteArray("{\"id\":[1,\r2],\"op\":\"status\"}\r") << QByteArray("[1, 2]");
        QTest::newRow("after a byte order mark")
            << QByteArray("\xEF\xBB\xBF{\"id\":1.50,\"op\":\"status\"}") << QByteArray("1.50");
        row(R"({"op":"status","x":{"id":5}})", "null");
        row(R"({"op":"status"})", "null");
        row(R"({"id":true,"op":"fly"})", "true");
        row(R"({"id":{},"op":"set","mode":"rock"})", "{}");
        row(R"(  {"id":7,"op":"status"}  )", "7");
        row(R"({"id":7,"op":"status")", "null");
        row(R"([{"id":7,"op":"status"}])", "null");
    }

    void idComesBackAsWritten()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, id);
        SessionFixture f;
        ControlRequests requests(f.session);
        const QByteArray answer = requests.answer(request).line;
        QVERIFY2(answer.startsWith("{\"id\":" + id + ",\""), answer.constData());
        QVERIFY(QJsonDocument::fromJson(answer).isObject());
    }
};

QTEST_GUILESS_MAIN(ControlRequestsTest)
#include "test_control_requests.moc"
