// SPDX-License-Identifier: MIT
#include "ui/TrafficLogView.h"

#include "platform/FileTarget.h"
#include "ui/TrafficLogFindBar.h"
#include "ui/WindowLook.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

namespace
{

// Space around the rows, as a text box leaves around its text.
constexpr int Margin = 4;
// A selection larger than this goes to a file (Save As…), not to the clipboard.
constexpr qint64 CopyLimitBytes = 64 << 20;
// Rows longer than this are painted from the part in view only.
constexpr qsizetype LongRow = 4096; // bytes

// Half-width columns of one character in the fixed-pitch font: one for ASCII and half-width
// kana, two for the rest, a tab stop's worth for a tab.
int columnsOf(QChar c)
{
    const char16_t u = c.unicode();
    if (u == u'\t')
        return 14;
    return u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F) ? 1 : 2;
}

// The widest row of a logged line in half-width columns: sizes the horizontal scroll range
// without measuring every row with the font.
qint64 widestRowColumns(QStringView line)
{
    qint64 widest = 0, columns = 0;
    for (QChar c : line) {
        if (c == u'\r' || c == u'\n') {
            widest = std::max(widest, columns);
            columns = 0;
        } else if (!c.isLowSurrogate()) {
            columns += columnsOf(c);
        }
    }
    return std::max(widest, columns);
}

} // namespace

TrafficLogView::TrafficLogView(QWidget *parent, qint64 rowLimit)
    : QAbstractScrollArea(parent), m_store(rowLimit)
{
    setFont(fixedPitchFont());
    setFocusPolicy(Qt::StrongFocus);
    m_findBar = new TrafficLogFindBar(this);
    m_findBar->hide();
    connect(m_findBar, &TrafficLogFindBar::findRequested, this, &TrafficLogView::find);
    connect(m_findBar, &TrafficLogFindBar::closed, this, [this] {
        setViewportMargins(0, 0, 0, 0);
        setFocus(Qt::OtherFocusReason);
    });
    createActions();
    updateMetrics();
    updateScrollBars();
}

TrafficLogView::~TrafficLogView() = default;

void TrafficLogView::createActions()
{
    const auto action = [this](const QString &text, QKeySequence keys, auto slot) {
        auto *a = new QAction(text, this);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        return a;
    };
    m_copyAction = action(tr("Copy"), QKeySequence::Copy, &TrafficLogView::copy);
    m_selectAllAction =
        action(tr("Select All"), QKeySequence::SelectAll, &TrafficLogView::selectAll);
    m_findAction = action(tr("Find…"), QKeySequence::Find, &TrafficLogView::showFindBar);
    m_saveAsAction = action(tr("Save As…"), QKeySequence(), &TrafficLogView::saveAs);
    m_clearAction = action(tr("Clear"), QKeySequence(), &TrafficLogView::clear);
    m_millisecondsAction = new QAction(tr("Millisecond time stamps"), this);
    m_millisecondsAction->setObjectName(QStringLiteral("millisecondStamps"));
    m_millisecondsAction->setCheckable(true);
    connect(m_millisecondsAction, &QAction::triggered, this,
            &TrafficLogView::millisecondStampsChosen);
}

void TrafficLogView::showMillisecondStamps(bool on)
{
    m_millisecondsAction->setChecked(on);
}

void TrafficLogView::updateMetrics()
{
    const QFontMetrics metrics(font(), viewport());
    m_rowHeight = std::max(1, metrics.lineSpacing());
    m_columnWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
}

void TrafficLogView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_rowLayouts.clear();
        updateMetrics();
        updateScrollBars();
    }
}

void TrafficLogView::addLine(const LogLine &line)
{
    m_lastStamp = line.stamp;
    addLine(line.joined());
}

void TrafficLogView::addLine(const QString &line)
{
    m_widestColumns = std::max(m_widestColumns, widestRowColumns(line));
    const TrafficLogStore::Added added = m_store.addLine(line);
    if (!m_batchPending) {
        m_batchPending = true;
        QMetaObject::invokeMethod(this, &TrafficLogView::finishBatch, Qt::QueuedConnection);
    }
    if (added.dropped)
        noteDroppedRows(added.dropped);
}

// Past its limit the log lets its oldest rows go and says so in one note, stamped as the line
// that took it past.
void TrafficLogView::noteDroppedRows(qint64 count)
{
    forgetDroppedRows();
    m_rowsDroppedInBatch = true;
    m_store.addLine(m_lastStamp +
                    QStringLiteral("  <<ログが上限（%1 行、%2 MB）を超えたため、古い行を %3 行削除"
                                   "しました（ログを残すには右クリックメニューの Save As…）>>")
                        .arg(m_store.rowLimit())
                        .arg(m_store.byteLimit() >> 20)
                        .arg(count));
}

// Once per batch of lines, when the event loop comes round: the scroll bars follow the rows
// and the box is painted. Scrolled away from the top, the rows in view stay where they are,
// so only the scroll bars change.
void TrafficLogView::finishBatch()
{
    m_batchPending = false;
    updateScrollBars();
    if (m_atTop || m_rowsDroppedInBatch)
        viewport()->update();
    m_rowsDroppedInBatch = false;
}

void TrafficLogView::setRowLimit(qint64 rows)
{
    const qint64 dropped = m_store.setRowLimit(rows);
    if (dropped) {
        noteDroppedRows(dropped);
        updateScrollBars();
        viewport()->update();
    }
}

void TrafficLogView::forgetDroppedRows()
{
    const qint64 first = m_store.firstSerial();
    m_selection.dropBelow(first);
    if (m_anchor < first)
        m_anchor = -1;
    if (m_current < first)
        m_current = -1;
}

void TrafficLogView::clear()
{
    m_store.clear();
    m_rowLayouts.clear();
    m_selection.clear();
    m_anchor = m_current = -1;
    m_atTop = true;
    m_widestColumns = 0;
    updateScrollBars();
    viewport()->update();
}

// A scroll bar that appears or goes changes the viewport, and with it the ranges: a few passes
// settle them.
void TrafficLogView::updateScrollBars()
{
    m_updatingScrollBars = true;
    for (int pass = 0; pass < 3; ++pass) {
        const QSize size = viewport()->size();
        QScrollBar *vertical = verticalScrollBar();
        vertical->setRange(0, int(lastTopRow()));
        vertical->setPageStep(visibleRows());
        vertical->setValue(int(topRow()));
        const qint64 width = m_widestColumns * m_columnWidth + 2 * Margin;
        QScrollBar *horizontal = horizontalScrollBar();
        horizontal->setRange(0, int(std::clamp<qint64>(width - size.width(), 0, INT_MAX / 2)));
        horizontal->setPageStep(size.width());
        horizontal->setSingleStep(2 * m_columnWidth);
        if (viewport()->size() == size)
            break;
    }
    m_updatingScrollBars = false;
}

void TrafficLogView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    layoutFindBar();
    if (!m_updatingScrollBars)
        updateScrollBars();
}

// The operator moved a scroll bar: the row now at the top stays there as rows arrive.
void TrafficLogView::scrollContentsBy(int, int dy)
{
    if (!m_updatingScrollBars && dy != 0) {
        const qint64 row = verticalScrollBar()->value();
        m_atTop = row == 0;
        m_topSerial = m_store.serialOf(row);
    }
    viewport()->update();
}

int TrafficLogView::visibleRows() const
{
    return std::max(1, (viewport()->height() - Margin) / m_rowHeight);
}

qint64 TrafficLogView::lastTopRow() const
{
    return std::max<qint64>(0, rowCount() - visibleRows());
}

qint64 TrafficLogView::topRow() const
{
    if (m_atTop)
        return 0;
    return std::clamp<qint64>(m_store.indexOf(m_topSerial), 0, lastTopRow());
}

void TrafficLogView::setTopRow(qint64 row)
{
    row = std::clamp<qint64>(row, 0, lastTopRow());
    m_atTop = row == 0;
    m_topSerial = m_store.serialOf(row);
    updateScrollBars();
    viewport()->update();
}

void TrafficLogView::scrollToRow(qint64 row)
{
    const qint64 top = topRow();
    if (row < top)
        setTopRow(row);
    else if (row >= top + visibleRows())
        setTopRow(row - visibleRows() + 1);
}

qint64 TrafficLogView::currentRow() const
{
    return m_current < 0 ? -1 : m_store.indexOf(m_current);
}

qint64 TrafficLogView::rowAt(QPoint viewportPos) const
{
    if (viewportPos.y() < Margin)
        return -1;
    const qint64 row = topRow() + (viewportPos.y() - Margin) / m_rowHeight;
    return row < rowCount() ? row : -1;
}

QRect TrafficLogView::rowRect(qint64 row) const
{
    return {0, Margin + int(row - topRow()) * m_rowHeight, viewport()->width(), m_rowHeight};
}

void TrafficLogView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect area = event->rect();
    const qint64 top = topRow();
    for (qint64 row = top + std::max(0, (area.top() - Margin) / m_rowHeight); row < rowCount();
         ++row) {
        const int y = Margin + int(row - top) * m_rowHeight;
        if (y > area.bottom())
            break;
        paintRow(painter, row, y);
    }
    // Rows stay laid out while they are in view: a burst of lines lays out only the new ones.
    const qint64 newest = m_store.serialOf(top), oldest = newest - visibleRows() - 1;
    std::erase_if(m_rowLayouts,
                  [&](const auto &row) { return row.first > newest || row.first < oldest; });
}

void TrafficLogView::paintRow(QPainter &painter, qint64 row, int y)
{
    const qint64 serial = m_store.serialOf(row);
    const bool selected = m_selection.contains(serial);
    if (selected)
        painter.fillRect(rowRect(row), palette().brush(QPalette::Highlight));
    painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
    int x = Margin - horizontalScrollBar()->value();
    const QByteArrayView bytes = m_store.rowUtf8(row);
    if (bytes.size() > LongRow) { // from near the view's left edge to past its right edge
        const QString text = m_store.row(row);
        qsizetype from = 0;
        while (from < text.size() && x + columnsOf(text[from]) * m_columnWidth < 0)
            x += columnsOf(text[from++]) * m_columnWidth;
        layOut(text.mid(from, viewport()->width() / m_columnWidth + 4))
            ->draw(&painter, QPointF(x, y));
    } else {
        std::unique_ptr<QTextLayout> &layout = m_rowLayouts[serial];
        if (!layout)
            layout = layOut(QString::fromUtf8(bytes));
        layout->draw(&painter, QPointF(x, y));
    }
    if (serial == m_current && hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
        painter.drawRect(rowRect(row).adjusted(0, 0, -1, -1));
    }
}

// A row as a text box lays out a line: the fixed-pitch font, no wrapping, tabs at the default
// stops, every other character passed through as it is.
std::unique_ptr<QTextLayout> TrafficLogView::layOut(const QString &text) const
{
    auto layout = std::make_unique<QTextLayout>(text, font(), viewport());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    layout->createLine().setLeadingIncluded(true);
    layout->endLayout();
    return layout;
}

void TrafficLogView::mousePressEvent(QMouseEvent *event)
{
    const qint64 row = rowAt(event->position().toPoint());
    if (row < 0)
        return;
    if (event->button() == Qt::LeftButton)
        moveCurrent(row, event->modifiers());
    else if (event->button() == Qt::RightButton && !m_selection.contains(m_store.serialOf(row)))
        moveCurrent(row, {});
}

// Dragging extends the selection from where the press was, scrolling at the edges.
void TrafficLogView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || m_anchor < 0 || rowCount() == 0)
        return;
    const int y = event->position().toPoint().y();
    const qint64 top = topRow();
    const qint64 row = std::clamp<qint64>(top + (y - Margin) / m_rowHeight - (y < Margin ? 1 : 0),
                                          0, rowCount() - 1);
    moveCurrent(row, Qt::ShiftModifier);
}

// The box takes its clicks: a release does not go on to the window.
void TrafficLogView::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

// Selects the row (shift: from the anchor to it; ctrl: toggles it) and brings it into view.
void TrafficLogView::moveCurrent(qint64 row, Qt::KeyboardModifiers modifiers)
{
    const qint64 serial = m_store.serialOf(row);
    if ((modifiers & Qt::ShiftModifier) && m_anchor >= 0) {
        m_selection.set(m_anchor, serial);
    } else if (modifiers & Qt::ControlModifier) {
        m_selection.toggle(serial);
        m_anchor = serial;
    } else {
        m_selection.set(serial, serial);
        m_anchor = serial;
    }
    m_current = serial;
    scrollToRow(row);
    viewport()->update();
}

void TrafficLogView::keyPressEvent(QKeyEvent *event)
{
    const qint64 current = currentRow() < 0 ? topRow() : currentRow();
    qint64 row;
    switch (event->key()) {
    case Qt::Key_Up:
        row = current - 1;
        break;
    case Qt::Key_Down:
        row = current + 1;
        break;
    case Qt::Key_PageUp:
        row = current - visibleRows();
        break;
    case Qt::Key_PageDown:
        row = current + visibleRows();
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = rowCount() - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (rowCount() > 0)
        moveCurrent(std::clamp<qint64>(row, 0, rowCount() - 1),
                    event->modifiers() & Qt::ShiftModifier);
}

void TrafficLogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    m_copyAction->setEnabled(!m_selection.isEmpty());
    menu.addAction(m_copyAction);
    menu.addAction(m_selectAllAction);
    menu.addSeparator();
    menu.addAction(m_findAction);
    menu.addAction(m_saveAsAction);
    menu.addSeparator();
    menu.addAction(m_millisecondsAction);
    menu.addSeparator();
    menu.addAction(m_clearAction);
    menu.exec(event->globalPos());
    m_copyAction->setEnabled(true);
}

void TrafficLogView::selectAll()
{
    if (rowCount() == 0)
        return;
    m_selection.set(m_store.firstSerial(), m_store.serialOf(0));
    viewport()->update();
}

QString TrafficLogView::selectedText() const
{
    QByteArray text;
    const auto &ranges = m_selection.ranges();
    for (auto range = ranges.rbegin(); range != ranges.rend(); ++range)
        text += m_store.utf8Text(m_store.indexOf(range->last), m_store.indexOf(range->first));
    return QString::fromUtf8(text);
}

void TrafficLogView::copy()
{
    qint64 bytes = 0;
    for (const RowSelection::Range &range : m_selection.ranges())
        bytes += m_store.utf8Size(m_store.indexOf(range.last), m_store.indexOf(range.first));
    if (bytes > CopyLimitBytes) {
        showProblem(tr("The selection holds %L1 MB of text, more than Copy takes (%L2 MB). "
                       "Save As… writes the whole log to a file.")
                        .arg(bytes >> 20)
                        .arg(CopyLimitBytes >> 20));
        return;
    }
    if (bytes > 0)
        QGuiApplication::clipboard()->setText(selectedText());
}

void TrafficLogView::showFindBar()
{
    setViewportMargins(0, 0, 0, m_findBar->sizeHint().height());
    layoutFindBar();
    m_findBar->activate();
}

void TrafficLogView::layoutFindBar()
{
    const QRect view = viewport()->geometry();
    m_findBar->setGeometry(view.left(), view.bottom() + 1, view.width(),
                           m_findBar->sizeHint().height());
}

bool TrafficLogView::find(const QString &text, bool backward)
{
    const qint64 current = currentRow();
    const qint64 from =
        current < 0 ? (backward ? rowCount() - 1 : 0) : current + (backward ? -1 : 1);
    const qint64 found = m_store.find(text, from, backward);
    if (found >= 0)
        moveCurrent(found, {});
    m_findBar->showFound(found >= 0);
    return found >= 0;
}

void TrafficLogView::saveAs()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save As"), QString(),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty())
        saveTo(path);
}

// A regular file or a new path is replaced safely; a device or a FIFO chosen is written in
// place, and a reader that stops holds the window for a second at most.
bool TrafficLogView::saveTo(const QString &path)
{
    const QByteArray header =
        savedLogHeader(QStringLiteral(PORTWREN_VERSION), QDateTime::currentDateTime()).toUtf8() +
        '\n';
    const auto write = [&](QIODevice &file) {
        return file.write(header) == header.size() && m_store.write(file);
    };
    QString error;
    if (writeToPath(path, write, &error))
        return true;
    showProblem(tr("The log was not saved to %1").arg(error));
    return false;
}

// A message the operator sees without the program waiting for it to be closed.
void TrafficLogView::showProblem(const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("PORTWREN"), message,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
