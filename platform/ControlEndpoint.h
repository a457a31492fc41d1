// SPDX-License-Identifier: MIT
#pragma once

#include "platform/WriteEnd.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

// One connection of a control program: bytes in, read without waiting, and a write end for
// what goes out. On Unix an accepted Unix-domain socket connection; on Windows one instance of
// the named pipe.
class ControlConnection : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // What has come, at most size bytes, taken without waiting: the count; 0 once the program
    // has closed its sending side (or gone); -1 with errno: EAGAIN when nothing waits now, any
    // other when the connection failed.
    virtual qint64 read(char *buffer, qint64 size) = 0;
    // Whether readable() is emitted: when bytes or the end of the program's sending side wait,
    // also those that already wait when it is enabled. Off at first.
    virtual void setReadNotification(bool enabled) = 0;
    // The end that writes to the program, owned by the caller; it may outlive the connection
    // and finish what it was given on its own. Once only.
    virtual WriteEnd takeWriteEnd() = 0;
    // Writes a short line that an unread connection takes whole (its buffer is empty), or
    // nothing: the answer to a connection that is refused.
    virtual void sendNow(const QByteArray &line) = 0;

Q_SIGNALS:
    void readable();
};

// Where control programs connect, for the user running PORTWREN alone: on Unix a Unix-domain
// socket at a path (mode 0600; the path's rules are ListeningSocket's), on Windows a named pipe
// \\.\pipe\NAME whose security descriptor grants the user who started PORTWREN alone, and which
// refuses connections from other machines.
class ControlEndpoint : public QObject
{
    Q_OBJECT
public:
    // name: the path of the socket; on Windows the pipe's name, NAME or \\.\pipe\NAME.
    static std::unique_ptr<ControlEndpoint> make(const QString &name);

    // Starts listening. False with *reason, naming the endpoint, and nothing left held.
    virtual bool listen(QString *reason) = 0;
    // A connection that waits, or none. A failure to take one (no descriptors left) pauses the
    // endpoint for a moment, so that it does not keep the event loop spinning.
    virtual std::unique_ptr<ControlConnection> nextConnection() = 0;
    // The endpoint's name as messages give it (the path, \\.\pipe\NAME).
    virtual QString name() const = 0;

Q_SIGNALS:
    // Connections wait.
    void pending();

protected:
    using QObject::QObject;
};
