// The transport handshake automaton without a window: whole cycles tick by tick, the
// instruction line of every code, and the cases where it must stand still or carry on.
#include "HandshakeAutomaton.h"
#include "RegisterMemory.h"
#include "SimMode.h"

#include <QTest>

namespace {

const QString FlagOn = QStringLiteral("搬送設定完了フラグＯＮ");
const QString SettingOk = QStringLiteral("搬送設定ＯＫセット");
const QString FlagOff = QStringLiteral("搬送設定完了ＦＬＧがＯＦＦ");
const QString Ready = QStringLiteral("搬送設定アンサーをレディ");
const QString ForkSet = QStringLiteral("完了フォークＮＯセット");
const QString ForkNone = QStringLiteral("完了フォークＮＯ無し");
const QString Untouched = QStringLiteral("STATUS"); // the status label before any step acts

using Words = QList<QPair<int, QString>>; // register number and word

// One or more ticks of a cycle. The host's writes happen before the first of them; the wait
// count after the first is `wait` and goes down by one on each further tick, stopping at 0.
struct Tick {
    int repeat;
    Words hostWrites;
    QString status;
    int step;
    int wait;
    QString answer; // D33 for the rack, D31 for the vehicle
    QString fork;   // D59
};
using Script = QList<Tick>;

void setWords(const Words &writes)
{
    for (const auto &[n, word] : writes)
        registerMemory().setWord(n, word);
}

// Runs the automaton as the window's tick does and keeps the status label's text.
struct Runner {
    HandshakeAutomaton automaton;
    QString status = Untouched;
    bool acted = false;

    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            const std::optional<QString> text = automaton.runStep();
            acted = text.has_value();
            if (text)
                status = *text;
        }
    }
};

QString snapshot(int tick, const QString &status, int step, int wait, const QString &answer,
                 const QString &fork)
{
    return QStringLiteral("tick %1: [%2] step %3 wait %4 answer %5 fork %6")
        .arg(tick)
        .arg(status)
        .arg(step)
        .arg(wait)
        .arg(answer, fork);
}

// With a stale acknowledgement D12 already holds "0001", so step 5 acts on its first tick.
Script rackCycle(const QString &line, bool staleAcknowledgement = false)
{
    Script script = {
        {1, {{10, "0001"}}, line, 1, 10, "0001", "0000"},      // t: instruction seen
        {10, {}, line, 1, 9, "0001", "0000"},                  // t+1 .. t+10
        {1, {}, SettingOk, 2, 2, "0002", "0000"},              // t+11
        {2, {}, SettingOk, 2, 1, "0002", "0000"},              // t+12, t+13
        {2, {}, SettingOk, 2, 0, "0002", "0000"},              // flag still on
        {1, {{10, "0000"}}, FlagOff, 3, 5, "0002", "0000"},    // u
        {5, {}, FlagOff, 3, 4, "0002", "0000"},                // u+1 .. u+5
        {1, {}, Ready, 4, 10, "0001", "0000"},                 // u+6
        {10, {}, Ready, 4, 9, "0001", "0000"},                 // u+7 .. u+16
        {1, {}, ForkSet, 5, 0, "0001", "0001"},                // u+17
    };
    if (!staleAcknowledgement)
        script << Tick{2, {}, ForkSet, 5, 0, "0001", "0001"};  // no acknowledgement yet
    script << Tick{1, {{12, "0001"}}, ForkNone, 0, 1, "0001", "0000"}   // v
           << Tick{1, {{10, "0001"}}, ForkNone, 0, 0, "0001", "0000"}   // v+1: only counts
           << Tick{1, {}, line, 1, 10, "0001", "0000"};                 // v+2: next instruction
    return script;
}

Script vehicleCycle(const QString &line)
{
    return {
        {1, {{19, "0001"}}, line, 11, 10, "0001", "0000"},     // t
        {10, {}, line, 11, 9, "0001", "0000"},                 // t+1 .. t+10
        {1, {}, SettingOk, 12, 2, "0002", "0000"},             // t+11
        {2, {}, SettingOk, 12, 1, "0002", "0000"},             // t+12, t+13
        {1, {}, SettingOk, 12, 0, "0002", "0000"},             // flag still on
        {1, {{19, "0000"}}, FlagOff, 13, 5, "0002", "0000"},   // u
        {5, {}, FlagOff, 13, 4, "0002", "0000"},               // u+1 .. u+5
        {1, {}, Ready, 0, 0, "0001", "0000"},                  // u+6: no completion report
        {1, {{19, "0001"}}, line, 11, 10, "0001", "0000"},     // u+7: next instruction
    };
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestAutomaton : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cycle_data();
    void cycle();
    void instructionLine_data();
    void instructionLine();
    void nonStartingCodeIsShownEveryTick();
    void flagNotOn_data();
    void flagNotOn();
    void manualStandsStill();
    void rackStepStuckUnderVehicle();
    void otherModesOnlyCountDown_data();
    void otherModesOnlyCountDown();

private:
    static void startRackStorage(Runner &runner);
};

void TestAutomaton::init()
{
    registerMemory().applyRackPreset();
    SimMode = ModeRack;
}

void TestAutomaton::startRackStorage(Runner &runner)
{
    setWords({{0, "0001"}, {10, "0001"}});
    runner.automaton.setAuto(true);
    runner.tick();
    QCOMPARE(runner.automaton.stepNumber(), qint16(1));
    QCOMPARE(runner.automaton.waitCount(), 10);
}

void TestAutomaton::cycle_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<Words>("instruction");
    QTest::addColumn<Script>("script");
    QTest::newRow("rack storage")
        << int(ModeRack)
        << Words{{0, "0001"}, {1, "0001"}, {6, "0002"}, {7, "0003"},
                                      {8, "0004"}, {9, "0005"}}
        << rackCycle(FlagOn + QStringLiteral("-入庫(0001→0002,0003,0004)[0005]"));
    QTest::newRow("rack retrieval")
        << int(ModeRack)
        << Words{{0, "0002"}, {2, "0021"}, {3, "0022"}, {4, "0023"},
                                      {5, "0024"}, {9, "0025"}}
        << rackCycle(FlagOn + QStringLiteral("-出庫(0021,0022,0023→0024)[0025]"));
    QTest::newRow("rack storage, stale acknowledgement")
        << int(ModeRack)
        << Words{{0, "0001"}, {1, "0001"}, {6, "0002"}, {7, "0003"}, {8, "0004"}, {9, "0005"},
                 {12, "0001"}}
        << rackCycle(FlagOn + QStringLiteral("-入庫(0001→0002,0003,0004)[0005]"), true);
    QTest::newRow("vehicle transport")
        << int(ModeVehicle)
        << Words{{0, "0001"}, {1, "0007"}, {7, "0008"}, {13, "0009"}}
        << vehicleCycle(FlagOn + QStringLiteral("-搬送指示(0007→0008)[0009]"));
}

void TestAutomaton::cycle()
{
    QFETCH(int, mode);
    QFETCH(Words, instruction);
    QFETCH(Script, script);
    SimMode = static_cast<qint16>(mode);
    if (mode == ModeVehicle)
        registerMemory().applyVehiclePreset();
    setWords(instruction);
    const int answerRegister = mode == ModeVehicle ? 31 : 33;
    Runner runner;
    runner.automaton.setAuto(true);
    int tick = 0;
    for (const Tick &row : script) {
        setWords(row.hostWrites);
        for (int i = 0; i < row.repeat; ++i) {
            runner.tick();
            ++tick;
            const HandshakeAutomaton &a = runner.automaton;
            QCOMPARE(snapshot(tick, runner.status, a.stepNumber(), a.waitCount(),
                              registerMemory().word(answerRegister), registerMemory().word(59)),
                     snapshot(tick, row.status, row.step, std::max(row.wait - i, 0), row.answer,
                              row.fork));
        }
    }
}

void TestAutomaton::instructionLine_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("wait");
    const auto rack = [](const char *name, const char *code, const QString &text, int step = 0) {
        QTest::newRow(name) << int(ModeRack) << code << FlagOn + text + "[0009]" << step
                            << (step ? 10 : 0);
    };
    rack("rack 0", "0000", "-指示無し");
    rack("rack 1", "0001", "-入庫(0101→0106,0107,0108)", 1);
    rack("rack 2", "0002", "-出庫(0102,0103,0104→0105)", 1);
    rack("rack 3", "0003", "-ピッキング");
    rack("rack 4", "0004", "-直行");
    rack("rack 5", "0005", "-棚入れ替え");
    rack("rack 11", "0011", "-データ削除");
    rack("rack 12", "0012", "-データ変更");
    rack("rack 13", "0013", "-ＳＴ使用可能");
    rack("rack 14", "0014", "-ＳＴ切り離し");
    rack("rack unknown 6", "0006", "-指示エラー");
    rack("rack unknown 10", "0010", "-指示エラー");
    rack("rack unknown 15", "0015", "-指示エラー");
    rack("rack negative", "-0001", "-指示エラー");
    rack("rack not a number", "ABCD", "-指示エラー");
    const auto vehicle = [](const char *name, const char *code, const QString &text,
                            int step = 0) {
        QTest::newRow(name) << int(ModeVehicle) << code << FlagOn + text + "[0013]" << step
                            << (step ? 10 : 0);
    };
    vehicle("vehicle 0", "0000", "-搬送指示無し");
    vehicle("vehicle 1", "0001", "-搬送指示(0101→0107)", 11);
    vehicle("vehicle 11", "0011", "-データ削除");
    vehicle("vehicle 12", "0012", "-データ変更");
    vehicle("vehicle unknown 2", "0002", "-指示エラー");
    vehicle("vehicle unknown 3", "0003", "-指示エラー");
    vehicle("vehicle unknown 13", "0013", "-指示エラー");
}

void TestAutomaton::instructionLine()
{
    QFETCH(int, mode);
    QFETCH(QString, code);
    QFETCH(QString, line);
    QFETCH(int, step);
    QFETCH(int, wait);
    SimMode = static_cast<qint16>(mode);
    for (int n = 1; n <= 8; ++n)
        registerMemory().setWord(n, formatWord(static_cast<qint16>(100 + n)));
    setWords({{0, code}, {9, "0009"}, {13, "0013"}, {mode == ModeRack ? 10 : 19, "0001"}});
    Runner runner;
    runner.automaton.setAuto(true);
    runner.tick();
    QCOMPARE(runner.status, line);
    QCOMPARE(runner.automaton.stepNumber(), step);
    QCOMPARE(runner.automaton.waitCount(), wait);
}

// A code that starts nothing is shown again on every tick, with the host's latest words.
void TestAutomaton::nonStartingCodeIsShownEveryTick()
{
    setWords({{0, "0003"}, {9, "0005"}, {10, "0001"}});
    Runner runner;
    runner.automaton.setAuto(true);
    for (const char *tag : {"0005", "0006", "0007"}) {
        registerMemory().setWord(9, tag);
        runner.tick();
        QVERIFY(runner.acted);
        QCOMPARE(runner.status, FlagOn + "-ピッキング[" + tag + "]");
        QCOMPARE(runner.automaton.stepNumber(), qint16(0));
        QCOMPARE(runner.automaton.waitCount(), 0);
        QCOMPARE(registerMemory().word(33), "0001");
    }
}

// Step 0 acts only on a flag whose value is 1, and only on its own mode's flag.
void TestAutomaton::flagNotOn_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("flagRegister");
    QTest::addColumn<QString>("flag");
    QTest::newRow("rack D10 0002") << int(ModeRack) << 10 << "0002";
    QTest::newRow("rack D10 -0001") << int(ModeRack) << 10 << "-0001";
    QTest::newRow("rack ignores D19") << int(ModeRack) << 19 << "0001";
    QTest::newRow("vehicle ignores D10") << int(ModeVehicle) << 10 << "0001";
}

void TestAutomaton::flagNotOn()
{
    QFETCH(int, mode);
    QFETCH(int, flagRegister);
    QFETCH(QString, flag);
    SimMode = static_cast<qint16>(mode);
    setWords({{0, "0001"}, {flagRegister, flag}});
    Runner runner;
    runner.automaton.setAuto(true);
    runner.tick(3);
    QCOMPARE(runner.status, Untouched);
    QCOMPARE(runner.automaton.stepNumber(), qint16(0));
    QCOMPARE(runner.automaton.waitCount(), 0);
}

// Manual mode ignores a raised flag and freezes a running wait; Auto picks up from there.
void TestAutomaton::manualStandsStill()
{
    setWords({{0, "0001"}, {10, "0001"}});
    Runner runner;
    runner.tick(3);
    QCOMPARE(runner.status, Untouched);
    QCOMPARE(runner.automaton.stepNumber(), qint16(0));
    runner.automaton.setAuto(true);
    runner.tick(4); // instruction line, then wait 10 -> 7
    runner.automaton.setAuto(false);
    runner.tick(5);
    QCOMPARE(runner.automaton.waitCount(), 7);
    QCOMPARE(runner.automaton.stepNumber(), qint16(1));
    runner.automaton.setAuto(true);
    runner.tick();
    QCOMPARE(runner.automaton.waitCount(), 6);
}

// The vehicle has no step 3: the rack's step 3 waits out its count under the vehicle mode
// and then stands still until the rack is selected again (or a reset).
void TestAutomaton::rackStepStuckUnderVehicle()
{
    Runner runner;
    startRackStorage(runner);
    runner.tick(13);
    registerMemory().setWord(10, "0000");
    runner.tick();
    QCOMPARE(runner.automaton.stepNumber(), qint16(3));
    SimMode = ModeVehicle;
    runner.tick(5 + 3);
    QVERIFY(!runner.acted);
    QCOMPARE(runner.automaton.waitCount(), 0);
    QCOMPARE(runner.automaton.stepNumber(), qint16(3));
    QCOMPARE(registerMemory().word(33), "0002");
    QCOMPARE(registerMemory().word(31), "0000");
    SimMode = ModeRack;
    runner.tick();
    QCOMPARE(runner.status, Ready);
    QCOMPARE(registerMemory().word(33), "0001");
    QCOMPARE(runner.automaton.stepNumber(), qint16(4));
}

// Modes without a handshake still run the wait count down, then nothing happens.
void TestAutomaton::otherModesOnlyCountDown_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("NONE") << int(ModeNone);
    QTest::newRow("prGPS") << int(ModePrGps);
    QTest::newRow("MNEA") << int(ModeMnea);
    QTest::newRow("rack ERR") << int(ModeRackErr);
}

void TestAutomaton::otherModesOnlyCountDown()
{
    QFETCH(int, mode);
    Runner runner;
    startRackStorage(runner);
    SimMode = static_cast<qint16>(mode);
    runner.tick(10);
    QCOMPARE(runner.automaton.waitCount(), 0);
    runner.tick(3);
    QVERIFY(!runner.acted);
    QCOMPARE(runner.automaton.stepNumber(), qint16(1));
    QCOMPARE(registerMemory().word(33), "0001");
}

QTEST_GUILESS_MAIN(TestAutomaton)
#include "test_automaton.moc"
