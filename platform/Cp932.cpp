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

} // namespace Cp932
