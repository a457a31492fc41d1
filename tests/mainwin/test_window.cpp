// The main window without a line: the state start-up leaves, where the controls stand, the
// resize rule, the mode, port and frame-end choices, and the traffic log.
#include "RegisterMemory.h"
#include "SimMode.h"
#include "WindowFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class WindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stateAfterStartUp();
    void geometry_data();
    void geometry();
    void logBoxFollowsTheWindow();
    void modeProfiles_data();
    void modeProfiles();
    void logNewestFirstWithStamps();
};

void WindowTest::stateAfterStartUp()
{
    registerMemory().applyVehiclePreset();
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    QCOMPARE(w.OpenFlag, 0);
    QCOMPARE(SimMode, 0);
    QCOMPARE(w.TermKind, 2);
    QVERIFY(w.TermStr.isEmpty() && w.RecvBuf.isEmpty());
    QCOMPARE(f.port->commPort(), 1);
    QVERIFY(w.Option1[0]->isChecked() && w.Option2[0]->isChecked() && w.Option3[2]->isChecked());
    QVERIFY(w.Option4[1]->isChecked());
    QCOMPARE(w.Text1->text(), QStringLiteral("9600,N,7,1"));
    QVERIFY(w.Text2->text().isEmpty());
    QVERIFY(w.btnOpen->isEnabled() && !w.btnClose->isEnabled());
    for (int i = 6; i < 25; ++i)
        QVERIFY(w.ModeSettings[i].isEmpty() && w.ModeText[i].isEmpty() && w.ModeTerm[i] == 0);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{11}$")).match(w.ModeText[1]).hasMatch());
    // The rack preset, although the mode is "NONE".
    QCOMPARE(registerMemory().word(33), QStringLiteral("0001"));
    QCOMPARE(registerMemory().word(102), QStringLiteral("0000"));
    QVERIFY(w.RText->toPlainText().isEmpty());
}

void WindowTest::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect"); // twips divided by 15
    QTest::newRow("btnEnd") << "btnEnd" << QRect(6, 14, 47, 23);
    QTest::newRow("btnSTX") << "btnSTX" << QRect(45, 142, 61, 17);
    QTest::newRow("Com6:") << "Option2_5" << QRect(600, 2, 53, 16);
    QTest::newRow("Time (ms)") << "Option3_2" << QRect(8, 48, 87, 14);
}

void WindowTest::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    WindowFixture f;
    auto *control = f.w->findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), rect);
}

void WindowTest::logBoxFollowsTheWindow()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QSize frame = w.frameGeometry().size() - w.size();
    const auto less = [](int pixels, int twipsOff) { return (pixels * 15 - twipsOff) / 15; };
    w.resize(700, 500);
    QCOMPARE(w.RText->geometry(), QRect(116, 22, less(700 + frame.width(), 2000),
                                        less(500 + frame.height(), 800)));
    // Below a threshold the last size stays: the box never shrinks to nothing.
    const int height = w.RText->height();
    w.resize(200, 40);
    QCOMPARE(w.RText->size(), QSize(less(200 + frame.width(), 2000), height));
}

void WindowTest::modeProfiles_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("termKind");
    QTest::addColumn<QByteArray>("termStr");
    QTest::newRow("prGPS") << 1 << "9600,N,8,1" << 0 << QByteArray("\r\n");
    QTest::newRow("MNEA") << 2 << "4800,N,8,1" << 0 << QByteArray("\r\n");
    QTest::newRow("rack") << 3 << "9600,E,8,1" << 2 << QByteArray();
    QTest::newRow("NONE keeps the boxes") << 0 << "4800,N,8,1" << 2 << QByteArray();
}

void WindowTest::modeProfiles()
{
    QFETCH(int, mode);
    QFETCH(QString, settings);
    QFETCH(int, termKind);
    QFETCH(QByteArray, termStr);
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    clickOption(w.Option1[2]);
    clickOption(w.Option3[1]);
    w.Text2->setText(QStringLiteral("typed"));
    clickOption(w.Option1[mode]);
    QCOMPARE(SimMode, mode);
    QCOMPARE(w.Text1->text(), settings);
    QCOMPARE(w.Text2->text(), mode == 0 ? QStringLiteral("typed") : w.ModeText[mode]);
    QCOMPARE(w.TermKind, termKind);
    QCOMPARE(w.TermStr, termStr);
    QVERIFY(w.Option3[termKind]->isChecked());
    clickOption(w.Option2[3]);
    QCOMPARE(f.port->calls, QStringList({"CommPort=4"})); // the mode never touches the port
}

void WindowTest::logNewestFirstWithStamps()
{
    WindowFixture f;
    f.clock.setTimeOfDay(QStringLiteral("09:00:01"));
    f.w->DPrint(QStringLiteral("old"));
    QTest::mouseClick(f.w->btnClr, Qt::LeftButton);
    f.w->DPrint(QString());
    f.w->DPrint(QStringLiteral("◎AB\r\n"));
    f.clock.setTimeOfDay(QStringLiteral("23:59:59"));
    f.w->DPrint(QStringLiteral("x\ry") + QChar(0) + QChar(2));
    QCOMPARE(f.w->RText->toPlainText(), QStringLiteral("[23:59:59]x\ny") + QChar(0) + QChar(2) +
                                            QStringLiteral("\n[09:00:01]◎AB\n\n[09:00:01]\n"));
}

QTEST_MAIN(WindowTest)
#include "test_window.moc"
