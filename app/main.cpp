// PORTWREN: a serial-line test tool. Builds the line session on the real serial port and the
// system clock, and shows the main window over it.
#include "platform/Clock.h"
#include "platform/CommControl.h"
#include "session/LineSession.h"
#include "ui/MainWindow.h"
#include "ui/WindowLook.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PORTWREN"));
    installFontSubstitutions();
    LineSession session(std::make_unique<CommControl>(), std::make_unique<SystemClock>());
    MainWindow window(session);
    QObject::connect(&window, &MainWindow::endRequested, &app, &QApplication::quit);
    session.startTicking();
    window.show();
    return QApplication::exec();
}
