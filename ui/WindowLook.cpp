// SPDX-License-Identifier: MIT
#include "ui/WindowLook.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <algorithm>

namespace
{

// Whether the characters of hex dumps and time stamps all take one width in the font. Asked of
// the font itself, not of QFontInfo::fixedPitch(), which says no for the Japanese fonts whose
// characters are of two widths, half and full, and whose half-width ones line up.
bool charactersLineUp(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(QLatin1Char('0'));
    const QString sample = QStringLiteral("0123456789ABCDEF abcdef[]:.,<>|iWm");
    return std::all_of(sample.begin(), sample.end(),
                       [&](QChar c) { return metrics.horizontalAdvance(c) == width; });
}

} // namespace

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

QFont fixedPitchFont()
{
    QFont font(FixedPitchFontName, 9);
    if (charactersLineUp(font))
        return font;
    QStringList families{QFontDatabase::systemFont(QFontDatabase::FixedFont).family()};
    for (const QString &family : QFontDatabase::families()) {
        if (QFontDatabase::isFixedPitch(family))
            families << family;
    }
    for (const QString &family : families) {
        const QFont candidate(family, 9);
        if (charactersLineUp(candidate))
            return candidate;
    }
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
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

QFont largestFontFitting(QFont font, const QString &text, QSize room)
{
    for (int size = std::max(1, room.height()); size > 1; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(text) <= room.width() && metrics.height() <= room.height())
            break;
    }
    return font;
}

void fitToWidths(const QList<QWidget *> &widgets)
{
    qreal smallest = 0;
    for (QWidget *widget : widgets) {
        QFont font = widget->font();
        while (font.pointSizeF() > 5 && widget->sizeHint().width() > widget->width()) {
            font.setPointSizeF(font.pointSizeF() - 0.25);
            widget->setFont(font);
        }
        smallest = smallest == 0 ? font.pointSizeF() : std::min(smallest, font.pointSizeF());
    }
    for (QWidget *widget : widgets) {
        QFont font = widget->font();
        font.setPointSizeF(smallest);
        widget->setFont(font);
    }
}

QIcon portwrenIcon()
{
    QIcon icon;
    const QDir sizes(QStringLiteral(":/icons"));
    for (const QString &name : sizes.entryList({QStringLiteral("portwren-*.png")}))
        icon.addFile(sizes.filePath(name));
    return icon;
}
