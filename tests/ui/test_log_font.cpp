// SPDX-License-Identifier: MIT
// The log's font lines up hex dumps whatever fonts the machine has: CTest runs this program
// under the machine's fonts and under a font configuration without the Japanese fonts.
#include "WindowFixture.h"
#include "ui/WindowLook.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>

class LogFontTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutions(); }
    void hexDumpsLineUp()
    {
        WindowFixture f;
        const QFont font = f.w->trafficLog()->font();
        const QFontMetricsF metrics(font);
        for (QChar c : QStringLiteral("0123456789ABCDEF []:.iWm"))
            QCOMPARE(metrics.horizontalAdvance(c), metrics.horizontalAdvance(u'0'));
        // Where the Japanese fixed-pitch font is installed, the log keeps it.
        const bool japanese = QFontDatabase::families().contains(QStringLiteral("IPAGothic"));
        QVERIFY(japanese != qEnvironmentVariableIsSet("FONTCONFIG_FILE"));
        if (japanese)
            QCOMPARE(QFontInfo(font).family(), QStringLiteral("IPAGothic"));
    }
};

QTEST_MAIN(LogFontTest)
#include "test_log_font.moc"
