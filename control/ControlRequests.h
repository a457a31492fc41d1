// SPDX-License-Identifier: MIT
#pragma once

#include "control/WrittenMembers.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

class LineSession;

// Why a request was refused, as a program tells refusals apart without reading their text.
enum class ErrorClass { UnknownOp, BadArgument, OutOfRange, NotOpen, Busy, TooLong, Refused };
QString errorClassName(ErrorClass error);

// The control protocol's requests, one JSON object per line: {"id": <any>, "op": "<name>", ...}
// answered by {"id": <same>, "ok": true, ...} or {"id": <same>, "ok": false, "error": "<one
// line in English>", "class": "<ErrorClass>"}, with "member" naming the member at fault when
// one is, and "text" the window's or the log's own words for the same refusal when it has
// them; the id comes back exactly as the request wrote it. Each operation drives the session as
// the operator's controls do (the same log lines, the same refusals); a request that is wrong in
// any way, a member its operation does not take among them, changes nothing. The operations and
// their members:
//   status; open; close; set {mode, frame_end, quiet_time, settings, hex, transmit_text};
//   read_registers {from, count}; write_registers {from, words};
//   handshake {action: step | reset | auto {period_ms} | manual};
//   transmit {command, text}; send {hex}; subscribe; sync;
//   repeat {command | hex, every_ms, count} or {stop: true}; lines {dtr, rts}; break {ms};
//   fault {kind: drop | delay {ms} | nak {code} | bad_sum | split {pieces, gap_ms} | garble,
//          each with count; or clear}.
// An answer comes after every event that happened before its request was read, so "sync"
// answers once the events before it have been sent.
class ControlRequests
{
public:
    // Raised when a change would break a client of the protocol.
    static constexpr int ProtocolVersion = 1;

    explicit ControlRequests(LineSession &session);

    // The line a client gets first, on connecting: the program's version, the protocol's, and
    // the names of the operations and events.
    static QByteArray greetingLine();
    // An error answer to no request (a connection refused or closed), compact JSON.
    static QByteArray errorLine(ErrorClass error, const QString &why);

    struct Answer {
        QByteArray line;        // the answer, compact JSON without a line end
        bool subscribe = false; // the client asked for the session's events
    };
    Answer answer(const QByteArray &requestLine);

private:
    struct Operation;
    static const QList<Operation> &operations();
    static const Operation *operationNamed(const QString &op);
    QJsonObject run(const QString &op, const QJsonObject &request);
    void takesOnly(const QStringList &members, const QString &whose) const;

    QJsonObject status(const QJsonObject &request);
    QJsonObject open(const QJsonObject &request);
    QJsonObject close(const QJsonObject &request);
    QJsonObject set(const QJsonObject &request);
    QJsonObject readRegisters(const QJsonObject &request);
    QJsonObject writeRegisters(const QJsonObject &request);
    QJsonObject handshake(const QJsonObject &request);
    QJsonObject transmit(const QJsonObject &request);
    QJsonObject send(const QJsonObject &request);
    QJsonObject repeat(const QJsonObject &request);
    QJsonObject lines(const QJsonObject &request);
    QJsonObject sendBreak(const QJsonObject &request);
    QJsonObject fault(const QJsonObject &request);
    QJsonObject linesNow();
    QJsonValue repeatNow() const;
    QJsonObject subscribe(const QJsonObject &request);
    QJsonObject sync(const QJsonObject &request);

    LineSession &m_session;
    // The request being answered, as written.
    QList<WrittenMember> m_members;
    bool m_subscribe = false;
};
