// SPDX-License-Identifier: MIT
// The display of a run with windows, asked for before the application object is made: the
// platforms Qt will try as Qt picks them (arguments, QT_QPA_PLATFORM, a Wayland session), and
// the X11 display named by -display or DISPLAY; any platform but X11 is left to Qt.
#include "app/DisplayCheck.h"

#include <QTest>

class DisplayCheckTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void display_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment"); // NAME=VALUE
        QTest::addColumn<QStringList>("platforms");
        QTest::addColumn<bool>("opens"); // only ":21" answers

        const auto row = [](const char *name, QStringList arguments, QStringList environment,
                            QStringList platforms, bool opens) {
            QTest::newRow(name) << arguments << environment << platforms << opens;
        };
#ifdef Q_OS_WIN
        // Windows' own windows are always there; the rows below name their platforms.
        row("nothing set", {}, {"DISPLAY=:22"}, {"windows"}, true);
#else
        row("nothing set", {}, {}, {"xcb"}, false);
#endif
        row("a display that answers", {"-platform", "xcb"}, {"DISPLAY=:21"}, {"xcb"}, true);
        row("a display that does not", {}, {"DISPLAY=:22", "QT_QPA_PLATFORM=xcb"}, {"xcb"}, false);
        row("an empty display", {"-platform", "xcb"}, {"DISPLAY="}, {"xcb"}, false);
        row("-display wins over DISPLAY", {"-display", ":21", "-platform", "xcb"}, {"DISPLAY=:22"},
            {"xcb"}, true);
        row("--display, the last one", {"--display", ":22", "-display", ":21", "-platform", "xcb"},
            {}, {"xcb"}, true);
        row("offscreen by the environment", {}, {"QT_QPA_PLATFORM=offscreen"}, {"offscreen"}, true);
        row("offscreen by the arguments", {"-platform", "offscreen"}, {}, {"offscreen"}, true);
        row("the arguments win over the environment", {"--platform", "xcb:nograb"},
            {"QT_QPA_PLATFORM=offscreen"}, {"xcb"}, false);
#ifndef Q_OS_WIN
        row("a Wayland session", {}, {"XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=wayland-0"},
            {"wayland", "xcb"}, true);
        row("a Wayland session on GNOME goes to X11", {},
            {"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=ubuntu:GNOME"}, {"xcb"}, false);
#endif
        row("X11 asked for in a Wayland session", {"-platform", "xcb"},
            {"XDG_SESSION_TYPE=wayland", "DISPLAY=:21"}, {"xcb"}, true);
        row("a list with another platform", {}, {"QT_QPA_PLATFORM=xcb;wayland"}, {"xcb", "wayland"},
            true);
        row("a list of X11 only", {}, {"QT_QPA_PLATFORM=xcb;;xcb"}, {"xcb", "xcb"}, false);
    }

    void display()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        arguments.prepend(QStringLiteral("portwren"));
        QProcessEnvironment variables;
        for (const QString &variable : environment)
            variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        QTEST(platformsToTry(arguments, variables), "platforms");
        const auto answers = [](const QString &display) { return display == u":21"; };
        QTEST(displayCanOpen(arguments, variables, answers), "opens");
    }
};

QTEST_GUILESS_MAIN(DisplayCheckTest)
#include "test_display_check.moc"
