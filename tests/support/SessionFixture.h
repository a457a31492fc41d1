// SPDX-License-Identifier: MIT
#pragma once

#include "FakeSerialPort.h"
#include "session/LineSession.h"

#include <QCoreApplication>
#include <QStringList>

// A line session on a scripted port and clock. Every log line is kept, oldest first, without
// its stamp (the clock always says 12:34:56).
struct SessionFixture {
    FakeClock *clock = new FakeClock;
    FakeSerialPort *port = new FakeSerialPort(clock);
    LineSession session{std::unique_ptr<SerialPortService>(port), std::unique_ptr<Clock>(clock)};
    QStringList log;

    SessionFixture()
    {
        clock->setTimeOfDay(QStringLiteral("12:34:56"));
        QObject::connect(&session, &LineSession::lineLogged, [this](const QString &line) {
            log << (line.startsWith(QStringLiteral("[12:34:56]")) ? line.mid(10) : line);
        });
    }

    // Bytes arrive now and the port raises its event, which the session takes as a handler of
    // its own; then a second passes, which lets every wait of the receive path run out.
    void arrive(const QByteArray &bytes)
    {
        port->arriveNow(bytes);
        port->raiseArrival();
        QCoreApplication::processEvents();
        clock->advance(1000);
    }
};
