#include "Fonts.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

void installFontSubstitutions()
{
    QFont::insertSubstitutions(FixedPitchFontName,
                               {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                                QStringLiteral("MS Gothic"), QStringLiteral("Monospace")});
    QFont::insertSubstitutions(ProportionalFontName,
                               {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("MS PGothic"), QStringLiteral("Sans Serif")});
}

QIcon portwrenIcon()
{
    // A plug-shaped mark in a few plain colours: a connector body with two pins.
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.fillRect(2, 4, 12, 8, QColor(0, 0, 128));
    p.fillRect(4, 6, 8, 4, QColor(0, 255, 255));
    p.fillRect(5, 12, 2, 3, QColor(128, 128, 128));
    p.fillRect(9, 12, 2, 3, QColor(128, 128, 128));
    p.fillRect(7, 1, 2, 3, QColor(255, 255, 0));
    return QIcon(pixmap);
}
