// SPDX-License-Identifier: MIT
#include "ui/PortMenu.h"

#include "platform/PortMap.h"

#include <QActionGroup>

PortMenu::PortMenu(int port, const QString &deviceInUse, const QList<SystemPort> &systemPorts,
                   QWidget *parent)
    : QMenu(parent), m_port(port)
{
    setObjectName(QStringLiteral("portMenu"));
    m_choices = new QActionGroup(this); // one choice at a time, shown as such
    const QString stored = PortMap::storedDevice(port);
    m_storedInUse = !addSourceNote(deviceInUse);
    addSystemPorts(systemPorts, stored);
    addSeparator();
#ifdef Q_OS_UNIX
    addVirtualLine(stored); // a pseudo-terminal: no such thing on Windows
#endif
    addChoice(QStringLiteral("Default (%1)").arg(PortMap::platformDefault(port)), QString(),
              stored.isEmpty());
}

void PortMenu::addVirtualLine(const QString &stored)
{
    const bool virtualLine = PortMap::isVirtualLine(stored);
    QString text = QStringLiteral("Virtual line…");
    if (virtualLine)
        text += QStringLiteral(" (%1)").arg(PortMap::virtualLinePath(stored));
    QAction *ask = addAction(text);
    ask->setCheckable(true);
    ask->setActionGroup(m_choices);
    ask->setChecked(m_storedInUse && virtualLine);
    connect(ask, &QAction::triggered, this, [this] { Q_EMIT virtualLineAsked(m_port); });
}

// The device in use, when the command line (--port, for this run) or PORTWREN_COM<n> chose it
// over the stored choice; returns whether it did.
bool PortMenu::addSourceNote(const QString &deviceInUse)
{
    QString source;
    if (deviceInUse != PortMap::deviceFor(m_port))
        source = QStringLiteral("--port");
    else if (!PortMap::environmentDevice(m_port).isEmpty())
        source = PortMap::environmentVariable(m_port);
    else
        return false;
    QAction *note = addAction(QStringLiteral("Set by %1: %2").arg(source, deviceInUse));
    note->setCheckable(true);
    note->setActionGroup(m_choices);
    note->setChecked(true);
    note->setEnabled(false);
    addSeparator();
    return true;
}

// One item per port of the machine; a stored device that is not among them stays offered.
void PortMenu::addSystemPorts(const QList<SystemPort> &systemPorts, const QString &stored)
{
    bool storedListed = stored.isEmpty() || PortMap::isVirtualLine(stored);
    for (const SystemPort &port : systemPorts) {
        const QString details = describePort(port);
        addChoice(details.isEmpty() ? port.device : port.device + QStringLiteral("  ") + details,
                  port.device, port.device == stored);
        storedListed = storedListed || port.device == stored;
    }
    if (!storedListed)
        addChoice(stored + QStringLiteral("  (not present)"), stored, true);
    if (systemPorts.isEmpty())
        addAction(QStringLiteral("No serial ports found"))->setEnabled(false);
}

QAction *PortMenu::addChoice(const QString &text, const QString &device, bool current)
{
    QAction *action = addAction(text);
    action->setCheckable(true);
    action->setActionGroup(m_choices);
    action->setChecked(m_storedInUse && current);
    connect(action, &QAction::triggered, this,
            [this, device] { Q_EMIT deviceChosen(m_port, device); });
    return action;
}
