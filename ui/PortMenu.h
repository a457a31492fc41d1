// SPDX-License-Identifier: MIT
#pragma once

#include "platform/SystemPorts.h"

#include <QMenu>

class QActionGroup;

// The menu of a port button (right click, or the menu key): which device Com<n>: leads to. The
// machine's serial ports, a virtual line (on Unix, where pseudo-terminals exist) and the platform
// default, the current choice checked.
// When PORTWREN_COM<n> is set, a first, disabled item says that it wins over the choice.
class PortMenu : public QMenu
{
    Q_OBJECT
public:
    PortMenu(int port, const QList<SystemPort> &systemPorts, QWidget *parent = nullptr);

Q_SIGNALS:
    // A device chosen for the port; an empty text is the platform default.
    void deviceChosen(int port, const QString &device);
    // "Virtual line…": the caller asks for the path of the link.
    void virtualLineAsked(int port);

private:
    void addEnvironmentNote();
    void addSystemPorts(const QList<SystemPort> &systemPorts, const QString &stored);
    void addVirtualLine(const QString &stored);
    QAction *addChoice(const QString &text, const QString &device, bool current);

    int m_port;
    QActionGroup *m_choices;
};
