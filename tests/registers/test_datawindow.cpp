// The data window on the offscreen platform: layout, change marking on the tick, the edit and
// register buttons (including refused boxes), "R", and the single reloaded window. The tick
// is driven by calling Timer1_Timer directly.
#include "RegisterMemory.h"
#include "SimMode.h"
#include "frm_DATA.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace {

const QColor Red(255, 0, 0);
const QColor Yellow(255, 255, 0);
const QString Refused = QStringLiteral(": 数値に変換できません");

QColor background(const QLineEdit *box)
{
    return box->palette().color(QPalette::Base);
}

enum Change { HostWrite, RegisterFive, RegisterWord, TypeWhileViewing };

} // namespace

class TestDataWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layout_data();
    void layout();
    void windowAtLoad();
    void keyboardOrder();
    void changeMarking_data();
    void changeMarking();
    void stepAndWaitShowOneTickLater();
    void reset_data();
    void reset();
    void resetWhileEditingThenRegister();
    void unconvertibleBoxesStoreNothing();
    void singleInstance();
    void reopenLoadsAfresh();

private:
    frm_DATA *w = nullptr;
    QColor normal() const { return w->palette().color(QPalette::Base); }
    void raiseRackInstruction(const char *code);
};

void TestDataWindow::init()
{
    SimMode = ModeNone;
    registerMemory().applyRackPreset();
    w = frm_DATA::openWindow();
    QVERIFY(w != nullptr);
}

// Leaves no wait count behind for the next test.
void TestDataWindow::cleanup()
{
    SimMode = ModeNone;
    if (frm_DATA::current() == nullptr)
        frm_DATA::openWindow();
    frm_DATA::current()->cmdReset_Click();
    frm_DATA::closeWindow();
}

void TestDataWindow::raiseRackInstruction(const char *code)
{
    SimMode = ModeRack;
    registerMemory().setWord(0, code);
    registerMemory().setWord(10, "0001");
    QTest::mouseClick(w->Option1, Qt::LeftButton);
    QVERIFY(w->Option1->isChecked());
}

void TestDataWindow::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("text 0") << "Text1_0" << QRect(54, 14, 35, 19);
    QTest::newRow("label 0, lower in column 0") << "Label1_0" << QRect(20, 16, 31, 17);
    QTest::newRow("text 4 after a group gap") << "Text1_4" << QRect(54, 96, 35, 19);
    QTest::newRow("text 15 ends column 0") << "Text1_15" << QRect(54, 320, 35, 19);
    QTest::newRow("text 16 starts column 1") << "Text1_16" << QRect(138, 14, 35, 19);
    QTest::newRow("text 127") << "Text1_127" << QRect(630, 320, 35, 19);
    QTest::newRow("label 127") << "Label1_127" << QRect(596, 320, 31, 17);
    QTest::newRow("frame") << "Frame1" << QRect(16, 344, 153, 31);
    QTest::newRow("Auto in the frame") << "Option1" << QRect(18, 12, 51, 15);
    QTest::newRow("Manual in the frame") << "Option2" << QRect(82, 12, 65, 17);
    QTest::newRow("edit") << "Command1" << QRect(470, 352, 93, 23);
    QTest::newRow("register") << "Command2" << QRect(578, 352, 93, 23);
    QTest::newRow("R") << "cmdReset" << QRect(16, 378, 19, 19);
    QTest::newRow("status") << "lblSTATUS" << QRect(96, 378, 573, 19);
}

// Positions hold, also after the window is enlarged.
void TestDataWindow::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    const QWidget *control = w->findChild<QWidget *>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(control->geometry(), rect);
    w->resize(1200, 900);
    QCOMPARE(control->geometry(), rect);
}

void TestDataWindow::windowAtLoad()
{
    QCOMPARE(w->windowTitle(), "DATA VIEW&EDIT");
    QCOMPARE(w->size(), QSize(684, 409)); // also after the layout test enlarged it
    QCOMPARE(w->Label1[0]->text(), "D0000");
    QCOMPARE(w->Label1[10]->text(), "D0010");
    QCOMPARE(w->Label1[127]->text(), "D0127");
    QCOMPARE(w->Text1[33]->text(), "0001");
    QVERIFY(!w->Option1->isChecked());
    QVERIFY(!w->Command2->isEnabled());
    QCOMPARE(w->Timer1->interval(), 1000);
}

void TestDataWindow::keyboardOrder()
{
    QStringList order;
    QWidget *widget = w->Text1[0];
    for (int guard = 0; guard < 1000 && order.size() < RegisterMemory::Count + 5; ++guard) {
        if (widget->focusPolicy() & Qt::TabFocus)
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    }
    QStringList expected;
    for (int i = 0; i < RegisterMemory::Count; ++i)
        expected << QStringLiteral("Text1_%1").arg(i);
    expected << "Command1" << "Command2" << "Option1" << "Option2" << "cmdReset";
    QCOMPARE(order, expected);
}

void TestDataWindow::changeMarking_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("redOnce");
    QTest::newRow("host writes D33") << int(HostWrite) << 33 << "0002" << true;
    QTest::newRow("register 5") << int(RegisterFive) << 7 << "0005" << true;
    QTest::newRow("register a word as is") << int(RegisterWord) << 7 << "0007" << false;
    QTest::newRow("typed while viewing") << int(TypeWhileViewing) << 3 << "0000" << true;
}

// A box is red on the first tick after its register and its text part, normal on the next.
void TestDataWindow::changeMarking()
{
    QFETCH(int, change);
    QFETCH(int, index);
    QFETCH(QString, shown);
    QFETCH(bool, redOnce);
    w->Timer1_Timer();
    QCOMPARE(background(w->Text1[index]), normal());
    if (change == HostWrite) {
        registerMemory().setWord(index, shown);
    } else if (change == TypeWhileViewing) {
        QTest::keyClicks(w->Text1[index], "9");
    } else {
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        w->Text1[index]->setText(change == RegisterFive ? "5" : "0007");
        QTest::mouseClick(w->Command2, Qt::LeftButton);
    }
    QCOMPARE(registerMemory().word(index), shown);
    w->Timer1_Timer();
    QCOMPARE(w->Text1[index]->text(), shown);
    QCOMPARE(background(w->Text1[index]), redOnce ? Red : normal());
    QCOMPARE(background(w->Text1[index + 1]), normal());
    w->Timer1_Timer();
    QCOMPARE(background(w->Text1[index]), normal());
}

// The tick shows step and wait before the automaton acts, and the automaton's own register
// write turns its box red on the following tick.
void TestDataWindow::stepAndWaitShowOneTickLater()
{
    raiseRackInstruction("0001");
    w->Timer1_Timer();
    QCOMPARE(w->lblStep->text(), "0");
    QCOMPARE(w->lblWait->text(), "0");
    QVERIFY(w->lblSTATUS->text().startsWith("搬送設定完了フラグＯＮ-入庫("));
    w->Timer1_Timer();
    QCOMPARE(w->lblStep->text(), "1");
    QCOMPARE(w->lblWait->text(), "10");
    for (int i = 0; i < 10; ++i)
        w->Timer1_Timer();
    QCOMPARE(w->lblWait->text(), "0");
    QCOMPARE(w->lblSTATUS->text(), "搬送設定ＯＫセット");
    QCOMPARE(w->Text1[33]->text(), "0001");
    w->Timer1_Timer();
    QCOMPARE(w->lblStep->text(), "2");
    QCOMPARE(w->Text1[33]->text(), "0002");
    QCOMPARE(background(w->Text1[33]), Red);
}

void TestDataWindow::reset_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("d31");
    QTest::addColumn<QString>("d33");
    QTest::newRow("rack preset") << int(ModeRack) << "0000" << "0001";
    QTest::newRow("vehicle preset") << int(ModeVehicle) << "0001" << "0000";
    QTest::newRow("NONE keeps the memory") << int(ModeNone) << "0009" << "0009";
    QTest::newRow("rack ERR keeps the memory") << int(ModeRackErr) << "0009" << "0009";
}

void TestDataWindow::reset()
{
    QFETCH(int, mode);
    QFETCH(QString, d31);
    QFETCH(QString, d33);
    raiseRackInstruction("0001");
    w->Timer1_Timer(); // step 1, wait 10
    registerMemory().setWord(31, "0009");
    registerMemory().setWord(33, "0009");
    SimMode = static_cast<qint16>(mode);
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    QCOMPARE(registerMemory().word(31), d31);
    QCOMPARE(registerMemory().word(33), d33);
    QCOMPARE(w->lblSTATUS->text(), "");
    QCOMPARE(w->Text1[33]->text(), "0001"); // the grid waits for the tick
    QVERIFY(w->Option1->isChecked());
    w->Timer1_Timer();
    QCOMPARE(w->lblStep->text(), "0");
    QCOMPARE(w->lblWait->text(), "0");
    QCOMPARE(w->Text1[33]->text(), d33);
}

void TestDataWindow::resetWhileEditingThenRegister()
{
    SimMode = ModeRack;
    registerMemory().setWord(33, "0002");
    registerMemory().setWord(5, "0042");
    w->Timer1_Timer();
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    QVERIFY(!w->Timer1->isActive());
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    QCOMPARE(registerMemory().word(33), "0001");
    QCOMPARE(registerMemory().word(5), "0000");
    QCOMPARE(w->Text1[33]->text(), "0002");
    QTest::mouseClick(w->Command2, Qt::LeftButton);
    QCOMPARE(registerMemory().word(33), "0002");
    QCOMPARE(registerMemory().word(5), "0042");
    QVERIFY(w->Timer1->isActive());
}

// Any unconvertible box refuses the whole store, marks every bad box, names the first, and
// keeps the editing state; once all convert, the earlier status comes back.
void TestDataWindow::unconvertibleBoxesStoreNothing()
{
    raiseRackInstruction("0003");
    w->Timer1_Timer();
    const QString status = w->lblSTATUS->text();
    QVERIFY(status.endsWith("-ピッキング[0000]"));
    QTest::mouseClick(w->Option2, Qt::LeftButton);
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    w->Text1[3]->setText("7");
    w->Text1[12]->setText("abc");
    w->Text1[40]->setText("");
    w->Text1[50]->setText("32768");
    QTest::mouseClick(w->Command2, Qt::LeftButton);
    QCOMPARE(registerMemory().word(3), "0000");
    QCOMPARE(w->lblSTATUS->text(), "D0012" + Refused);
    for (int n : {12, 40, 50})
        QCOMPARE(background(w->Text1[n]), Yellow);
    QCOMPARE(background(w->Text1[3]), normal());
    QVERIFY(!w->Timer1->isActive());
    QVERIFY(w->Command2->isEnabled());
    QVERIFY(!w->Command1->isEnabled());

    w->Text1[12]->setText("12");
    w->Text1[40]->setText("-3");
    w->Text1[50]->setText("0");
    QTest::mouseClick(w->Command2, Qt::LeftButton);
    QCOMPARE(registerMemory().word(3), "0007");
    QCOMPARE(registerMemory().word(12), "0012");
    QCOMPARE(registerMemory().word(40), "-0003");
    QCOMPARE(registerMemory().word(50), "0000");
    QCOMPARE(w->lblSTATUS->text(), status);
    QCOMPARE(background(w->Text1[50]), normal());
    QVERIFY(w->Timer1->isActive());
    QVERIFY(!w->Command2->isEnabled());
}

// Opening an open window brings the same one forward without loading it again.
void TestDataWindow::singleInstance()
{
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    QCOMPARE(frm_DATA::openWindow(), w);
    QCOMPARE(frm_DATA::current(), w);
    QVERIFY(w->Command2->isEnabled());
    QVERIFY(!w->Timer1->isActive());
    int windows = 0;
    for (QWidget *top : QApplication::topLevelWidgets())
        windows += qobject_cast<frm_DATA *>(top) != nullptr;
    QCOMPARE(windows, 1);
}

// Closing stops the timer; reopening loads afresh (Manual, step 0, viewing, captions and
// backgrounds as new, also after closing while editing) but the wait count carries over
// and resumes once Auto is chosen.
void TestDataWindow::reopenLoadsAfresh()
{
    raiseRackInstruction("0001");
    w->Timer1_Timer(); // step 1, wait 10
    w->Timer1_Timer();
    w->Timer1_Timer(); // wait 8
    registerMemory().setWord(20, "0020");
    w->Timer1_Timer(); // wait 7, box 20 red
    QCOMPARE(background(w->Text1[20]), Red);
    frm_DATA::closeWindow();
    QCOMPARE(frm_DATA::current(), nullptr);
    QVERIFY(!w->Timer1->isActive());
    registerMemory().setWord(5, "0055");

    QCOMPARE(frm_DATA::openWindow(), w);
    QVERIFY(w->Option2->isChecked());
    QVERIFY(w->Timer1->isActive());
    QCOMPARE(w->lblStep->text(), "Step");
    QCOMPARE(w->lblSTATUS->text(), "STATUS");
    QCOMPARE(w->Text1[5]->text(), "0055");
    QCOMPARE(background(w->Text1[20]), normal());
    w->Timer1_Timer();
    w->Timer1_Timer();
    QCOMPARE(w->lblStep->text(), "0");
    QCOMPARE(w->lblWait->text(), "7"); // Manual: frozen
    QTest::mouseClick(w->Option1, Qt::LeftButton);
    w->Timer1_Timer();
    w->Timer1_Timer();
    QCOMPARE(w->lblWait->text(), "6");

    QTest::mouseClick(w->Command1, Qt::LeftButton);
    frm_DATA::closeWindow();
    frm_DATA::openWindow();
    QVERIFY(w->Command1->isEnabled());
    QVERIFY(!w->Command2->isEnabled());
    QVERIFY(w->Timer1->isActive());
}

QTEST_MAIN(TestDataWindow)
#include "test_datawindow.moc"
