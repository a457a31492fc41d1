// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One thing a responder wants done, in order: a line for the traffic log, or bytes for the
// line (which the session sends, logging them as sent).
struct LineAction {
    enum Kind { Log, Send };
    Kind kind;
    QString text;     // Log: the caller's text of the log line
    QByteArray bytes; // Send: exactly the bytes to transmit

    static LineAction log(const QString &text) { return {Log, text, {}}; }
    static LineAction send(const QByteArray &bytes) { return {Send, {}, bytes}; }
    bool operator==(const LineAction &o) const
    {
        return kind == o.kind && text == o.text && bytes == o.bytes;
    }
};
using LineActions = QList<LineAction>;
