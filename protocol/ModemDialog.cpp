// SPDX-License-Identifier: MIT
#include "protocol/ModemDialog.h"

#include "platform/Cp932.h"
#include "protocol/ControlCodes.h"

namespace
{

const QString DefaultPassword = QStringLiteral("7395");

// The note, then the text with CR LF after it: the note is logged before the text is sent.
LineActions noteAndSend(const QString &note, const QByteArray &text)
{
    return {LineAction::log(note), LineAction::send(text + Ctl::CR + Ctl::LF)};
}

} // namespace

DialText splitDialText(const QString &dialText)
{
    const qsizetype comma = dialText.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {dialText, DefaultPassword};
    return {dialText.left(comma), dialText.mid(comma + 1)};
}

LineActions answerModemPrompt(const QByteArray &frame, const QString &dialText)
{
    const DialText dial = splitDialText(dialText);
    const QByteArray head = frame.left(4);
    if (head == "OK" + Ctl::CR + Ctl::LF)
        return noteAndSend(QStringLiteral("  <<OKを受信したのでCALL[%1]>>").arg(dial.number),
                           "ATD" + Cp932::encode(dial.number));
    if (head == "@PWD")
        return noteAndSend(
            QStringLiteral("  <<@PWDを受信したのでパスワード「%1」を送信>>").arg(dial.password),
            Cp932::encode(dial.password));
    if (head == "@HOW")
        return noteAndSend(QStringLiteral("  <<@HOWを受信したのでデータ送信要求「DAT」を送信>>"),
                           "DAT");
    return {};
}
