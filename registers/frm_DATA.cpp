#include "frm_DATA.h"

#include "SimMode.h"
#include "Twips.h"
#include "WindowLook.h"
#include "WordConversion.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace
{

constexpr int TickMs = 1000;
constexpr int RowsPerColumn = 16;
constexpr int LabelLeft[] = {300, 1560, 2790, 3930, 5310, 6570, 7800, 8940};
constexpr int TextLeft[] = {810, 2070, 3300, 4440, 5820, 7080, 8310, 9450};

// Top of row r's text box: rows of 300 twips in groups of four, 30 twips between groups.
constexpr int rowTop(int r)
{
    return 210 + 300 * r + 30 * (r / 4);
}

// A register whose word differs from what its box showed: shown red for one tick.
const QColor ChangedBackground(255, 0, 0);
// A box that "登録" could not convert: marked until a later "登録" converts it or a reload.
const QColor UnconvertibleBackground(255, 255, 0);

frm_DATA *theWindow = nullptr;

template <typename Widget> Widget *placed(Widget *widget, const QString &name, const QRect &rect)
{
    widget->setObjectName(name);
    widget->setGeometry(rect);
    return widget;
}

} // namespace

frm_DATA::frm_DATA()
{
    setObjectName(QStringLiteral("frm_DATA"));
    setWindowTitle(QStringLiteral("DATA VIEW&EDIT"));
    setFont(windowFont());
    createGrid();
    createBottomRow();
    setKeyboardOrder();
}

frm_DATA *frm_DATA::openWindow()
{
    if (theWindow == nullptr)
        theWindow = new frm_DATA; // kept for the program's life, reloaded on every opening
    if (theWindow->isVisible()) {
        theWindow->raise();
        theWindow->activateWindow();
        return theWindow;
    }
    theWindow->Form_Load();
    theWindow->show();
    return theWindow;
}

void frm_DATA::closeWindow()
{
    if (frm_DATA *window = current())
        window->close();
}

frm_DATA *frm_DATA::current()
{
    return theWindow != nullptr && theWindow->isVisible() ? theWindow : nullptr;
}

void frm_DATA::createGrid()
{
    // Text boxes first, so that the focus chain runs through them by index.
    for (int i = 0; i < RegisterMemory::Count; ++i) {
        const int column = i / RowsPerColumn;
        Text1[i] =
            placed(new QLineEdit(QStringLiteral("0000"), this), QStringLiteral("Text1_%1").arg(i),
                   twipsRect(TextLeft[column], rowTop(i % RowsPerColumn), 525, 285));
    }
    // Register names in the fixed-pitch font: five half-width characters fit the label.
    const QFont labelFont(FixedPitchFontName, 9);
    for (int i = 0; i < RegisterMemory::Count; ++i) {
        const int column = i / RowsPerColumn;
        const int top = rowTop(i % RowsPerColumn) + (column == 0 ? 30 : 0);
        Label1[i] = placed(new QLabel(this), QStringLiteral("Label1_%1").arg(i),
                           twipsRect(LabelLeft[column], top, 465, 255));
        Label1[i]->setFont(labelFont);
    }
}

void frm_DATA::createBottomRow()
{
    Frame1 = placed(new QGroupBox(QStringLiteral("Mode"), this), QStringLiteral("Frame1"),
                    twipsRect(240, 5160, 2295, 465));
    Option1 = placed(new QRadioButton(QStringLiteral("Auto"), Frame1), QStringLiteral("Option1"),
                     twipsRect(270, 180, 765, 225));
    Option2 = placed(new QRadioButton(QStringLiteral("Manual"), Frame1), QStringLiteral("Option2"),
                     twipsRect(1230, 180, 975, 255));
    Command1 = placed(new QPushButton(QStringLiteral("編集"), this), QStringLiteral("Command1"),
                      twipsRect(7050, 5280, 1395, 345));
    Command2 = placed(new QPushButton(QStringLiteral("登録"), this), QStringLiteral("Command2"),
                      twipsRect(8670, 5280, 1395, 345));
    cmdReset = placed(new QPushButton(QStringLiteral("R"), this), QStringLiteral("cmdReset"),
                      twipsRect(240, 5670, 285, 285));
    lblStep = placed(new QLabel(this), QStringLiteral("lblStep"), twipsRect(540, 5670, 405, 285));
    lblWait = placed(new QLabel(this), QStringLiteral("lblWait"), twipsRect(960, 5670, 435, 285));
    lblSTATUS =
        placed(new QLabel(this), QStringLiteral("lblSTATUS"), twipsRect(1440, 5670, 8595, 285));
    Timer1 = new QTimer(this); // interval 0 and inactive until the window loads
    Timer1->setObjectName(QStringLiteral("Timer1"));

    connect(Option1, &QRadioButton::clicked, this, &frm_DATA::Option1_Click);
    connect(Option2, &QRadioButton::clicked, this, &frm_DATA::Option2_Click);
    connect(Command1, &QPushButton::clicked, this, &frm_DATA::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frm_DATA::Command2_Click);
    connect(cmdReset, &QPushButton::clicked, this, &frm_DATA::cmdReset_Click);
    connect(Timer1, &QTimer::timeout, this, &frm_DATA::Timer1_Timer);
}

// Tab walks the boxes by index, then the buttons: 編集, 登録, Auto, Manual, R.
void frm_DATA::setKeyboardOrder()
{
    for (int i = 1; i < RegisterMemory::Count; ++i)
        setTabOrder(Text1[i - 1], Text1[i]);
    setTabOrder(Text1[RegisterMemory::Count - 1], Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, cmdReset);
}

// Each opening starts as a fresh window: its own size, grid refilled, captions and
// backgrounds as created, Manual mode at step 0 (the wait count carries over), viewing
// state, timer running. No resize handling: every control keeps its place.
void frm_DATA::Form_Load()
{
    resize(px(10260), px(6135));
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        Label1[n]->setText(QStringLiteral("D%1").arg(n, 4, 10, QLatin1Char('0')));
        Text1[n]->setText(registerMemory().word(n));
        setBoxBackground(n, normalBackground());
    }
    lblStep->setText(QStringLiteral("Step"));
    lblWait->setText(QStringLiteral("Wait"));
    lblSTATUS->setText(QStringLiteral("STATUS"));
    Option2->setChecked(true);
    m_automaton.load();
    m_statusBeforeRefusal.reset();
    Command1->setEnabled(true);
    Command2->setEnabled(false);
    Timer1->start(TickMs);
}

// "編集": viewing -> editing. No ticks while editing, so the boxes keep what is typed.
void frm_DATA::Command1_Click()
{
    Timer1->stop();
    Command1->setEnabled(false);
    Command2->setEnabled(true);
}

// "登録": stores every box, edited or not, and returns to viewing. When any box cannot be
// converted nothing is stored and the window stays in editing.
void frm_DATA::Command2_Click()
{
    std::array<qint16, RegisterMemory::Count> values{};
    if (!convertAllBoxes(values))
        return;
    for (int n = 0; n < RegisterMemory::Count; ++n)
        registerMemory().setWord(n, formatWord(values[n]));
    if (m_statusBeforeRefusal) {
        lblSTATUS->setText(*m_statusBeforeRefusal);
        m_statusBeforeRefusal.reset();
    }
    Timer1->start(TickMs);
    Command2->setEnabled(false);
    Command1->setEnabled(true);
}

// Converts all boxes; marks each one that cannot be converted and names the first in the
// status row. Returns whether all converted.
bool frm_DATA::convertAllBoxes(std::array<qint16, RegisterMemory::Count> &values)
{
    int firstBad = -1;
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        const std::optional<qint16> value = convertBoxText(Text1[n]->text());
        const bool wasMarked = Text1[n]->palette().color(QPalette::Base) == UnconvertibleBackground;
        if (value)
            values[n] = *value;
        else if (firstBad < 0)
            firstBad = n;
        if (!value || wasMarked)
            setBoxBackground(n, value ? normalBackground() : UnconvertibleBackground);
    }
    if (firstBad < 0)
        return true;
    if (!m_statusBeforeRefusal)
        m_statusBeforeRefusal = lblSTATUS->text();
    lblSTATUS->setText(Label1[firstBad]->text() + QStringLiteral(": 数値に変換できません"));
    return false;
}

// "R": the preset of the selected mode (rack or vehicle, none for the others), then the
// handshake back to step 0 with no wait. The grid shows the new values on the next tick.
void frm_DATA::cmdReset_Click()
{
    if (SimMode == ModeRack)
        registerMemory().applyRackPreset();
    else if (SimMode == ModeVehicle)
        registerMemory().applyVehiclePreset();
    m_automaton.reset();
    lblSTATUS->setText(QString());
    m_statusBeforeRefusal.reset();
}

void frm_DATA::Option1_Click()
{
    m_automaton.setAuto(true);
}

void frm_DATA::Option2_Click()
{
    m_automaton.setAuto(false);
}

// The tick: refresh the grid, show step and wait as they were, then let the handshake act.
void frm_DATA::Timer1_Timer()
{
    refreshGrid();
    lblStep->setText(QString::number(m_automaton.stepNumber()));
    lblWait->setText(QString::number(m_automaton.waitCount()));
    if (const std::optional<QString> status = m_automaton.runStep())
        lblSTATUS->setText(*status);
}

// Every box takes its register's word; a box whose text differed turns red for this tick.
void frm_DATA::refreshGrid()
{
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        const QString &word = registerMemory().word(n);
        const bool changed = Text1[n]->text() != word;
        setBoxBackground(n, changed ? ChangedBackground : normalBackground());
        if (changed)
            Text1[n]->setText(word);
    }
}

void frm_DATA::setBoxBackground(int n, const QColor &colour)
{
    QPalette palette = Text1[n]->palette();
    if (palette.color(QPalette::Base) == colour)
        return;
    palette.setColor(QPalette::Base, colour);
    Text1[n]->setPalette(palette);
}

QColor frm_DATA::normalBackground() const
{
    return palette().color(QPalette::Base);
}

void frm_DATA::closeEvent(QCloseEvent *event)
{
    Timer1->stop();
    event->accept();
}
