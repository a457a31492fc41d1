// SPDX-License-Identifier: MIT
// The port buttons' menus over a scripted list of the machine's ports: what a menu offers, a
// choice stored and shown in the button's tooltip (a virtual line through its path dialog),
// and PORTWREN_COM<n> winning over the stored choice.
#include "WindowFixture.h"
#include "platform/PortMap.h"
#include "ui/PortMenu.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QSettings>
#include <QStandardPaths>

namespace
{

QList<SystemPort> scriptedPorts()
{
    const SystemPort adapter{
        "/dev/ttyUSB0", "USB-Serial Controller", "Prolific", 0x067b, 0x2303, true};
    return {adapter, SystemPort{"/dev/ttyS0", {}, {}, {}, {}, false}};
}

struct MenuFixture : WindowFixture {
    MenuFixture() { w->setPortLister(scriptedPorts); }

    // Right-clicks port button index and returns the menu that opens.
    PortMenu *openMenu(int index)
    {
        QRadioButton *button = option("Option2", index);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(6, 6),
                                button->mapToGlobal(QPoint(6, 6)));
        QApplication::sendEvent(button, &click);
        auto *menu = qobject_cast<PortMenu *>(QApplication::activePopupWidget());
        if (!menu)
            qFatal("no port menu opened");
        return menu;
    }
    // The menu's items: text, and "*" for the checked one, "-" for a disabled one.
    static QStringList items(PortMenu *menu)
    {
        QStringList texts;
        for (QAction *action : menu->actions())
            if (!action->isSeparator())
                texts << action->text() + (action->isChecked() ? "*" : "") +
                             (action->isEnabled() ? "" : "-");
        menu->close();
        return texts;
    }
    void choose(int index, const QString &startOfText)
    {
        PortMenu *menu = openMenu(index);
        for (QAction *action : menu->actions())
            if (action->text().startsWith(startOfText))
                return action->trigger(), void(menu->close());
        qFatal("no item %s", qPrintable(startOfText));
    }
    QString tooltip(int index) const { return option("Option2", index)->toolTip(); }
};

} // namespace

class PortMenuTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "portwren", "portwren").clear();
    }

    // What a menu offers; a choice stored and shown in the button's tooltip.
    void menuOffersAndStoresAChoice()
    {
        MenuFixture f;
        QCOMPARE(f.items(f.openMenu(0)),
                 QStringList({"/dev/ttyUSB0  USB-Serial Controller (Prolific, 067b:2303), in use",
                              "/dev/ttyS0", "Virtual line…", "Default (/dev/ttyS0)*"}));
        f.choose(2, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(PortMap::storedDevice(3), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(f.tooltip(2), QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(f.items(f.openMenu(2)).first().endsWith(QLatin1String("in use*")));

        f.choose(2, QStringLiteral("Virtual line"));
        auto *dialog = f.w->findChild<QInputDialog *>(QStringLiteral("virtualLineDialog"));
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->textValue(), QStringLiteral("/tmp/portwren-com3"));
        dialog->setTextValue(QStringLiteral("/tmp/cli-line"));
        dialog->accept();
        QCOMPARE(f.tooltip(2), QStringLiteral("pty:/tmp/cli-line"));
        QVERIFY(f.items(f.openMenu(2)).contains(QStringLiteral("Virtual line… (/tmp/cli-line)*")));

        // A device stored earlier that the machine no longer has stays offered, and chosen.
        PortMap::storeDevice(3, QStringLiteral("/dev/ttyACM7"));
        QVERIFY(f.items(f.openMenu(2)).contains(QStringLiteral("/dev/ttyACM7  (not present)*")));

        f.choose(2, QStringLiteral("Default"));
        QVERIFY(PortMap::storedDevice(3).isEmpty());
        QCOMPARE(f.tooltip(2), QStringLiteral("/dev/ttyS2"));
        QCOMPARE(f.tooltip(1), QStringLiteral("/dev/ttyS1")); // other ports untouched
        f.w->setPortLister([] { return QList<SystemPort>(); });
        QCOMPARE(f.items(f.openMenu(5)),
                 QStringList({"No serial ports found-", "Virtual line…", "Default (/dev/ttyS5)*"}));
    }

    void environmentWins()
    {
        PortMap::storeDevice(2, QStringLiteral("/dev/ttyUSB0"));
        qputenv("PORTWREN_COM2", " COM9 "); // blanks around the device are not part of it
        qputenv("PORTWREN_COM3", "");       // empty: not set
        MenuFixture f;
        QCOMPARE(f.tooltip(1), QStringLiteral("COM9"));
        const QStringList items = f.items(f.openMenu(1));
        QCOMPARE(items.first(), QStringLiteral("Set by PORTWREN_COM2 or --port: COM9-"));
        QVERIFY(items.at(1).endsWith(QLatin1String("in use*")));
        f.choose(1, QStringLiteral("Default"));
        QCOMPARE(QStringList({f.tooltip(1), f.tooltip(2)}), QStringList({"COM9", "/dev/ttyS2"}));
        qunsetenv("PORTWREN_COM2");
        qunsetenv("PORTWREN_COM3");
    }
};

QTEST_MAIN(PortMenuTest)
#include "test_port_menu.moc"
