// SPDX-License-Identifier: MIT
#pragma once

#include "SessionFixture.h"
#include "TestHelpers.h"
#include "ui/MainWindow.h"
#include "ui/TrafficLogView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

// Clicks an option button on its indicator, as a person does (a short caption does not fill
// the button's whole width).
inline void clickOption(QRadioButton *option)
{
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

// Double-clicks it as a person does: the first click chooses it, then the double-click event
// follows (offscreen, QTest delivers only that event).
inline void doubleClickOption(QRadioButton *option)
{
    clickOption(option);
    QTest::mouseDClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

// The context menu a right click on the widget opens, if any.
inline QMenu *contextMenuOf(QWidget *widget)
{
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2),
                            widget->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(widget, &click);
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

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
    // An option button by its layout name: its group and its index, "Option1_3".
    QRadioButton *option(const char *group, int index) const
    {
        return control<QRadioButton>(QStringLiteral("%1_%2").arg(QLatin1String(group)).arg(index));
    }
    // The log box's rows, newest first, without the stamps.
    QStringList rows() const
    {
        QStringList lines = w->trafficLog()->text().split(QLatin1Char('\n'));
        lines.removeLast(); // the text ends with a line end, or is empty
        for (QString &line : lines)
            line = withoutStamp(line);
        return lines;
    }
};
