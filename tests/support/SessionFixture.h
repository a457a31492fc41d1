// SPDX-License-Identifier: MIT
#pragma once

#include "FakeSerialPort.h"
#include "session/LineSession.h"
#include "session/SessionLog.h"

#include <QCoreApplication>
#include <QStringList>

// A line session on a scripted port and clock. Every log line's text is kept, oldest first,
// without its stamp.
struct SessionFixture {
    FakeClock *clock = new FakeClock;
    FakeSerialPort *port = new FakeSerialPort(clock);
    LineSession session{std::unique_ptr<SerialPortService>(port), std::unique_ptr<Clock>(clock)};
    SessionLog sessionLog{session, LogEscaping::None};
    QStringList log;

    SessionFixture()
    {
        QObject::connect(&sessionLog, &SessionLog::lineLogged,
                         [this](const LogLine &line) { log << line.text; });
    }

    // The mode and the frame end chosen, then the port opened.
    bool open(SimMode mode, FrameEnd end)
    {
        session.chooseMode(mode);
        session.chooseFrameEnd(end);
        return session.open();
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
