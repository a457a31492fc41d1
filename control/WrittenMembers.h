// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// A member of a JSON object as the request wrote it: its name, unescaped, and the exact text of
// its value ("18446744073709551615", "1.10", "[1, 2]", "\"a\""), which QJsonDocument does not
// keep.
struct WrittenMember {
    QString name;
    QByteArray value;
};

// The top-level members of a JSON object's text, in the order written, for a text that
// QJsonDocument has read as an object. A small scanner: strings are passed over with their
// escapes, nested objects and arrays by counting brackets, so a member inside another member's
// value is never taken for one of the object's own. Nothing when the text does not scan as an
// object.
std::optional<QList<WrittenMember>> writtenMembers(const QByteArray &objectText);
