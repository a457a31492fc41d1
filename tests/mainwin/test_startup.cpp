// The main window after start-up: every control where the layout puts it, the state that
// start-up leaves, the resize rule, and the mode, port and frame-end choices.
#include "RegisterMemory.h"
#include "SimMode.h"
#include "WindowFixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

class StartupTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stateAfterStartUp();
    void controlsAfterStartUp();
    void geometry_data();
    void geometry();
    void logBoxFollowsTheWindow();
    void modeProfiles_data();
    void modeProfiles();
    void noneKeepsTheBoxes();
    void portChoiceSetsCommPort();
    void frameEndChoiceSetsTerminator();
};

void StartupTest::stateAfterStartUp()
{
    registerMemory().applyVehiclePreset();
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    QCOMPARE(w.OpenFlag, 0);
    QCOMPARE(SimMode, 0);
    QCOMPARE(w.TermKind, 2);
    QCOMPARE(w.TermStr, QByteArray());
    QCOMPARE(w.RecvBuf, QByteArray());
    QCOMPARE(f.port->commPort(), 1);
    QCOMPARE(f.port->portOpen(), false);
    const QStringList settings = {QString(), QStringLiteral("9600,N,8,1"),
                                  QStringLiteral("4800,N,8,1"), QStringLiteral("9600,E,8,1"),
                                  QStringLiteral("9600,E,8,1"), QStringLiteral("9600,E,8,1")};
    const QList<qint16> terms = {2, 0, 0, 2, 2, 2};
    for (int i = 0; i < 25; ++i) {
        QCOMPARE(w.ModeSettings[i], i < 6 ? settings[i] : QString());
        QCOMPARE(w.ModeTerm[i], i < 6 ? terms[i] : 0);
        if (i != 1)
            QCOMPARE(w.ModeText[i], QString());
    }
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{11}$")).match(w.ModeText[1]).hasMatch());
    // The rack preset, although the mode is "NONE".
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        const QString expected = n == 33 ? QStringLiteral("0001")
                                 : (n == 32 || n == 43) ? QStringLiteral("0002")
                                                        : QStringLiteral("0000");
        QCOMPARE(registerMemory().word(n), expected);
    }
    QVERIFY(w.RText->toPlainText().isEmpty());
}

void StartupTest::controlsAfterStartUp()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    QCOMPARE(w.windowTitle(), QStringLiteral("PORTWREN"));
    QCOMPARE(w.Text1->text(), QStringLiteral("9600,N,7,1"));
    QCOMPARE(w.Text2->text(), QString());
    QCOMPARE(w.Text3->text(), QStringLiteral("200"));
    QVERIFY(w.Option1[0]->isChecked());
    QVERIFY(w.Option2[0]->isChecked());
    QVERIFY(w.Option3[2]->isChecked());
    QVERIFY(w.Option4[1]->isChecked());
    QVERIFY(w.btnOpen->isEnabled());
    QVERIFY(!w.btnClose->isEnabled());
    for (QLabel *indicator : {w.lbl_cd, w.lbl_cts, w.lbl_dsr, w.lbl_dtr, w.lbl_rts})
        QCOMPARE(indicator->text(), QStringLiteral("○"));
    QCOMPARE(w.Option1[3]->text(), QStringLiteral("ラック"));
    QCOMPARE(w.Option1[5]->toolTip(),
             QStringLiteral("ダブルクリックでデータレジスタの表示編集が出来ます。"));
    QCOMPARE(w.Option3[2]->text(), QStringLiteral("Time（ｍｓ）"));
    QCOMPARE(w.Frame1->title(), QStringLiteral("ﾓｰﾄﾞ"));
    QCOMPARE(w.btnSEND->toolTip(), QStringLiteral("ENQ及びチェックサムを付加して電文を送信します。"));
    QCOMPARE(w.btnSTX->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(w.RText->font().family(), QStringLiteral("ＭＳ ゴシック"));
    QCOMPARE(w.Timer1->interval(), 100);
    // The window's own timer runs from start-up (the fixture holds it still afterwards).
    frm_PORTWREN running(new FakeSerialPort(&f.clock), &f.clock);
    QVERIFY(running.Timer1->isActive());
}

void StartupTest::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    // Twips divided by 15.
    QTest::newRow("btnEnd") << "btnEnd" << QRect(6, 14, 47, 23);
    QTest::newRow("btnClose") << "btnClose" << QRect(55, 38, 49, 23);
    QTest::newRow("btnNAK") << "btnNAK" << QRect(72, 84, 31, 17);
    QTest::newRow("btnSTX") << "btnSTX" << QRect(45, 142, 61, 17);
    QTest::newRow("Frame3") << "Frame3" << QRect(6, 358, 101, 35);
    QTest::newRow("Com1:") << "Option2_0" << QRect(320, 2, 53, 16);
    QTest::newRow("Com6:") << "Option2_5" << QRect(600, 2, 53, 16);
    QTest::newRow("Time (ms)") << "Option3_2" << QRect(8, 48, 87, 14);
}

void StartupTest::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    WindowFixture f;
    auto *control = f.w->findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), rect);
}

void StartupTest::logBoxFollowsTheWindow()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QSize frame = w.frameGeometry().size() - w.size();
    w.resize(700, 500);
    QCOMPARE(w.RText->pos(), QPoint(116, 22));
    const auto less = [](int pixels, int twipsOff) { return (pixels * 15 - twipsOff) / 15; };
    QCOMPARE(w.RText->size(),
             QSize(less(700 + frame.width(), 2000), less(500 + frame.height(), 800)));
    // Below the thresholds the last size stays; the box never shrinks to nothing.
    const QSize before = w.RText->size();
    w.resize(100, 40);
    QCOMPARE(w.RText->size(), before);
    w.resize(200, 40);
    QCOMPARE(w.RText->size(), QSize(less(200 + frame.width(), 2000), before.height()));
    QCOMPARE(w.btnOpen->geometry(), QRect(6, 38, 47, 23));
}

void StartupTest::modeProfiles_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("termKind");
    QTest::addColumn<QByteArray>("termStr");
    QTest::newRow("prGPS") << 1 << "9600,N,8,1" << 0 << QByteArray("\r\n");
    QTest::newRow("MNEA") << 2 << "4800,N,8,1" << 0 << QByteArray("\r\n");
    QTest::newRow("rack") << 3 << "9600,E,8,1" << 2 << QByteArray();
    QTest::newRow("rack ERR") << 4 << "9600,E,8,1" << 2 << QByteArray();
    QTest::newRow("vehicle") << 5 << "9600,E,8,1" << 2 << QByteArray();
}

void StartupTest::modeProfiles()
{
    QFETCH(int, mode);
    QFETCH(QString, settings);
    QFETCH(int, termKind);
    QFETCH(QByteArray, termStr);
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    w.Text2->setText(QStringLiteral("typed"));
    clickOption(w.Option1[mode]);
    QCOMPARE(SimMode, mode);
    QCOMPARE(w.Text1->text(), settings);
    QCOMPARE(w.Text2->text(), w.ModeText[mode]);
    QCOMPARE(w.TermKind, termKind);
    QCOMPARE(w.TermStr, termStr);
    QVERIFY(w.Option3[termKind]->isChecked());
    QVERIFY(f.port->calls.isEmpty()); // the mode never touches the port
}

void StartupTest::noneKeepsTheBoxes()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    clickOption(w.Option1[1]);
    w.Text2->setText(QStringLiteral("0312345678,pw"));
    clickOption(w.Option1[0]);
    QCOMPARE(SimMode, 0);
    QCOMPARE(w.Text1->text(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(w.Text2->text(), QStringLiteral("0312345678,pw"));
    QCOMPARE(w.TermKind, 2);
    QVERIFY(w.Option3[2]->isChecked());
    QCOMPARE(w.TermStr, QByteArray());
}

void StartupTest::portChoiceSetsCommPort()
{
    WindowFixture f;
    clickOption(f.w->Option2[3]);
    QCOMPARE(f.port->commPort(), 4);
    QVERIFY(f.w->Option2[3]->isChecked());
    QVERIFY(!f.w->Option2[0]->isChecked());
}

void StartupTest::frameEndChoiceSetsTerminator()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    clickOption(w.Option3[1]);
    QCOMPARE(w.TermKind, 1);
    QCOMPARE(w.TermStr, QByteArray("\r"));
    clickOption(w.Option3[0]);
    QCOMPARE(w.TermStr, QByteArray("\r\n"));
    // A mode whose profile wants another frame end moves the choice and the terminator along.
    clickOption(w.Option1[3]);
    QVERIFY(w.Option3[2]->isChecked());
    QCOMPARE(w.TermStr, QByteArray());
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
