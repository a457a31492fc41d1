// SPDX-License-Identifier: MIT
#include "ui/WindowLook.h"

#include <QDir>
#include <QFontMetrics>

void installFontSubstitutions()
{
    QFont::insertSubstitutions(
        FixedPitchFontName, {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                             QStringLiteral("MS Gothic"), QStringLiteral("Monospace")});
    QFont::insertSubstitutions(ProportionalFontName,
                               {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("MS PGothic"), QStringLiteral("Sans Serif")});
}

QFont windowFont()
{
    QFont font(ProportionalFontName);
    font.setPointSize(9);
    return font;
}

void applyWindowLook(QWidget *window)
{
    window->setFont(windowFont());
    window->setStyleSheet(
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"
                       "QRadioButton { spacing: 2px; }"));
}

void fitFont(QWidget *widget, const QString &text, QSize room)
{
    QFont font = widget->font();
    for (qreal size = font.pointSizeF(); size > 5; size -= 0.25) {
        font.setPointSizeF(size);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(text) <= room.width() && metrics.height() <= room.height())
            break;
    }
    widget->setFont(font);
}

QIcon portwrenIcon()
{
    QIcon icon;
    const QDir sizes(QStringLiteral(":/icons"));
    for (const QString &name : sizes.entryList({QStringLiteral("portwren-*.png")}))
        icon.addFile(sizes.filePath(name));
    return icon;
}
