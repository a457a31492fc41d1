#pragma once

#include <QString>

class QPlainTextEdit;

// The traffic log keeps its newest line first. Adding a line inserts it in front of the older
// lines instead of rewriting the whole text, so its cost does not grow with the log.
namespace TrafficLog
{

// The log line for a caller's text: "[" + stamp + "]" + text.
QString line(const QString &stamp, const QString &text);
// Puts line (with its line end) at the top of the box. Line ends inside the text (CR LF, CR or
// LF) start a new line in the box, as they do in the log's text.
void prepend(QPlainTextEdit *box, const QString &line);

} // namespace TrafficLog
