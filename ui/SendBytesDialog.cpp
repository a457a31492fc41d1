// SPDX-License-Identifier: MIT
#include "ui/SendBytesDialog.h"

#include "session/LineSession.h"
#include "ui/StoredChoices.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SendBytesDialog::SendBytesDialog(LineSession &session, QWidget *parent)
    : QDialog(parent), m_session(session), m_history(StoredChoices::sentBytes())
{
    setObjectName(QStringLiteral("sendBytesDialog"));
    setWindowTitle(QStringLiteral("Send bytes"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Bytes as pairs of hexadecimal digits, e.g. 05 30 30 57 52:"), this));
    m_entry = new QComboBox(this);
    m_entry->setObjectName(QStringLiteral("sendBytesEntry"));
    m_entry->setEditable(true);
    m_entry->setInsertPolicy(QComboBox::NoInsert);
    m_entry->setMinimumContentsLength(32);
    layout->addWidget(m_entry);
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("sendBytesState"));
    m_state->setWordWrap(true);
    layout->addWidget(m_state);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_sendButton = buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::ActionRole);
    m_sendButton->setObjectName(QStringLiteral("sendBytesSend"));
    m_sendButton->setDefault(true);
    layout->addWidget(buttons);

    showHistory();
    m_entry->setCurrentText(m_history.entries().value(0));
    showEntryState(m_entry->currentText());
    connect(m_entry, &QComboBox::currentTextChanged, this, &SendBytesDialog::showEntryState);
    connect(m_sendButton, &QPushButton::clicked, this, &SendBytesDialog::sendEntry);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool SendBytesDialog::sendEntry()
{
    const ByteEntry entry = readByteEntry(m_entry->currentText());
    if (!entry.reads()) {
        showState(entry.problem, true);
        return false;
    }
    const bool sent = m_session.send(entry.bytes);
    const QString text = m_entry->currentText();
    m_history.remember(entry.bytes);
    showHistory();
    m_entry->setCurrentText(text);
    QString where;
    const QString kept =
        StoredChoices::storeSentBytes(m_history.entries(), &where)
            ? QString()
            : QStringLiteral(" The recent entries could not be saved in %1.").arg(where);
    if (sent)
        showState(QStringLiteral("Sent %1 bytes.").arg(entry.bytes.size()) + kept, !kept.isEmpty());
    else
        showState(QStringLiteral("Not sent: the traffic log says why.") + kept, true);
    return sent;
}

// While the operator types, the count of bytes the entry holds; a problem waits for Send.
void SendBytesDialog::showEntryState(const QString &text)
{
    const ByteEntry entry = readByteEntry(text);
    showState(entry.reads() ? QStringLiteral("%1 bytes").arg(entry.bytes.size()) : QString(),
              false);
}

void SendBytesDialog::showHistory()
{
    const QSignalBlocker quiet(m_entry);
    m_entry->clear();
    m_entry->addItems(m_history.entries());
}

void SendBytesDialog::showState(const QString &text, bool problem)
{
    m_state->setText(text);
    m_state->setStyleSheet(problem ? QStringLiteral("color: #c00000;") : QString());
}
