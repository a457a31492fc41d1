// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

// The marks of the traffic log's rows, as the help window's tooltip lists them.
inline const QString LogMarksLegend = QStringLiteral(
    "Marks in the traffic log:\n"
    "● a frame received\n"
    "◎ bytes sent\n"
    "☒ a control character in the text (STX, ETX, CR, …)\n"
    "Other rows are the program's notes. With HEX表示 On, the row above a ● or ◎ row\n"
    "holds its bytes as hexadecimal pairs.");

// The help window "HELP": fixed text on how to use the main window and read the traffic log,
// and the log's marks in its tooltip. Non-modal and without an owner; it deletes itself when
// closed.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    HelpWindow();
};
