// SPDX-License-Identifier: MIT
// The register memory and the transport handshake automaton on their own: the words the
// register button stores, whole handshake cycles of the rack and the vehicle, instruction lines
// and the words they read as numbers, and every register of each mode's preset.
#include "registers/HandshakeAutomaton.h"
#include "registers/RegisterFile.h"
#include "registers/RegisterMemory.h"
#include "registers/WordConversion.h"

#include <QTest>

const QString FlagOn = QStringLiteral("搬送設定完了フラグＯＮ");
const QString Storage = FlagOn + QStringLiteral("-入庫(0101→0106,0107,0108)[0009]");

using Words = QList<QPair<int, QString>>; // register number and word
using Registers = QMap<int, QString>;
// D1..D8 hold 0101..0108 and each register that tags a line (D9 rack, D13 vehicle) its number.
const Words Instruction = {{1, "0101"}, {2, "0102"}, {3, "0103"}, {4, "0104"}, {5, "0105"},
                           {6, "0106"}, {7, "0107"}, {8, "0108"}, {9, "0009"}, {13, "0013"}};

// Status text, step, wait, the answer word (D31 for the vehicle, else D33) and D59.
static QString state(const QString &status, int step, int wait, const QString &answer = "0001",
                     const QString &fork = "0000")
{
    return QStringLiteral("[%1] step %2 wait %3 answer %4 fork %5")
        .arg(status, QString::number(step), QString::number(wait), answer, fork);
}

class TestRegisters : public QObject
{
    Q_OBJECT
    RegisterMemory memory;
    SimMode mode = SimMode::None;
    HandshakeAutomaton a;
    QString status; // as the data window's status label would show it

    // The mode with its preset, and a new automaton in Auto.
    void start(SimMode newMode)
    {
        mode = newMode;
        memory.applyPresetOf(mode);
        a = {};
        a.setAuto(true);
        status = "STATUS";
    }
    // Each row: the host's writes, then that many ticks run as the window's tick does, then the
    // state they leave.
    void play(const QList<std::tuple<Words, int, QString>> &script)
    {
        for (const auto &[host, ticks, want] : script) {
            for (const auto &[n, word] : host)
                memory.setWord(n, word);
            for (int i = 0; i < ticks; ++i)
                if (const std::optional<QString> text = a.runStep(memory, mode))
                    status = *text;
            const QString answer = memory.word(mode == SimMode::Vehicle ? 31 : 33);
            QCOMPARE(state(status, a.stepNumber(), a.waitCount(), answer, memory.word(59)), want);
        }
    }

private slots:
    // The word 登録 stores for a box text, or why it refuses the text; a list of texts is
    // stored whole or not at all, the first bad one named.
    void words()
    {
        const QString notANumber = QStringLiteral("D0012: 数値に変換できません");
        const QString outOfRange = QStringLiteral("D0012: -32768〜32767 の範囲外です");
        const QList<QPair<QString, QString>> texts = {
            {"\t12\u3000", "0012"}, {"+7", "0007"},
            {"-5", "-0005"},        {"000000000000000012", "0012"},
            {"-0.4", "0000"},       {"2.5", "0002"},
            {"3.5", "0004"},        {"2.501", "0003"},
            {"-32768.5", "-32768"}, {"32767.5", outOfRange},
            {"-32769", outOfRange}, {"99999999999999999999", outOfRange},
            {"", notANumber},       {"1e2", notANumber},
            {"- 5", notANumber},    {"\uFF11\uFF12", notANumber}};
        for (const auto &[text, expected] : texts) {
            memory.setWord(12, "0099");
            const std::optional<WordsRefused> refused = memory.storeTexts(12, {text});
            QCOMPARE(QPair(text, refused ? refused->message() : memory.word(12)),
                     QPair(text, expected));
        }
        memory.applyRackPreset();
        const std::optional<WordsRefused> refused = memory.storeTexts(10, {"1", "2", "x", "4"});
        QVERIFY(refused && refused->index == 12);
        QCOMPARE(QStringList({memory.word(10), memory.word(11)}), QStringList({"0000", "0000"}));
    }

    // A register file gives the words it lists, read as 登録 reads a box, in the form of a dump;
    // its first bad line is named.
    void registerFiles()
    {
        const QList<QPair<QByteArray, QString>> files = {
            {"D0033 0002\n\nD0000  -5 \nD0127 -32768\n", "33=0002 0=-0005 127=-32768"},
            {"D0001 1\nD0001 2\n", "line 2: D0001 appears twice"},
            {"D0001 1\nD0128 0\n", "line 2: 0128 is beyond D0127"},
            {"D0001 1\nD0002 x\n", "line 2: D0002: 数値に変換できません"},
            {"D0001 40000\n", "line 1: D0001: -32768〜32767 の範囲外です"},
            {"D1 0001\n", "line 1: \"D1 0001\" is not \"Dnnnn word\""}};
        for (const auto &[text, expected] : files) {
            const RegisterFileContents read = readRegisterFile(text);
            QStringList words;
            for (const auto &[n, word] : read.words)
                words << QStringLiteral("%1=%2").arg(n).arg(word);
            QCOMPARE(read.problem.isEmpty() ? words.join(u' ') : read.problem, expected);
        }
    }

    // Whole cycles. Each row ends where a wait has run out, so the next row's first tick pins its
    // length. With a stale acknowledgement D12 already holds "0001", so step 5 acts at once. The
    // vehicle has no completion report: the ready answer ends its cycle. A mode without a
    // handshake still runs the wait down, then nothing happens.
    void cycles()
    {
        for (const bool stale : {false, true}) {
            start(SimMode::Rack);
            play({
                {Instruction + Words{{0, "0001"}, {10, "0002"}, {12, stale ? "0001" : "0000"}}, 3,
                 state("STATUS", 0, 0)}, // only "0001" raises the flag
                {{{10, "0001"}}, 11, state(Storage, 1, 0)},
                {{}, 1, state("搬送設定ＯＫセット", 2, 2, "0002")},
                {{}, 4, state("搬送設定ＯＫセット", 2, 0, "0002")}, // the flag is still on
                {{{10, "0000"}}, 6, state("搬送設定完了ＦＬＧがＯＦＦ", 3, 0, "0002")},
                {{}, 11, state("搬送設定アンサーをレディ", 4, 0)},
                {{}, stale ? 1 : 3, state("完了フォークＮＯセット", 5, 0, "0001", "0001")},
                {{{12, "0001"}}, 1, state("完了フォークＮＯ無し", 0, 1)},
                {{{10, "0001"}}, 1, state("完了フォークＮＯ無し", 0, 0)}, // only counts down
                {{}, 4, state(Storage, 1, 7)},                            // the next instruction
            });
        }
        mode = SimMode::None;
        play({{{}, 10, state(Storage, 1, 0)}});
        const QString line = FlagOn + QStringLiteral("-搬送指示(0101→0107)[0013]");
        start(SimMode::Vehicle);
        play({
            {Instruction + Words{{0, "0001"}, {19, "0001"}}, 11, state(line, 11, 0)},
            {{}, 1, state("搬送設定ＯＫセット", 12, 2, "0002")},
            {{}, 3, state("搬送設定ＯＫセット", 12, 0, "0002")},
            {{{19, "0000"}}, 6, state("搬送設定完了ＦＬＧがＯＦＦ", 13, 0, "0002")},
            {{}, 1, state("搬送設定アンサーをレディ", 0, 0)},
            {{{19, "0001"}}, 1, state(line, 11, 10)},
        });
    }

    // A line naming registers in brackets starts the handshake; any other only shows. The
    // flag and the instruction code are read as numbers: a sign counts, a fraction is none.
    void instructionLines()
    {
        const QList<std::array<const char *, 4>> rows = {
            // flag, code, rack line, vehicle line (none: the flag is not raised)
            {"0001", "0000", "-指示無し", "-搬送指示無し"},
            {"0001", "0002", "-出庫(0102,0103,0104→0105)", "-指示エラー"},
            {"0001", "0012", "-データ変更", "-データ変更"},
            {"0001", "0014", "-ＳＴ切り離し", "-指示エラー"},
            {"0001", "0015", "-指示エラー", "-指示エラー"},
            {"0001", "ABCD", "-指示エラー", "-指示エラー"},
            {"0001", "-0001", "-指示エラー", "-指示エラー"},
            {"0001", "0001.0", "-指示エラー", "-指示エラー"},
            {"1", "1", "-入庫(0101→0106,0107,0108)", "-搬送指示(0101→0107)"},
            {"-0001", "0001", "", ""},
            {"0001.0", "0001", "", ""},
        };
        for (const auto &[flag, code, rackLine, vehicleLine] : rows)
            for (const bool rack : {true, false}) {
                start(rack ? SimMode::Rack : SimMode::Vehicle);
                const QString shown = QString::fromUtf8(rack ? rackLine : vehicleLine);
                const QString tag = rack ? "[0009]" : "[0013]";
                const int step = shown.contains('(') ? (rack ? 1 : 11) : 0;
                play({{Instruction + Words{{0, code}, {rack ? 10 : 19, flag}}, 1,
                       state(shown.isEmpty() ? "STATUS" : FlagOn + shown + tag, step,
                             step ? 10 : 0)}});
            }
    }

    // Every register of each mode's preset, written out here: all "0000" but those named. A
    // mode without a preset leaves every word as it was.
    void presets_data()
    {
        QTest::addColumn<SimMode>("mode");
        QTest::addColumn<QString>("others");
        QTest::addColumn<Registers>("named");
        QTest::newRow("rack") << SimMode::Rack << "0000"
                              << Registers{{32, "0002"}, {33, "0001"}, {43, "0002"}};
        QTest::newRow("vehicle") << SimMode::Vehicle << "0000"
                                 << Registers{{30, "0002"},  {31, "0001"},  {102, "0004"},
                                              {103, "0006"}, {104, "0006"}, {105, "0006"}};
        for (const SimMode other : {SimMode::None, SimMode::PrGps, SimMode::Mnea, SimMode::RackErr})
            QTest::addRow("mode %d, no preset", int(other)) << other << "0009" << Registers{};
    }
    void presets()
    {
        QFETCH(SimMode, mode);
        QFETCH(QString, others);
        QFETCH(Registers, named);
        for (int n = 0; n < RegisterMemory::Count; ++n)
            memory.setWord(n, "0009");
        memory.applyPresetOf(mode);
        for (int n = 0; n < RegisterMemory::Count; ++n)
            QCOMPARE(QPair(n, memory.word(n)), QPair(n, named.value(n, others)));
    }
};

QTEST_GUILESS_MAIN(TestRegisters)
#include "test_registers.moc"
