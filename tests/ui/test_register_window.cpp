// SPDX-License-Identifier: MIT
// The data window over a session on a scripted line, opened by a double-click on "ラック", with
// the handshake's tick driven by the scripted clock: changed registers red (their words white)
// for one tick, the words in the largest font in which the widest fits its box, step
// and wait as they stood before the tick, whole words shown, the register button's refusal of
// boxes it cannot convert, reopening, "R", and boxes that keep their places.
#include "WindowFixture.h"
#include "ui/RegisterWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

using namespace Qt::StringLiterals;

using Words = QList<QPair<int, QString>>; // register number and word

class RegisterWindowTest : public QObject
{
    Q_OBJECT
    WindowFixture *f = nullptr;
    RegisterWindow *w = nullptr;

    RegisterWindow *open()
    {
        doubleClickOption(f->option("Option1", 3));
        return f->w->registerWindow();
    }
    void chooseAuto() const { clickOption(w->findChild<QRadioButton *>("Option1")); }
    QLineEdit *edit(int n) const
    {
        return w->findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(n));
    }
    QString text(const char *name) const { return w->findChild<QLabel *>(name)->text(); }
    QPushButton *button(const char *name) const { return w->findChild<QPushButton *>(name); }
    QColor box(int n) const { return edit(n)->palette().color(QPalette::Base); }
    QColor normal() const { return w->palette().color(QPalette::Base); }
    void tick(int count = 1) { f->clock->advance(1000 * count); }
    bool ticking() const { return f->session.isHandshakeTicking(); }
    // 編集, the texts typed into their boxes, then 登録.
    void store(const Words &typed)
    {
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        for (const auto &[n, text] : typed)
            edit(n)->setText(text);
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
    }

private slots:
    void resetButton_data();
    void resetButton();
    // A box whose text the tick replaces is red for that tick only; step and wait show as they
    // stood before the tick acted; the widest words show from their first character, the sign
    // included. Any unconvertible box
    // refuses the whole store, marks every bad box, names the first and stays in editing, also
    // when the open window is opened again; once all convert, the store is made and the earlier
    // status comes back. Reopening a closed window makes it afresh (Manual, viewing, captions,
    // boxes) with the wait count carried over; Manual neither acts on a raised flag nor runs the
    // wait down. The boxes keep their places, also when the window is enlarged.
    void window()
    {
        WindowFixture fixture;
        f = &fixture;
        RegisterMemory &memory = fixture.session.registers();
        memory.setWord(20, "-32768");
        w = open();
        QVERIFY(w);
        const Words instruction = {{1, "0101"}, {2, "0102"}, {3, "0103"}, {4, "0104"},
                                   {5, "0105"}, {6, "0106"}, {7, "0107"}, {8, "0108"},
                                   {9, "0009"}, {0, "0001"}, {10, "0001"}};
        for (const auto &[n, word] : instruction)
            memory.setWord(n, word);
        chooseAuto();
        tick(4); // step 1, wait 7
        QCOMPARE(QStringList({text("lblStep"), text("lblWait")}), QStringList({"1", "8"}));
        memory.setWord(33, "0002"); // host writes
        memory.setWord(21, "-0005");
        tick();
        QCOMPARE(QPair(edit(33)->text(), box(33)), QPair(QString("0002"), QColor(Qt::red)));
        QVERIFY(edit(33)->palette().color(QPalette::Text).lightness() >= 200); // readable on red
        tick();                                                                // wait 5
        QCOMPARE(box(33), normal());
        QCOMPARE(edit(33)->palette().color(QPalette::Text), w->palette().color(QPalette::Text));
        for (const int n : {20, 21}) {
            QCOMPARE(edit(n)->cursorPosition(), 0);
            // The box less its frame and the line edit's margin of 2 pixels on each side, which
            // the text margins give back; one pixel larger, the widest word would not fit.
            const int frame =
                edit(n)->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit(n));
            const QMargins margins = edit(n)->textMargins();
            const int room =
                edit(n)->width() - 2 * frame - 2 * 2 - margins.left() - margins.right();
            QFont font = edit(n)->font();
            QVERIFY(QFontMetrics(font).horizontalAdvance(edit(n)->text()) <= room);
            font.setPixelSize(font.pixelSize() + 1);
            QVERIFY(QFontMetrics(font).horizontalAdvance(u"-32768"_s) > room ||
                    QFontMetrics(font).height() > edit(n)->height() - 2 * frame - 2);
        }

        store({{3, "7"}, {12, "abc"}, {50, "32768"}});
        QCOMPARE(open(), w); // as it is
        QCOMPARE(QPair(memory.word(3), text("lblSTATUS")),
                 QPair(QString("0103"), QStringLiteral("D0012: 数値に変換できません")));
        QCOMPARE(QList({box(3), box(12), box(50)}),
                 QList<QColor>({normal(), Qt::yellow, Qt::yellow}));
        QVERIFY(!ticking() && button("Command2")->isEnabled());
        store({{12, "12"}, {50, "-3"}});
        const QString storage =
            QStringLiteral("搬送設定完了フラグＯＮ-入庫(0101→0106,0107,0108)[0009]");
        QCOMPARE(QPair(text("lblSTATUS"), box(50)), QPair(storage, normal()));
        QVERIFY(memory.word(50) == "-0003" && ticking());

        store({{5, "abc"}}); // refused: box 5 marked, still editing
        const QPointer<RegisterWindow> closed = w;
        w->close();
        w = open(); // made afresh, where the window system places it
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!closed && w);
        QVERIFY(ticking() && !button("Command2")->isEnabled());
        QVERIFY(w->findChild<QRadioButton *>("Option2")->isChecked());
        QCOMPARE(QStringList({text("lblStep"), text("lblSTATUS"), edit(5)->text()}),
                 QStringList({"Step", "STATUS", "0105"}));
        QCOMPARE(box(5), normal());
        tick(2);
        QCOMPARE(QStringList({text("lblStep"), text("lblWait"), text("lblSTATUS")}),
                 QStringList({"0", "5", "STATUS"}));

        const QList<QRect> places = {edit(0)->geometry(), edit(127)->geometry()};
        w->resize(1200, 900);
        QCOMPARE(QList({edit(0)->geometry(), edit(127)->geometry()}), places);
        w->close();
    }
};

// "R" applies the preset of the mode chosen now (none for "NONE") and puts the handshake back
// to step 0 with no wait and an empty status; while editing, the boxes keep what they showed,
// and "登録" writes it over the preset.
void RegisterWindowTest::resetButton_data()
{
    QTest::addColumn<SimMode>("mode");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QStringList>("words"); // D31, D33, D102 after "R"
    QTest::newRow("vehicle") << SimMode::Vehicle << false << QStringList{"0001", "0000", "0004"};
    QTest::newRow("NONE") << SimMode::None << false << QStringList{"0009", "0009", "0009"};
    QTest::newRow("rack, editing") << SimMode::Rack << true << QStringList{"0000", "0001", "0000"};
}

void RegisterWindowTest::resetButton()
{
    QFETCH(SimMode, mode);
    QFETCH(bool, editing);
    QFETCH(QStringList, words);
    WindowFixture fixture;
    f = &fixture;
    w = open();
    fixture.session.chooseMode(mode);
    RegisterMemory &memory = fixture.session.registers();
    for (const int n : {31, 33, 102})
        memory.setWord(n, "0009");
    for (const int n : {0, 10, 19}) // a storage or transport instruction, flags raised
        memory.setWord(n, "0001");
    chooseAuto();
    tick(2); // step 1 (or 11) with a wait of 10, except in "NONE"
    if (editing)
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QTest::mouseClick(button("cmdReset"), Qt::LeftButton);
    QCOMPARE(QStringList({memory.word(31), memory.word(33), memory.word(102)}), words);
    const HandshakeAutomaton &handshake = fixture.session.handshake();
    QCOMPARE(QList<int>({handshake.stepNumber(), handshake.waitCount()}), QList<int>({0, 0}));
    QCOMPARE(text("lblSTATUS"), QString());
    if (editing) {
        QCOMPARE(edit(33)->text(), QStringLiteral("0009"));
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
        QCOMPARE(memory.word(33), QStringLiteral("0009"));
    }
    w->close();
}

QTEST_MAIN(RegisterWindowTest)
#include "test_register_window.moc"
