// SPDX-License-Identifier: MIT
#pragma once

#include "HostEnd.h"
#include "TestHelpers.h"
#include "platform/Clock.h"
#include "platform/DevicePortService.h"
#include "session/LineSession.h"
#include "ui/MainWindow.h"
#include "ui/TrafficLogView.h"

#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// The real program on a virtual line: the line session on the real serial port and clock with
// the main window over it, Com1: mapped to a pseudo-terminal linked in a temporary folder, and
// a host program's end of that line opened by the test after OPEN.
struct LineFixture {
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("com1"));
    std::unique_ptr<LineSession> session;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<HostEnd> host;

    LineFixture()
    {
        qputenv("PORTWREN_COM1", QByteArray("pty:") + link.toLocal8Bit());
        session = std::make_unique<LineSession>(std::make_unique<DevicePortService>(),
                                                std::make_unique<SystemClock>());
        w = std::make_unique<MainWindow>(*session);
        session->startTicking();
    }
    ~LineFixture()
    {
        w.reset();
        session.reset();
    }

    template <typename T = QWidget> T *control(const QString &name) const
    {
        return w->findChild<T *>(name);
    }
    // Clicks an option button as the operator does.
    void click(const char *group, int index) const
    {
        clickOption(
            control<QRadioButton>(QStringLiteral("%1_%2").arg(QLatin1String(group)).arg(index)));
    }
    QString logText() const { return w->trafficLog()->text(); }

    // Chooses a mode as the operator does, then opens Com1: and the host's end.
    bool open(SimMode mode)
    {
        click("Option1", int(mode));
        if (!session->open())
            return false;
        host = std::make_unique<HostEnd>(link);
        return host->fd() >= 0;
    }

    // Lets the program run until the host has received at least n bytes (or 5 s went by);
    // returns what the host received and forgets it.
    QByteArray receive(qsizetype n)
    {
        (void)QTest::qWaitFor([&] { return host->collect().size() - taken >= n; }, 5000);
        const QByteArray all = host->collect();
        const QByteArray got = all.mid(taken);
        taken = all.size();
        return got;
    }
    qsizetype taken = 0;
};
