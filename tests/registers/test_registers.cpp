// The register memory's words, the transport handshake automaton on its own, and the data
// window on the offscreen platform with its tick driven by calling Timer1_Timer directly.
#include "HandshakeAutomaton.h"
#include "RegisterMemory.h"
#include "SimMode.h"
#include "WordConversion.h"
#include "frm_DATA.h"

#include <QTest>
#include <QtWidgets>

const QString FlagOn = QStringLiteral("搬送設定完了フラグＯＮ");
const QString Storage = FlagOn + QStringLiteral("-入庫(0101→0106,0107,0108)[0009]");

using Words = QList<QPair<int, QString>>; // register number and word
// D1..D8 hold 0101..0108 and each register that tags a line (D9 rack, D13 vehicle) its number.
const Words Instruction = {{1, "0101"}, {2, "0102"}, {3, "0103"}, {4, "0104"}, {5, "0105"},
                           {6, "0106"}, {7, "0107"}, {8, "0108"}, {9, "0009"}, {13, "0013"}};

static void write(const Words &words)
{
    for (const auto &[n, word] : words)
        registerMemory().setWord(n, word);
}

// Status text, step, wait, the answer word (D31 for the vehicle, else D33) and D59.
static QString state(const QString &status, int step, int wait, const QString &answer = "0001",
                     const QString &fork = "0000")
{
    return QStringLiteral("[%1] step %2 wait %3 answer %4 fork %5")
        .arg(status).arg(step).arg(wait).arg(answer, fork);
}

class TestRegisters : public QObject
{
    Q_OBJECT
    HandshakeAutomaton a;
    QString status; // as the window's status label would show it
    frm_DATA *w = nullptr;

    // The mode with its preset and the host's words, and a new automaton in Auto.
    void start(qint16 mode, const Words &words)
    {
        SimMode = mode;
        mode == ModeVehicle ? registerMemory().applyVehiclePreset()
                            : registerMemory().applyRackPreset();
        write(words);
        a = {};
        a.setAuto(true);
        status = "STATUS";
    }
    // Runs the automaton as the window's tick does; the state it leaves.
    QString run(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i)
            if (const std::optional<QString> text = a.runStep())
                status = *text;
        const QString answer = registerMemory().word(SimMode == ModeVehicle ? 31 : 33);
        return state(status, a.stepNumber(), a.waitCount(), answer, registerMemory().word(59));
    }
    // Each row: the host's writes, then that many ticks, then the state they leave.
    void play(const QList<std::tuple<Words, int, QString>> &script)
    {
        for (const auto &[host, ticks, want] : script) {
            write(host);
            QCOMPARE(run(ticks), want);
        }
    }

    QColor box(int n) const { return w->Text1[n]->palette().color(QPalette::Base); }
    QColor normal() const { return w->palette().color(QPalette::Base); }
    void tick(int count = 1) { while (count-- > 0) w->Timer1_Timer(); }
    // 編集, the texts typed into their boxes, then 登録.
    void store(const Words &typed)
    {
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        for (const auto &[n, text] : typed)
            w->Text1[n]->setText(text);
        QTest::mouseClick(w->Command2, Qt::LeftButton);
    }

private slots:
    // A freshly loaded window on the rack preset, with no wait left over from an earlier test.
    void init()
    {
        SimMode = ModeRack;
        frm_DATA::openWindow()->cmdReset_Click();
        frm_DATA::closeWindow();
        w = frm_DATA::openWindow();
    }

    // The word 登録 stores for a box text ("" when refused), and presets clear every other word.
    void words()
    {
        const QList<QPair<QString, QString>> texts = {
            {" 12 ", "0012"}, {"\t12\u3000", "0012"}, {"+7", "0007"}, {"-5", "-0005"},
            {"000000000000000012", "0012"}, {"-0.4", "0000"}, {"2.5", "0002"}, {"3.5", "0004"},
            {"-2.5", "-0002"}, {"2.501", "0003"}, {"32767.4", "32767"}, {"-32768.5", "-32768"},
            {"32767.5", ""}, {"-32769", ""}, {"99999999999999999999", ""}, {"", ""}, {"abc", ""},
            {"1e2", ""}, {"1,000", ""}, {"- 5", ""}, {".", ""}, {"\uFF11\uFF12", ""}};
        for (const auto &[text, word] : texts) {
            const std::optional<qint16> value = convertBoxText(text);
            QCOMPARE(QPair(text, value ? formatWord(*value) : QString()), QPair(text, word));
        }
        const auto preset = [](void (RegisterMemory::*apply)(), const QMap<int, QString> &set) {
            write({{0, "9999"}, {127, "9999"}});
            (registerMemory().*apply)();
            for (int n = 0; n < RegisterMemory::Count; ++n)
                QCOMPARE(QPair(n, registerMemory().word(n)), QPair(n, set.value(n, "0000")));
        };
        preset(&RegisterMemory::applyRackPreset, {{32, "0002"}, {33, "0001"}, {43, "0002"}});
        preset(&RegisterMemory::applyVehiclePreset, {{30, "0002"}, {31, "0001"}, {102, "0004"},
                                                     {103, "0006"}, {104, "0006"}, {105, "0006"}});
    }

    // Whole cycles. Each row ends where a wait has run out, so the next row's first tick pins its
    // length. With a stale acknowledgement D12 already holds "0001", so step 5 acts at once. The
    // vehicle has no completion report: the ready answer ends its cycle.
    void cycles()
    {
        for (const bool stale : {false, true}) {
            start(ModeRack, Instruction + Words{{0, "0001"}, {12, stale ? "0001" : "0000"}});
            play({
                {{{10, "0002"}}, 3, state("STATUS", 0, 0)}, // only "0001" raises the flag
                {{{10, "0001"}}, 11, state(Storage, 1, 0)},
                {{}, 1, state("搬送設定ＯＫセット", 2, 2, "0002")},
                {{}, 4, state("搬送設定ＯＫセット", 2, 0, "0002")}, // the flag is still on
                {{{10, "0000"}}, 6, state("搬送設定完了ＦＬＧがＯＦＦ", 3, 0, "0002")},
                {{}, 11, state("搬送設定アンサーをレディ", 4, 0)},
                {{}, stale ? 1 : 3, state("完了フォークＮＯセット", 5, 0, "0001", "0001")},
                {{{12, "0001"}}, 1, state("完了フォークＮＯ無し", 0, 1)},
                {{{10, "0001"}}, 1, state("完了フォークＮＯ無し", 0, 0)}, // only counts down
                {{}, 1, state(Storage, 1, 10)},                       // the next instruction
            });
        }
        const QString line = FlagOn + QStringLiteral("-搬送指示(0101→0107)[0013]");
        start(ModeVehicle, Instruction + Words{{0, "0001"}});
        play({
            {{{19, "0001"}}, 11, state(line, 11, 0)},
            {{}, 1, state("搬送設定ＯＫセット", 12, 2, "0002")},
            {{}, 3, state("搬送設定ＯＫセット", 12, 0, "0002")},
            {{{19, "0000"}}, 6, state("搬送設定完了ＦＬＧがＯＦＦ", 13, 0, "0002")},
            {{}, 1, state("搬送設定アンサーをレディ", 0, 0)},
            {{{19, "0001"}}, 1, state(line, 11, 10)},
        });
    }

    // A line naming registers in brackets starts the handshake; any other is shown again on each
    // tick, with the latest tag.
    void instructionLines()
    {
        const QList<std::array<const char *, 3>> rows = { // code, rack line, vehicle line
            {"0000", "-指示無し", "-搬送指示無し"},
            {"0001", "-入庫(0101→0106,0107,0108)", "-搬送指示(0101→0107)"},
            {"0002", "-出庫(0102,0103,0104→0105)", "-指示エラー"},
            {"0003", "-ピッキング", "-指示エラー"},
            {"0004", "-直行", "-指示エラー"},
            {"0005", "-棚入れ替え", "-指示エラー"},
            {"0006", "-指示エラー", "-指示エラー"},
            {"0011", "-データ削除", "-データ削除"},
            {"0012", "-データ変更", "-データ変更"},
            {"0013", "-ＳＴ使用可能", "-指示エラー"},
            {"0014", "-ＳＴ切り離し", "-指示エラー"},
            {"0015", "-指示エラー", "-指示エラー"},
            {"-0001", "-指示エラー", "-指示エラー"},
            {"ABCD", "-指示エラー", "-指示エラー"},
        };
        for (const auto &[code, rackLine, vehicleLine] : rows) {
            for (const bool rack : {true, false}) {
                const QString line = FlagOn + (rack ? rackLine : vehicleLine);
                const int step = line.contains('(') ? (rack ? 1 : 11) : 0, tag = rack ? 9 : 13;
                start(rack ? ModeRack : ModeVehicle, Instruction + Words{{0, code}});
                write({{rack ? 10 : 19, "0001"}});
                const QString tagged = line + QStringLiteral("[%1]").arg(tag, 4, 10, QChar('0'));
                QCOMPARE(code + run(), code + state(tagged, step, step ? 10 : 0));
                write({{tag, "0019"}});
                if (run(); !step)
                    QCOMPARE(code + status, code + line + "[0019]");
            }
        }
    }

    // Manual ignores a raised flag and freezes a running wait; a mode without a handshake still
    // runs the wait down, then nothing happens.
    void standingStill()
    {
        start(ModeRack, Instruction + Words{{0, "0001"}, {10, "0001"}});
        a.setAuto(false);
        QCOMPARE(run(3), state("STATUS", 0, 0));
        a.setAuto(true);
        run(4); // the instruction line, then wait 10 -> 7
        a.setAuto(false);
        QCOMPARE(run(5), state(Storage, 1, 7));
        a.setAuto(true);
        SimMode = ModeNone;
        QCOMPARE(run(10), state(Storage, 1, 0));
    }

    // Positions hold, also after the window is enlarged.
    void layout()
    {
        const QList<QPair<QWidget *, QRect>> rows = {
            {w->Text1[0], {54, 14, 35, 19}}, {w->Label1[0], {20, 16, 31, 17}},
            {w->Text1[15], {54, 320, 35, 19}}, {w->Text1[16], {138, 14, 35, 19}},
            {w->Text1[4], {54, 96, 35, 19}}, {w->Text1[127], {630, 320, 35, 19}}}; // 4: a gap above
        for (int pass = 0; pass < 2; ++pass, w->resize(1200, 900))
            for (const auto &[c, rect] : rows)
                QCOMPARE(QPair(c->objectName(), c->geometry()), QPair(c->objectName(), rect));
    }

    // A box is red on the first tick after its register and its text part, normal on the next.
    void changeMarking()
    {
        const auto tickShows = [this](int n, const QString &text, bool red) {
            tick();
            QCOMPARE(QPair(w->Text1[n]->text(), box(n)), QPair(text, red ? Qt::red : normal()));
            tick();
            QCOMPARE(box(n), normal());
        };
        registerMemory().setWord(33, "0002"); // a host write
        tickShows(33, "0002", true);
        store({{7, "5"}}); // 登録 rewrites the box in the word format
        tickShows(7, "0005", true);
        store({{8, "0008"}}); // 登録 of a box already in the word format
        tickShows(8, "0008", false);
        QTest::keyClicks(w->Text1[3], "9"); // typed while viewing: the tick puts the word back
        tickShows(3, "0000", true);
    }

    // Any unconvertible box refuses the whole store, marks every bad box, names the first and
    // stays in editing; once all convert, the earlier status comes back.
    void unconvertibleBoxesStoreNothing()
    {
        store({{3, "7"}, {12, "abc"}, {50, "32768"}});
        QCOMPARE(registerMemory().word(3), "0000");
        QCOMPARE(w->lblSTATUS->text(), QStringLiteral("D0012: 数値に変換できません"));
        QCOMPARE(QList({box(3), box(12), box(50)}),
                 QList<QColor>({normal(), Qt::yellow, Qt::yellow}));
        QVERIFY(!w->Timer1->isActive() && w->Command2->isEnabled());
        store({{12, "12"}, {50, "-3"}});
        QCOMPARE(QStringList({registerMemory().word(3), registerMemory().word(50)}),
                 QStringList({"0007", "-0003"}));
        QCOMPARE(QPair(w->lblSTATUS->text(), box(50)), QPair(QString("STATUS"), normal()));
        QVERIFY(w->Timer1->isActive() && !w->Command2->isEnabled());
    }

    // Opening an open window brings the same one forward as it is. Reopening a closed one loads
    // afresh (Manual, viewing, captions, boxes) but the wait count carries over.
    void singleInstanceAndReload()
    {
        write({{0, "0001"}, {10, "0001"}});
        QTest::mouseClick(w->Option1, Qt::LeftButton);
        tick(4); // step 1, wait 7
        store({{5, "abc"}}); // refused: box 5 marked, still editing
        QCOMPARE(frm_DATA::openWindow(), w);
        QVERIFY(!w->Timer1->isActive() && w->Command2->isEnabled());
        frm_DATA::closeWindow();
        QCOMPARE(frm_DATA::openWindow(), w);
        QVERIFY(w->Timer1->isActive() && !w->Command2->isEnabled() && w->Option2->isChecked());
        QCOMPARE(QStringList({w->lblStep->text(), w->lblSTATUS->text(), w->Text1[5]->text()}),
                 QStringList({"Step", "STATUS", "0000"}));
        QCOMPARE(box(5), normal());
        tick(2);
        QCOMPARE(w->lblWait->text(), "7"); // Manual: frozen
    }
};

QTEST_MAIN(TestRegisters)
#include "test_registers.moc"
