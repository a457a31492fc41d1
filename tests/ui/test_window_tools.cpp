// SPDX-License-Identifier: MIT
// The operator's tools in the main window over a session on a scripted line and clock: DTR and
// RTS switched by a click on their indicators (and their tooltips on a virtual line); BREAK from
// the indicators' context menu, of the length last chosen; a transmit button's or a "Send
// bytes" entry's repeat started from its dialog, shown running in the bar and stopped there;
// the wait for a lost port chosen in OPEN's context menu (open or closed), kept for the next
// window, and ended by CLOSE; the log captured to a file from the log's context menu.
#include "WindowFixture.h"
#include "session/LogCapture.h"
#include "ui/RepeatDialog.h"
#include "ui/SendBytesDialog.h"
#include "ui/StoredChoices.h"

#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace
{
QAction *actionOf(QMenu *menu, const char *name)
{
    for (QAction *action : menu->actions())
        if (action->objectName() == QLatin1String(name))
            return action;
    qFatal("no action %s", name);
}
} // namespace

class WindowToolsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "portwren", "portwren").clear();
    }

    // A click on DTR's or RTS's indicator or caption switches the output, with its note, and
    // the indicator follows; on a closed port the note says why nothing changed. A virtual
    // line's indicators say in their tooltips that it does not carry them.
    void outputsSwitchedByAClick()
    {
        WindowFixture f;
        auto *dtr = f.control<QLabel>(u"lbl_dtr"_s);
        QTest::mouseClick(dtr, Qt::LeftButton);
        QCOMPARE(f.log.last(), u"  <<DTR on refused: the port is not open>>"_s);
        f.open(SimMode::None, FrameEnd::Time);
        f.session.tick();
        QCOMPARE(dtr->text(), u"◎"_s);
        QTest::mouseClick(dtr, Qt::LeftButton);
        QTest::mouseClick(f.control<QLabel>(u"Label7"_s), Qt::LeftButton); // RTS's caption
        QCOMPARE(f.port->lineChanges, QStringList({"DTR off", "RTS off"}));
        QCOMPARE(f.log.mid(f.log.size() - 2), QStringList({"  <<DTR off>>", "  <<RTS off>>"}));
        QCOMPARE(dtr->text(), u"○"_s);
        QCOMPARE(f.control<QLabel>(u"lbl_rts"_s)->text(), u"○"_s);
        QVERIFY(dtr->toolTip().startsWith(u"DTR: click to switch it"_s));
        f.session.close();
        f.session.chooseDevice(1, u"pty:/tmp/tools-line"_s, DeviceChoice::ForThisRun);
        f.session.open();
        QCOMPARE(f.control<QLabel>(u"Label3"_s)->toolTip(),
                 u"DTR: not carried on a virtual line (its far end cannot see it, nor BREAK)"_s);
    }

    // The indicators' context menu shows DTR and RTS as switches and sends a BREAK of the
    // length chosen last (250 ms at first); while it is on, no other can start.
    void breakFromTheLineMenu()
    {
        WindowFixture f;
        f.open(SimMode::None, FrameEnd::Time);
        QMenu *menu = contextMenuOf(f.control(u"lbl_cts"_s));
        QVERIFY(menu && menu->objectName() == u"lineMenu"_s);
        QVERIFY(actionOf(menu, "dtr")->isChecked() && actionOf(menu, "rts")->isChecked());
        QCOMPARE(actionOf(menu, "break")->text(), u"BREAK 250 ms"_s);
        actionOf(menu, "break")->trigger();
        menu->close();
        QCOMPARE(f.port->lineChanges, QStringList{"BREAK on"});
        menu = contextMenuOf(f.control(u"Label1"_s)); // CD's caption
        QVERIFY(!actionOf(menu, "break")->isEnabled() &&
                !actionOf(menu, "breakLength")->isEnabled());
        menu->close();
        f.clock->advance(250);
        QCOMPARE(f.port->lineChanges, QStringList({"BREAK on", "BREAK off"}));
        menu = contextMenuOf(f.control(u"lbl_rts"_s));
        actionOf(menu, "breakLength")->trigger();
        menu->close();
        auto *dialog = f.w->findChild<QInputDialog *>(u"breakLengthDialog"_s);
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->intValue(), 250);
        dialog->setIntValue(40);
        dialog->accept();
        QCOMPARE(f.log.last(), u"  <<BREAK 40 ms>>"_s);
        f.clock->advance(40);
        menu = contextMenuOf(f.control(u"lbl_dtr"_s));
        QCOMPARE(actionOf(menu, "break")->text(), u"BREAK 40 ms"_s);
        menu->close();
    }

    // "Repeat CR…" from the button's context menu: the dialog's period and count start it, the
    // bar shows it running and counts its sends, and its Stop ends it. A closed port refuses it
    // in the dialog. A "Send bytes" entry repeats the same way.
    void repeatFromAButtonAndFromSendBytes()
    {
        WindowFixture f;
        f.w->show();
        auto *cr = f.control<QPushButton>(u"btnCR"_s);
        const auto repeatAction = [](QWidget *button) {
            for (QAction *action : button->actions())
                if (action->objectName() == u"repeat"_s)
                    return action;
            return static_cast<QAction *>(nullptr);
        };
        QCOMPARE(repeatAction(cr)->text(), u"Repeat CR…"_s);
        repeatAction(cr)->trigger();
        RepeatDialog *dialog = f.w->repeatDialog();
        QVERIFY(dialog && dialog->isVisible() && dialog->windowTitle() == u"Repeat CR"_s);
        QVERIFY(!dialog->start());
        QCOMPARE(dialog->findChild<QLabel *>(u"repeatState"_s)->text(),
                 u"Not started: the port is not open."_s);
        f.open(SimMode::None, FrameEnd::Time);
        dialog->periodBox()->setValue(500);
        dialog->countBox()->setValue(3);
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"repeatStart"_s), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        auto *bar = f.control(u"repeatBar"_s);
        auto *text = f.control<QLabel>(u"repeatText"_s);
        QVERIFY(bar->isVisible());
        QCOMPARE(text->text(), u"Repeating CR every 500 ms: 1 of 3 sent"_s);
        f.clock->advance(500);
        QCOMPARE(text->text(), u"Repeating CR every 500 ms: 2 of 3 sent"_s);
        QTest::mouseClick(f.control<QPushButton>(u"repeatStop"_s), Qt::LeftButton);
        QVERIFY(!bar->isVisible());
        QCOMPARE(f.log.last(), u"  <<repeat stopped: 2 of 3 sent>>"_s);
        QCOMPARE(f.port->written, QByteArrayList(2, "\r"));

        f.w->openSendBytes();
        f.w->sendBytesDialog()
            ->findChild<QComboBox *>(u"sendBytesEntry"_s)
            ->setCurrentText(u"06"_s);
        QTest::mouseClick(f.w->sendBytesDialog()->findChild<QPushButton *>(u"sendBytesRepeat"_s),
                          Qt::LeftButton);
        dialog = f.w->repeatDialog();
        QCOMPARE(dialog->windowTitle(), u"Repeat 06"_s);
        QCOMPARE(dialog->periodBox()->value(), 500); // as chosen last
        dialog->countBox()->setValue(0);
        QVERIFY(dialog->start());
        QCOMPARE(text->text(), u"Repeating 06 every 500 ms: 1 sent"_s);
        f.session.close();
        QVERIFY(!bar->isVisible());
        QCOMPARE(f.port->written.last(), QByteArray("\x06"));
    }

    // OPEN's context menu chooses to wait for a lost port, kept for the next window; while the
    // port is waited for, CLOSE ends the wait.
    void reconnectChosenInOpensMenu()
    {
        {
            WindowFixture f;
            QMenu *menu = contextMenuOf(f.control(u"btnOpen"_s));
            QVERIFY(menu && !actionOf(menu, "reconnect")->isChecked());
            actionOf(menu, "reconnect")->trigger();
            menu->close();
            QVERIFY(f.session.reconnects());
        }
        QVERIFY(StoredChoices::reconnect());
        WindowFixture f;
        QVERIFY(f.session.reconnects());
        f.open(SimMode::None, FrameEnd::Time);
        QVERIFY(!f.control(u"btnOpen"_s)->isEnabled());
        QMenu *menu = contextMenuOf(f.control(u"btnOpen"_s)); // disabled, yet it has its menu
        QVERIFY(menu && actionOf(menu, "reconnect")->isChecked());
        menu->close();
        f.port->loseLine(u"unplugged"_s);
        QCoreApplication::processEvents();
        auto *close = f.control<QPushButton>(u"btnClose"_s);
        QVERIFY(close->isEnabled() && f.control(u"btnOpen"_s)->isEnabled());
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(f.session.waitingFor().isEmpty() && !close->isEnabled());
        QCOMPARE(f.log.last(), u"  <<no longer waiting for fake1>>"_s);
    }

    // "Log to file…" asks for a file; from then every row goes to it, and the menu shows its name
    // checked; chosen again, the capture ends.
    void logToFileFromTheLogsMenu()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"capture.log"_s);
        WindowFixture f;
        auto *choice = f.w->trafficLog()->findChild<QAction *>(u"logToFile"_s);
        QVERIFY(choice && !choice->isChecked());
        choice->trigger();
        QVERIFY(!choice->isChecked());
        auto *dialog = f.w->trafficLog()->findChild<QFileDialog *>(u"logToFileDialog"_s);
        QVERIFY(dialog && dialog->isVisible());
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
        QVERIFY(f.w->logCapture().isActive());
        QVERIFY(choice->isChecked());
        QCOMPARE(choice->text(), u"Log to file: capture.log"_s);
        f.session.note(NoteSource::Operator, u"  <<kept>>"_s);
        choice->trigger();
        QVERIFY(!f.w->logCapture().isActive() && !choice->isChecked());
        QCOMPARE(choice->text(), u"Log to file…"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 ("[12:34:56]  <<logging to " + path + ">>\n[12:34:56]  <<kept>>\n").toUtf8());
        QCOMPARE(f.rows().first(), "  <<logging to " + path + " ended>>");
    }
};

QTEST_MAIN(WindowToolsTest)
#include "test_window_tools.moc"
