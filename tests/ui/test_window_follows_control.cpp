// SPDX-License-Identifier: MIT
// The windows show each choice a control program makes as if the operator had made it: the
// main window's mode, frame end, texts, HEX and connection, the data window's Auto and status,
// and register words on the data window's next tick, as a host's writes show.
#include "WindowFixture.h"
#include "control/ControlRequests.h"
#include "ui/RegisterWindow.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

class WindowFollowsControlTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowsShowTheControlProgramsChoices();
};

void WindowFollowsControlTest::windowsShowTheControlProgramsChoices()
{
    WindowFixture f;
    f.w->show();
    ControlRequests requests(f.session);
    const auto ask = [&](const char *request) {
        const QJsonObject answer = QJsonDocument::fromJson(requests.answer(request).line).object();
        return answer.value(u"ok"_s).toBool();
    };
    QVERIFY(ask(R"({"op":"set","mode":"rack","frame_end":"crlf","quiet_time":50,"hex":true,
                   "transmit_text":"AB"})"));
    QVERIFY(f.option("Option1", 3)->isChecked());
    QVERIFY(f.option("Option3", 0)->isChecked());
    QVERIFY(f.option("Option4", 0)->isChecked());
    QCOMPARE(f.control<QLineEdit>(u"Text1"_s)->text(), u"9600,E,8,1"_s);
    QCOMPARE(f.control<QLineEdit>(u"Text2"_s)->text(), u"AB"_s);
    QCOMPARE(f.control<QLineEdit>(u"Text3"_s)->text(), u"50"_s);
    QVERIFY(ask(R"({"op":"open"})"));
    QVERIFY(!f.control<QPushButton>(u"btnOpen"_s)->isEnabled());
    QVERIFY(f.control<QPushButton>(u"btnClose"_s)->isEnabled());

    f.w->openRegisterWindow();
    RegisterWindow *data = f.w->registerWindow();
    QVERIFY(ask(R"({"op":"handshake","action":"auto"})"));
    QVERIFY(data->findChild<QRadioButton *>(u"Option1"_s)->isChecked());
    QVERIFY(ask(R"({"op":"write_registers","from":0,"words":["1","0101"]})"));
    QVERIFY(ask(R"({"op":"write_registers","from":10,"words":["1"]})"));
    QVERIFY(ask(R"({"op":"handshake","action":"step"})"));
    QCOMPARE(data->findChild<QLabel *>(u"lblSTATUS"_s)->text(),
             u"搬送設定完了フラグＯＮ-入庫(0101→0000,0000,0000)[0000]"_s);
    f.session.tickHandshake();
    QCOMPARE(data->findChild<QLineEdit *>(u"Text1_1"_s)->text(), u"0101"_s);
    QVERIFY(ask(R"({"op":"handshake","action":"manual"})"));
    QVERIFY(data->findChild<QRadioButton *>(u"Option2"_s)->isChecked());
    QVERIFY(ask(R"({"op":"close"})"));
    QVERIFY(f.control<QPushButton>(u"btnOpen"_s)->isEnabled());
}

QTEST_MAIN(WindowFollowsControlTest)
#include "test_window_follows_control.moc"
