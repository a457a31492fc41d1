// SPDX-License-Identifier: MIT
#pragma once

#include "platform/SystemPorts.h"

#include <QByteArray>
#include <QPointer>
#include <QWidget>
#include <array>
#include <variant>

class HelpWindow;
class LineSession;
class LogCapture;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QAction;
class RegisterWindow;
class RepeatDialog;
class SendBytesDialog;
class SessionLog;
class TrafficLogView;
struct LogLine;
struct ModemLines;
enum class StampPrecision;
enum class TransmitCommand;

// The main window: a view of the line session. The port choice and settings, OPEN, CLOSE and
// END, the transmit commands, the mode, frame-end and HEX choices, the modem-line indicators
// and the traffic log. Each control passes the operator's action to the session; the window
// shows what the session signals. It opens the data window and the help window, a port
// button's menu, which chooses the device the port leads to, and the "Send bytes…" dialog (the
// context menu of the transmit buttons and the transmit box). The operator's tools: DTR and RTS
// switched by a click on their indicators, BREAK in the indicators' context menu, a transmit
// command or bytes repeated ("Repeat…", with a bar showing the repeat running), the wait for a
// lost port chosen in OPEN's context menu, and the log captured to a file from the log's.
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
    // Opens the "Repeat…" dialog for a transmit command or bytes (MainWindowTools.cpp).
    void openRepeatDialog(const std::variant<TransmitCommand, QByteArray> &what);
    RepeatDialog *repeatDialog() const;
    LogCapture &logCapture() const { return *m_capture; }
    // A BREAK of the length chosen last (250 ms at first).
    void sendBreak();

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
    void addRepeatMenus();
    // The operator's tools (MainWindowTools.cpp).
    void createTools();
    void createRepeatBar();
    bool toggleOutputClicked(QObject *watched, QEvent *event);
    bool openMenuAsked(QObject *watched, QEvent *event);
    void showLineMenu(const QPoint &globalPosition);
    void askBreakLength();
    void showLineTips();
    void showRepeat();
    void placeRepeatBar();
    void showOpenMenu(const QPoint &globalPosition);
    void chooseReconnect(bool on);
    void chooseLogFile(const QString &path);
    void showLogToFile();
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
    std::array<QLabel *, 5> m_lineIndicators{}, m_lineCaptions{};
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
    LogCapture *m_capture = nullptr;
    // Over the log's foot while a repeat runs: what it sends, how often, how many went; Stop.
    QWidget *m_repeatBar = nullptr;
    QLabel *m_repeatText = nullptr;
    int m_breakMs = 0;

    QPointer<RegisterWindow> m_registerWindow;
    QPointer<HelpWindow> m_helpWindow;
    QPointer<SendBytesDialog> m_sendBytesDialog;
    QPointer<RepeatDialog> m_repeatDialog;
};
