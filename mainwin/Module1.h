#pragma once

#include <QByteArray>

class frm_PORTWREN;

// The routines shared by the windows: open, close and send on a window's serial control.

// Sets InputLen 0, RThreshold 1, RTSEnable on, Settings from Text1 (when Text1 is not blank),
// SThreshold 1, then opens the port. False when the port did not open; the serial control's
// errorString() then says why.
bool CommOpen(frm_PORTWREN &form);
// Closes the window's port.
void CommClose(frm_PORTWREN &form);
// Puts text on the line and logs it as sent ("◎" + text), then its hexadecimal dump when the
// HEX display is on. On a closed port, or when the device refuses the bytes, nothing is sent
// and a note says so instead of a sent line.
void CommSend(frm_PORTWREN &form, const QByteArray &text);
