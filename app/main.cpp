// PORTWREN: a serial-line test tool. Starts the main window; everything else is in its
// controls.
#include "WindowLook.h"
#include "frm_PORTWREN.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PORTWREN"));
    installFontSubstitutions();
    frm_PORTWREN window;
    window.show();
    return QApplication::exec();
}
