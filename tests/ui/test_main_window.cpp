// SPDX-License-Identifier: MIT
// The main window over a session on a scripted line: the controls as start-up leaves them, the
// resize rule, texts that fit, controls that pass the operator's choices to the session (each
// transmit button its command) and show what it signals, the traffic log painted after a reply,
// the double-click that opens the data window, the single help window, and the ways the
// program ends.
#include "WindowFixture.h"
#include "ui/HelpWindow.h"
#include "ui/RegisterWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class MainWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stateAfterStartUp();
    void logBoxFollowsTheWindow();
    void textsFitTheirControls();
    void controlsFollowTheSession();
    void replyLeavesBeforeThePaint();
    void doubleClickOpensTheDataWindow();
    void helpWindowIsSingle();
    void endAndTitleBarCloseEverything();
};

void MainWindowTest::stateAfterStartUp()
{
    WindowFixture f;
    QVERIFY(f.option("Option1", 0)->isChecked() && f.option("Option2", 0)->isChecked());
    QVERIFY(f.option("Option3", 2)->isChecked() && f.option("Option4", 1)->isChecked());
    QCOMPARE(f.control<QLineEdit>("Text1")->text(), QStringLiteral("9600,N,7,1"));
    QCOMPARE(f.control<QLineEdit>("Text3")->text(), QStringLiteral("200"));
    QVERIFY(f.control<QLineEdit>("Text2")->text().isEmpty());
    QVERIFY(f.control("btnOpen")->isEnabled() && !f.control("btnClose")->isEnabled());
    QCOMPARE(f.option("Option1", 3)->text(), QStringLiteral("ラック"));
    QCOMPARE(f.control<QLabel>("lbl_cd")->text(), QStringLiteral("○"));
    QVERIFY(f.w->trafficLog()->text().isEmpty());
}

void MainWindowTest::logBoxFollowsTheWindow()
{
    WindowFixture f;
    MainWindow &w = *f.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QSize frame = w.frameGeometry().size() - w.size();
    const auto less = [](int pixels, int twipsOff) { return (pixels * 15 - twipsOff) / 15; };
    w.resize(700, 500);
    QCOMPARE(w.trafficLog()->geometry(),
             QRect(116, 22, less(700 + frame.width(), 2000), less(500 + frame.height(), 800)));
    // Below a threshold the last size stays: the box never shrinks to nothing.
    const int height = w.trafficLog()->height();
    w.resize(200, 40);
    QCOMPARE(w.trafficLog()->size(), QSize(less(200 + frame.width(), 2000), height));
    // A few twips above the threshold still leave a pixel.
    w.resize(134 - frame.width(), 54 - frame.height()); // 2010 x 810 twips
    QVERIFY(w.trafficLog()->width() >= 1 && w.trafficLog()->height() >= 1);
}

// Every control draws in the window's font, and every text fits its control whole: the
// modem-line glyphs and the help window's captions.
void MainWindowTest::textsFitTheirControls()
{
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
    QLabel *indicator = f.control<QLabel>("lbl_dtr");
    indicator->setText(QStringLiteral("◎"));
    QVERIFY(fits(indicator));
    QTest::mouseClick(f.control<QPushButton>("btnHelp"), Qt::LeftButton);
    for (QLabel *caption : f.w->helpWindow()->findChildren<QLabel *>())
        QVERIFY2(fits(caption), qPrintable(caption->text()));
    f.w->helpWindow()->close();
}

// A click passes the choice to the session; what the session changes shows in the controls.
void MainWindowTest::controlsFollowTheSession()
{
    WindowFixture f;
    clickOption(f.option("Option1", 1)); // prGPS: its texts and CR LF
    QCOMPARE(f.session.mode(), SimMode::PrGps);
    QCOMPARE(f.control<QLineEdit>("Text1")->text(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(f.control<QLineEdit>("Text2")->text(), f.session.transmitText());
    QVERIFY(f.option("Option3", 0)->isChecked());
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

// A reply that is ready goes on the line before the log is painted; the log is painted as soon
// as the event loop turns, before any wait of the receive path can end (the clock stands).
void MainWindowTest::replyLeavesBeforeThePaint()
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
    f.session.chooseMode(SimMode::Rack);
    f.session.open();
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

// As a person double-clicks: a click (which chooses the mode), then the double-click event.
void MainWindowTest::doubleClickOpensTheDataWindow()
{
    WindowFixture f;
    const auto doubleClick = [&](int mode) { doubleClickOption(f.option("Option1", mode)); };
    doubleClick(4); // "ラックERR" opens nothing
    QVERIFY(!f.w->registerWindow());
    doubleClick(5);
    RegisterWindow *opened = f.w->registerWindow();
    QVERIFY(opened && f.session.mode() == SimMode::Vehicle);
    doubleClick(3);
    QCOMPARE(f.w->registerWindow(), opened); // one data window
    opened->close();
}

void MainWindowTest::helpWindowIsSingle()
{
    WindowFixture f;
    QTest::mouseClick(f.control<QPushButton>("btnHelp"), Qt::LeftButton);
    HelpWindow *first = f.w->helpWindow();
    QTest::mouseClick(f.control<QPushButton>("btnHelp"), Qt::LeftButton);
    QVERIFY(first && first->isVisible() && f.w->helpWindow() == first);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f.w->helpWindow());
    QTest::mouseClick(f.control<QPushButton>("btnHelp"), Qt::LeftButton);
    QVERIFY(f.w->helpWindow() && f.w->helpWindow()->isVisible());
    f.w->helpWindow()->close();
}

void MainWindowTest::endAndTitleBarCloseEverything()
{
    WindowFixture closed;
    QTest::mouseClick(closed.control<QPushButton>("btnEnd"), Qt::LeftButton);
    QCOMPARE(closed.ended.size(), 1);
    QVERIFY(closed.port->opens == 0 && closed.rows().isEmpty()); // a closed port is not touched

    WindowFixture f;
    f.session.open();
    QTest::mouseClick(f.control<QPushButton>("btnHelp"), Qt::LeftButton);
    f.w->close(); // the title bar's close ends the program as END does
    QVERIFY(f.ended.size() == 1 && !f.port->isOpen());
    QCOMPARE(f.rows().size(), 1); // no line about it
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f.w->helpWindow());
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
