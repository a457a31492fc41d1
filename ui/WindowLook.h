#pragma once

#include <QFont>
#include <QIcon>
#include <QString>

// The layout's font names. installFontSubstitutions() maps them once at start-up to the
// Japanese fonts installed here, so the log's hex dumps line up.
inline const QString FixedPitchFontName = QStringLiteral("ＭＳ ゴシック");
inline const QString ProportionalFontName = QStringLiteral("ＭＳ Ｐゴシック");

void installFontSubstitutions();

// The windows' default font: the proportional Japanese UI font at 9 points.
QFont windowFont();

// The program's 16 x 16 window icon.
QIcon portwrenIcon();
