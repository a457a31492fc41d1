// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QIcon>
#include <QSize>
#include <QString>
#include <QWidget>

#include "ui/Twips.h"

// The layout's font names. installFontSubstitutions() maps them once at start-up to the
// Japanese fonts installed here; fixedPitchFont() finds another where none is.
inline const QString FixedPitchFontName = QStringLiteral("ＭＳ ゴシック");
inline const QString ProportionalFontName = QStringLiteral("ＭＳ Ｐゴシック");

void installFontSubstitutions();

// The windows' default font: the proportional Japanese UI font at 9 points.
QFont windowFont();

// The log's and the register names' font at 9 points: the layout's fixed-pitch font where a
// font installed here stands in for it with characters of one width, else the first installed
// family that has them (each is measured: an alias such as "Monospace" may lead to any font),
// so that hex dumps line up whatever fonts the machine has.
QFont fixedPitchFont();

// Gives a window its look: the default font, and frames whose caption stands on their border
// line, as the layout's frames do.
void applyWindowLook(QWidget *window);

// Names a control after the layout and puts it at its place, given in twips. The font is set
// on each control: inside a frame that the window's style sheet draws, it would otherwise fall
// back to the application's default instead of the window's.
template <typename W> W *placed(W *widget, const QString &name, int x, int y, int w, int h)
{
    widget->setObjectName(name);
    widget->setGeometry(twipsRect(x, y, w, h));
    widget->setFont(windowFont());
    return widget;
}

// Lowers the widget's font size until text fits in room, one line high; the size the layout
// gives a control is fixed, while fonts and screens differ.
void fitFont(QWidget *widget, const QString &text, QSize room);

// The largest font of the widget's family in which text fits in room, one line high, whole
// pixels from room's height down: a box that the layout sizes shows its widest text as large as
// it can.
QFont largestFontFitting(QFont font, const QString &text, QSize room);

// Lowers the font size of each widget until its size hint fits its width, then gives all of
// them the smallest, so that a row of controls (the port buttons) reads alike.
void fitToWidths(const QList<QWidget *> &widgets);

// The program's window icon, in every size rendered from its drawing (16 to 256 pixels): the
// window system picks the one it shows.
QIcon portwrenIcon();
