// SPDX-License-Identifier: MIT
// The control protocol's requests against a session on a scripted port and clock: each
// operation with good and bad arguments, the answer's fields, what it puts on the line and
// does to the session, and that a refused request changes nothing.
#include "SessionFixture.h"
#include "control/ControlRequests.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

class ControlRequestsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each row: the requests (one a line; those before the last must succeed), the port before
    // them (closed, open, or closed with the next open failing), the last answer's fields that
    // matter (an error answer's text in full; "id" is always echoed) and the bytes put on the line.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("written");
        const auto row = [](const char *name, const char *request, const char *expected,
                            const char *port = "closed", const QByteArray &written = {}) {
            QTest::newRow(name) << QByteArray(request) << QString::fromLatin1(port)
                                << QByteArray(expected) << written;
        };
        row("status", R"({"id":1,"op":"status"})",
            R"({"id":1,"ok":true,"mode":"none","frame_end":"time","quiet_time":200,"open":false,
                "port":1,"hex":false,"frames_received":0,"faults_pending":0})");
        row("not JSON", "{", R"({"id":null,"ok":false,"error":"not JSON: unterminated object"})");
        row("not an object", "[1]", R"({"ok":false,"error":"a request must be a JSON object"})");
        row("no op", R"({"id":"x"})",
            R"({"id":"x","ok":false,"error":"'op' must name an operation"})");
        row("unknown op", R"({"id":[2],"op":"fly"})",
            R"({"id":[2],"ok":false,"error":"unknown op 'fly'"})");
        row("set mode", R"({"op":"set","mode":"rack","quiet_time":20})",
            R"({"ok":true,"mode":"rack","quiet_time":20,"settings":"9600,E,8,1"})");
        row("set refused whole", R"({"op":"set","frame_end":"crlf","mode":"rock"})",
            R"({"ok":false,"error":"'mode' must be none, prgps, mnea, rack, rackerr or vehicle"})");
        row("quiet time out of range", R"({"op":"set","quiet_time":40000})",
            R"({"ok":false,"error":"'quiet_time' must be a whole number from 0 to 32767"})");
        row("hex not a bool", R"({"op":"set","hex":1})",
            R"({"ok":false,"error":"'hex' must be true or false"})");
        row("read", R"({"op":"read_registers","from":32,"count":2})",
            R"({"ok":true,"words":["0002","0001"]})");
        row("read past D127", R"({"op":"read_registers","from":127,"count":2})",
            R"({"ok":false,"error":"'count' must be a whole number from 1 to 1"})");
        row("read from text", R"({"op":"read_registers","from":"a"})",
            R"({"ok":false,"error":"'from' must be a whole number from 0 to 127"})");
        row("write", R"({"op":"write_registers","from":40,"words":["1",-5," 2.5"]})",
            R"({"ok":true})");
        row("write not a number", R"({"op":"write_registers","from":40,"words":["1","x"]})",
            R"({"ok":false,"error":"D0041: 数値に変換できません"})");
        row("write out of range", R"({"op":"write_registers","from":40,"words":["40000"]})",
            R"({"ok":false,"error":"D0040: -32768〜32767 の範囲外です"})");
        row("write past D127", R"({"op":"write_registers","from":127,"words":["1","2"]})",
            R"({"ok":false,"error":"'words' must be a list of 1 to 1 words from D0127 on"})");
        row("handshake action unknown", R"({"op":"handshake","action":"jump"})",
            R"({"ok":false,"error":"'action' must be step, reset, auto or manual"})");
        row("handshake reset", R"({"op":"handshake","action":"reset"})",
            R"({"ok":true,"status":"","step":0,"wait":0})");
        row("fault without code", R"({"op":"fault","kind":"nak"})",
            R"({"ok":false,"error":"'code' must be a string"})");
        row("fault unknown", R"({"op":"fault","kind":"boom"})",
            R"({"ok":false,)"
            R"("error":"'kind' must be drop, delay, nak, bad_sum, split, garble or clear"})");
        row("fault delay", R"({"op":"fault","kind":"delay","ms":30,"count":3})",
            R"({"ok":true,"faults_pending":3})");
        row("split of one piece", R"({"op":"fault","kind":"split","pieces":1})",
            R"({"ok":false,"error":"'pieces' must be a whole number from 2 to 1024"})");
        row("send not hex", R"({"op":"send","hex":"0g"})",
            R"({"ok":false,"error":"'hex' must be pairs of hexadecimal digits"})", "open");
        row("send while closed", R"({"op":"send","hex":"41"})",
            R"({"ok":false,"error":"the port is not open"})");
        row("transmit while closed", R"({"op":"transmit","command":"ack"})",
            R"({"ok":false,"error":"the port is not open"})");
        row("transmit unknown", R"({"op":"transmit","command":"bell"})",
            R"({"ok":false,"error":"'command' must be stx_etx, crlf, cr, ack, nak, eot or send"})",
            "open");
        row("subscribe", R"({"op":"subscribe","id":7})", R"({"id":7,"ok":true})");
        row("open", "{\"op\":\"open\"}\n{\"op\":\"status\"}", R"({"ok":true,"open":true})");
        row("open fails", R"({"op":"open"})", R"({"ok":false,"error":"cannot open: fake1: busy"})",
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
        ControlRequests requests(f.session);
        QList<QByteArray> lines = request.split('\n');
        const QByteArray last = lines.takeLast();
        for (const QByteArray &line : lines)
            QVERIFY(QJsonDocument::fromJson(requests.answer(line).line)["ok"].toBool());
        const auto state = [&f] {
            return std::tuple(f.session.registers().word(40), f.session.frameEnd(),
                              f.session.mode(), f.session.faultsPending(), f.session.isOpen());
        };
        const auto before = state();
        const ControlRequests::Answer answer = requests.answer(last);
        QVERIFY(!answer.line.contains('\n'));
        const QJsonObject got = QJsonDocument::fromJson(answer.line).object();
        const QJsonObject want = QJsonDocument::fromJson(expected).object();
        QVERIFY2(!want.isEmpty(), "the expected answer is JSON");
        for (auto field = want.begin(); field != want.end(); ++field)
            QVERIFY2(got.value(field.key()) == field.value(), answer.line.constData());
        QCOMPARE(answer.subscribe, last.contains("subscribe"));
        if (!got.value(u"ok"_s).toBool()) // refused: nothing changed
            QVERIFY(state() == before);
        QTEST(f.port->written.join(), "written");
    }
};

QTEST_GUILESS_MAIN(ControlRequestsTest)
#include "test_control_requests.moc"
