#pragma once

#include <QPlainTextEdit>

// The traffic log's box: newest line first, in the fixed-pitch font, never wrapped. Adding a
// line inserts it in front of the older lines instead of rewriting the whole text. A line end
// inside a logged text (CR LF, CR or LF) starts a new row, as it does in the log's text.
class TrafficLogView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TrafficLogView(QWidget *parent = nullptr);

    // Puts a line at the top.
    void addLine(const QString &line);
    // The whole log as shown, newest row first, rows ended by line feeds.
    QString text() const;
    // Rows shown, a line holding line ends counting as several.
    int rowCount() const;
};
