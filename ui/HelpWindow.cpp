// SPDX-License-Identifier: MIT
#include "ui/HelpWindow.h"

#include "ui/WindowLook.h"

#include <QLabel>

#include <algorithm>

HelpWindow::HelpWindow()
{
    setObjectName(QStringLiteral("frm_Help"));
    setWindowTitle(QStringLiteral("HELP"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(px(4680), px(3195));
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);
    // The log's marks, shown over the whole window, also while another window is the active
    // one: the captions stay as they are.
    setToolTip(LogMarksLegend);
    setAttribute(Qt::WA_AlwaysShowToolTips);

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
    // One font for all captions, small enough for the longest to fit its label whole.
    QList<QLabel *> labels;
    for (int i = 0; i < captions.size(); ++i) {
        const int top = i < 7 ? 120 + 270 * i : 2910;
        QLabel *label = placed(new QLabel(captions[i], this), QStringLiteral("Label%1").arg(i + 1),
                               90, top, 4425, 195);
        label->setBackgroundRole(QPalette::ToolTipBase);
        label->setForegroundRole(QPalette::ToolTipText);
        fitFont(label, captions[i], label->size());
        labels << label;
    }
    const auto smallest = std::min_element(labels.begin(), labels.end(), [](auto *a, auto *b) {
        return a->font().pointSizeF() < b->font().pointSizeF();
    });
    for (QLabel *label : labels)
        label->setFont((*smallest)->font());
}
