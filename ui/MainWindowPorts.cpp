// SPDX-License-Identifier: MIT
// The port buttons' menus: the operator chooses the device each of Com1: to Com6: leads to; the
// choice is stored through the session and named in the button's tooltip.
#include "platform/PortMap.h"
#include "session/LineSession.h"
#include "ui/MainWindow.h"
#include "ui/PortMenu.h"

#include <QDir>
#include <QInputDialog>
#include <QRadioButton>

void MainWindow::setPortLister(SystemPortLister lister)
{
    m_listPorts = std::move(lister);
}

void MainWindow::showPortMenu(int index, const QPoint &globalPosition)
{
    auto *menu = new PortMenu(index + 1, m_session.deviceFor(index + 1), m_listPorts(), this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu, &PortMenu::deviceChosen, this, &MainWindow::choosePortDevice);
    connect(menu, &PortMenu::virtualLineAsked, this, &MainWindow::askVirtualLinePath);
    menu->popup(globalPosition);
}

void MainWindow::choosePortDevice(int port, const QString &device)
{
    m_session.chooseDevice(port, device, DeviceChoice::Stored);
    showPortDevice(port);
}

// Asks for the path of the link a host program opens; the dialog does not block the line.
void MainWindow::askVirtualLinePath(int port)
{
    const QString stored = PortMap::storedDevice(port);
    auto *dialog = new QInputDialog(this);
    dialog->setObjectName(QStringLiteral("virtualLineDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Com%1: virtual line").arg(port));
    dialog->setLabelText(QStringLiteral("Path of the link a host program opens:"));
    dialog->setTextValue(PortMap::isVirtualLine(stored)
                             ? PortMap::virtualLinePath(stored)
                             : QStringLiteral("/tmp/portwren-com%1").arg(port));
    connect(dialog, &QInputDialog::textValueSelected, this, [this, port](const QString &path) {
        if (!path.trimmed().isEmpty())
            choosePortDevice(
                port, PortMap::virtualLineDevice(QDir::current().absoluteFilePath(path.trimmed())));
    });
    dialog->open();
}

void MainWindow::showPortDevice(int port)
{
    m_portButtons[port - 1]->setToolTip(m_session.deviceFor(port));
}
