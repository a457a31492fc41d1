// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class LineSession;

// The control protocol's requests, one JSON object per line: {"id": <any>, "op": "<name>", ...}
// answered by {"id": <same>, "ok": true, ...} or {"id": <same>, "ok": false, "error": "<one
// line>"}. Each operation drives the session as the operator's controls do (the same log lines,
// the same refusals); a request that is wrong in any way changes nothing. The operations:
//   status; open; close; set {mode, frame_end, quiet_time, settings, hex, transmit_text};
//   read_registers {from, count}; write_registers {from, words};
//   handshake {action: step | reset | auto | manual, period_ms};
//   transmit {command, text}; send {hex}; fault {kind, count, ...}; subscribe.
class ControlRequests
{
public:
    explicit ControlRequests(LineSession &session);

    struct Answer {
        QByteArray line;        // the answer, compact JSON without a line end
        bool subscribe = false; // the client asked for the session's events
    };
    Answer answer(const QByteArray &requestLine);

private:
    QJsonObject run(const QString &op, const QJsonObject &request, bool *subscribe);
    QJsonObject status() const;
    QJsonObject open();
    QJsonObject set(const QJsonObject &request);
    QJsonObject readRegisters(const QJsonObject &request) const;
    QJsonObject writeRegisters(const QJsonObject &request);
    QJsonObject handshake(const QJsonObject &request);
    QJsonObject transmit(const QJsonObject &request);
    QJsonObject send(const QJsonObject &request);
    QJsonObject fault(const QJsonObject &request);

    LineSession &m_session;
};
