#pragma once

#include "Clock.h"
#include "FakeSerialPort.h"
#include "frm_PORTWREN.h"

#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QStringList>
#include <QTimer>
#include <memory>

// Clicks an option button on its indicator, as a person does (a short caption does not fill
// the button's whole width).
inline void clickOption(QRadioButton *option)
{
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

// A main window on a scripted line and a fake clock, with its 100 ms timer held still (tests
// run the tick by hand) and END recorded instead of ending the test program.
struct WindowFixture {
    FakeClock clock;
    FakeSerialPort *port = new FakeSerialPort(&clock);
    std::unique_ptr<frm_PORTWREN> w;
    bool terminated = false;

    WindowFixture()
    {
        clock.setTimeOfDay(QStringLiteral("12:34:56"));
        w = std::make_unique<frm_PORTWREN>(port, &clock);
        port->setParent(w.get());
        w->Timer1->stop();
        w->terminateProgram = [this] { terminated = true; };
        port->calls.clear();
    }

    // The traffic log's lines, newest first, without the stamps.
    QStringList log() const
    {
        QStringList lines = w->RText->toPlainText().split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (QString &line : lines)
            if (line.startsWith(QStringLiteral("[12:34:56]")))
                line.remove(0, 10);
        return lines;
    }
};
