// SPDX-License-Identifier: MIT
// Compares the code page 932 conversion with a reference written at test time (by
// cp932_reference.py from Python's cp932 codec; its path in PORTWREN_CP932_REFERENCE, or the one
// the build names): every byte, every two bytes and random runs decoded, whole and as a stream
// cut into pieces; every BMP character and a few beyond it encoded. A missing or short
// reference fails the test.
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
            } else if (fields.size() == 3 && fields[0] == "e") {
                m_encodings << Encoding{fields[1].toUInt(nullptr, 16),
                                        QByteArray::fromHex(fields[2])};
            } else {
                QFAIL(qPrintable("a line the reference format does not have: " + fields.join(' ')));
            }
        }
        // Every byte, every two bytes; every BMP code point.
        QVERIFY(m_decodings.size() >= 256 + 256 * 256);
        QVERIFY(m_encodings.size() >= 0x10000);
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
    // turn).
    void encodingAsReference()
    {
        Mismatches mismatches;
        QString all;
        QByteArray allBytes;
        for (const auto &[ch, expected] : std::as_const(m_encodings)) {
            // A surrogate code point is one UTF-16 unit on its own, as a text can hold it.
            const QString text =
                ch <= 0xFFFF ? QString(QChar(char16_t(ch))) : QString::fromUcs4(&ch, 1);
            const QByteArray got = Cp932::encode(text);
            if (got != expected)
                mismatches.add(QStringLiteral("U+%1 encoded: %2, reference %3")
                                   .arg(QString::number(ch, 16),
                                        QString::fromLatin1(got.toHex(' ')),
                                        QString::fromLatin1(expected.toHex(' '))));
            if (!QChar::isSurrogate(ch)) {
                all += text;
                allBytes += expected;
            }
        }
        QVERIFY(mismatches.none());
        QVERIFY(Cp932::encode(all) == allBytes); // not QCOMPARE: it would print a megabyte
    }
};

QTEST_GUILESS_MAIN(TestCp932)
#include "test_platform_cp932.moc"
