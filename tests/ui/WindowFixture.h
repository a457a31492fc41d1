// SPDX-License-Identifier: MIT
#pragma once

#include "SessionFixture.h"
#include "TestHelpers.h"
#include "ui/MainWindow.h"
#include "ui/TrafficLogView.h"

#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

// The main window over a session on a scripted line and clock (the session's tick is not
// started: tests tick by hand). END is recorded, not acted on.
struct WindowFixture : SessionFixture {
    std::unique_ptr<MainWindow> w = std::make_unique<MainWindow>(session);
    QSignalSpy ended{w.get(), &MainWindow::endRequested};

    // A control by its layout name.
    template <typename T = QWidget> T *control(const QString &name) const
    {
        T *found = w->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    QRadioButton *option(const char *group, int index) const
    {
        return ::option(w.get(), group, index);
    }
    // The log box's rows, newest first, without the stamps.
    QStringList rows() const
    {
        QStringList lines = w->trafficLog()->text().split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (QString &line : lines)
            line = withoutStamp(line);
        return lines;
    }
};
