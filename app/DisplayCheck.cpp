// SPDX-License-Identifier: MIT
#include "app/DisplayCheck.h"

#ifdef PORTWREN_HAS_XCB
#include <xcb/xcb.h>
#endif

namespace
{

// The value after the last "-name" or "--name" among the arguments; empty when there is none.
QString lastValueOf(const QStringList &arguments, QLatin1String name)
{
    QString value;
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        QStringView argument = arguments.at(i);
        if (argument.startsWith(QLatin1String("--")))
            argument = argument.sliced(1);
        if (argument.startsWith(QLatin1Char('-')) && argument.sliced(1) == name)
            value = arguments.at(++i);
    }
    return value;
}

} // namespace

QStringList platformsToTry(const QStringList &arguments, const QProcessEnvironment &environment)
{
    QString names = lastValueOf(arguments, QLatin1String("platform"));
    if (names.isEmpty())
        names = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
#ifdef Q_OS_WIN
    if (names.isEmpty())
        names = QStringLiteral("windows"); // the system's own windows, always there
#endif
    if (names.isEmpty()) {
        const QString desktops = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")) +
                                 environment.value(QStringLiteral("XDG_SESSION_DESKTOP"));
        const bool wayland =
            environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland") &&
            !desktops.contains(QLatin1String("gnome"), Qt::CaseInsensitive);
        names = wayland ? QStringLiteral("wayland;xcb") : QStringLiteral("xcb");
    }
    QStringList platforms;
    for (const QString &entry : names.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        platforms << entry.section(QLatin1Char(':'), 0, 0);
    return platforms;
}

bool displayCanOpen(const QStringList &arguments, const QProcessEnvironment &environment,
                    const std::function<bool(const QString &display)> &displayAnswers)
{
    const QStringList platforms = platformsToTry(arguments, environment);
    const bool x11Only =
        !platforms.isEmpty() && platforms.count(QStringLiteral("xcb")) == platforms.size();
    if (!x11Only)
        return true;
    QString display = lastValueOf(arguments, QLatin1String("display"));
    if (display.isEmpty())
        display = environment.value(QStringLiteral("DISPLAY"));
    return !display.isEmpty() && displayAnswers(display);
}

bool x11DisplayAnswers(const QString &display)
{
#ifdef PORTWREN_HAS_XCB
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
#else
    return !display.isEmpty(); // no way to ask here: Qt finds out
#endif
}
