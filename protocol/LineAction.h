// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One thing a responder wants done, in order: a line for the traffic log, bytes for the line
// (which the session sends, logging them as sent), or a report that a host's word write has
// stored words (changed or not), which the session passes on.
struct LineAction {
    enum Kind { Log, Send, Wrote };
    Kind kind;
    QString text;      // Log: the caller's text of the log line
    QByteArray bytes;  // Send: exactly the bytes to transmit
    int from = 0;      // Wrote: the first register written
    QStringList words; // Wrote: the words as stored from there on

    static LineAction log(const QString &text) { return {Log, text, {}, 0, {}}; }
    static LineAction send(const QByteArray &bytes) { return {Send, {}, bytes, 0, {}}; }
    static LineAction wrote(int from, const QStringList &words)
    {
        return {Wrote, {}, {}, from, words};
    }
    bool operator==(const LineAction &o) const
    {
        return kind == o.kind && text == o.text && bytes == o.bytes && from == o.from &&
               words == o.words;
    }
};
using LineActions = QList<LineAction>;
