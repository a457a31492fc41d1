// SPDX-License-Identifier: MIT
#pragma once

#include "session/LogFormat.h"
#include "ui/log/RowSelection.h"
#include "ui/log/TrafficLogStore.h"

#include <QAbstractScrollArea>
#include <memory>
#include <unordered_map>

class QAction;
class QTextLayout;
class TrafficLogFindBar;

// The traffic log's box: newest row first, in the fixed-pitch font, never wrapped. The rows
// live in a compact store; the box lays out and paints only the rows on screen, and adding a
// line only schedules a paint, so a burst of lines is painted once. The operator selects rows
// (mouse with shift and ctrl, ctrl+A), copies them, finds text, saves the log and clears it
// from the keyboard or the context menu, where they also choose stamps to the millisecond. While
// the box shows the newest row it keeps showing it; scrolled anywhere else it stays on the same
// rows as new lines arrive.
class TrafficLogView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit TrafficLogView(QWidget *parent = nullptr,
                            qint64 rowLimit = TrafficLogStore::DefaultRowLimit);
    ~TrafficLogView() override;

    // Puts a line at the top; a CR LF, CR or LF inside it starts a new row. Past the row limit
    // the oldest rows leave, and a note with the line's stamp says how many.
    void addLine(const LogLine &line);
    void addLine(const QString &line);
    // The whole log as shown, newest row first, rows ended by line feeds.
    QString text() const { return QString::fromUtf8(m_store.utf8Text(0, rowCount() - 1)); }
    // Rows shown, a line holding line ends counting as several.
    qint64 rowCount() const { return m_store.rowCount(); }
    const TrafficLogStore &store() const { return m_store; }
    // The most rows kept; past it the oldest leave and a note says how many.
    void setRowLimit(qint64 rows);

    // Rows are addressed by index, 0 the newest; -1 is none.
    qint64 topRow() const;
    qint64 currentRow() const;
    qint64 rowAt(QPoint viewportPos) const;
    QRect rowRect(qint64 row) const; // in the viewport
    void scrollToRow(qint64 row);

    void selectAll();
    // The selected rows as the log holds them, newest first, each ended by a line feed.
    QString selectedText() const;
    // Selects the next row (towards older rows, or newer ones when backward) holding text,
    // regardless of case, wrapping around; the find bar shows whether there was one.
    bool find(const QString &text, bool backward = false);
    void showFindBar();
    TrafficLogFindBar *findBar() const { return m_findBar; }
    // Writes the log as UTF-8: a first line naming the program, its version and the date and
    // time of the save (savedLogHeader()), then the rows, newest first. On failure a message
    // says why.
    bool saveTo(const QString &path);
    // Checks "Millisecond time stamps" in the context menu, or not, without a choice made.
    void showMillisecondStamps(bool on);

Q_SIGNALS:
    // The operator chose stamps to the millisecond, or to the second, in the context menu.
    void millisecondStampsChosen(bool on);

public Q_SLOTS:
    void clear();
    void copy();
    void saveAs();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createActions();
    void updateMetrics();
    void finishBatch();
    void updateScrollBars();
    void layoutFindBar();
    int visibleRows() const;
    qint64 lastTopRow() const;
    void setTopRow(qint64 row);
    void moveCurrent(qint64 row, Qt::KeyboardModifiers modifiers);
    void paintRow(QPainter &painter, qint64 row, int y);
    std::unique_ptr<QTextLayout> layOut(const QString &text) const;
    void noteDroppedRows(qint64 count);
    void forgetDroppedRows();
    void showProblem(const QString &message);

    TrafficLogStore m_store;
    QString m_lastStamp; // of the newest line, for the note about dropped rows
    RowSelection m_selection;
    // Rows by serial, so that they stay put as rows arrive: the anchor of a shift-selection,
    // the current row (the last one clicked or found), the row at the top unless m_atTop.
    qint64 m_anchor = -1, m_current = -1, m_topSerial = 0;
    bool m_atTop = true;
    bool m_batchPending = false, m_rowsDroppedInBatch = false, m_updatingScrollBars = false;
    int m_rowHeight = 1, m_columnWidth = 1;
    qint64 m_widestColumns = 0; // the widest row since the last clear, in half-width columns
    std::unordered_map<qint64, std::unique_ptr<QTextLayout>> m_rowLayouts; // rows in view

    TrafficLogFindBar *m_findBar = nullptr;
    QAction *m_copyAction = nullptr, *m_selectAllAction = nullptr, *m_findAction = nullptr;
    QAction *m_saveAsAction = nullptr, *m_clearAction = nullptr;
    QAction *m_millisecondsAction = nullptr;
};
