// SPDX-License-Identifier: MIT
#pragma once

#include "ui/ByteEntry.h"

#include <QDialog>

class LineSession;
class QComboBox;
class QLabel;
class QPushButton;

// "Send bytes…": the operator types bytes by their codes and sends exactly those bytes through
// the session's one transmit routine, logged as any transmission is, as often as wanted. The
// last entries sent are offered again, also in later runs. An entry that does not read is named
// in the dialog and nothing is sent. Not modal: the line goes on meanwhile.
class SendBytesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SendBytesDialog(LineSession &session, QWidget *parent = nullptr);

    // Reads the entry and sends its bytes. Returns whether they went on the line; the dialog
    // says what happened (the traffic log says why a send was refused).
    bool sendEntry();

private:
    void showEntryState(const QString &text);
    void showHistory();
    void showState(const QString &text, bool problem);

    LineSession &m_session;
    SentBytesHistory m_history;
    QComboBox *m_entry = nullptr;
    QLabel *m_state = nullptr;
    QPushButton *m_sendButton = nullptr;
};
