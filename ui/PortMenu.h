// SPDX-License-Identifier: MIT
#pragma once

#include "platform/SystemPorts.h"

#include <QMenu>

class QActionGroup;

// The menu of a port button (right click, or the menu key): which device Com<n>: leads to. The
// machine's serial ports, a virtual line (on Unix, where pseudo-terminals exist) and the platform
// default, the stored choice checked. When the device in use comes from --port or
// PORTWREN_COM<n> instead, a first, disabled item names it and its source, and is the one
// checked: the choices below are stored for the runs where nothing wins over them.
class PortMenu : public QMenu
{
    Q_OBJECT
public:
    PortMenu(int port, const QString &deviceInUse, const QList<SystemPort> &systemPorts,
             QWidget *parent = nullptr);

Q_SIGNALS:
    // A device chosen for the port; an empty text is the platform default.
    void deviceChosen(int port, const QString &device);
    // "Virtual line…": the caller asks for the path of the link.
    void virtualLineAsked(int port);

private:
    bool addSourceNote(const QString &deviceInUse);
    void addSystemPorts(const QList<SystemPort> &systemPorts, const QString &stored);
    void addVirtualLine(const QString &stored);
    QAction *addChoice(const QString &text, const QString &device, bool current);

    int m_port;
    bool m_storedInUse = true; // the stored choice (or the default) is the device in use
    QActionGroup *m_choices;
};
