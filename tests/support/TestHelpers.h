// SPDX-License-Identifier: MIT
#pragma once

// What the tests of the windows, of the program's runs and of its soak share: a log row without
// its stamp, and option buttons found and clicked as a person clicks them.

#include <QRegularExpression>
#include <QString>

// A log row without the "[HH:mm:ss]" stamp it starts with, if any.
inline QString withoutStamp(QString row)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\]"));
    return row.remove(stamp);
}

#ifdef QT_WIDGETS_LIB
#include <QRadioButton>
#include <QTest>

// An option button by its layout name: its group and its index, "Option1_3".
inline QRadioButton *option(const QWidget *window, const char *group, int index)
{
    const QString name = QStringLiteral("%1_%2").arg(QLatin1String(group)).arg(index);
    auto *found = window->findChild<QRadioButton *>(name);
    if (!found)
        qFatal("no option %s", qPrintable(name));
    return found;
}

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
#endif
