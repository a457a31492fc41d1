// SPDX-License-Identifier: MIT
#include "ui/RepeatDialog.h"

#include "session/Choices.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace
{
// The choices of the last Start, for the next dialog.
int lastPeriodMs = 1000;
int lastCount = 0;
} // namespace

RepeatDialog::RepeatDialog(LineSession &session, What what, QWidget *parent)
    : QDialog(parent), m_session(session), m_what(std::move(what))
{
    setObjectName(QStringLiteral("repeatDialog"));
    const QString name =
        std::holds_alternative<TransmitCommand>(m_what)
            ? transmitCaption(std::get<TransmitCommand>(m_what))
            : QString::fromLatin1(std::get<QByteArray>(m_what).toHex(' ').toUpper());
    setWindowTitle(QStringLiteral("Repeat %1").arg(name));
    auto *form = new QFormLayout(this);
    m_period = new QSpinBox(this);
    m_period->setObjectName(QStringLiteral("repeatPeriod"));
    m_period->setRange(RepeatPeriodRange.lo, RepeatPeriodRange.hi);
    m_period->setSuffix(QStringLiteral(" ms"));
    m_period->setValue(lastPeriodMs);
    form->addRow(QStringLiteral("Every"), m_period);
    m_count = new QSpinBox(this);
    m_count->setObjectName(QStringLiteral("repeatCount"));
    m_count->setRange(0, RepeatCountRange.hi);
    m_count->setSpecialValueText(QStringLiteral("until stopped"));
    m_count->setSuffix(QStringLiteral(" times"));
    m_count->setValue(lastCount);
    form->addRow(QStringLiteral("Count"), m_count);
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("repeatState"));
    m_state->setStyleSheet(QStringLiteral("color: #c00000;"));
    form->addRow(m_state);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton *startButton =
        buttons->addButton(QStringLiteral("Start"), QDialogButtonBox::AcceptRole);
    startButton->setObjectName(QStringLiteral("repeatStart"));
    startButton->setDefault(true);
    form->addRow(buttons);
    connect(startButton, &QPushButton::clicked, this, &RepeatDialog::start);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool RepeatDialog::start()
{
    lastPeriodMs = m_period->value();
    lastCount = m_count->value();
    const std::optional<QString> refusal =
        std::holds_alternative<TransmitCommand>(m_what)
            ? m_session.repeatTransmit(std::get<TransmitCommand>(m_what), lastPeriodMs, lastCount)
            : m_session.repeatBytes(std::get<QByteArray>(m_what), lastPeriodMs, lastCount);
    if (refusal) {
        m_state->setText(QStringLiteral("Not started: %1.").arg(*refusal));
        return false;
    }
    accept();
    return true;
}
