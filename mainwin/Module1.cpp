#include "Module1.h"

#include "Cp932.h"
#include "SerialPortService.h"
#include "SumCheck.h"
#include "frm_PORTWREN.h"

#include <QLineEdit>

bool CommOpen(frm_PORTWREN &form)
{
    SerialPortService &port = *form.MSComm1;
    port.setInputLen(0);
    port.setRThreshold(1);
    port.setRTSEnable(true);
    const QString settings = form.Text1->text();
    if (!settings.trimmed().isEmpty())
        port.setSettings(settings);
    port.setSThreshold(1);
    return port.setPortOpen(true);
}

void CommClose(frm_PORTWREN &form)
{
    form.MSComm1->setPortOpen(false);
}

void CommSend(frm_PORTWREN &form, const QByteArray &text)
{
    SerialPortService &port = *form.MSComm1;
    if (!port.portOpen()) {
        form.DPrint(QStringLiteral("  <<ポートが閉じているため送信しませんでした: ") +
                    Cp932::decode(text) + QStringLiteral(">>"));
        return;
    }
    if (!port.output(text)) {
        form.DPrint(QStringLiteral("  <<送信できませんでした: ") + port.errorString() +
                    QStringLiteral(">>"));
        return;
    }
    form.DPrint(QStringLiteral("◎") + Cp932::decode(text));
    if (form.hexDisplayOn() && !text.isEmpty())
        form.DPrint(QStringLiteral("　") + hexDump(text));
}
