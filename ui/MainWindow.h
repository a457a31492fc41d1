// SPDX-License-Identifier: MIT
#pragma once

#include "platform/SystemPorts.h"

#include <QPointer>
#include <QWidget>
#include <array>

class HelpWindow;
class LineSession;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QAction;
class RegisterWindow;
class SendBytesDialog;
class SessionLog;
class TrafficLogView;
struct LogLine;
struct ModemLines;
enum class StampPrecision;

// The main window: a view of the line session. The port choice and settings, OPEN, CLOSE and
// END, the transmit commands, the mode, frame-end and HEX choices, the modem-line indicators
// and the traffic log. Each control passes the operator's action to the session; the window
// shows what the session signals. It opens the data window and the help window, a port
// button's menu, which chooses the device the port leads to, and the "Send bytes…" dialog (the
// context menu of the transmit buttons and the transmit box).
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(LineSession &session, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens the data window, as a double-click on "ラック" or "無人車" does.
    void openRegisterWindow();
    // The open data window and help window, or nullptr.
    RegisterWindow *registerWindow() const;
    HelpWindow *helpWindow() const;
    TrafficLogView *trafficLog() const { return m_trafficLog; }
    // END: the port closes, every window closes, endRequested() follows; once only. The
    // title bar's close and a termination signal end the program this way too.
    void end();
    // Where the port buttons' menus take the machine's serial ports from (tests script it).
    void setPortLister(SystemPortLister lister);
    // The log's stamps from the next line on. The window starts with the choice stored from the
    // log's context menu; the command line's choice is for this run, and is not stored.
    void setStampPrecision(StampPrecision precision);
    // Opens the "Send bytes…" dialog, or brings the open one forward.
    void openSendBytes();
    SendBytesDialog *sendBytesDialog() const;

Q_SIGNALS:
    // END, or the window closed from its title bar: the port is closed and every window is
    // closed; the program ends now.
    void endRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createIndicators();
    void createCommandColumn();
    void createOptionFrames();
    void showSessionState();
    void connectControls();
    void connectSession();

    void showHelp();
    void chooseStampPrecision(bool milliseconds);
    void addSendBytesMenus();
    void showLogLine(const LogLine &line);
    void showConnection(bool open);
    void showModemLines(const ModemLines &lines);
    void fitLogToWindow();
    // The port buttons' menus (MainWindowPorts.cpp).
    void showPortMenu(int index, const QPoint &globalPosition);
    void choosePortDevice(int port, const QString &device);
    void askVirtualLinePath(int port);
    void showPortDevice(int port);

    LineSession &m_session;
    bool m_ending = false;
    SystemPortLister m_listPorts = listSystemPorts;

    // Top strip: the modem-line indicators (CD, CTS, DSR, DTR, RTS) and the port choice.
    std::array<QLabel *, 5> m_lineIndicators{};
    std::array<QRadioButton *, 6> m_portButtons{};
    // Left column.
    QPushButton *m_endButton = nullptr, *m_clearButton = nullptr, *m_helpButton = nullptr;
    QPushButton *m_openButton = nullptr, *m_closeButton = nullptr;
    QLineEdit *m_settingsEdit = nullptr, *m_transmitEdit = nullptr, *m_quietTimeEdit = nullptr;
    std::array<QRadioButton *, 6> m_modeButtons{};
    std::array<QRadioButton *, 3> m_frameEndButtons{};
    std::array<QRadioButton *, 2> m_hexButtons{}; // "On", "Off"
    TrafficLogView *m_trafficLog = nullptr;
    SessionLog *m_sessionLog = nullptr;
    QAction *m_sendBytesAction = nullptr;

    QPointer<RegisterWindow> m_registerWindow;
    QPointer<HelpWindow> m_helpWindow;
    QPointer<SendBytesDialog> m_sendBytesDialog;
};
