// SPDX-License-Identifier: MIT
// Answers a received frame by the simulator mode with the computer-link responder, the modem
// dialog or the echo.
#include "protocol/FrameResponder.h"

#include "platform/Cp932.h"
#include "protocol/ModemDialog.h"
#include "protocol/SumCheck.h"
#include "registers/RegisterMemory.h"

#include <QVarLengthArray>

#include <algorithm>
#include <optional>

namespace
{

// Why a request is refused: the NAK error code and the note logged before "  <<NAK返送>>"
// (none for range and command errors). All the codes the responder sends are here:
//   02  the received sum differs from the computed one, or the frame is too short to carry a
//       sum at all (fewer than three bytes: ENQ and two sum characters)
//   05  head address + word count is greater than 128
//   06  the command is neither "WR" nor "WW"
//   07  (ours) a field cannot be read: the request is too short to hold header, command, head
//       address and word count (17 characters); the head address is not digits with blanks
//       around them; a word-write data field is missing or cannot be read as the data window's
//       register button reads a box, or the word count asks for more data than the request
//       carries.
// Every refusal leaves the register memory untouched.
struct Refusal {
    const char *code;
    const char *note;
};
constexpr Refusal SumError{"02", "  <<サムコードエラー>>"};
constexpr Refusal RangeError{"05", nullptr};
constexpr Refusal CommandError{"06", nullptr};
constexpr Refusal MalformedField{"07", "  <<電文形式エラー>>"};

// Character offsets of the request fields (the first character, ENQ, is offset 0).
constexpr qsizetype HeaderAt = 1, HeaderLength = 6;
constexpr qsizetype CommandAt = 7, CommandLength = 2;
constexpr qsizetype AddressAt = 11, AddressLength = 4;
constexpr qsizetype CountAt = 15, CountLength = 2;
constexpr qsizetype DataAt = 17, WordLength = 4;
constexpr qsizetype SumLength = 2;
constexpr qsizetype FieldsLength = 17; // ENQ, header, command, two unread, address, count

// Request bytes read as code page 932 characters, the unit that field positions count in. A
// lead byte and the byte after it are one character, as the sum check pairs them; a lead byte
// that ends the request stands alone. Fields are cut at character boundaries and keep their
// bytes unchanged.
class Characters
{
public:
    explicit Characters(const QByteArray &bytes) : m_bytes(bytes)
    {
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            m_starts.append(i);
            if (Cp932::isLeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size())
                ++i;
        }
        m_starts.append(bytes.size());
    }
    qsizetype size() const { return m_starts.size() - 1; }
    // The bytes of up to `length` characters from character offset `from`, clipped to the end.
    QByteArray mid(qsizetype from, qsizetype length) const
    {
        const qsizetype first = std::min(from, size());
        const qsizetype last = std::min(first + length, size());
        return m_bytes.mid(m_starts[first], m_starts[last] - m_starts[first]);
    }

private:
    QByteArray m_bytes;
    QVarLengthArray<qsizetype, 64> m_starts; // where each character starts, then the end
};

// One ENQ request being answered: its characters (frame end removed), the reply terminator and
// the actions gathered so far.
struct Request {
    Characters chars;
    QByteArray terminator;
    LineActions &out;

    // Positions 2-7, copied unchanged into every reply; shorter when the request is.
    QByteArray header() const { return chars.mid(HeaderAt, HeaderLength); }
    void note(const char *text) { out << LineAction::log(QString::fromUtf8(text)); }
    void send(const QByteArray &reply) { out << LineAction::send(reply); }
};

QByteArray withoutFrameEnd(const QByteArray &frame, FrameEnd end)
{
    const qsizetype endLength = terminatorFor(end).size();
    return frame.left(std::max<qsizetype>(0, frame.size() - endLength));
}

void refuse(Request &rq, const Refusal &why)
{
    if (why.note)
        rq.note(why.note);
    rq.note("  <<NAK返送>>");
    rq.send(Ctl::NAK + rq.header() + why.code + rq.terminator);
}

// The sum covers positions 2 to L-2 and is compared case-sensitively with the last two
// characters.
bool sumMatches(const Characters &rq)
{
    if (rq.size() < 1 + SumLength)
        return false;
    return sumCheck(rq.mid(1, rq.size() - 1 - SumLength)) ==
           rq.mid(rq.size() - SumLength, SumLength);
}

// The head address: digits with blanks before or after them. An empty or all-blank field is
// not a number.
std::optional<int> addressField(const QByteArray &field)
{
    qsizetype from = 0, to = field.size();
    while (from < to && field[from] == ' ')
        ++from;
    while (to > from && field[to - 1] == ' ')
        --to;
    const QByteArray digits = field.mid(from, to - from);
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isDigit))
        return std::nullopt;
    return digits.toInt();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Hexadecimal digits of either case, blanks skipped, read up to the first other byte; a field
// without a leading digit reads as 0.
int wordCountField(const QByteArray &field)
{
    int value = 0;
    for (const char c : field) {
        if (c == ' ')
            continue;
        if (hexDigit(c) < 0)
            break;
        value = value * 16 + hexDigit(c);
    }
    return value;
}

void readWords(Request &rq, const RegisterMemory &memory, int head, int count)
{
    QByteArray body = rq.header();
    for (int n = head; n < head + count; ++n)
        body += memory.word(n).toLatin1();
    body += Ctl::ETX;
    rq.note("  <<データ返送>>");
    rq.send(Ctl::STX + body + sumCheck(body) + rq.terminator);
}

// The data fields of a word write, or nothing when the request does not carry them all.
std::optional<QStringList> writeData(const Characters &rq, int count)
{
    const qsizetype carried = std::max<qsizetype>(0, rq.size() - SumLength - DataAt);
    if (count * WordLength > carried)
        return std::nullopt;
    QStringList fields;
    for (int i = 0; i < count; ++i)
        fields << Cp932::decode(rq.mid(DataAt + i * WordLength, WordLength));
    return fields;
}

// Each field is read as the register button reads a box (blanks around, a sign, a fraction
// rounded half to even), so a host and the operator store the same texts; every field is
// checked before the first word is stored: no half-applied write. The words stored are
// reported before the ACK, whether they changed or not.
void writeWords(Request &rq, RegisterMemory &memory, int head, int count)
{
    const std::optional<QStringList> fields = writeData(rq.chars, count);
    if (!fields || memory.storeTexts(head, *fields))
        return refuse(rq, MalformedField);
    if (count > 0) {
        QStringList stored;
        for (int n = head; n < head + count; ++n)
            stored << memory.word(n);
        rq.out << LineAction::wrote(head, stored);
    }
    rq.note("  <<ACK返送>>");
    rq.send(Ctl::ACK + rq.header() + rq.terminator);
}

// Checks in the order sum, fields, range, command; the first failure decides the answer. The
// head address is read without a sign and the range check keeps head + count <= 128, so only
// D0-D127 are ever touched.
void answerRequest(Request &rq, RegisterMemory &memory)
{
    rq.note("  <<ENQを受信しました>>");
    if (!sumMatches(rq.chars))
        return refuse(rq, SumError);
    if (rq.chars.size() < FieldsLength)
        return refuse(rq, MalformedField);
    const std::optional<int> head = addressField(rq.chars.mid(AddressAt, AddressLength));
    if (!head)
        return refuse(rq, MalformedField);
    const int count = wordCountField(rq.chars.mid(CountAt, CountLength));
    if (*head + count > RegisterMemory::Count)
        return refuse(rq, RangeError);
    const QByteArray command = rq.chars.mid(CommandAt, CommandLength);
    if (command == "WR")
        return readWords(rq, memory, *head, count);
    if (command == "WW")
        return writeWords(rq, memory, *head, count);
    refuse(rq, CommandError);
}

void computerLink(const QByteArray &frame, const ResponderState &state, RegisterMemory &memory,
                  LineActions &out)
{
    const QByteArray bytes = withoutFrameEnd(frame, state.frameEnd);
    const char first = bytes.isEmpty() ? '\0' : bytes[0];
    Request rq{Characters(bytes), terminatorFor(state.frameEnd), out};
    if (first == Ctl::ENQ[0])
        answerRequest(rq, memory);
    else if (first == Ctl::STX[0])
        rq.note("  <<STXを受信しました>>");
    else if (first == Ctl::ACK[0])
        rq.note("  <<ACKを受信しました>>");
    else if (first == Ctl::NAK[0])
        rq.note("  <<NAKを受信しました>>");
    else
        rq.note("  <<その他の電文を受信しました>>");
}

// Sends the frame back as received, then names its first byte when it is a control code.
void echo(const QByteArray &frame, LineActions &out)
{
    out << LineAction::send(frame);
    const struct {
        const QByteArray &code;
        const char *name;
    } named[] = {{Ctl::EOT, "EOT"},
                 {Ctl::ENQ, "ENQ"},
                 {Ctl::STX, "STX"},
                 {Ctl::ACK, "ACK"},
                 {Ctl::NAK, "NAK"}};
    for (const auto &n : named) {
        if (frame.startsWith(n.code))
            out << LineAction::log(QStringLiteral("  <<RECEVED %1>>").arg(QLatin1String(n.name)));
    }
}

} // namespace

LineActions respondToFrame(const QByteArray &frame, const ResponderState &state,
                           RegisterMemory &memory)
{
    LineActions out;
    if (frame.isEmpty())
        return out;
    if (isComputerLink(state.mode))
        computerLink(frame, state, memory, out);
    else if (state.mode == SimMode::PrGps)
        out << answerModemPrompt(frame, state.dialText);
    else
        echo(frame, out);
    return out;
}

LineActions nakReply(const QByteArray &frame, const ResponderState &state, const QByteArray &code)
{
    LineActions out;
    Request rq{Characters(withoutFrameEnd(frame, state.frameEnd)), terminatorFor(state.frameEnd),
               out};
    rq.note("  <<NAK返送>>");
    rq.send(Ctl::NAK + rq.header() + code + rq.terminator);
    return out;
}
