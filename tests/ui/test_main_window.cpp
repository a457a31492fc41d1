// SPDX-License-Identifier: MIT
// The main window over a session on a scripted line: controls that pass the operator's choices
// to the session (each transmit button its command) and show what it signals, also what a
// control program chooses (the data window's Auto too); the resize rule;
// texts that fit; the traffic log painted after a reply; the double-click that opens the data
// window; the single help window; the ways the program ends. The port buttons' menus over a
// scripted list of the machine's ports: what a menu offers, a choice stored and shown in the
// button's tooltip (a virtual line through its path dialog), and PORTWREN_COM<n> or --port
// winning over the stored choice, checked as the device in use. "Send bytes…" from the transmit
// area's context menus; the log's millisecond stamps chosen and kept.
#include "WindowFixture.h"
#include "control/ControlRequests.h"
#include "platform/PortMap.h"
#include "ui/HelpWindow.h"
#include "ui/PortMenu.h"
#include "ui/RegisterWindow.h"
#include "ui/SendBytesDialog.h"
#include "ui/StoredChoices.h"

#include <QComboBox>
#include <QInputDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace
{

// The port menu's item for a virtual line, on systems that have them.
#ifdef Q_OS_UNIX
const QStringList VirtualLineItem{QStringLiteral("Virtual line…")};
#else
const QStringList VirtualLineItem;
#endif

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
        auto *menu = qobject_cast<PortMenu *>(contextMenuOf(option("Option2", index)));
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

class MainWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "portwren", "portwren").clear();
    }

    // A click passes the choice to the session; what the session changes shows in the controls.
    void controlsFollowTheSession()
    {
        WindowFixture f;
        QVERIFY(f.control("btnOpen")->isEnabled() && !f.control("btnClose")->isEnabled());
        clickOption(f.option("Option1", 1)); // prGPS
        QCOMPARE(f.session.mode(), SimMode::PrGps);
        clickOption(f.option("Option3", 1));
        clickOption(f.option("Option2", 3));
        f.control<QLineEdit>("Text3")->setText(QStringLiteral("50"));
        clickOption(f.option("Option4", 0));
        QVERIFY(f.session.frameEnd() == FrameEnd::Cr && f.session.portNumber() == 4);
        QVERIFY(f.session.quietTimeText() == QStringLiteral("50") && f.session.hexDump());

        QTest::mouseClick(f.control<QPushButton>("btnOpen"), Qt::LeftButton);
        QVERIFY(f.session.isOpen() && f.control("btnClose")->isEnabled());
        QVERIFY(!f.control("btnOpen")->isEnabled() && !f.option("Option2", 5)->isEnabled());
        f.port->cts = true;
        f.session.tick();
        QCOMPARE(f.control<QLabel>("lbl_rts")->text() + f.control<QLabel>("lbl_cts")->text() +
                     f.control<QLabel>("lbl_cd")->text(),
                 QStringLiteral("◎◎○"));
        const QList<QPair<const char *, const char *>> buttons = {
            {"btnSTX", "　<<STX+TEXT+ETX>>"}, {"btnCRLF", "　<<TEXT+CRLF>>"},
            {"btnCR", "　<<TEXT+CR>>"},       {"btnACK", "　<<ACK>>"},
            {"btnNAK", "　<<NAK>>"},          {"btnEOT", "　<<EOT>>"},
            {"btnSEND", "　<<TEXT>>"}}; // each button's command, known by its note
        f.control<QLineEdit>("Text2")->setText(QStringLiteral("Z"));
        for (const auto &[button, note] : buttons) {
            QTest::mouseClick(f.control<QPushButton>(button), Qt::LeftButton);
            QCOMPARE(f.log.last(), QString::fromUtf8(note));
        }
        QCOMPARE(f.port->written.at(3), QByteArray("Z\r")); // after "AT" at the open, STX, CR LF
        QTest::mouseClick(f.control<QPushButton>("btnClose"), Qt::LeftButton);
        QVERIFY(!f.session.isOpen() && f.option("Option2", 5)->isEnabled());
    }

    // The windows show each choice a control program makes as if the operator had made it (the
    // status and the words it writes show as the handshake's and a host's do: the data window's
    // tests).
    void windowsShowAControlProgramsChoices()
    {
        WindowFixture f;
        f.w->show();
        ControlRequests requests(f.session);
        const auto ask = [&](const char *request) {
            const QJsonObject answer =
                QJsonDocument::fromJson(requests.answer(request).line).object();
            return answer.value(u"ok"_s).toBool();
        };
        QVERIFY(ask(R"({"op":"set","mode":"rack","frame_end":"crlf","quiet_time":50,"hex":true,
                       "transmit_text":"AB"})"));
        QVERIFY(f.option("Option1", 3)->isChecked() && f.option("Option3", 0)->isChecked());
        QVERIFY(f.option("Option4", 0)->isChecked());
        const auto text = [&f](const char *name) { return f.control<QLineEdit>(name)->text(); };
        QCOMPARE(QStringList({text("Text1"), text("Text2"), text("Text3")}),
                 QStringList({"9600,E,8,1", "AB", "50"}));
        QVERIFY(ask(R"({"op":"open"})") && !f.control(u"btnOpen"_s)->isEnabled());

        // As a person double-clicks: a click (which chooses the mode), then the double-click
        // event. "ラックERR" opens no data window; the vehicle and the rack share one.
        const auto doubleClick = [&](int mode) { doubleClickOption(f.option("Option1", mode)); };
        doubleClick(4);
        QVERIFY(!f.w->registerWindow());
        doubleClick(5);
        RegisterWindow *data = f.w->registerWindow();
        QVERIFY(data && f.session.mode() == SimMode::Vehicle);
        doubleClick(3);
        QCOMPARE(f.w->registerWindow(), data);
        QVERIFY(ask(R"({"op":"handshake","action":"auto"})"));
        QVERIFY(data->findChild<QRadioButton *>(u"Option1"_s)->isChecked());
        QVERIFY(ask(R"({"op":"handshake","action":"manual"})"));
        QVERIFY(data->findChild<QRadioButton *>(u"Option2"_s)->isChecked());
        QVERIFY(ask(R"({"op":"close"})") && f.control(u"btnOpen"_s)->isEnabled());
    }

    // The log box grows and shrinks with the window; below a threshold the last size stays (the
    // box never shrinks to nothing), and a few twips above it still leave a pixel.
    void logBoxFollowsTheWindow()
    {
        WindowFixture f;
        MainWindow &w = *f.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(700, 500);
        const QSize size = w.trafficLog()->size();
        w.resize(800, 650);
        QCOMPARE(w.trafficLog()->size(), size + QSize(100, 150));
        w.resize(200, 40);
        QCOMPARE(w.trafficLog()->size(), QSize(size.width() - 500, size.height() + 150));
        const QSize frame = w.frameGeometry().size() - w.size();
        w.resize(134 - frame.width(), 54 - frame.height()); // 2010 x 810 twips
        QVERIFY(w.trafficLog()->width() >= 1 && w.trafficLog()->height() >= 1);
    }

    // A reply that is ready goes on the line before the log is painted; the log is painted as soon
    // as the event loop turns, before any wait of the receive path can end (the clock stands).
    void replyLeavesBeforeThePaint()
    {
        WindowFixture f;
        struct PaintCount : QObject {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        f.w->trafficLog()->viewport()->installEventFilter(&counter);
        f.w->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        f.open(SimMode::Rack, FrameEnd::Time);
        QCoreApplication::processEvents();
        const int before = counter.paints;
        f.port->arriveNow("\x05"
                          "000000WR00003202"
                          "50");
        f.port->raiseArrival();
        QCoreApplication::processEvents();
        f.clock->advance(200); // the quiet time passes: the frame is answered at once
        QCOMPARE(f.port->written.size(), 1);
        QCOMPARE(counter.paints, before);
        QTRY_VERIFY(counter.paints > before);
        QCOMPARE(f.rows().first(), QStringLiteral("◎\x02"
                                                  "00000000020001\x03"
                                                  "A6"));
    }

    // Every control draws in the window's font, and every text fits its control whole: the
    // modem-line glyphs and the help window's captions. One help window, made afresh once
    // closed. END with the port closed touches nothing; the title bar's close ends the program
    // as END does: the port closes, every window closes, and no line is logged about it.
    void textsFitAndTheWindowsClose()
    {
        WindowFixture closed;
        QTest::mouseClick(closed.control<QPushButton>("btnEnd"), Qt::LeftButton);
        QCOMPARE(closed.ended.size(), 1);
        QVERIFY(closed.port->opens == 0 && closed.rows().isEmpty());

        WindowFixture f;
        const QString family = QFontInfo(f.w->font()).family();
        for (QWidget *control : f.w->findChildren<QWidget *>())
            if (control->objectName().startsWith(QStringLiteral("Option")) ||
                control->objectName() == QStringLiteral("Text3"))
                QCOMPARE(QPair(control->objectName(), QFontInfo(control->font()).family()),
                         QPair(control->objectName(), family));
        const auto fits = [](QLabel *label) {
            const QFontMetrics metrics(label->font());
            return metrics.horizontalAdvance(label->text()) <= label->width() &&
                   metrics.height() <= label->height();
        };
        f.control<QLabel>("lbl_dtr")->setText(QStringLiteral("◎"));
        QVERIFY(fits(f.control<QLabel>("lbl_dtr")));
        for (int i = 0; i < 6; ++i) { // "Com6:" ends at the window's right edge
            QRadioButton *port = f.option("Option2", i);
            QVERIFY2(port->sizeHint().width() <= port->width() &&
                         port->geometry().right() < f.w->width(),
                     qPrintable(port->text()));
        }
        QTest::mouseClick(f.control<QPushButton>("btnHelp"), Qt::LeftButton);
        HelpWindow *first = f.w->helpWindow();
        for (QLabel *caption : first->findChildren<QLabel *>())
            QVERIFY2(fits(caption), qPrintable(caption->text()));
        for (const char *mark : {"● a frame received", "◎ bytes sent", "☒ a control character"})
            QVERIFY(first->toolTip().contains(QString::fromUtf8(mark)));
        QTest::mouseClick(f.control<QPushButton>("btnHelp"), Qt::LeftButton);
        QVERIFY(first && first->isVisible() && f.w->helpWindow() == first);
        first->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!f.w->helpWindow());
        QTest::mouseClick(f.control<QPushButton>("btnHelp"), Qt::LeftButton);
        QVERIFY(f.w->helpWindow() && f.w->helpWindow()->isVisible());
        f.session.open();
        f.w->close();
        QVERIFY(f.ended.size() == 1 && !f.port->isOpen());
        QCOMPARE(f.rows().size(), 1); // the OPEN line only
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!f.w->helpWindow());
    }

    // What a menu offers (Virtual line… where the system has them; the system's default); a
    // choice stored and shown in the button's tooltip.
    void menuOffersAndStoresAChoice()
    {
        MenuFixture f;
        const auto defaultItem = [](int port) {
            return QStringList{QStringLiteral("Default (%1)*").arg(PortMap::platformDefault(port))};
        };
        QCOMPARE(f.items(f.openMenu(0)),
                 QStringList({"/dev/ttyUSB0  USB-Serial Controller (Prolific, 067b:2303), in use",
                              "/dev/ttyS0"}) +
                     VirtualLineItem + defaultItem(1));
        f.choose(2, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(PortMap::storedDevice(3), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(f.tooltip(2), QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(f.items(f.openMenu(2)).first().endsWith(QLatin1String("in use*")));

#ifdef Q_OS_UNIX
        f.choose(2, QStringLiteral("Virtual line"));
        auto *dialog = f.w->findChild<QInputDialog *>(QStringLiteral("virtualLineDialog"));
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->textValue(), QStringLiteral("/tmp/portwren-com3"));
        dialog->setTextValue(QStringLiteral("/tmp/cli-line"));
        dialog->accept();
        QCOMPARE(f.tooltip(2), QStringLiteral("pty:/tmp/cli-line"));
        QVERIFY(f.items(f.openMenu(2)).contains(QStringLiteral("Virtual line… (/tmp/cli-line)*")));
#endif

        // A device stored earlier that the machine no longer has stays offered, and chosen.
        PortMap::storeDevice(3, QStringLiteral("/dev/ttyACM7"));
        QVERIFY(f.items(f.openMenu(2)).contains(QStringLiteral("/dev/ttyACM7  (not present)*")));

        f.choose(2, QStringLiteral("Default"));
        QVERIFY(PortMap::storedDevice(3).isEmpty());
        QCOMPARE(f.tooltip(2), PortMap::platformDefault(3));
        QCOMPARE(f.tooltip(1), PortMap::platformDefault(2)); // other ports untouched
        f.w->setPortLister([] { return QList<SystemPort>(); });
        QCOMPARE(f.items(f.openMenu(5)),
                 QStringList{"No serial ports found-"} + VirtualLineItem + defaultItem(6));
    }

    // The device in use is the one checked, also when PORTWREN_COM<n> or --port chose it over
    // the stored choice; a choice made then is stored all the same.
    void environmentAndCommandLineWin()
    {
        PortMap::storeDevice(2, QStringLiteral("/dev/ttyUSB0"));
        qputenv("PORTWREN_COM2", " COM9 "); // blanks around the device are not part of it
        qputenv("PORTWREN_COM3", "");       // empty: not set
        MenuFixture f;
        QCOMPARE(f.tooltip(1), QStringLiteral("COM9"));
        QCOMPARE(
            f.items(f.openMenu(1)).mid(0, 2),
            QStringList({"Set by PORTWREN_COM2: COM9*-",
                         "/dev/ttyUSB0  USB-Serial Controller (Prolific, 067b:2303), in use"}));
        f.choose(1, QStringLiteral("Default"));
        QCOMPARE(QStringList({f.tooltip(1), f.tooltip(2)}),
                 QStringList({"COM9", PortMap::platformDefault(3)}));
        QVERIFY(PortMap::storedDevice(2).isEmpty());
        f.session.chooseDevice(2, QStringLiteral("pty:/tmp/run-line"), DeviceChoice::ForThisRun);
        const QStringList items = f.items(f.openMenu(1));
        QCOMPARE(items.first(), QStringLiteral("Set by --port: pty:/tmp/run-line*-"));
        QCOMPARE(items.filter(QStringLiteral("*")).size(), 1);
        f.session.chooseDevice(3, PortMap::platformDefault(3), DeviceChoice::ForThisRun);
        QVERIFY(f.items(f.openMenu(2))
                    .contains(QStringLiteral("Default (%1)*").arg(PortMap::platformDefault(3))));
        qunsetenv("PORTWREN_COM2");
        qunsetenv("PORTWREN_COM3");
    }

    // Exactly the bytes typed go out through the session and are logged as a transmission; an
    // entry that does not read is named and nothing goes; the entries sent are offered again,
    // newest first, in the next dialog; on a closed port the log says why nothing went.
    void sendBytes()
    {
        WindowFixture f;
        f.open(SimMode::None, FrameEnd::CrLf);
        auto *ack = f.control<QPushButton>("btnACK");
        QCOMPARE(ack->contextMenuPolicy(), Qt::ActionsContextMenu);
        ack->actions().first()->trigger();
        SendBytesDialog *dialog = f.w->sendBytesDialog();
        QVERIFY(dialog && dialog->isVisible());
        auto *entry = dialog->findChild<QComboBox *>(u"sendBytesEntry"_s);
        auto *state = dialog->findChild<QLabel *>(u"sendBytesState"_s);
        auto *send = dialog->findChild<QPushButton *>(u"sendBytesSend"_s);
        const qsizetype written = f.port->written.size();
        entry->setCurrentText(u"05 3G"_s);
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY2(state->text().startsWith(u"'G' (character 5)"_s), qPrintable(state->text()));
        QCOMPARE(f.port->written.size(), written);
        entry->lineEdit()->clear();
        QTest::keyClicks(entry->lineEdit(), u"05 30 30 57 52"_s);
        QCOMPARE(state->text(), u"5 bytes"_s);
        QTest::keyClick(entry->lineEdit(), Qt::Key_Return);
        QCOMPARE(f.port->written.mid(written), QList<QByteArray>{"\x05"
                                                                 "00WR"});
        QCOMPARE(f.log.last(), u"◎\x05"
                               "00WR"_s);
        entry->setCurrentText(u"0d0a"_s);
        QVERIFY(dialog->sendEntry());
        QCOMPARE(f.port->written.last(), QByteArray("\r\n"));
        dialog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!f.w->sendBytesDialog());

        QMenu *menu = contextMenuOf(f.control(u"Text2"_s));
        QVERIFY(menu && menu->objectName() == u"transmitTextMenu"_s);
        menu->actions().last()->trigger();
        menu->close();
        entry = f.w->sendBytesDialog()->findChild<QComboBox *>(u"sendBytesEntry"_s);
        QStringList offered;
        for (int i = 0; i < entry->count(); ++i)
            offered << entry->itemText(i);
        QCOMPARE(offered, QStringList({"0D 0A", "05 30 30 57 52"}));
        QCOMPARE(entry->currentText(), u"0D 0A"_s);
        f.session.close();
        QVERIFY(!f.w->sendBytesDialog()->sendEntry());
        QVERIFY(f.log.last().startsWith(u"  <<ポートが閉じているため送信しませんでした"_s));
    }

    // Millisecond stamps chosen in the log's context menu: every line from then on, and the
    // next window starts with them; the command line's choice is for its run only.
    void millisecondStamps()
    {
        {
            WindowFixture f;
            auto *choice = f.w->trafficLog()->findChild<QAction *>(u"millisecondStamps"_s);
            QVERIFY(choice && !choice->isChecked());
            f.clock->advance(7);
            f.session.note(NoteSource::Operator, u"before"_s);
            choice->trigger();
            f.session.note(NoteSource::Operator, u"after"_s);
            QCOMPARE(f.w->trafficLog()->text(), u"[12:34:56.007]after\n[12:34:56]before\n"_s);
        }
        WindowFixture next;
        auto *choice = next.w->trafficLog()->findChild<QAction *>(u"millisecondStamps"_s);
        QVERIFY(choice->isChecked());
        next.w->setStampPrecision(StampPrecision::Seconds); // --timestamps s
        next.session.note(NoteSource::Operator, u"run"_s);
        QVERIFY(!choice->isChecked());
        QCOMPARE(next.w->trafficLog()->text(), u"[12:34:56]run\n"_s);
        QCOMPARE(StoredChoices::stampPrecision(), StampPrecision::Milliseconds);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
