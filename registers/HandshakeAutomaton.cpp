// SPDX-License-Identifier: MIT
#include "registers/HandshakeAutomaton.h"

#include "registers/WordConversion.h"

#include <algorithm>
#include <climits>
#include <span>

namespace
{

constexpr int Always = -1;       // a step without a condition
constexpr int NoRegister = -1;   // a step that writes no register
constexpr qint32 Unchanged = -1; // a step that leaves the wait count (0 at that point)
constexpr int NoCode = INT_MIN;  // D0 holds no number: no code of any table
constexpr qint32 InstructionWait = 10;

// One numbered step after the idle step: it acts when its condition register holds exactly
// the condition text (or always), then shows its status, writes its register and moves on.
struct Step {
    qint16 number;
    int conditionRegister;
    const char *conditionText;
    const char *status;
    int writtenRegister;
    const char *writtenWord;
    qint16 next;
    qint32 wait;
};

constexpr Step RackSteps[] = {
    {1, Always, "", "搬送設定ＯＫセット", 33, "0002", 2, 2},
    {2, 10, "0000", "搬送設定完了ＦＬＧがＯＦＦ", NoRegister, "", 3, 5},
    {3, Always, "", "搬送設定アンサーをレディ", 33, "0001", 4, 10},
    {4, Always, "", "完了フォークＮＯセット", 59, "0001", 5, Unchanged},
    {5, 12, "0001", "完了フォークＮＯ無し", 59, "0000", 0, 1},
};

// The vehicle stops at the ready answer; it reports no completion.
constexpr Step VehicleSteps[] = {
    {11, Always, "", "搬送設定ＯＫセット", 31, "0002", 12, 2},
    {12, 19, "0000", "搬送設定完了ＦＬＧがＯＦＦ", NoRegister, "", 13, 5},
    {13, Always, "", "搬送設定アンサーをレディ", 31, "0001", 0, Unchanged},
};

struct CodeText {
    int code;
    const char *text;
};

constexpr CodeText RackFixedTexts[] = {
    {0, "-指示無し"},    {3, "-ピッキング"},  {4, "-直行"},          {5, "-棚入れ替え"},
    {11, "-データ削除"}, {12, "-データ変更"}, {13, "-ＳＴ使用可能"}, {14, "-ＳＴ切り離し"},
};

constexpr CodeText VehicleFixedTexts[] = {
    {0, "-搬送指示無し"},
    {11, "-データ削除"},
    {12, "-データ変更"},
};

QString fixedText(std::span<const CodeText> table, int code)
{
    const auto found = std::find_if(table.begin(), table.end(),
                                    [code](const CodeText &e) { return e.code == code; });
    return QString::fromUtf8(found == table.end() ? "-指示エラー" : found->text);
}

QString rackCodeText(const RegisterMemory &m, int code)
{
    if (code == 1)
        return QStringLiteral("-入庫(") + m.word(1) + QStringLiteral("→") + m.word(6) +
               QStringLiteral(",") + m.word(7) + QStringLiteral(",") + m.word(8) +
               QStringLiteral(")");
    if (code == 2)
        return QStringLiteral("-出庫(") + m.word(2) + QStringLiteral(",") + m.word(3) +
               QStringLiteral(",") + m.word(4) + QStringLiteral("→") + m.word(5) +
               QStringLiteral(")");
    return fixedText(RackFixedTexts, code);
}

QString vehicleCodeText(const RegisterMemory &m, int code)
{
    if (code == 1)
        return QStringLiteral("-搬送指示(") + m.word(1) + QStringLiteral("→") + m.word(7) +
               QStringLiteral(")");
    return fixedText(VehicleFixedTexts, code);
}

// What differs between the two handshakes.
struct Handshake {
    int flagRegister; // transport-setting-complete flag from the host
    int tagRegister;  // shown in brackets after the instruction
    qint16 firstStep; // where a starting instruction leads
    QString (*codeText)(const RegisterMemory &, int); // the instruction code's text
    std::span<const int> startCodes;
    std::span<const Step> steps;
};

constexpr int RackStartCodes[] = {1, 2};
constexpr int VehicleStartCodes[] = {1};
constexpr Handshake Rack{10, 9, 1, rackCodeText, RackStartCodes, RackSteps};
constexpr Handshake Vehicle{19, 13, 11, vehicleCodeText, VehicleStartCodes, VehicleSteps};

const Handshake *handshakeOf(SimMode mode)
{
    if (mode == SimMode::Rack)
        return &Rack;
    if (mode == SimMode::Vehicle)
        return &Vehicle;
    return nullptr;
}

// Step 0: while the flag's value is 1, show the instruction line; a starting code begins
// the handshake.
std::optional<QString> idleStep(const Handshake &mode, const RegisterMemory &memory, qint16 &step,
                                qint32 &wait)
{
    if (wordValue(memory.word(mode.flagRegister)) != 1)
        return std::nullopt;
    const int code = wordValue(memory.word(0)).value_or(NoCode);
    const QString line = QStringLiteral("搬送設定完了フラグＯＮ") + mode.codeText(memory, code) +
                         QStringLiteral("[") + memory.word(mode.tagRegister) + QStringLiteral("]");
    if (std::find(mode.startCodes.begin(), mode.startCodes.end(), code) != mode.startCodes.end()) {
        step = mode.firstStep;
        wait = InstructionWait;
    }
    return line;
}

std::optional<QString> numberedStep(const Handshake &mode, RegisterMemory &memory, qint16 &step,
                                    qint32 &wait)
{
    const auto found = std::find_if(mode.steps.begin(), mode.steps.end(),
                                    [step](const Step &s) { return s.number == step; });
    if (found == mode.steps.end())
        return std::nullopt; // a step this mode does not have: stuck until reset
    const Step &s = *found;
    if (s.conditionRegister != Always &&
        memory.word(s.conditionRegister) != QLatin1String(s.conditionText))
        return std::nullopt;
    if (s.writtenRegister != NoRegister)
        memory.setWord(s.writtenRegister, QLatin1String(s.writtenWord));
    step = s.next;
    if (s.wait != Unchanged)
        wait = s.wait;
    return QString::fromUtf8(s.status);
}

} // namespace

void HandshakeAutomaton::restartInManual()
{
    m_auto = false;
    m_step = 0;
}

void HandshakeAutomaton::reset()
{
    m_step = 0;
    m_wait = 0;
}

std::optional<QString> HandshakeAutomaton::runStep(RegisterMemory &memory, SimMode mode, Pace pace)
{
    if (!m_auto && pace == Pace::ByTheMode)
        return std::nullopt;
    if (m_wait >= 1) {
        --m_wait; // counts down whatever the mode
        return std::nullopt;
    }
    const Handshake *handshake = handshakeOf(mode);
    if (handshake == nullptr)
        return std::nullopt;
    return m_step == 0 ? idleStep(*handshake, memory, m_step, m_wait)
                       : numberedStep(*handshake, memory, m_step, m_wait);
}
