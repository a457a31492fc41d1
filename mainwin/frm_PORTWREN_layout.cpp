// Builds the main window's controls at their designed places (positions in twips).
#include "PortMap.h"
#include "Twips.h"
#include "WindowLook.h"
#include "frm_PORTWREN.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace
{

template <typename W> W *place(W *widget, const QString &name, int x, int y, int w, int h)
{
    widget->setObjectName(name);
    widget->setGeometry(twipsRect(x, y, w, h));
    return widget;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, int x, int y,
                    int w, int h)
{
    return place(new QPushButton(caption, parent), name, x, y, w, h);
}

QLabel *label(QWidget *parent, const QString &name, const QString &caption, int x, int y, int w,
              int h)
{
    return place(new QLabel(caption, parent), name, x, y, w, h);
}

QRadioButton *option(QWidget *parent, QButtonGroup *group, const QString &name, int index,
                     const QString &caption, int x, int y, int w, int h)
{
    auto *b = place(new QRadioButton(caption, parent), name + QStringLiteral("_%1").arg(index), x,
                    y, w, h);
    group->addButton(b, index);
    return b;
}

} // namespace

void frm_PORTWREN::createControls()
{
    setObjectName(QStringLiteral("frm_PORTWREN"));
    setWindowTitle(QStringLiteral("PORTWREN"));
    setWindowIcon(portwrenIcon());
    resize(px(9795), px(6150));
    // Frames draw their caption on the border line, as the layout's frames do.
    setFont(windowFont());
    setStyleSheet(
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"
                       "QRadioButton { spacing: 2px; }"));

    // Modem-line indicators: caption, then its "○"/"◎" indicator, from x 1680 to 4650.
    const QString off = QStringLiteral("○");
    Label1 = label(this, QStringLiteral("Label1"), QStringLiteral("CD"), 1680, 60, 240, 180);
    lbl_cd = label(this, QStringLiteral("lbl_cd"), off, 1920, 60, 180, 180);
    Label5 = label(this, QStringLiteral("Label5"), QStringLiteral("CTS"), 2205, 60, 345, 180);
    lbl_cts = label(this, QStringLiteral("lbl_cts"), off, 2550, 60, 180, 180);
    Label2 = label(this, QStringLiteral("Label2"), QStringLiteral("DSR"), 2835, 60, 345, 180);
    lbl_dsr = label(this, QStringLiteral("lbl_dsr"), off, 3180, 60, 180, 180);
    Label3 = label(this, QStringLiteral("Label3"), QStringLiteral("DTR"), 3465, 60, 345, 180);
    lbl_dtr = label(this, QStringLiteral("lbl_dtr"), off, 3810, 60, 180, 180);
    Label7 = label(this, QStringLiteral("Label7"), QStringLiteral("RTS"), 4095, 60, 345, 180);
    lbl_rts = label(this, QStringLiteral("lbl_rts"), off, 4440, 60, 180, 180);

    auto *ports = new QButtonGroup(this);
    for (int i = 0; i < 6; ++i) {
        Option2[i] = option(this, ports, QStringLiteral("Option2"), i,
                            QStringLiteral("Com%1:").arg(i + 1), 4800 + 840 * i, 30, 795, 240);
        Option2[i]->setToolTip(PortMap::deviceFor(i + 1));
    }
    connect(ports, &QButtonGroup::idClicked, this, &frm_PORTWREN::Option2_Click);

    btnEnd = button(this, QStringLiteral("btnEnd"), QStringLiteral("END"), 90, 210, 705, 345);
    btnClr = button(this, QStringLiteral("btnClr"), QStringLiteral("CLR"), 825, 210, 495, 345);
    btnHelp = button(this, QStringLiteral("btnHelp"), QStringLiteral("?"), 1350, 210, 225, 345);
    btnOpen = button(this, QStringLiteral("btnOpen"), QStringLiteral("OPEN"), 90, 570, 705, 345);
    btnOpen->setToolTip(QStringLiteral("指定ポートをOPENします。"));
    btnClose =
        button(this, QStringLiteral("btnClose"), QStringLiteral("CLOSE"), 825, 570, 735, 345);
    btnClose->setEnabled(false);
    Text1 = place(new QLineEdit(QStringLiteral("9600,N,7,1"), this), QStringLiteral("Text1"), 90,
                  930, 1515, 285);

    btnEOT = button(this, QStringLiteral("btnEOT"), QStringLiteral("EOT"), 90, 1260, 465, 255);
    btnACK = button(this, QStringLiteral("btnACK"), QStringLiteral("ACK"), 585, 1260, 465, 255);
    btnNAK = button(this, QStringLiteral("btnNAK"), QStringLiteral("NAK"), 1080, 1260, 465, 255);
    Text2 = place(new QLineEdit(this), QStringLiteral("Text2"), 90, 1560, 1515, 285);
    btnCR = button(this, QStringLiteral("btnCR"), QStringLiteral("CR"), 90, 1860, 555, 255);
    btnCRLF = button(this, QStringLiteral("btnCRLF"), QStringLiteral("CR+LF"), 675, 1860, 915, 255);
    btnSEND = button(this, QStringLiteral("btnSEND"), QStringLiteral("SEND"), 90, 2130, 555, 255);
    btnSEND->setToolTip(QStringLiteral("ENQ及びチェックサムを付加して電文を送信します。"));
    btnSTX = button(this, QStringLiteral("btnSTX"), QStringLiteral("STX+ETX"), 675, 2130, 915, 255);
    for (QPushButton *b : {btnEOT, btnACK, btnNAK, btnCR, btnCRLF, btnSEND, btnSTX}) {
        QFont f(ProportionalFontName);
        f.setPointSizeF(8.25);
        b->setFont(f);
    }

    Frame1 = place(new QGroupBox(QStringLiteral("ﾓｰﾄﾞ"), this), QStringLiteral("Frame1"), 90, 2400,
                   1485, 1425);
    Frame1->setToolTip(QStringLiteral("シミュレータ機能を選択してください。"));
    auto *modes = new QButtonGroup(this);
    const QStringList modeCaptions = {QStringLiteral("NONE"),      QStringLiteral("prGPS"),
                                      QStringLiteral("MNEA"),      QStringLiteral("ラック"),
                                      QStringLiteral("ラックERR"), QStringLiteral("無人車")};
    for (int i = 0; i < 6; ++i) {
        Option1[i] = option(Frame1, modes, QStringLiteral("Option1"), i, modeCaptions[i], 120,
                            210 + 180 * i, 1275, 195);
        Option1[i]->installEventFilter(this);
    }
    const QString registerTip =
        QStringLiteral("ダブルクリックでデータレジスタの表示編集が出来ます。");
    Option1[3]->setToolTip(registerTip);
    Option1[5]->setToolTip(registerTip);
    Option1[0]->setChecked(true);
    connect(modes, &QButtonGroup::idClicked, this, &frm_PORTWREN::Option1_Click);

    Frame2 = place(new QGroupBox(QStringLiteral("ﾀｰﾐﾈｰﾀ"), this), QStringLiteral("Frame2"), 90,
                   3900, 1515, 1395);
    Frame2->setToolTip(QStringLiteral("電文のターミネータを選択してください"));
    auto *ends = new QButtonGroup(this);
    const QStringList endCaptions = {QStringLiteral("CRLF"), QStringLiteral("CR"),
                                     QStringLiteral("Time（ｍｓ）")};
    for (int i = 0; i < 3; ++i)
        Option3[i] = option(Frame2, ends, QStringLiteral("Option3"), i, endCaptions[i], 120,
                            300 + 210 * i, 1305, 210);
    Option3[0]->setChecked(true);
    connect(ends, &QButtonGroup::idClicked, this, &frm_PORTWREN::Option3_Click);
    Text3 = place(new QLineEdit(QStringLiteral("200"), Frame2), QStringLiteral("Text3"), 120, 990,
                  1005, 285);

    Frame3 = place(new QGroupBox(QStringLiteral("HEX表示"), this), QStringLiteral("Frame3"), 90,
                   5370, 1515, 525);
    Frame3->setToolTip(QStringLiteral("HEXをONにするとデータを16進表示できます。"));
    auto *hex = new QButtonGroup(this);
    Option4[0] =
        option(Frame3, hex, QStringLiteral("Option4"), 0, QStringLiteral("On"), 120, 240, 615, 225);
    Option4[1] = option(Frame3, hex, QStringLiteral("Option4"), 1, QStringLiteral("Off"), 780, 240,
                        615, 225);
    Option4[1]->setChecked(true);

    RText = place(new QPlainTextEdit(this), QStringLiteral("RText"), 1740, 330, 7845, 5565);
    RText->setFont(QFont(FixedPitchFontName, 9));
    RText->setReadOnly(true);
    RText->setUndoRedoEnabled(false);
    RText->setLineWrapMode(QPlainTextEdit::NoWrap);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
}
