// SPDX-License-Identifier: MIT
// The operator's tools in the main window: DTR and RTS switched by a click on their indicators,
// the indicators' context menu with BREAK, the repeat of a transmit command or bytes and the bar
// that shows it running, the OPEN button's menu with the wait for a lost port (kept between
// runs), and the log captured to a file. Each passes the operator's action to the session.
#include "platform/PortMap.h"
#include "session/Choices.h"
#include "session/LineSession.h"
#include "session/LogCapture.h"
#include "session/SessionLog.h"
#include "ui/MainWindow.h"
#include "ui/RepeatDialog.h"
#include "ui/StoredChoices.h"
#include "ui/TrafficLogView.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

namespace
{
// The indicators of the program's own outputs.
constexpr size_t DtrIndex = 3, RtsIndex = 4;
} // namespace

void MainWindow::createTools()
{
    m_breakMs = DefaultBreakMs;
    for (size_t i = 0; i < m_lineIndicators.size(); ++i) {
        for (QLabel *label : {m_lineCaptions[i], m_lineIndicators[i]}) {
            label->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(label, &QWidget::customContextMenuRequested, this,
                    [this, label](const QPoint &at) { showLineMenu(label->mapToGlobal(at)); });
        }
    }
    m_openButton->installEventFilter(this);
    for (size_t i : {DtrIndex, RtsIndex}) {
        for (QLabel *label : {m_lineCaptions[i], m_lineIndicators[i]}) {
            label->installEventFilter(this);
            label->setCursor(Qt::PointingHandCursor);
        }
    }
    connect(&m_session, &LineSession::waitingForChanged, this,
            [this] { showConnection(m_session.isOpen()); });
    if (StoredChoices::reconnect())
        m_session.setReconnect(true);
    m_capture = new LogCapture(m_session, CaptureFile::DefaultFileLimit, this);
    connect(m_sessionLog, &SessionLog::lineLogged, m_capture, &LogCapture::add);
    connect(m_capture, &LogCapture::changed, this, &MainWindow::showLogToFile);
    connect(m_trafficLog, &TrafficLogView::logToFileChosen, this, &MainWindow::chooseLogFile);
    createRepeatBar();
    connect(&m_session, &LineSession::repeatChanged, this, &MainWindow::showRepeat);
    showLineTips();
}

// OPEN's context menu. OPEN is disabled while the port is open, and a disabled widget takes
// no context menu itself: the window watches for it, so the choice is there open or closed.
bool MainWindow::openMenuAsked(QObject *watched, QEvent *event)
{
    if (watched != m_openButton || event->type() != QEvent::ContextMenu)
        return false;
    showOpenMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
    return true;
}

// A click on DTR or RTS (its indicator or caption) switches the output.
bool MainWindow::toggleOutputClicked(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonRelease ||
        static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
        return false;
    const ModemLines lines = m_session.modemLines();
    for (size_t i : {DtrIndex, RtsIndex}) {
        if (watched != m_lineIndicators[i] && watched != m_lineCaptions[i])
            continue;
        if (i == DtrIndex)
            m_session.setDataTerminalReady(!lines.dataTerminalReady);
        else
            m_session.setRequestToSend(!lines.requestToSend);
        return true;
    }
    return false;
}

// The lines' context menu: DTR and RTS as switches, and BREAK.
void MainWindow::showLineMenu(const QPoint &globalPosition)
{
    const ModemLines lines = m_session.modemLines();
    const bool open = m_session.isOpen();
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("lineMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setToolTipsVisible(true);
    const bool virtualLine = PortMap::isVirtualLine(m_session.deviceFor(m_session.portNumber()));
    const auto add = [&](const char *name, const QString &text, auto act) {
        QAction *action = menu->addAction(text, this, act);
        action->setObjectName(QLatin1String(name));
        action->setEnabled(open);
        if (virtualLine)
            action->setToolTip(QStringLiteral("Not carried on a virtual line"));
        return action;
    };
    QAction *dtr = add("dtr", QStringLiteral("DTR"), [this, on = !lines.dataTerminalReady] {
        m_session.setDataTerminalReady(on);
    });
    dtr->setCheckable(true);
    dtr->setChecked(lines.dataTerminalReady);
    QAction *rts = add("rts", QStringLiteral("RTS"),
                       [this, on = !lines.requestToSend] { m_session.setRequestToSend(on); });
    rts->setCheckable(true);
    rts->setChecked(lines.requestToSend);
    menu->addSeparator();
    add("break", QStringLiteral("BREAK %1 ms").arg(m_breakMs), [this] {
        sendBreak();
    })->setEnabled(open && !m_session.isBreakOn());
    add("breakLength", QStringLiteral("BREAK of…"), [this] {
        askBreakLength();
    })->setEnabled(open && !m_session.isBreakOn());
    menu->popup(globalPosition);
}

void MainWindow::sendBreak()
{
    m_session.sendBreak(m_breakMs);
}

// The length is kept for the next BREAK; the dialog does not block the line.
void MainWindow::askBreakLength()
{
    auto *dialog = new QInputDialog(this);
    dialog->setObjectName(QStringLiteral("breakLengthDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("BREAK"));
    dialog->setLabelText(QStringLiteral("Length of the BREAK in ms:"));
    dialog->setInputMode(QInputDialog::IntInput);
    dialog->setIntRange(BreakRange.lo, BreakRange.hi);
    dialog->setIntValue(m_breakMs);
    connect(dialog, &QInputDialog::intValueSelected, this, [this](int ms) {
        m_breakMs = ms;
        sendBreak();
    });
    dialog->open();
}

// A virtual line carries neither DTR, RTS nor BREAK: the controls say so before they are used.
void MainWindow::showLineTips()
{
    const bool virtualLine = PortMap::isVirtualLine(m_session.deviceFor(m_session.portNumber()));
    for (size_t i : {DtrIndex, RtsIndex}) {
        const QString line = m_lineCaptions[i]->text();
        const QString tip =
            virtualLine ? QStringLiteral("%1: not carried on a virtual line (its far end cannot "
                                         "see it, nor BREAK)")
                              .arg(line)
                        : QStringLiteral("%1: click to switch it on or off; right-click for "
                                         "BREAK")
                              .arg(line);
        m_lineCaptions[i]->setToolTip(tip);
        m_lineIndicators[i]->setToolTip(tip);
    }
}

// One dialog at a time; a new choice of what to repeat replaces an open one.
void MainWindow::openRepeatDialog(const std::variant<TransmitCommand, QByteArray> &what)
{
    if (m_repeatDialog)
        m_repeatDialog->close();
    m_repeatDialog = new RepeatDialog(m_session, what, this);
    m_repeatDialog->setAttribute(Qt::WA_DeleteOnClose);
    m_repeatDialog->show();
    m_repeatDialog->raise();
    m_repeatDialog->activateWindow();
}

RepeatDialog *MainWindow::repeatDialog() const
{
    return m_repeatDialog;
}

void MainWindow::createRepeatBar()
{
    m_repeatBar = new QWidget(this);
    m_repeatBar->setObjectName(QStringLiteral("repeatBar"));
    m_repeatBar->setAutoFillBackground(true);
    m_repeatBar->setStyleSheet(QStringLiteral("#repeatBar { background: #fff3c0; }"));
    auto *layout = new QHBoxLayout(m_repeatBar);
    layout->setContentsMargins(4, 1, 1, 1);
    m_repeatText = new QLabel(m_repeatBar);
    m_repeatText->setObjectName(QStringLiteral("repeatText"));
    layout->addWidget(m_repeatText, 1);
    auto *stop = new QPushButton(QStringLiteral("Stop"), m_repeatBar);
    stop->setObjectName(QStringLiteral("repeatStop"));
    connect(stop, &QPushButton::clicked, &m_session, &LineSession::stopRepeat);
    layout->addWidget(stop);
    m_repeatBar->hide();
}

// The bar is there while a repeat runs, and counts its sends.
void MainWindow::showRepeat()
{
    const RepeatPlayer &repeat = m_session.repeat();
    m_repeatBar->setVisible(repeat.isRunning());
    if (!repeat.isRunning())
        return;
    const RepeatPlayer::Plan &plan = repeat.plan();
    const QString sent = plan.count > 0
                             ? QStringLiteral("%1 of %2 sent").arg(repeat.sent()).arg(plan.count)
                             : QStringLiteral("%1 sent").arg(repeat.sent());
    m_repeatText->setText(QStringLiteral("Repeating %1 every %2 ms: %3%4")
                              .arg(plan.what)
                              .arg(plan.periodMs)
                              .arg(sent, repeat.isWaitingForLine()
                                             ? QStringLiteral("; waiting for the line to take "
                                                              "the last one")
                                             : QString()));
    placeRepeatBar();
    m_repeatBar->raise();
}

// Over the foot of the log box, its full width.
void MainWindow::placeRepeatBar()
{
    if (!m_repeatBar)
        return;
    const QRect log = m_trafficLog->geometry();
    const int height = m_repeatBar->sizeHint().height();
    m_repeatBar->setGeometry(log.left(), log.bottom() + 1 - height, log.width(), height);
}

void MainWindow::showOpenMenu(const QPoint &globalPosition)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("openMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *reconnect = menu->addAction(QStringLiteral("Reconnect when the port is lost"), this,
                                         &MainWindow::chooseReconnect);
    reconnect->setObjectName(QStringLiteral("reconnect"));
    reconnect->setCheckable(true);
    reconnect->setChecked(m_session.reconnects());
    menu->popup(globalPosition);
}

// The choice is kept for the next runs.
void MainWindow::chooseReconnect(bool on)
{
    m_session.setReconnect(on);
    QString file;
    if (!StoredChoices::storeReconnect(on, &file))
        m_session.note(
            NoteSource::Operator,
            QStringLiteral("  <<the reconnect choice could not be saved in %1>>").arg(file));
}

void MainWindow::chooseLogFile(const QString &path)
{
    if (path.isEmpty())
        m_capture->stop();
    else
        m_capture->start(path);
}

void MainWindow::showLogToFile()
{
    m_trafficLog->showLogToFile(m_capture->isActive() ? QFileInfo(m_capture->path()).fileName()
                                                      : QString());
}
