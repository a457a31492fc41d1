// SPDX-License-Identifier: MIT
#include "ui/StoredChoices.h"

#include <QSettings>

namespace
{

const QString StampKey = QStringLiteral("log/timestamps");
const QString SentBytesKey = QStringLiteral("sendBytes/recent");

// The file the port menu keeps each port's device in.
struct UserSettings {
    QSettings file{QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("portwren"),
                   QStringLiteral("portwren")};
};

bool store(const QString &key, const QVariant &value, QString *where)
{
    UserSettings settings;
    settings.file.setValue(key, value);
    settings.file.sync();
    if (where)
        *where = settings.file.fileName();
    return settings.file.status() == QSettings::NoError;
}

} // namespace

StampPrecision StoredChoices::stampPrecision()
{
    return UserSettings().file.value(StampKey).toString() == QLatin1String("ms")
               ? StampPrecision::Milliseconds
               : StampPrecision::Seconds;
}

bool StoredChoices::storeStampPrecision(StampPrecision precision, QString *where)
{
    return store(StampKey,
                 precision == StampPrecision::Milliseconds ? QStringLiteral("ms")
                                                           : QStringLiteral("s"),
                 where);
}

QStringList StoredChoices::sentBytes()
{
    return UserSettings().file.value(SentBytesKey).toStringList();
}

bool StoredChoices::storeSentBytes(const QStringList &entries, QString *where)
{
    return store(SentBytesKey, entries, where);
}
