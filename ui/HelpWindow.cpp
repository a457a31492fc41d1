#include "ui/HelpWindow.h"

#include "ui/Twips.h"

#include <QLabel>

HelpWindow::HelpWindow()
{
    setObjectName(QStringLiteral("frm_Help"));
    setWindowTitle(QStringLiteral("HELP"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(px(4680), px(3195));
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);

    const QStringList captions = {
        QStringLiteral("ﾓｰﾄﾞを選択してからOPENしてください。"),
        QStringLiteral("OPEN後ﾓｰﾄﾞを変更しても通信速度などは変わりません。"),
        QStringLiteral("でも、プログラムは切り替わります。"),
        QStringLiteral("CLRのボタンで履歴表示のクリアができます。"),
        QStringLiteral("履歴の●の行は受信ﾃｷｽﾄです。"),
        QStringLiteral("履歴の◎の行は送信ﾃｷｽﾄです。"),
        QStringLiteral("その他スペースの行はｺﾒﾝﾄです。"),
        QStringLiteral("PORTWREN Ver4.0  by the PORTWREN developers"),
    };
    for (int i = 0; i < captions.size(); ++i) {
        auto *label = new QLabel(captions[i], this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        const int top = i < 7 ? 120 + 270 * i : 2910;
        label->setGeometry(twipsRect(90, top, 4425, 195));
        label->setBackgroundRole(QPalette::ToolTipBase);
        label->setForegroundRole(QPalette::ToolTipText);
    }
}
