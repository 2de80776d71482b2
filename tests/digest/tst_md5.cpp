#include "md5.h"
#include "md5_words.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

#include <climits>
#include <functional>

using namespace velmora;
using WordCall = std::function<QByteArray()>;

class TestMd5 : public QObject
{
    Q_OBJECT

    static QByteArray digest(const QString &text, int selector = 32)
    {
        return QByteArray::fromStdString(Md5Hex(text.toStdU16String(), selector));
    }
    static QByteArray qtDigest(const QByteArray &bytes)
    {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
    }
    static QByteArray hex(std::uint32_t word) { return QByteArray::number(word, 16); }
    static QByteArray hex(const std::string &text) { return QByteArray::fromStdString(text); }

private slots:
    // The RFC 1321 suite, then texts against Qt's MD5 of the bytes that the
    // character rule gives: up to U+00FF one byte per character, above it
    // UTF-8, U+FFFD's for a lone surrogate.
    void digests_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        auto rfc = [](const QString &text, const char *expected) {
            QTest::addRow("RFC %d chars", int(text.size())) << text << QByteArray(expected);
        };
        rfc("", "d41d8cd98f00b204e9800998ecf8427e");
        rfc("a", "0cc175b9c0f1b6a831c399e269772661");
        rfc("abc", "900150983cd24fb0d6963f7d28e17f72");
        rfc("message digest", "f96b697d7cb7938d525a2f31aaf161d0");
        rfc("abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b");
        rfc("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
            "d174ab98d277d9f5a5611c2c9f419d9f");
        rfc(QString("1234567890").repeated(8), "57edf4a22be3c955ac49da2e2107b67a");

        auto row = [](const char *name, QStringView text, const QByteArray &bytes) {
            QTest::newRow(name) << text.toString() << qtDigest(bytes);
        };
        // Lengths 55..128 put the padding on both sides of block ends; the
        // longest holds every character from U+0080 to U+00FF.
        QByteArray high;
        for (int code = 0x80; code <= 0xFF; ++code)
            high += char(code);
        for (int length = 55; length <= 128; ++length)
            QTest::addRow("%d bytes", length)
                << QString::fromLatin1(high.left(length)) << qtDigest(high.left(length));
        row("two bytes", u"\u0100\u07FF", "\xC4\x80\xDF\xBF");
        row("three bytes", u"\u0800\xFFFF", "\xE0\xA0\x80\xEF\xBF\xBF");
        row("four bytes", u"\xD83D\xDE00\xDBFF\xDFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
        row("lone low, lone high", u"\xDE00\xD83D!", "\xEF\xBF\xBD\xEF\xBF\xBD!");
        row("lone high at end", u"a\xD800", "a\xEF\xBF\xBD");
    }

    // Every selector but 32 gives the middle 16 characters.
    void digests()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(digest(text), expected);
        for (int selector : {16, 0, -1, 33, INT_MIN, INT_MAX})
            QCOMPARE(digest(text, selector), expected.mid(8, 16));
    }

    // An empty expectation: the call throws DigestError.
    void wordOperations_data()
    {
        QTest::addColumn<WordCall>("call");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const char *name, const char *expected, WordCall call) {
            QTest::newRow(name) << call << QByteArray(expected);
        };
        using namespace md5;
        row("add into bit 31", "80000000", [] { return hex(AddWords(0x7FFFFFFF, 1)); });
        row("add wraps to 0", "0", [] { return hex(AddWords(0xFFFFFFFF, 1)); });
        row("add carries out", "0", [] { return hex(AddWords(0xC0000000, 0x40000000)); });
        row("left 24", "80000000", [] { return hex(ShiftWordLeft(0x80, 24)); });
        row("right 31", "1", [] { return hex(ShiftWordRight(0x80000000, 31)); });
        row("right enters 0", "40000000", [] { return hex(ShiftWordRight(0x80000000, 1)); });
        row("rotate 4", "18", [] { return hex(RotateWordLeft(0x80000001, 4)); });
        row("left 0", "deadbeef", [] { return hex(ShiftWordLeft(0xDEADBEEF, 0)); });
        row("right 0", "deadbeef", [] { return hex(ShiftWordRight(0xDEADBEEF, 0)); });
        row("left -1", "", [] { return hex(ShiftWordLeft(1, -1)); });
        row("left 32", "", [] { return hex(ShiftWordLeft(1, 32)); });
        row("right -1", "", [] { return hex(ShiftWordRight(1, -1)); });
        row("right 32", "", [] { return hex(ShiftWordRight(1, 32)); });
        row("hex of a", "01234567", [] { return hex(WordToHexText(0x67452301)); });
        row("hex of b", "89ABCDEF", [] { return hex(WordToHexText(0xEFCDAB89)); });
        // 56 bytes leave no room for the bit count: the padding takes a block.
        row("words of 56 bytes", "32",
            [] { return QByteArray::number(TextToWords(std::u16string(56, u'a')).size()); });
    }

    void wordOperations()
    {
        QFETCH(WordCall, call);
        QFETCH(QByteArray, expected);
        if (expected.isEmpty())
            QVERIFY_THROWS_EXCEPTION(md5::DigestError, call());
        else
            QCOMPARE(call(), expected);
    }

    // Half the texts are one byte per character; the rest mix in wider
    // characters, sparse to dense, so one-byte runs start at every offset.
    void randomTextsAgainstQt()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator rng(seed);
        for (int round = 0; round < 3000; ++round) {
            const int wideOneIn = round % 2 == 1 ? 1 + rng.bounded(64) : 0;
            QString text;
            QByteArray bytes;
            for (int left = rng.bounded(400); left > 0; --left) {
                const int kind = wideOneIn && rng.bounded(wideOneIn) == 0 ? rng.bounded(3) : 3;
                const char32_t code = kind == 0   ? 0xDC00 + rng.bounded(0x400) // never pairs
                                      : kind == 1 ? 0x100 + rng.bounded(0xD800 - 0x100)
                                      : kind == 2 ? 0x10000 + rng.bounded(0x100000)
                                                  : rng.bounded(256);
                const QString one = kind ? QString::fromUcs4(&code, 1) : QChar(char16_t(code));
                text += one;
                bytes += kind == 0 ? "\xEF\xBF\xBD" : code > 0xFF ? one.toUtf8() : one.toLatin1();
            }
            QVERIFY2(digest(text) == qtDigest(bytes),
                     qPrintable(QString("seed %1, round %2").arg(seed).arg(round)));
        }
    }
};

QTEST_APPLESS_MAIN(TestMd5)
#include "tst_md5.moc"
