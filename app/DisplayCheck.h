// SPDX-License-Identifier: MIT
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

// A run with windows needs a display, and Qt ends a program whose platform cannot start with an
// abort and lines of its own. This tells beforehand, for the X11 platform (the one Qt starts on
// a desktop unless told otherwise), so that the program can end with one line of its own.

// The line, after "portwren: ", and the exit status of a run with windows that has no display.
inline const QString NoDisplayText =
    QStringLiteral("cannot open a display (use --no-window to run without windows)");
constexpr int NoDisplayStatus = 1;

// The platforms Qt will try, in order, as Qt picks them: the value of the last -platform NAME
// among the arguments, else QT_QPA_PLATFORM, else "xcb" (X11), with "wayland" before it in a
// Wayland session (XDG_SESSION_TYPE) other than GNOME's. A name may carry options after a
// colon ("xcb:option"), which are left out.
QStringList platformsToTry(const QStringList &arguments, const QProcessEnvironment &environment);

// False when every platform Qt will try is X11 and its display (the last -display NAME among the
// arguments, else DISPLAY) does not answer: none is named, or displayAnswers() says no. Any
// other platform (offscreen, wayland, a list that holds one) is left to Qt.
bool displayCanOpen(const QStringList &arguments, const QProcessEnvironment &environment,
                    const std::function<bool(const QString &display)> &displayAnswers);

// Whether an X server takes a connection on the display, as Qt's X11 platform connects.
bool x11DisplayAnswers(const QString &display);
