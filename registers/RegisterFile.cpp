// SPDX-License-Identifier: MIT
#include "registers/RegisterFile.h"

#include "registers/WordConversion.h"

#include <QRegularExpression>
#include <QSet>

QByteArray registerFileText(const RegisterMemory &memory)
{
    QString text;
    for (int n = 0; n < RegisterMemory::Count; ++n)
        text += registerName(n) + QLatin1Char(' ') + memory.word(n) + QLatin1Char('\n');
    return text.toUtf8();
}

namespace
{

// One line's register and word, or why it cannot be read.
QString readLine(const QString &line, int *n, QString *word)
{
    static const QRegularExpression form(QStringLiteral("^D(\\d{4})\\s+(\\S+)$"));
    const QRegularExpressionMatch match = form.match(line.trimmed());
    if (!match.hasMatch())
        return QStringLiteral("\"%1\" is not \"Dnnnn word\"").arg(line.trimmed().left(60));
    *n = match.captured(1).toInt();
    if (*n >= RegisterMemory::Count)
        return QStringLiteral("%1 is beyond D0127").arg(match.captured(1));
    WordTextProblem problem = WordTextProblem::NotANumber;
    const std::optional<qint16> value = convertBoxText(match.captured(2), &problem);
    if (!value)
        return WordsRefused{*n, problem}.message();
    *word = formatWord(*value);
    return {};
}

} // namespace

RegisterFileContents readRegisterFile(const QByteArray &text)
{
    RegisterFileContents contents;
    QSet<int> seen;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]);
        if (line.trimmed().isEmpty())
            continue;
        int n = 0;
        QString word;
        QString problem = readLine(line, &n, &word);
        if (problem.isEmpty() && seen.contains(n))
            problem = registerName(n) + QStringLiteral(" appears twice");
        if (!problem.isEmpty())
            return {{}, QStringLiteral("line %1: %2").arg(i + 1).arg(problem)};
        seen.insert(n);
        contents.words.append({n, word});
    }
    return contents;
}
