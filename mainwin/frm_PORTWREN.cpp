#include "frm_PORTWREN.h"

#include "Clock.h"
#include "CommControl.h"
#include "ControlCodes.h"
#include "RegisterMemory.h"
#include "SimMode.h"
#include "SumCheck.h"
#include "TrafficLog.h"
#include "Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace
{
// The telephone number that the mode "prGPS" puts in the transmit box for the modem to dial.
const QString PrGpsDialNumber = QStringLiteral("09012345678");
} // namespace

frm_PORTWREN::frm_PORTWREN(SerialPortService *port, Clock *clockIn, QWidget *parent)
    : QWidget(parent), MSComm1(port ? port : new CommControl(this)),
      clock(clockIn ? clockIn : new SystemClock)
{
    if (!clockIn)
        m_ownedClock.reset(clock);
    terminateProgram = [] { QApplication::exit(0); };
    createControls();
    connectControls();
    Form_Load();
    Timer1->start();
}

frm_PORTWREN::~frm_PORTWREN() = default;

void frm_PORTWREN::connectControls()
{
    connect(btnOpen, &QPushButton::clicked, this, &frm_PORTWREN::btnOpen_Click);
    connect(btnClose, &QPushButton::clicked, this, &frm_PORTWREN::btnClose_Click);
    connect(btnEnd, &QPushButton::clicked, this, &frm_PORTWREN::btnEnd_Click);
    connect(btnClr, &QPushButton::clicked, this, &frm_PORTWREN::btnClr_Click);
    connect(btnHelp, &QPushButton::clicked, this, &frm_PORTWREN::btnHelp_Click);
    connect(btnEOT, &QPushButton::clicked, this, &frm_PORTWREN::btnEOT_Click);
    connect(btnACK, &QPushButton::clicked, this, &frm_PORTWREN::btnACK_Click);
    connect(btnNAK, &QPushButton::clicked, this, &frm_PORTWREN::btnNAK_Click);
    connect(btnCR, &QPushButton::clicked, this, &frm_PORTWREN::btnCR_Click);
    connect(btnCRLF, &QPushButton::clicked, this, &frm_PORTWREN::btnCRLF_Click);
    connect(btnSEND, &QPushButton::clicked, this, &frm_PORTWREN::btnSEND_Click);
    connect(btnSTX, &QPushButton::clicked, this, &frm_PORTWREN::btnSTX_Click);
    connect(Timer1, &QTimer::timeout, this, &frm_PORTWREN::Timer1_Timer);
    // Queued: a port event always runs as a handler of its own, never inside another one.
    connect(MSComm1, &SerialPortService::onComm, this, &frm_PORTWREN::MSComm1_OnComm,
            Qt::QueuedConnection);
    connect(MSComm1, &SerialPortService::portLost, this, &frm_PORTWREN::MSComm1_PortLost,
            Qt::QueuedConnection);
}

// Start-up: profiles, the rack preset, port 1 and the frame end by time.
void frm_PORTWREN::Form_Load()
{
    OpenFlag = 0;
    SimMode = ModeNone;
    // The control codes are the constants of ControlCodes.h, made once for the whole program.
    ModeSettings[0] = QString();
    ModeSettings[1] = QStringLiteral("9600,N,8,1");
    ModeSettings[2] = QStringLiteral("4800,N,8,1");
    ModeSettings[3] = QStringLiteral("9600,E,8,1");
    ModeSettings[4] = QStringLiteral("9600,E,8,1");
    ModeSettings[5] = QStringLiteral("9600,E,8,1");
    ModeText[0] = QString();
    ModeText[1] = PrGpsDialNumber;
    registerMemory().applyRackPreset();
    const qint16 terms[6] = {TermTime, TermCrLf, TermCrLf, TermTime, TermTime, TermTime};
    for (int i = 0; i < 6; ++i)
        ModeTerm[i] = terms[i];
    Option2[0]->setChecked(true);
    Option2_Click(0);
    TermKind = ModeTerm[0];
    selectFrameEnd(TermKind);
    TermStr = terminatorFor(TermKind);
    RecvBuf.clear();
}

// The log box follows the window: its height is the outer height less 800 twips, its width
// the outer width less 2000, each only while that stays positive.
void frm_PORTWREN::Form_Resize()
{
    const QSize outer = frameGeometry().size();
    const int h = twips(outer.height());
    const int w = twips(outer.width());
    QRect box = RText->geometry();
    if (h > 800)
        box.setHeight(px(h - 800));
    if (w > 2000)
        box.setWidth(px(w - 2000));
    RText->setGeometry(box);
}

void frm_PORTWREN::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frm_PORTWREN::closeEvent(QCloseEvent *event)
{
    // Closing from the title bar ends the program as END does.
    event->accept();
    if (!m_ending)
        btnEnd_Click();
}

bool frm_PORTWREN::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        for (int i = 0; i < 6; ++i)
            if (watched == Option1[i])
                Option1_DblClick(i);
    }
    return QWidget::eventFilter(watched, event);
}

QByteArray frm_PORTWREN::FCS(const QByteArray &text) const
{
    return ::FCS(text);
}

void frm_PORTWREN::DPrint(const QString &text)
{
    TrafficLog::prepend(RText, TrafficLog::line(clock->timeOfDay(), text));
    repaint();
}

bool frm_PORTWREN::hexDisplayOn() const
{
    return Option4[0]->isChecked();
}
