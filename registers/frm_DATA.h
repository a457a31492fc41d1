#pragma once

#include "HandshakeAutomaton.h"
#include "RegisterMemory.h"

#include <QWidget>
#include <array>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// The data window "DATA VIEW&EDIT": the 128 registers as an editable grid, Auto/Manual mode
// and the transport handshake's status row. There is at most one. Closing it hides it and
// stops its timer; the next opening loads it afresh into the same object, so the
// handshake's wait count carries over while everything else starts again.
class frm_DATA : public QWidget
{
    Q_OBJECT
public:
    // Shows the one data window: creates and loads it when it is not open, otherwise brings the
    // open one forward. Non-modal.
    static frm_DATA *openWindow();
    // Closes the data window if it is open.
    static void closeWindow();
    // The open data window, or nullptr.
    static frm_DATA *current();

    // Event handlers, wired to the controls; callable directly (the tick in particular).
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void cmdReset_Click();
    void Option1_Click();
    void Option2_Click();
    void Timer1_Timer();

    // Controls, named as in the layout; objectNames "Label1_<i>", "Text1_<i>" for the grid.
    std::array<QLabel *, RegisterMemory::Count> Label1{};
    std::array<QLineEdit *, RegisterMemory::Count> Text1{};
    QGroupBox *Frame1 = nullptr;
    QRadioButton *Option1 = nullptr; // "Auto"
    QRadioButton *Option2 = nullptr; // "Manual"
    QPushButton *Command1 = nullptr; // "編集": viewing -> editing
    QPushButton *Command2 = nullptr; // "登録": store the boxes, editing -> viewing
    QPushButton *cmdReset = nullptr; // "R"
    QLabel *lblStep = nullptr;
    QLabel *lblWait = nullptr;
    QLabel *lblSTATUS = nullptr;
    QTimer *Timer1 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    frm_DATA();
    void createGrid();
    void createBottomRow();
    void setKeyboardOrder();
    void refreshGrid();
    bool convertAllBoxes(std::array<qint16, RegisterMemory::Count> &values);
    void setBoxBackground(int n, const QColor &colour);
    QColor normalBackground() const;

    HandshakeAutomaton m_automaton;
    // The status text shown before a refused "登録", put back once the boxes are stored.
    std::optional<QString> m_statusBeforeRefusal;
};
