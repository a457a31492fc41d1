// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

// The help window "HELP": fixed text on how to use the main window and read the traffic log.
// Non-modal and without an owner; it deletes itself when closed.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    HelpWindow();
};
