// SPDX-License-Identifier: MIT
#pragma once

#include "registers/RegisterMemory.h"

#include <QWidget>
#include <array>
#include <optional>

class LineSession;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The data window "DATA VIEW&EDIT": the session's 128 registers as an editable grid, Auto or
// Manual play of the transport handshake, and the handshake's status row. While it is open and
// not editing, the session's handshake tick runs: each tick shows the registers (a register
// that changed is red, its word white, for one tick), then the handshake acts in Auto. It is made
// afresh for each opening and deletes itself when closed; the handshake's wait count is the
// session's and carries over.
class RegisterWindow : public QWidget
{
    Q_OBJECT
public:
    explicit RegisterWindow(LineSession &session);

    // Shows the window, loading it afresh when it was closed; brings an open one forward.
    void open();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createGrid();
    void createBottomRow();
    void setKeyboardOrder();
    void showAfresh();
    void startEditing();
    void storeEdits();
    void reset();
    void showTick();
    void refreshGrid();
    void markUnconvertibleBoxes();
    void showWord(int n, const QString &word);
    void setBoxColours(int n, const QColor &background, const QColor &text);
    QColor normalBackground() const;
    QColor normalText() const;

    LineSession &m_session;
    std::array<QLabel *, RegisterMemory::Count> m_registerNames{};
    std::array<QLineEdit *, RegisterMemory::Count> m_registerEdits{};
    QRadioButton *m_autoButton = nullptr;
    QRadioButton *m_manualButton = nullptr;
    QPushButton *m_editButton = nullptr;  // "編集": viewing -> editing
    QPushButton *m_storeButton = nullptr; // "登録": store the boxes, editing -> viewing
    QPushButton *m_resetButton = nullptr; // "R"
    QLabel *m_stepLabel = nullptr;
    QLabel *m_waitLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    // The status text shown before a refused "登録", put back once the boxes are stored.
    std::optional<QString> m_statusBeforeRefusal;
};
