#include "ui/MainWindow.h"

#include "session/LineSession.h"
#include "ui/HelpWindow.h"
#include "ui/RegisterWindow.h"
#include "ui/TrafficLogView.h"
#include "ui/Twips.h"

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
}

MainWindow::~MainWindow() = default;

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
    connect(m_endButton, &QPushButton::clicked, this, &MainWindow::endProgram);
    connect(m_clearButton, &QPushButton::clicked, m_trafficLog, &TrafficLogView::clear);
    connect(m_helpButton, &QPushButton::clicked, this, &MainWindow::showHelp);
    connect(m_settingsEdit, &QLineEdit::textChanged, &m_session, &LineSession::setSettingsText);
    connect(m_transmitEdit, &QLineEdit::textChanged, &m_session, &LineSession::setTransmitText);
    connect(m_quietTimeEdit, &QLineEdit::textChanged, &m_session, &LineSession::setQuietTimeText);
    connect(m_hexButtons[0], &QRadioButton::toggled, &m_session, &LineSession::setHexDump);
}

void MainWindow::connectSession()
{
    connect(&m_session, &LineSession::lineLogged, this, &MainWindow::showLogLine);
    connect(&m_session, &LineSession::connectionChanged, this, &MainWindow::showConnection);
    connect(&m_session, &LineSession::modemLinesChanged, this, &MainWindow::showModemLines);
    connect(&m_session, &LineSession::settingsTextChanged, m_settingsEdit, &QLineEdit::setText);
    connect(&m_session, &LineSession::transmitTextChanged, m_transmitEdit, &QLineEdit::setText);
    connect(&m_session, &LineSession::frameEndChanged, this,
            [this](FrameEnd end) { m_frameEndButtons[int(end)]->setChecked(true); });
}

// Every line is on screen before the program goes on: the window repaints at once.
void MainWindow::showLogLine(const QString &line)
{
    m_trafficLog->addLine(line);
    repaint();
}

void MainWindow::showConnection(bool open)
{
    m_openButton->setEnabled(!open);
    m_closeButton->setEnabled(open);
    for (QRadioButton *port : m_portButtons)
        port->setEnabled(!open);
}

// Shown at once, before the receive path may wait; the session signals only changes, which
// keeps an idle program idle.
void MainWindow::showModemLines(const ModemLines &lines)
{
    const bool on[] = {lines.carrierDetect, lines.clearToSend, lines.dataSetReady,
                       lines.dataTerminalReady, lines.requestToSend};
    for (size_t i = 0; i < m_lineIndicators.size(); ++i)
        m_lineIndicators[i]->setText(on[i] ? QStringLiteral("◎") : QStringLiteral("○"));
    repaint();
}

void MainWindow::end()
{
    if (!m_ending)
        endProgram();
}

void MainWindow::endProgram()
{
    m_ending = true;
    m_session.end();
    if (m_registerWindow)
        m_registerWindow->close();
    if (m_helpWindow)
        m_helpWindow->close();
    close();
    Q_EMIT endRequested();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing from the title bar ends the program as END does.
    event->accept();
    if (!m_ending)
        endProgram();
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

void MainWindow::openRegisterWindow()
{
    if (!m_registerWindow)
        m_registerWindow = std::make_unique<RegisterWindow>(m_session);
    m_registerWindow->open();
}

RegisterWindow *MainWindow::registerWindow() const
{
    return m_registerWindow && m_registerWindow->isVisible() ? m_registerWindow.get() : nullptr;
}

void MainWindow::showHelp()
{
    if (!m_helpWindow)
        m_helpWindow = new HelpWindow;
    m_helpWindow->show();
    m_helpWindow->raise();
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
// the outer width less 2000, each only while that stays positive.
void MainWindow::fitLogToWindow()
{
    const QSize outer = frameGeometry().size();
    const int h = twips(outer.height());
    const int w = twips(outer.width());
    QRect box = m_trafficLog->geometry();
    if (h > 800)
        box.setHeight(px(h - 800));
    if (w > 2000)
        box.setWidth(px(w - 2000));
    m_trafficLog->setGeometry(box);
}
