// SPDX-License-Identifier: MIT
// Builds the main window's controls at their designed places (positions in twips). Each
// control's objectName is its name in the layout.
#include "session/Choices.h"
#include "session/LineSession.h"
#include "session/ModeProfiles.h"
#include "ui/MainWindow.h"
#include "ui/TrafficLogView.h"
#include "ui/Twips.h"
#include "ui/WindowLook.h"

#include <QAction>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

namespace
{

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, int x, int y,
                    int w, int h)
{
    return placed(new QPushButton(caption, parent), name, x, y, w, h);
}

QLabel *label(QWidget *parent, const QString &name, const QString &caption, int x, int y, int w)
{
    return placed(new QLabel(caption, parent), name, x, y, w, 180);
}

// One button of an option group; its objectName is the group's name and its index.
QRadioButton *option(QWidget *parent, QButtonGroup *group, const char *groupName, int index,
                     const QString &caption, int x, int y, int w, int h)
{
    auto *b = placed(new QRadioButton(caption, parent),
                     QStringLiteral("%1_%2").arg(QLatin1String(groupName)).arg(index), x, y, w, h);
    group->addButton(b, index);
    return b;
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &caption, const QString &tip,
                 int x, int y, int w, int h)
{
    auto *box = placed(new QGroupBox(caption, parent), QLatin1String(name), x, y, w, h);
    box->setToolTip(tip);
    return box;
}

// The transmit buttons and the command each sends.
struct TransmitButton {
    const char *name;
    const char *caption;
    int x, y, w;
    TransmitCommand command;
};
constexpr TransmitButton TransmitButtons[] = {
    {"btnEOT", "EOT", 90, 1260, 465, TransmitCommand::Eot},
    {"btnACK", "ACK", 585, 1260, 465, TransmitCommand::Ack},
    {"btnNAK", "NAK", 1080, 1260, 465, TransmitCommand::Nak},
    {"btnCR", "CR", 90, 1860, 555, TransmitCommand::Cr},
    {"btnCRLF", "CR+LF", 675, 1860, 915, TransmitCommand::CrLf},
    {"btnSEND", "SEND", 90, 2130, 555, TransmitCommand::Send},
    {"btnSTX", "STX+ETX", 675, 2130, 915, TransmitCommand::StxEtx},
};

} // namespace

void MainWindow::createControls()
{
    setObjectName(QStringLiteral("frm_PORTWREN"));
    setWindowTitle(QStringLiteral("PORTWREN"));
    setWindowIcon(portwrenIcon());
    resize(px(9795), px(6150));
    applyWindowLook(this);
    createIndicators();
    createCommandColumn();
    createOptionFrames();
    m_trafficLog = placed(new TrafficLogView(this), QStringLiteral("RText"), 1740, 330, 7845, 5565);
    m_trafficLog->setFont(fixedPitchFont()); // placed() gave it the window's proportional font
}

// Modem-line indicators: caption, then its "○"/"◎" indicator (180 x 180, its glyph fitted to
// that), side by side from x 1680 to 4650; then the port choice.
void MainWindow::createIndicators()
{
    const struct {
        const char *captionName, *caption, *indicatorName;
        int x, captionWidth;
    } lines[] = {{"Label1", "CD", "lbl_cd", 1680, 270},
                 {"Label5", "CTS", "lbl_cts", 2235, 345},
                 {"Label2", "DSR", "lbl_dsr", 2865, 345},
                 {"Label3", "DTR", "lbl_dtr", 3495, 345},
                 {"Label7", "RTS", "lbl_rts", 4125, 345}};
    for (size_t i = 0; i < m_lineIndicators.size(); ++i) {
        const auto &line = lines[i];
        m_lineCaptions[i] = label(this, QLatin1String(line.captionName),
                                  QLatin1String(line.caption), line.x, 60, line.captionWidth);
        QLabel *indicator = label(this, QLatin1String(line.indicatorName), QStringLiteral("○"),
                                  line.x + line.captionWidth, 60, 180);
        indicator->setAlignment(Qt::AlignCenter);
        fitFont(indicator, QStringLiteral("◎"), indicator->size());
        m_lineIndicators[i] = indicator;
    }

    auto *ports = new QButtonGroup(this);
    for (int i = 0; i < 6; ++i) {
        m_portButtons[i] = option(this, ports, "Option2", i, QStringLiteral("Com%1:").arg(i + 1),
                                  4800 + 840 * i, 30, 795, 240);
        showPortDevice(i + 1);
        // A right click or the menu key opens the menu that chooses the port's device.
        m_portButtons[i]->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(
            m_portButtons[i], &QWidget::customContextMenuRequested, this,
            [this, i](const QPoint &at) { showPortMenu(i, m_portButtons[i]->mapToGlobal(at)); });
    }
    connect(ports, &QButtonGroup::idClicked, this, [this](int i) { m_session.choosePort(i + 1); });
    // "Com6:" ends at the window's right edge: the captions take a font in which they fit.
    fitToWidths({m_portButtons.begin(), m_portButtons.end()});
}

void MainWindow::createCommandColumn()
{
    m_endButton = button(this, QStringLiteral("btnEnd"), QStringLiteral("END"), 90, 210, 705, 345);
    m_clearButton =
        button(this, QStringLiteral("btnClr"), QStringLiteral("CLR"), 825, 210, 495, 345);
    m_helpButton =
        button(this, QStringLiteral("btnHelp"), QStringLiteral("?"), 1350, 210, 225, 345);
    m_openButton =
        button(this, QStringLiteral("btnOpen"), QStringLiteral("OPEN"), 90, 570, 705, 345);
    m_openButton->setToolTip(QStringLiteral("指定ポートをOPENします。"));
    m_closeButton =
        button(this, QStringLiteral("btnClose"), QStringLiteral("CLOSE"), 825, 570, 735, 345);
    m_settingsEdit = placed(new QLineEdit(this), QStringLiteral("Text1"), 90, 930, 1515, 285);
    m_transmitEdit = placed(new QLineEdit(this), QStringLiteral("Text2"), 90, 1560, 1515, 285);

    QFont transmitFont(ProportionalFontName);
    transmitFont.setPointSizeF(8.25);
    for (const TransmitButton &t : TransmitButtons) {
        QPushButton *b =
            button(this, QLatin1String(t.name), QLatin1String(t.caption), t.x, t.y, t.w, 255);
        b->setFont(transmitFont);
        const TransmitCommand command = t.command;
        connect(b, &QPushButton::clicked, this, [this, command] { m_session.transmit(command); });
    }
    findChild<QPushButton *>(QStringLiteral("btnSEND"))
        ->setToolTip(QStringLiteral("ENQ及びチェックサムを付加して電文を送信します。"));
    addSendBytesMenus();
    addRepeatMenus();
}

// "Repeat CR…" and so on in each transmit button's context menu, below "Send bytes…".
void MainWindow::addRepeatMenus()
{
    for (const TransmitButton &t : TransmitButtons) {
        auto *b = findChild<QPushButton *>(QLatin1String(t.name));
        auto *repeat = new QAction(QStringLiteral("Repeat %1…").arg(QLatin1String(t.caption)), b);
        repeat->setObjectName(QStringLiteral("repeat"));
        const TransmitCommand command = t.command;
        connect(repeat, &QAction::triggered, this, [this, command] { openRepeatDialog(command); });
        b->addAction(repeat);
    }
}

// "Send bytes…" in the context menu of each transmit button, and below the transmit box's own.
void MainWindow::addSendBytesMenus()
{
    m_sendBytesAction = new QAction(QStringLiteral("Send bytes…"), this);
    m_sendBytesAction->setObjectName(QStringLiteral("sendBytes"));
    connect(m_sendBytesAction, &QAction::triggered, this, &MainWindow::openSendBytes);
    for (const TransmitButton &t : TransmitButtons) {
        auto *b = findChild<QPushButton *>(QLatin1String(t.name));
        b->addAction(m_sendBytesAction);
        b->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    m_transmitEdit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_transmitEdit, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        QMenu *menu = m_transmitEdit->createStandardContextMenu();
        menu->setObjectName(QStringLiteral("transmitTextMenu"));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(m_sendBytesAction);
        menu->popup(m_transmitEdit->mapToGlobal(at));
    });
}

void MainWindow::createOptionFrames()
{
    QGroupBox *modes =
        frame(this, "Frame1", QStringLiteral("ﾓｰﾄﾞ"),
              QStringLiteral("シミュレータ機能を選択してください。"), 90, 2400, 1485, 1425);
    auto *modeGroup = new QButtonGroup(this);
    for (int i = 0; i < SimModeCount; ++i) {
        m_modeButtons[i] = option(modes, modeGroup, "Option1", i, profileOf(SimMode(i)).caption,
                                  120, 210 + 180 * i, 1275, 195);
        m_modeButtons[i]->installEventFilter(this); // a double-click opens the data window
        if (isComputerLink(SimMode(i)))
            m_modeButtons[i]->setToolTip(
                QStringLiteral("ダブルクリックでデータレジスタの表示編集が出来ます。"));
    }
    connect(modeGroup, &QButtonGroup::idClicked, this,
            [this](int i) { m_session.chooseMode(SimMode(i)); });

    QGroupBox *ends =
        frame(this, "Frame2", QStringLiteral("ﾀｰﾐﾈｰﾀ"),
              QStringLiteral("電文のターミネータを選択してください"), 90, 3900, 1515, 1395);
    auto *endGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i)
        m_frameEndButtons[i] = option(ends, endGroup, "Option3", i, frameEndCaption(FrameEnd(i)),
                                      120, 300 + 210 * i, 1305, 210);
    connect(endGroup, &QButtonGroup::idClicked, this,
            [this](int i) { m_session.chooseFrameEnd(FrameEnd(i)); });
    m_quietTimeEdit = placed(new QLineEdit(ends), QStringLiteral("Text3"), 120, 990, 1005, 285);

    QGroupBox *hex =
        frame(this, "Frame3", QStringLiteral("HEX表示"),
              QStringLiteral("HEXをONにするとデータを16進表示できます。"), 90, 5370, 1515, 525);
    auto *hexGroup = new QButtonGroup(this);
    m_hexButtons[0] = option(hex, hexGroup, "Option4", 0, QStringLiteral("On"), 120, 240, 615, 225);
    m_hexButtons[1] =
        option(hex, hexGroup, "Option4", 1, QStringLiteral("Off"), 780, 240, 615, 225);
}
