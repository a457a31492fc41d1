// SPDX-License-Identifier: MIT
#pragma once

// What the window tests and the end-to-end tests share: clicking an option as a person does,
// and a log row without its stamp.

#include <QRadioButton>
#include <QRegularExpression>
#include <QString>
#include <QTest>

// Clicks an option button on its indicator, as a person does (a short caption does not fill
// the button's whole width).
inline void clickOption(QRadioButton *option)
{
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

// A log row without the "[HH:mm:ss]" stamp it starts with, if any.
inline QString withoutStamp(QString row)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\]"));
    return row.remove(stamp);
}
