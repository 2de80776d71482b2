#include "md5.h"
#include "md5_words.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

#include <climits>

using namespace velmora;

namespace {

QByteArray Digest(const QString &text, int selector)
{
    const std::u16string_view view(QStringView(text).utf16(), std::size_t(text.size()));
    return QByteArray::fromStdString(Md5Hex(view, selector));
}

std::vector<std::uint32_t> Words(const QString &text)
{
    return md5::TextToWords({QStringView(text).utf16(), std::size_t(text.size())});
}

QByteArray Reference(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

} // namespace

class TestMd5 : public QObject
{
    Q_OBJECT

private slots:
    void rfcSuite_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const QString &text, const char *expected) {
            QTest::newRow(text.isEmpty() ? "empty" : qPrintable(text.left(20)))
                << text << QByteArray(expected);
        };
        row("", "d41d8cd98f00b204e9800998ecf8427e");
        row("a", "0cc175b9c0f1b6a831c399e269772661");
        row("abc", "900150983cd24fb0d6963f7d28e17f72");
        row("message digest", "f96b697d7cb7938d525a2f31aaf161d0");
        row("abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b");
        row("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
            "d174ab98d277d9f5a5611c2c9f419d9f");
        row(QString("1234567890").repeated(8), "57edf4a22be3c955ac49da2e2107b67a");
    }

    // Every selector but 32 gives the middle 16 characters.
    void rfcSuite()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(Digest(text, 32), expected);
        for (int selector : {16, 0, -1, 31, 33, INT_MIN, INT_MAX})
            QCOMPARE(Digest(text, selector), expected.mid(8, 16));
    }

    void wordOperations_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<quint32>("v");
        QTest::addColumn<qint64>("arg"); // second word, or shift count
        QTest::addColumn<quint32>("expected");
        QTest::addColumn<bool>("throws");
        auto row = [](const char *name, const char *op, quint32 v, qint64 arg, quint32 expected,
                      bool throws = false) {
            QTest::newRow(name) << QString(op) << v << arg << expected << throws;
        };
        row("add into bit 31", "AddWords", 0x7FFFFFFF, 1, 0x80000000);
        row("add wraps to 0", "AddWords", 0xFFFFFFFF, 1, 0);
        row("add carry out of bit 31", "AddWords", 0xC0000000, 0x40000000, 0);
        row("left 24", "ShiftWordLeft", 0x80, 24, 0x80000000);
        row("left drops high bits", "ShiftWordLeft", 0xFFFFFFFF, 31, 0x80000000);
        row("right 31", "ShiftWordRight", 0x80000000, 31, 1);
        row("right enters zero", "ShiftWordRight", 0x80000000, 1, 0x40000000);
        row("rotate 4", "RotateWordLeft", 0x80000001, 4, 0x18);
        row("rotate 31", "RotateWordLeft", 0x80000001, 31, 0xC0000000);
        row("left 0", "ShiftWordLeft", 0xDEADBEEF, 0, 0xDEADBEEF);
        row("right 0", "ShiftWordRight", 0xDEADBEEF, 0, 0xDEADBEEF);
        row("left -1", "ShiftWordLeft", 1, -1, 0, true);
        row("left 32", "ShiftWordLeft", 1, 32, 0, true);
        row("right -1", "ShiftWordRight", 1, -1, 0, true);
        row("right 32", "ShiftWordRight", 1, 32, 0, true);
        row("rotate 0", "RotateWordLeft", 1, 0, 0, true);
        row("rotate 32", "RotateWordLeft", 1, 32, 0, true);
    }

    void wordOperations()
    {
        QFETCH(QString, op);
        QFETCH(quint32, v);
        QFETCH(qint64, arg);
        QFETCH(quint32, expected);
        QFETCH(bool, throws);
        auto apply = [&]() -> std::uint32_t {
            if (op == "AddWords")
                return md5::AddWords(v, std::uint32_t(arg));
            if (op == "ShiftWordLeft")
                return md5::ShiftWordLeft(v, int(arg));
            if (op == "ShiftWordRight")
                return md5::ShiftWordRight(v, int(arg));
            return md5::RotateWordLeft(v, int(arg));
        };
        if (throws)
            QVERIFY_THROWS_EXCEPTION(DigestError, apply());
        else
            QCOMPARE(apply(), expected);
    }

    void wordToHexText_data()
    {
        QTest::addColumn<quint32>("word");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("initial a") << quint32(0x67452301) << QByteArray("01234567");
        QTest::newRow("initial b") << quint32(0xEFCDAB89) << QByteArray("89ABCDEF");
        QTest::newRow("leading zeros") << quint32(0x0F000A00) << QByteArray("000A000F");
    }

    void wordToHexText()
    {
        QFETCH(quint32, word);
        QFETCH(QByteArray, expected);
        QCOMPARE(QByteArray::fromStdString(md5::WordToHexText(word)), expected);
    }

    void blockBoundaries_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("wordCount");
        const int cases[][2] = {{55, 16}, {56, 32},  {63, 32}, {64, 32},
                                {65, 32}, {119, 32}, {120, 48}};
        for (const auto &c : cases)
            QTest::addRow("%d bytes", c[0]) << c[0] << c[1];
    }

    void blockBoundaries()
    {
        QFETCH(int, length);
        QFETCH(int, wordCount);
        QByteArray bytes(length, '\0');
        for (int i = 0; i < length; ++i)
            bytes[i] = char(i * 37 + 11); // spans all byte values
        const QString text = QString::fromLatin1(bytes);

        const std::vector<std::uint32_t> words = Words(text);
        QCOMPARE(words.size(), std::size_t(wordCount));
        QCOMPARE(words[0], qFromLittleEndian<quint32>(bytes.constData()));
        QCOMPARE(Digest(text, 32), Reference(bytes));
    }

    // Up to U+00FF one byte per character, above it UTF-8, U+FFFD for a
    // lone surrogate.
    void byteRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        for (int code = 0x80; code <= 0xFF; ++code)
            QTest::addRow("U+%04X", code) << QString(QChar(code)) << QByteArray(1, char(code));
        auto row = [](const char *name, QStringView text, const char *bytes) {
            QTest::newRow(name) << text.toString() << QByteArray(bytes);
        };
        row("U+0100", u"\u0100", "\xC4\x80");
        row("U+07FF", u"\u07FF", "\xDF\xBF");
        row("U+0800", u"\u0800", "\xE0\xA0\x80");
        row("zhong", u"\u4E2D", "\xE4\xB8\xAD");
        row("U+FFFF", u"\xFFFF", "\xEF\xBF\xBF");
        row("surrogate pair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80");
        row("U+10FFFF", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF");
        row("lone high at end", u"a\xD800", "a\xEF\xBF\xBD");
        row("lone high before ASCII", u"\xD83D!", "\xEF\xBF\xBD!");
        row("lone low", u"\xDC00", "\xEF\xBF\xBD");
        row("reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD");
        row("mixed", u"a\u00E9\u4E2D\xD83D\xDE00z", "a\xE9\xE4\xB8\xAD\xF0\x9F\x98\x80z");
        // 20 characters but 60 bytes: the padding must follow the byte count.
        QTest::newRow("20 x zhong")
            << QString(20, QChar(0x4E2D)) << QByteArray("\xE4\xB8\xAD").repeated(20);
    }

    void byteRule()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Digest(text, 32), Reference(bytes));
        const std::vector<std::uint32_t> words = Words(text);
        QCOMPARE(words.size(), std::size_t(bytes.size() + 8) / 64 * 16 + 16);
        QCOMPARE(words[words.size() - 2], quint32(bytes.size() * 8));
    }

    // Half the texts are one byte per character; the rest mix in wider
    // characters, sparse to dense, so one-byte runs start at every offset.
    void randomTextsAgainstQt()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator rng(seed);
        for (int round = 0; round < 3000; ++round) {
            const int wideOneIn = round % 2 == 1 ? 1 + rng.bounded(64) : 0;
            const int length = rng.bounded(400);
            QString text;
            QByteArray bytes;
            for (int i = 0; i < length; ++i) {
                const int kind = wideOneIn && rng.bounded(wideOneIn) == 0 ? rng.bounded(3) : 3;
                if (kind == 0) { // a lone low surrogate can never join a pair
                    text += QChar(0xDC00 + rng.bounded(0x400));
                    bytes += "\xEF\xBF\xBD";
                } else if (kind < 3) {
                    const char32_t code = kind == 1 ? 0x100 + rng.bounded(0xD800 - 0x100)
                                                    : 0x10000 + rng.bounded(0x100000);
                    text += QString::fromUcs4(&code, 1);
                    bytes += QString::fromUcs4(&code, 1).toUtf8();
                } else {
                    const int byte = rng.bounded(256);
                    text += QChar(byte);
                    bytes += char(byte);
                }
            }
            QVERIFY2(Digest(text, 32) == Reference(bytes),
                     qPrintable(QString("seed %1, round %2").arg(seed).arg(round)));
        }
    }
};

QTEST_APPLESS_MAIN(TestMd5)
#include "tst_md5.moc"
