// SPDX-License-Identifier: MIT
#include "ui/RegisterWindow.h"

#include "registers/RegisterMemory.h"
#include "registers/WordConversion.h"
#include "session/LineSession.h"
#include "ui/Twips.h"
#include "ui/WindowLook.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

namespace
{

constexpr int RowsPerColumn = 16;
constexpr int LabelLeft[] = {300, 1560, 2790, 3930, 5310, 6570, 7800, 8940};
constexpr int TextLeft[] = {810, 2070, 3300, 4440, 5820, 7080, 8310, 9450};

// Top of row r's text box: rows of 300 twips in groups of four, 30 twips between groups.
constexpr int rowTop(int r)
{
    return 210 + 300 * r + 30 * (r / 4);
}

// A register whose word differs from what its box showed: shown red for one tick, its word in
// white so that it stays readable.
const QColor ChangedBackground(255, 0, 0);
const QColor ChangedText(255, 255, 255);
// A box that "登録" could not convert: marked until a later "登録" converts it or a reload.
const QColor UnconvertibleBackground(255, 255, 0);

// The widest word the word format has.
const QString WidestWord = QStringLiteral("-32768");
// The room a line edit keeps between its frame and its text on the left and on the right.
constexpr int LineEditSideMargin = 2;

} // namespace

RegisterWindow::RegisterWindow(LineSession &session) : m_session(session)
{
    setObjectName(QStringLiteral("frm_DATA"));
    setWindowTitle(QStringLiteral("DATA VIEW&EDIT"));
    setAttribute(Qt::WA_DeleteOnClose);
    applyWindowLook(this);
    createGrid();
    createBottomRow();
    setKeyboardOrder();
}

void RegisterWindow::open()
{
    if (!isVisible())
        showAfresh();
    show();
    raise();
    activateWindow();
}

void RegisterWindow::createGrid()
{
    // Text boxes first, so that the focus chain runs through them by index. Their fixed-pitch
    // font is sized so that the widest word fits the box whole.
    for (int i = 0; i < RegisterMemory::Count; ++i) {
        const int column = i / RowsPerColumn;
        m_registerEdits[i] =
            placed(new QLineEdit(QStringLiteral("0000"), this), QStringLiteral("Text1_%1").arg(i),
                   TextLeft[column], rowTop(i % RowsPerColumn), 525, 285);
    }
    // The words in the largest font in which the widest fits the box as the layout sizes it:
    // the room inside the box's frame (and the line edit's margin of a pixel above and below),
    // the line edit's own margins of 2 pixels a side handed to the text.
    QLineEdit *sample = m_registerEdits[0];
    const int frame = sample->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, sample);
    const QFont font = largestFontFitting(fixedPitchFont(), WidestWord,
                                          sample->size() - QSize(2 * frame, 2 * frame + 2));
    for (QLineEdit *edit : m_registerEdits) {
        edit->setFont(font);
        edit->setTextMargins(-LineEditSideMargin, 0, -LineEditSideMargin, 0);
    }
    // Register names in the fixed-pitch font: five half-width characters fit the label.
    const QFont labelFont = fixedPitchFont();
    for (int i = 0; i < RegisterMemory::Count; ++i) {
        const int column = i / RowsPerColumn;
        const int top = rowTop(i % RowsPerColumn) + (column == 0 ? 30 : 0);
        m_registerNames[i] = placed(new QLabel(this), QStringLiteral("Label1_%1").arg(i),
                                    LabelLeft[column], top, 465, 255);
        m_registerNames[i]->setFont(labelFont);
    }
}

void RegisterWindow::createBottomRow()
{
    auto *modeFrame = placed(new QGroupBox(QStringLiteral("Mode"), this), QStringLiteral("Frame1"),
                             240, 5160, 2295, 465);
    m_autoButton = placed(new QRadioButton(QStringLiteral("Auto"), modeFrame),
                          QStringLiteral("Option1"), 270, 180, 765, 225);
    m_manualButton = placed(new QRadioButton(QStringLiteral("Manual"), modeFrame),
                            QStringLiteral("Option2"), 1230, 180, 975, 255);
    m_editButton = placed(new QPushButton(QStringLiteral("編集"), this), QStringLiteral("Command1"),
                          7050, 5280, 1395, 345);
    m_storeButton = placed(new QPushButton(QStringLiteral("登録"), this),
                           QStringLiteral("Command2"), 8670, 5280, 1395, 345);
    m_resetButton = placed(new QPushButton(QStringLiteral("R"), this), QStringLiteral("cmdReset"),
                           240, 5670, 285, 285);
    m_stepLabel = placed(new QLabel(this), QStringLiteral("lblStep"), 540, 5670, 405, 285);
    m_waitLabel = placed(new QLabel(this), QStringLiteral("lblWait"), 960, 5670, 435, 285);
    m_statusLabel = placed(new QLabel(this), QStringLiteral("lblSTATUS"), 1440, 5670, 8595, 285);

    connect(m_autoButton, &QRadioButton::clicked, this,
            [this] { m_session.setHandshakeAuto(true); });
    connect(m_manualButton, &QRadioButton::clicked, this,
            [this] { m_session.setHandshakeAuto(false); });
    connect(&m_session, &LineSession::handshakeAutoChanged, this,
            [this](bool on) { (on ? m_autoButton : m_manualButton)->setChecked(true); });
    connect(m_editButton, &QPushButton::clicked, this, &RegisterWindow::startEditing);
    connect(m_storeButton, &QPushButton::clicked, this, &RegisterWindow::storeEdits);
    connect(m_resetButton, &QPushButton::clicked, this, &RegisterWindow::reset);
    connect(&m_session, &LineSession::handshakeTickStarting, this, &RegisterWindow::showTick);
    connect(&m_session, &LineSession::handshakeStatusChanged, m_statusLabel, &QLabel::setText);
}

// Tab walks the boxes by index, then the buttons: 編集, 登録, Auto, Manual, R.
void RegisterWindow::setKeyboardOrder()
{
    for (int i = 1; i < RegisterMemory::Count; ++i)
        setTabOrder(m_registerEdits[i - 1], m_registerEdits[i]);
    setTabOrder(m_registerEdits[RegisterMemory::Count - 1], m_editButton);
    setTabOrder(m_editButton, m_storeButton);
    setTabOrder(m_storeButton, m_autoButton);
    setTabOrder(m_autoButton, m_manualButton);
    setTabOrder(m_manualButton, m_resetButton);
}

// Each opening starts as a fresh window: its own size, grid refilled, captions and
// backgrounds as created, Manual mode at step 0 (the wait count carries over), viewing
// state, the session's handshake tick running. No resize handling: every control keeps its
// place.
void RegisterWindow::showAfresh()
{
    resize(px(10260), px(6135));
    const RegisterMemory &registers = m_session.registers();
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        m_registerNames[n]->setText(registerName(n));
        showWord(n, registers.word(n));
        setBoxColours(n, normalBackground(), normalText());
    }
    m_stepLabel->setText(QStringLiteral("Step"));
    m_waitLabel->setText(QStringLiteral("Wait"));
    m_statusLabel->setText(QStringLiteral("STATUS"));
    m_manualButton->setChecked(true);
    m_session.restartHandshakeInManual();
    m_statusBeforeRefusal.reset();
    m_editButton->setEnabled(true);
    m_storeButton->setEnabled(false);
    m_session.setHandshakeTicking(TickPlayer::DataWindow, true);
}

// "編集": viewing -> editing. No ticks while editing, so the boxes keep what is typed.
void RegisterWindow::startEditing()
{
    m_session.setHandshakeTicking(TickPlayer::DataWindow, false);
    m_editButton->setEnabled(false);
    m_storeButton->setEnabled(true);
}

// "登録": stores every box, edited or not, and returns to viewing. When any box cannot be
// converted nothing is stored, every such box is marked, the status row names the first and
// the window stays in editing.
void RegisterWindow::storeEdits()
{
    QStringList texts;
    for (const QLineEdit *edit : m_registerEdits)
        texts << edit->text();
    const std::optional<WordsRefused> refused =
        m_session.storeWords(0, texts, RegisterWriter::Operator);
    markUnconvertibleBoxes();
    if (refused) {
        if (!m_statusBeforeRefusal)
            m_statusBeforeRefusal = m_statusLabel->text();
        m_statusLabel->setText(refused->message());
        return;
    }
    if (m_statusBeforeRefusal) {
        m_statusLabel->setText(*m_statusBeforeRefusal);
        m_statusBeforeRefusal.reset();
    }
    m_storeButton->setEnabled(false);
    m_editButton->setEnabled(true);
    m_session.setHandshakeTicking(TickPlayer::DataWindow, true);
}

// A box that cannot be converted is marked; one marked before that converts now is not.
void RegisterWindow::markUnconvertibleBoxes()
{
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        const bool convertible = convertBoxText(m_registerEdits[n]->text()).has_value();
        const bool wasMarked =
            m_registerEdits[n]->palette().color(QPalette::Base) == UnconvertibleBackground;
        if (!convertible || wasMarked)
            setBoxColours(n, convertible ? normalBackground() : UnconvertibleBackground,
                          normalText());
    }
}

// "R": the preset of the selected mode (rack or vehicle, none for the others), then the
// handshake back to step 0 with no wait and an empty status. The grid shows the new values on
// the next tick.
void RegisterWindow::reset()
{
    m_statusBeforeRefusal.reset();
    m_session.resetHandshake();
}

// Each tick of the handshake: the grid refreshed and step and wait shown as they were before
// the handshake acts (its status comes with its own signal).
void RegisterWindow::showTick()
{
    refreshGrid();
    const HandshakeAutomaton &handshake = m_session.handshake();
    m_stepLabel->setText(QString::number(handshake.stepNumber()));
    m_waitLabel->setText(QString::number(handshake.waitCount()));
}

// Every box takes its register's word; a box whose text differed turns red for this tick.
void RegisterWindow::refreshGrid()
{
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        const QString &word = m_session.registers().word(n);
        const bool changed = m_registerEdits[n]->text() != word;
        if (changed) {
            setBoxColours(n, ChangedBackground, ChangedText);
            showWord(n, word);
        } else {
            setBoxColours(n, normalBackground(), normalText());
        }
    }
}

// A word is shown from its first character: a box scrolled to the end would hide the sign.
void RegisterWindow::showWord(int n, const QString &word)
{
    m_registerEdits[n]->setText(word);
    m_registerEdits[n]->setCursorPosition(0);
}

void RegisterWindow::setBoxColours(int n, const QColor &background, const QColor &text)
{
    QPalette palette = m_registerEdits[n]->palette();
    if (palette.color(QPalette::Base) == background && palette.color(QPalette::Text) == text)
        return;
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, text);
    m_registerEdits[n]->setPalette(palette);
}

QColor RegisterWindow::normalBackground() const
{
    return palette().color(QPalette::Base);
}

QColor RegisterWindow::normalText() const
{
    return palette().color(QPalette::Text);
}

void RegisterWindow::closeEvent(QCloseEvent *event)
{
    m_session.setHandshakeTicking(TickPlayer::DataWindow, false);
    event->accept();
}
