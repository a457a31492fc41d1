#pragma once

#include <QWidget>

// The help window "HELP": fixed text on how to use the main window and read the traffic log.
// There is at most one; it is non-modal and has no owner.
class frm_Help : public QWidget
{
    Q_OBJECT
public:
    // Shows the help window, creating it when it is not open.
    static frm_Help *openWindow();
    // Closes it if it is open.
    static void closeWindow();
    // The open help window, or nullptr.
    static frm_Help *current();

private:
    frm_Help();
};
