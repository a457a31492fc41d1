// The receive side: the port event, the 100 ms tick with its line monitor, and FrameProc.
#include "FrameResponder.h"
#include "Module1.h"
#include "ReceivePath.h"
#include "RegisterMemory.h"
#include "SerialPortService.h"
#include "SimMode.h"
#include "frm_PORTWREN.h"

#include <QLabel>
#include <QLineEdit>
#include <QTimer>

void frm_PORTWREN::MSComm1_OnComm()
{
    receive(ReceiveTrigger::PortEvent);
}

void frm_PORTWREN::Timer1_Timer()
{
    bool changed = false;
    const auto show = [&changed](QLabel *indicator, bool on) {
        const QString caption = on ? QStringLiteral("◎") : QStringLiteral("○");
        changed = changed || indicator->text() != caption;
        indicator->setText(caption);
    };
    show(lbl_cd, MSComm1->cdHolding());
    show(lbl_cts, MSComm1->ctsHolding());
    show(lbl_dsr, MSComm1->dsrHolding());
    show(lbl_dtr, MSComm1->dtrEnable());
    show(lbl_rts, MSComm1->rtsEnable());
    // Shown at once, before the receive path may block; an unchanged window needs no repaint,
    // which keeps an idle program idle.
    if (changed)
        repaint();
    receive(ReceiveTrigger::TimerTick);
}

void frm_PORTWREN::receive(ReceiveTrigger trigger)
{
    if (m_ending)
        return;
    ReceiveContext ctx{
        *MSComm1,
        *clock,
        RecvBuf,
        TermKind,
        [this] { return Text3->text(); },
        [this](const QByteArray &frame) { FrameProc(frame); },
        [this](bool on) { on ? Timer1->start() : Timer1->stop(); },
        [this](const QString &note) { DPrint(note); },
    };
    runReceive(trigger, ctx);
}

void frm_PORTWREN::FrameProc(const QByteArray &frame)
{
    ResponderState state;
    state.simMode = SimMode;
    state.termKind = TermKind;
    state.termStr = TermStr;
    state.hexOn = hexDisplayOn();
    state.dialText = Text2->text();
    for (const LineAction &action : respondToFrame(frame, state, registerMemory())) {
        if (action.kind == LineAction::Log)
            DPrint(action.text);
        else
            CommSend(*this, action.bytes);
    }
}
