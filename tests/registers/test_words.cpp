// Register memory presets, the word format, the register button's text conversion and the
// handshake's numeric reading of words.
#include "RegisterMemory.h"
#include "WordConversion.h"

#include <QTest>

class TestWords : public QObject
{
    Q_OBJECT
private slots:
    void wordFormat_data();
    void wordFormat();
    void presets_data();
    void presets();
    void boxText_data();
    void boxText();
    void wordValue_data();
    void wordValue();
};

void TestWords::wordFormat_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("word");
    QTest::newRow("5") << 5 << "0005";
    QTest::newRow("-5") << -5 << "-0005";
    QTest::newRow("0") << 0 << "0000";
    QTest::newRow("20000") << 20000 << "20000";
    QTest::newRow("32767") << 32767 << "32767";
    QTest::newRow("-32768") << -32768 << "-32768";
}

void TestWords::wordFormat()
{
    QFETCH(int, value);
    QFETCH(QString, word);
    QCOMPARE(formatWord(static_cast<qint16>(value)), word);
}

void TestWords::presets_data()
{
    QTest::addColumn<bool>("rack");
    QTest::addColumn<QList<int>>("registers");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("rack") << true << QList<int>{0, 31, 32, 33, 34, 42, 43, 44, 127}
                          << QStringList{"0000", "0000", "0002", "0001", "0000", "0000",
                                         "0002", "0000", "0000"};
    QTest::newRow("vehicle") << false
                             << QList<int>{0, 29, 30, 31, 32, 33, 101, 102, 103, 104, 105, 106,
                                           127}
                             << QStringList{"0000", "0000", "0002", "0001", "0000", "0000",
                                            "0000", "0004", "0006", "0006", "0006", "0000",
                                            "0000"};
}

void TestWords::presets()
{
    QFETCH(bool, rack);
    QFETCH(QList<int>, registers);
    QFETCH(QStringList, words);
    RegisterMemory memory;
    if (rack)
        memory.applyRackPreset();
    else
        memory.applyVehiclePreset();
    for (qsizetype i = 0; i < registers.size(); ++i)
        QCOMPARE(memory.word(registers[i]), words[i]);
}

// "word" is the stored word, empty when the text is refused.
void TestWords::boxText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("word");
    QTest::newRow("blanks around") << " 12 " << "0012";
    QTest::newRow("tab and ideographic space") << "\t12\u3000" << "0012";
    QTest::newRow("plus sign") << "+7" << "0007";
    QTest::newRow("minus sign") << "-5" << "-0005";
    QTest::newRow("many leading zeros") << "000000000000000012" << "0012";
    QTest::newRow("2.5 to even") << "2.5" << "0002";
    QTest::newRow("3.5 to even") << "3.5" << "0004";
    QTest::newRow("-2.5 to even") << "-2.5" << "-0002";
    QTest::newRow("above half") << "2.501" << "0003";
    QTest::newRow("below half") << "2.49999" << "0002";
    QTest::newRow("-0.4 has no sign") << "-0.4" << "0000";
    QTest::newRow("largest") << "32767" << "32767";
    QTest::newRow("smallest") << "-32768" << "-32768";
    QTest::newRow("rounds down into range") << "32767.4" << "32767";
    QTest::newRow("half to even stays in range") << "-32768.5" << "-32768";
    QTest::newRow("rounds up out of range") << "32767.5" << "";
    QTest::newRow("32768") << "32768" << "";
    QTest::newRow("-32769") << "-32769" << "";
    QTest::newRow("far too large") << "99999999999999999999" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("letters") << "abc" << "";
    QTest::newRow("exponent") << "1e2" << "";
    QTest::newRow("thousands separator") << "1,000" << "";
    QTest::newRow("blank after sign") << "- 5" << "";
    QTest::newRow("point only") << "." << "";
    QTest::newRow("full-width digits") << "\uFF11\uFF12" << "";
}

void TestWords::boxText()
{
    QFETCH(QString, text);
    QFETCH(QString, word);
    const std::optional<qint16> value = convertBoxText(text);
    QCOMPARE(value.has_value(), !word.isEmpty());
    if (value)
        QCOMPARE(formatWord(*value), word);
}

// "value" is compared only when "readable".
void TestWords::wordValue_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("value");
    QTest::newRow("0001") << "0001" << true << 1;
    QTest::newRow("0011") << "0011" << true << 11;
    QTest::newRow("negative") << "-0001" << true << -1;
    QTest::newRow("five digits") << "20000" << true << 20000;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("letters") << "ABCD" << false << 0;
    QTest::newRow("blank") << " 1" << false << 0;
}

void TestWords::wordValue()
{
    QFETCH(QString, word);
    QFETCH(bool, readable);
    QFETCH(int, value);
    const std::optional<int> read = ::wordValue(word);
    QCOMPARE(read.has_value(), readable);
    if (readable)
        QCOMPARE(*read, value);
}

QTEST_GUILESS_MAIN(TestWords)
#include "test_words.moc"
