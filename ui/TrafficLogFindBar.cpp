// SPDX-License-Identifier: MIT
#include "ui/TrafficLogFindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

TrafficLogFindBar::TrafficLogFindBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("findText"));
    m_edit->setPlaceholderText(tr("Find"));
    m_edit->setClearButtonEnabled(true);
    m_status = new QLabel(tr("Not found"), this);
    m_status->setObjectName(QStringLiteral("findStatus"));
    m_status->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_status->hide();
    const auto button = [this](const QString &text, const QString &tip) {
        auto *b = new QToolButton(this);
        b->setText(text);
        b->setToolTip(tip);
        return b;
    };
    QToolButton *next = button(tr("Next"), tr("Find towards older lines (Enter)"));
    QToolButton *previous = button(tr("Previous"), tr("Find towards newer lines (Shift+Enter)"));
    QToolButton *close = button(QStringLiteral("×"), tr("Close (Esc)"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    row->addWidget(m_edit, 1);
    row->addWidget(next);
    row->addWidget(previous);
    row->addWidget(m_status);
    row->addWidget(close);
    connect(next, &QToolButton::clicked, this, [this] { request(false); });
    connect(previous, &QToolButton::clicked, this, [this] { request(true); });
    connect(close, &QToolButton::clicked, this, [this] {
        hide();
        Q_EMIT closed();
    });
    connect(m_edit, &QLineEdit::textEdited, this, [this] { m_status->hide(); });
}

QString TrafficLogFindBar::text() const
{
    return m_edit->text();
}

void TrafficLogFindBar::activate()
{
    show();
    m_edit->selectAll();
    m_edit->setFocus(Qt::ShortcutFocusReason);
}

void TrafficLogFindBar::showFound(bool found)
{
    m_status->setVisible(!found);
}

bool TrafficLogFindBar::notFoundShown() const
{
    return !m_status->isHidden();
}

void TrafficLogFindBar::request(bool backward)
{
    if (!m_edit->text().isEmpty())
        Q_EMIT findRequested(m_edit->text(), backward);
}

// Enter finds the next row, Shift+Enter the previous one; Esc closes the bar.
void TrafficLogFindBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        request(event->modifiers() & Qt::ShiftModifier);
    } else if (event->key() == Qt::Key_Escape) {
        hide();
        Q_EMIT closed();
    } else {
        QWidget::keyPressEvent(event);
    }
}
