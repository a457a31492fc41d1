// SPDX-License-Identifier: MIT
#pragma once

#include "session/LineSession.h"

#include <QDialog>
#include <variant>

class QLabel;
class QPushButton;
class QSpinBox;

// "Repeat…": how often and how many times a transmit command, or bytes from "Send bytes…", go on
// the line; Start hands them to the session, which repeats them (the main window shows the
// repeat running and stops it). Not modal: the line goes on meanwhile. The period and count
// chosen last are offered again in this run.
class RepeatDialog : public QDialog
{
    Q_OBJECT
public:
    using What = std::variant<TransmitCommand, QByteArray>;
    RepeatDialog(LineSession &session, What what, QWidget *parent = nullptr);

    // Starts the repeat and closes the dialog; a refusal (a closed port) is shown in it.
    bool start();
    QSpinBox *periodBox() const { return m_period; }
    QSpinBox *countBox() const { return m_count; }

private:
    LineSession &m_session;
    What m_what;
    QSpinBox *m_period = nullptr;
    QSpinBox *m_count = nullptr;
    QLabel *m_state = nullptr;
};
