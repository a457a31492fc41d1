#pragma once

#include "HostEnd.h"
#include "frm_PORTWREN.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// The real program on a virtual line: the main window with its real serial control and clock,
// Com1: mapped to a pseudo-terminal linked in a temporary folder, and a host program's end of
// that line opened by the test after OPEN.
struct LineFixture {
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("com1"));
    std::unique_ptr<frm_PORTWREN> w;
    std::unique_ptr<HostEnd> host;

    LineFixture()
    {
        qputenv("PORTWREN_COM1", QByteArray("pty:") + link.toLocal8Bit());
        w = std::make_unique<frm_PORTWREN>();
        w->terminateProgram = [] {};
    }

    // Chooses a mode as the operator does, then opens Com1: and the host's end.
    bool open(int mode)
    {
        QTest::mouseClick(w->Option1[mode], Qt::LeftButton, {},
                          QPoint(6, w->Option1[mode]->height() / 2));
        w->btnOpen_Click();
        if (w->OpenFlag != 1)
            return false;
        host = std::make_unique<HostEnd>(link);
        return host->fd() >= 0;
    }

    // Lets the program run until the host has received at least n bytes (or 5 s went by);
    // returns what the host received and forgets it.
    QByteArray receive(int n)
    {
        (void)QTest::qWaitFor([&] { return host->collect().size() - taken >= n; }, 5000);
        const QByteArray all = host->collect();
        const QByteArray got = all.mid(taken);
        taken = all.size();
        return got;
    }
    qsizetype taken = 0;
};
