// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/LineAction.h"

// The calling side of a dial-up link (mode "prGPS"): answers the modem's "OK" by dialling, the
// far end's "@PWD" with the password and its "@HOW" with the data request "DAT". It keeps no
// state: the same prompt is answered again each time it arrives.

// The operator's dial text, split at its first comma into number and password.
struct DialText {
    QString number;   // before the first comma; the whole text when there is none
    QString password; // after the first comma (later commas included); "7395" when none
};
DialText splitDialText(const QString &dialText);

// The note and the text that answer one received frame (frame end included), judged by its
// first four bytes; nothing for a frame that is no known prompt. Every text sent ends with
// CR LF, whatever the frame end in use.
LineActions answerModemPrompt(const QByteArray &frame, const QString &dialText);
