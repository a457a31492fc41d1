// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Every byte as two upper-case hexadecimal digits followed by one space ("41 54 0D 0A "): the
// traffic log's dump of what went over the line.
QString hexDump(const QByteArray &bytes);
