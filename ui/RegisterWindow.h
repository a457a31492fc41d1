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
class QTimer;

// The data window "DATA VIEW&EDIT": the session's 128 registers as an editable grid, Auto or
// Manual play of the transport handshake, and the handshake's status row. Its one-second tick
// shows the registers (a register that changed is red for one tick), then lets the handshake
// act in Auto. It is made afresh for each opening and deletes itself when closed; the
// handshake's wait count is the session's and carries over.
class RegisterWindow : public QWidget
{
    Q_OBJECT
public:
    explicit RegisterWindow(LineSession &session);

    // Shows the window, loading it afresh when it was closed; brings an open one forward.
    void open();
    // One tick: refresh the grid, show step and wait, then the handshake's step in Auto.
    void tick();

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
    void refreshGrid();
    bool convertAllBoxes(std::array<qint16, RegisterMemory::Count> &values);
    void showWord(int n, const QString &word);
    void setBoxBackground(int n, const QColor &colour);
    QColor normalBackground() const;

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
    QTimer *m_tickTimer = nullptr;
    // The status text shown before a refused "登録", put back once the boxes are stored.
    std::optional<QString> m_statusBeforeRefusal;
};
