// SPDX-License-Identifier: MIT
#pragma once

#include "session/LogFormat.h"

#include <QStringList>

// The windows' choices kept between runs, in the user's settings file beside each port's device
// (on Linux ~/.config/portwren/portwren.conf): the log's time stamps (key log/timestamps, "s" or
// "ms") and the bytes sent last by "Send bytes…" (key sendBytes/recent, newest first). Plain
// logic: no widgets. A store returns false, with the settings file's path in *where, when the
// file cannot be written.
namespace StoredChoices
{

StampPrecision stampPrecision();
bool storeStampPrecision(StampPrecision precision, QString *where = nullptr);

QStringList sentBytes();
bool storeSentBytes(const QStringList &entries, QString *where = nullptr);

} // namespace StoredChoices
