#include "ui/WindowLook.h"

#include <QFont>

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

QIcon portwrenIcon()
{
    return QIcon(QStringLiteral(":/portwren.png"));
}
