// SPDX-License-Identifier: MIT
// Compares the code page 932 conversion with a reference written at test time (its path in
// PORTWREN_CP932_REFERENCE, or the one the build names): every byte, every two bytes and random
// runs decoded, whole and as a stream cut into pieces; every BMP character and a few beyond it
// encoded. A missing or short reference fails the test.
//
// On Linux the reference is Python's cp932 codec (cp932_reference.py), the product's own
// source: everything must match. On Windows it is Windows' own conversion (cp932_reference_win,
// first line "s windows"), which lists only the bytes, pairs and characters Windows defines.
// Measured under Wine 8 (192 single bytes, 9,604 pairs, 9,402 characters):
// - every byte and pair Windows decodes, the product decodes to the same character. Windows
//   leaves 80, A0 and FD-FF undefined alone; the product reads them as Python does (U+0080,
//   U+F8F0, U+F8F1-U+F8F3), and they are not in this reference.
// - 373 characters have two pairs, one among NEC's selection of IBM's extensions (rows ED, EE)
//   and one among IBM's extensions (rows FA-FC): Windows encodes them to the latter, Python and
//   so the product to the lower, e.g. U+2170 (small roman numeral one) EEEF where Windows says
//   FA40. Both pairs decode to the character everywhere, so the product's is accepted when the
//   reference decodes it to the same character; the test counts these.
// - six characters Python encodes by best fit, which Windows without best fit does not encode
//   at all (and under Wine not even with it, for the last three): U+00A2 -> 8191, U+00A3 ->
//   8192, U+00AC -> 81CA, U+2016 -> 8161, U+2212 -> 817C, U+301C (wave dash) -> 8160. They are
//   not in this reference; the product keeps Python's pairs.
#include "platform/Cp932.h"

#include <QFile>
#include <QtTest>

namespace
{
struct Decoding {
    QByteArray bytes;
    QString text;
};
struct Encoding {
    char32_t ch;
    QByteArray bytes;
};

QString codePoints(const QString &text)
{
    QStringList points;
    for (const char32_t c : text.toUcs4())
        points << QString::number(c, 16);
    return points.join(u' ');
}

// Reports the first mismatches and their count; true when there were none.
class Mismatches
{
public:
    void add(const QString &what)
    {
        if (m_count++ < 20)
            qWarning().noquote() << what;
    }
    bool none() const
    {
        if (m_count > 0)
            qWarning() << m_count << "cases differ from the reference";
        return m_count == 0;
    }

private:
    int m_count = 0;
};
} // namespace

class TestCp932 : public QObject
{
    Q_OBJECT
    QList<Decoding> m_decodings;
    QList<Encoding> m_encodings;
    // The reference is Windows' own: only what it defines, and its choice among a character's
    // pairs.
    bool m_windows = false;
    QHash<QByteArray, QString> m_characterOf; // the reference's decoding of each byte and pair

private slots:
    void initTestCase()
    {
        QString path = qEnvironmentVariable("PORTWREN_CP932_REFERENCE");
        if (path.isEmpty())
            path = QStringLiteral(PORTWREN_CP932_REFERENCE);
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly),
                 qPrintable(path + " is missing: write it with tests/platform/cp932_reference.py"));
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
            if (fields.size() >= 3 && fields[0] == "d") {
                QList<char32_t> text;
                for (const QByteArray &point : fields.mid(2))
                    text << point.toUInt(nullptr, 16);
                m_decodings << Decoding{QByteArray::fromHex(fields[1]),
                                        QString::fromUcs4(text.constData(), text.size())};
            } else if (fields.size() == 2 && fields[0] == "s") {
                m_windows = fields[1] == "windows";
            } else if (fields.size() == 3 && fields[0] == "e") {
                m_encodings << Encoding{fields[1].toUInt(nullptr, 16),
                                        QByteArray::fromHex(fields[2])};
            } else {
                QFAIL(qPrintable("a line the reference format does not have: " + fields.join(' ')));
            }
        }
        for (const auto &[bytes, text] : std::as_const(m_decodings))
            if (bytes.size() <= 2)
                m_characterOf.insert(bytes, text);
        // Every byte, every two bytes; every BMP code point. Windows: what it defines.
        QVERIFY(m_decodings.size() >= (m_windows ? 9000 : 256 + 256 * 256));
        QVERIFY(m_encodings.size() >= (m_windows ? 7000 : 0x10000));
    }

    // Each case decoded whole, byte by byte as a stream whose last piece is final, and cut once
    // at each place into two pieces.
    void decodingAsReference()
    {
        Mismatches mismatches;
        for (const auto &[bytes, expected] : std::as_const(m_decodings)) {
            const auto check = [&](const char *how, const QString &got) {
                if (got != expected)
                    mismatches.add(QStringLiteral("%1 decoded %2: %3, reference %4")
                                       .arg(QString::fromLatin1(bytes.toHex(' ')),
                                            QLatin1String(how), codePoints(got),
                                            codePoints(expected)));
            };
            check("whole", Cp932::decode(bytes));
            Cp932::StreamDecoder bytewise;
            QString text;
            for (const char b : bytes)
                text += bytewise.decode(QByteArray(1, b));
            check("byte by byte", text + bytewise.decode({}, false));
            for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
                Cp932::StreamDecoder twoPieces;
                text = twoPieces.decode(bytes.left(cut));
                check("in two pieces", text + twoPieces.decode(bytes.mid(cut), false));
            }
        }
        QVERIFY(mismatches.none());
    }

    // Each character alone, then all but the surrogates as one text (whose bytes are theirs in
    // turn). Against Windows, a character may take another of its pairs.
    void encodingAsReference()
    {
        Mismatches mismatches;
        QString all;
        QByteArray allBytes;
        int otherPairs = 0;
        for (const auto &[ch, expected] : std::as_const(m_encodings)) {
            // A surrogate code point is one UTF-16 unit on its own, as a text can hold it.
            const QString text =
                ch <= 0xFFFF ? QString(QChar(char16_t(ch))) : QString::fromUcs4(&ch, 1);
            const QByteArray got = Cp932::encode(text);
            const bool anotherPair =
                m_windows && got != expected && m_characterOf.value(got) == text;
            otherPairs += anotherPair;
            if (got != expected && !anotherPair)
                mismatches.add(QStringLiteral("U+%1 encoded: %2, reference %3")
                                   .arg(QString::number(ch, 16),
                                        QString::fromLatin1(got.toHex(' ')),
                                        QString::fromLatin1(expected.toHex(' '))));
            if (!QChar::isSurrogate(ch)) {
                all += text;
                allBytes += anotherPair ? got : expected;
            }
        }
        if (m_windows)
            qInfo() << otherPairs << "characters encoded to another of their pairs than Windows'";
        QVERIFY(mismatches.none());
        QVERIFY(Cp932::encode(all) == allBytes); // not QCOMPARE: it would print a megabyte
    }
};

QTEST_GUILESS_MAIN(TestCp932)
#include "test_platform_cp932.moc"
