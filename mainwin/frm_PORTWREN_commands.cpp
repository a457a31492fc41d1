// The operator's commands: mode, port and frame-end choice, open, close, end, the transmit
// buttons, CLR and "?".
#include "ControlCodes.h"
#include "Cp932.h"
#include "Module1.h"
#include "RegisterMemory.h"
#include "SerialPortService.h"
#include "SimMode.h"
#include "frm_DATA.h"
#include "frm_Help.h"
#include "frm_PORTWREN.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

void frm_PORTWREN::Option1_Click(int index)
{
    if (index != ModeNone) {
        Text1->setText(ModeSettings[index]);
        Text2->setText(ModeText[index]);
    }
    SimMode = static_cast<qint16>(index);
    TermKind = ModeTerm[index];
    selectFrameEnd(TermKind);
    TermStr = terminatorFor(TermKind);
}

void frm_PORTWREN::Option1_DblClick(int index)
{
    if (index == ModeRack || index == ModeVehicle)
        frm_DATA::openWindow();
}

void frm_PORTWREN::Option2_Click(int index)
{
    MSComm1->setCommPort(index + 1);
}

void frm_PORTWREN::Option3_Click(int index)
{
    TermKind = static_cast<qint16>(index);
    TermStr = terminatorFor(TermKind);
}

// Selects a frame-end option as a click would, running its handler when the choice changes.
void frm_PORTWREN::selectFrameEnd(int index)
{
    if (Option3[index]->isChecked())
        return;
    Option3[index]->setChecked(true);
    Option3_Click(index);
}

void frm_PORTWREN::showConnectionState(bool open)
{
    btnOpen->setEnabled(!open);
    btnClose->setEnabled(open);
    for (QRadioButton *port : Option2)
        port->setEnabled(!open);
}

void frm_PORTWREN::btnOpen_Click()
{
    if (!CommOpen(*this)) {
        DPrint(QStringLiteral("  <<OPENできません: ") + MSComm1->errorString() +
               QStringLiteral(">>"));
        return;
    }
    OpenFlag = 1;
    DPrint(QStringLiteral("----- OPEN  ----- Protcol=") + Text1->text());
    showConnectionState(true);
    switch (SimMode) {
    case ModePrGps:
        DPrint(QStringLiteral("  <<prGPS用モデム初期化＆CALL>>"));
        CommSend(*this, QByteArray("AT") + Ctl::CR + Ctl::LF);
        break;
    case ModeRack:
        registerMemory().applyRackPreset();
        break;
    case ModeVehicle:
        registerMemory().applyVehiclePreset();
        break;
    default:
        break;
    }
}

void frm_PORTWREN::btnClose_Click()
{
    CommClose(*this);
    OpenFlag = 0;
    DPrint(QStringLiteral("----- CLOSE -----"));
    showConnectionState(false);
}

void frm_PORTWREN::MSComm1_PortLost(const QString &reason)
{
    if (OpenFlag == 0)
        return;
    DPrint(QStringLiteral("  <<ポートが切断されました: ") + reason + QStringLiteral(">>"));
    btnClose_Click();
}

void frm_PORTWREN::btnEnd_Click()
{
    if (OpenFlag == 1)
        CommClose(*this);
    m_ending = true;
    Timer1->stop();
    frm_DATA::closeWindow();
    frm_Help::closeWindow();
    close();
    terminateProgram();
}

void frm_PORTWREN::btnClr_Click()
{
    RText->clear();
}

void frm_PORTWREN::btnHelp_Click()
{
    frm_Help::openWindow();
}

// A transmit button: nothing at all while the connection is closed; otherwise send, then note.
void frm_PORTWREN::sendFramed(const QByteArray &bytes, const QString &note)
{
    if (OpenFlag == 0)
        return;
    CommSend(*this, bytes);
    DPrint(note);
}

void frm_PORTWREN::btnSTX_Click()
{
    sendFramed(Ctl::STX + Cp932::encode(Text2->text()) + Ctl::ETX,
               QStringLiteral("　<<STX+TEXT+ETX>>"));
}

void frm_PORTWREN::btnCRLF_Click()
{
    sendFramed(Cp932::encode(Text2->text()) + Ctl::CR + Ctl::LF, QStringLiteral("　<<TEXT+CRLF>>"));
}

void frm_PORTWREN::btnCR_Click()
{
    sendFramed(Cp932::encode(Text2->text()) + Ctl::CR, QStringLiteral("　<<TEXT+CR>>"));
}

void frm_PORTWREN::btnACK_Click()
{
    sendFramed(Ctl::ACK, QStringLiteral("　<<ACK>>"));
}

void frm_PORTWREN::btnNAK_Click()
{
    sendFramed(Ctl::NAK, QStringLiteral("　<<NAK>>"));
}

void frm_PORTWREN::btnEOT_Click()
{
    sendFramed(Ctl::EOT, QStringLiteral("　<<EOT>>"));
}

void frm_PORTWREN::btnSEND_Click()
{
    if (OpenFlag == 0)
        return;
    const QByteArray text = Cp932::encode(Text2->text());
    if (SimMode == ModeRack || SimMode == ModeVehicle) {
        DPrint(QStringLiteral("  <<ENQを付加して送信>>"));
        CommSend(*this, Ctl::ENQ + text + FCS(text) + TermStr);
        return;
    }
    sendFramed(text, QStringLiteral("　<<TEXT>>"));
}
