// SPDX-License-Identifier: MIT
#include "platform/Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Cp932
{

QByteArray encode(const QString &text)
{
    QStringEncoder encoder("CP932", QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder("CP932", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

QString StreamDecoder::decode(const QByteArray &piece, bool moreFollows)
{
    const QByteArray bytes = m_pendingLead + piece;
    m_pendingLead.clear();
    QString text;
    qsizetype from = 0; // start of the run not decoded yet; it never ends inside a character
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (!isLeadByte(static_cast<unsigned char>(bytes[i])))
            continue;
        if (i + 1 < bytes.size() && isTrailByte(static_cast<unsigned char>(bytes[i + 1]))) {
            ++i;
            continue;
        }
        if (i + 1 == bytes.size() && moreFollows) {
            m_pendingLead = bytes.right(1);
            return text + Cp932::decode(bytes.mid(from, i - from));
        }
        text += Cp932::decode(bytes.mid(from, i - from)) + QChar(QChar::ReplacementCharacter);
        from = i + 1;
    }
    return text + Cp932::decode(bytes.mid(from));
}

} // namespace Cp932
