// SPDX-License-Identifier: MIT
#include "control/WrittenMembers.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace
{

class Scanner
{
public:
    explicit Scanner(const QByteArray &text) : m_text(text) {}

    // A text may begin with UTF-8's byte order mark, which the parser passes over too.
    void skipByteOrderMark()
    {
        if (m_text.startsWith("\xEF\xBB\xBF"))
            m_at = 3;
    }
    bool atEnd()
    {
        skipBlanks();
        return m_at == m_text.size();
    }
    // Takes c, after any blanks; false when something else comes.
    bool take(char c)
    {
        skipBlanks();
        if (m_at == m_text.size() || m_text[m_at] != c)
            return false;
        ++m_at;
        return true;
    }
    // The text of the string that begins here, quotes included; empty when none begins here.
    QByteArray string()
    {
        skipBlanks();
        const qsizetype start = m_at;
        return skipString() ? m_text.mid(start, m_at - start) : QByteArray();
    }
    // The text of the value that begins here; empty when none does.
    QByteArray value()
    {
        skipBlanks();
        const qsizetype start = m_at;
        return skipValue() ? m_text.mid(start, m_at - start) : QByteArray();
    }

private:
    void skipBlanks()
    {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                        m_text[m_at] == '\n' || m_text[m_at] == '\r'))
            ++m_at;
    }
    bool skipString()
    {
        if (m_at == m_text.size() || m_text[m_at] != '"')
            return false;
        for (++m_at; m_at < m_text.size(); ++m_at) {
            if (m_text[m_at] == '\\')
                ++m_at;
            else if (m_text[m_at] == '"')
                return ++m_at, true;
        }
        return false;
    }
    bool skipValue()
    {
        if (m_at == m_text.size())
            return false;
        const char first = m_text[m_at];
        if (first == '"')
            return skipString();
        if (first == '{' || first == '[')
            return skipNested();
        const qsizetype start = m_at; // a number, true, false or null
        while (m_at < m_text.size() && !QByteArrayView(",}] \t\r\n").contains(m_text[m_at]))
            ++m_at;
        return m_at > start;
    }
    // An object or array, strings in it passed over whole.
    bool skipNested()
    {
        int depth = 0;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '"') {
                if (!skipString())
                    return false;
                continue;
            }
            ++m_at;
            if (c == '{' || c == '[')
                ++depth;
            else if ((c == '}' || c == ']') && --depth == 0)
                return true;
        }
        return false;
    }

    const QByteArray &m_text;
    qsizetype m_at = 0;
};

// A name's text with its quotes, unescaped; the parser reads it only when it holds an escape.
QString nameOf(const QByteArray &quoted)
{
    if (!quoted.contains('\\'))
        return QString::fromUtf8(quoted.mid(1, quoted.size() - 2));
    return QJsonDocument::fromJson('[' + quoted + ']').array().at(0).toString();
}

} // namespace

std::optional<QList<WrittenMember>> writtenMembers(const QByteArray &objectText)
{
    Scanner scanner(objectText);
    QList<WrittenMember> members;
    scanner.skipByteOrderMark();
    if (!scanner.take('{'))
        return std::nullopt;
    if (scanner.take('}'))
        return scanner.atEnd() ? std::optional(members) : std::nullopt;
    do {
        const QByteArray name = scanner.string();
        if (name.isEmpty() || !scanner.take(':'))
            return std::nullopt;
        const QByteArray value = scanner.value();
        if (value.isEmpty())
            return std::nullopt;
        members.append({nameOf(name), value});
    } while (scanner.take(','));
    if (!scanner.take('}') || !scanner.atEnd())
        return std::nullopt;
    return members;
}
