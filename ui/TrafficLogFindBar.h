// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

// The traffic log's find bar: the text to find, Next (towards older rows) and Previous, and
// whether the last search found a row. It only asks; the log searches and answers.
class TrafficLogFindBar : public QWidget
{
    Q_OBJECT
public:
    explicit TrafficLogFindBar(QWidget *parent = nullptr);

    QString text() const;
    // Shows the bar with the text chosen, ready to type.
    void activate();
    // Shows the answer to the last search: nothing when found, "Not found" otherwise.
    void showFound(bool found);
    bool notFoundShown() const;

Q_SIGNALS:
    void findRequested(const QString &text, bool backward);
    void closed();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void request(bool backward);

    QLineEdit *m_edit = nullptr;
    QLabel *m_status = nullptr;
};
