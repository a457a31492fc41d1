// SPDX-License-Identifier: MIT
#include "ui/MainWindow.h"

#include "session/LineSession.h"
#include "session/SessionLog.h"
#include "ui/HelpWindow.h"
#include "ui/RegisterWindow.h"
#include "ui/SendBytesDialog.h"
#include "ui/StoredChoices.h"
#include "ui/TrafficLogView.h"
#include "ui/Twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

MainWindow::MainWindow(LineSession &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    createControls();
    showSessionState();
    connectControls();
    connectSession();
    setStampPrecision(StoredChoices::stampPrecision());
}

MainWindow::~MainWindow()
{
    delete m_registerWindow;
    delete m_helpWindow;
}

// The controls start as the session stands: its texts, mode, port, frame end and HEX choice.
void MainWindow::showSessionState()
{
    m_settingsEdit->setText(m_session.settingsText());
    m_transmitEdit->setText(m_session.transmitText());
    m_quietTimeEdit->setText(m_session.quietTimeText());
    m_modeButtons[int(m_session.mode())]->setChecked(true);
    m_portButtons[m_session.portNumber() - 1]->setChecked(true);
    m_frameEndButtons[int(m_session.frameEnd())]->setChecked(true);
    m_hexButtons[m_session.hexDump() ? 0 : 1]->setChecked(true);
    showConnection(m_session.isOpen());
}

void MainWindow::connectControls()
{
    connect(m_openButton, &QPushButton::clicked, &m_session, &LineSession::open);
    connect(m_closeButton, &QPushButton::clicked, &m_session, &LineSession::close);
    connect(m_endButton, &QPushButton::clicked, this, &MainWindow::end);
    connect(m_clearButton, &QPushButton::clicked, m_trafficLog, &TrafficLogView::clear);
    connect(m_helpButton, &QPushButton::clicked, this, &MainWindow::showHelp);
    connect(m_settingsEdit, &QLineEdit::textChanged, &m_session, &LineSession::setSettingsText);
    connect(m_transmitEdit, &QLineEdit::textChanged, &m_session, &LineSession::setTransmitText);
    connect(m_quietTimeEdit, &QLineEdit::textChanged, &m_session, &LineSession::setQuietTimeText);
    connect(m_hexButtons[0], &QRadioButton::toggled, &m_session, &LineSession::setHexDump);
    connect(m_trafficLog, &TrafficLogView::millisecondStampsChosen, this,
            &MainWindow::chooseStampPrecision);
}

void MainWindow::connectSession()
{
    m_sessionLog = new SessionLog(m_session, LogEscaping::None, this);
    connect(m_sessionLog, &SessionLog::lineLogged, this, &MainWindow::showLogLine);
    connect(&m_session, &LineSession::connectionChanged, this, &MainWindow::showConnection);
    connect(&m_session, &LineSession::modemLinesChanged, this, &MainWindow::showModemLines);
    // A text the session took from the box itself is left as it is, so typing keeps its cursor.
    const auto show = [this](auto changed, QLineEdit *edit) {
        connect(&m_session, changed, edit, [edit](const QString &text) {
            if (edit->text() != text)
                edit->setText(text);
        });
    };
    show(&LineSession::settingsTextChanged, m_settingsEdit);
    show(&LineSession::transmitTextChanged, m_transmitEdit);
    show(&LineSession::quietTimeTextChanged, m_quietTimeEdit);
    connect(&m_session, &LineSession::hexDumpChanged, this,
            [this](bool on) { m_hexButtons[on ? 0 : 1]->setChecked(true); });
    connect(&m_session, &LineSession::frameEndChanged, this,
            [this](FrameEnd end) { m_frameEndButtons[int(end)]->setChecked(true); });
    connect(&m_session, &LineSession::modeChanged, this,
            [this](SimMode mode) { m_modeButtons[int(mode)]->setChecked(true); });
}

// The log box paints the line when the program next waits (once for a burst of lines), so
// painting never holds back a reply.
void MainWindow::showLogLine(const LogLine &line)
{
    m_trafficLog->addLine(line);
}

void MainWindow::setStampPrecision(StampPrecision precision)
{
    m_sessionLog->setStampPrecision(precision);
    m_trafficLog->showMillisecondStamps(precision == StampPrecision::Milliseconds);
}

// The operator's choice in the log's context menu applies from the next line and is kept for
// the next runs.
void MainWindow::chooseStampPrecision(bool milliseconds)
{
    const StampPrecision precision =
        milliseconds ? StampPrecision::Milliseconds : StampPrecision::Seconds;
    setStampPrecision(precision);
    QString file;
    if (!StoredChoices::storeStampPrecision(precision, &file))
        m_session.note(
            NoteSource::Operator,
            QStringLiteral("  <<the log's time stamps could not be saved in %1>>").arg(file));
}

void MainWindow::showConnection(bool open)
{
    m_openButton->setEnabled(!open);
    m_closeButton->setEnabled(open);
    for (QRadioButton *port : m_portButtons)
        port->setEnabled(!open);
}

// Only the indicators that changed repaint, when the event loop turns; the session signals only
// changes, which keeps an idle program idle.
void MainWindow::showModemLines(const ModemLines &lines)
{
    const bool on[] = {lines.carrierDetect, lines.clearToSend, lines.dataSetReady,
                       lines.dataTerminalReady, lines.requestToSend};
    for (size_t i = 0; i < m_lineIndicators.size(); ++i)
        m_lineIndicators[i]->setText(on[i] ? QStringLiteral("◎") : QStringLiteral("○"));
}

void MainWindow::end()
{
    if (m_ending)
        return;
    m_ending = true;
    m_session.end();
    if (m_registerWindow)
        m_registerWindow->close();
    if (m_helpWindow)
        m_helpWindow->close();
    if (m_sendBytesDialog)
        m_sendBytesDialog->close();
    close();
    Q_EMIT endRequested();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing from the title bar ends the program as END does.
    event->accept();
    end();
}

// A double-click on "ラック" or "無人車" opens the data window; the click before it has already
// chosen the mode.
bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        for (int i = 0; i < SimModeCount; ++i)
            if (watched == m_modeButtons[i] && isComputerLink(SimMode(i)))
                openRegisterWindow();
    }
    return QWidget::eventFilter(watched, event);
}

// Each opening makes the window afresh, placed by the window system; an open one comes forward.
// The handshake's state is the session's, so it carries over.
void MainWindow::openRegisterWindow()
{
    if (!m_registerWindow || !m_registerWindow->isVisible()) // a closed one is being deleted
        m_registerWindow = new RegisterWindow(m_session);
    m_registerWindow->open();
}

RegisterWindow *MainWindow::registerWindow() const
{
    return m_registerWindow;
}

void MainWindow::showHelp()
{
    if (!m_helpWindow || !m_helpWindow->isVisible()) // a closed one is being deleted
        m_helpWindow = new HelpWindow;
    m_helpWindow->show();
    m_helpWindow->raise();
}

// One dialog at a time; a closed one is deleted, and the next is made afresh.
void MainWindow::openSendBytes()
{
    if (!m_sendBytesDialog) {
        m_sendBytesDialog = new SendBytesDialog(m_session, this);
        m_sendBytesDialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_sendBytesDialog->show();
    m_sendBytesDialog->raise();
    m_sendBytesDialog->activateWindow();
}

SendBytesDialog *MainWindow::sendBytesDialog() const
{
    return m_sendBytesDialog;
}

HelpWindow *MainWindow::helpWindow() const
{
    return m_helpWindow;
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitLogToWindow();
}

// The log box follows the window: its height is the outer height less 800 twips, its width
// the outer width less 2000, each only while that stays positive (and never below a pixel,
// which a remainder of a few twips would otherwise round down to).
void MainWindow::fitLogToWindow()
{
    const QSize outer = frameGeometry().size();
    const int h = twips(outer.height());
    const int w = twips(outer.width());
    QRect box = m_trafficLog->geometry();
    if (h > 800)
        box.setHeight(std::max(1, px(h - 800)));
    if (w > 2000)
        box.setWidth(std::max(1, px(w - 2000)));
    m_trafficLog->setGeometry(box);
}
