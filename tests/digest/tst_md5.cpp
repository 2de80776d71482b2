// Known digests and the edges of the character rule; arbitrary texts are
// held against Qt's MD5 by tests/fuzz/fuzz_md5.cpp.
#include "md5.h"

#include <QtTest>

#include <climits>
#include <numeric>

using namespace velmora;
using namespace Qt::StringLiterals;

class TestMd5 : public QObject
{
    Q_OBJECT

    static QByteArray digest(const QString &text, int selector = 32)
    {
        return QByteArray::fromStdString(Md5Hex(text.toStdU16String(), selector));
    }

private slots:
    // The RFC 1321 suite; padding just short of, at and past the room for the
    // bit count; then the character rule: up to U+00FF one byte per
    // character, above it UTF-8, U+FFFD's for a lone surrogate. Selector 32
    // gives the whole digest, every other one its middle 16 characters.
    void digests()
    {
        QString high(128, u'\0'); // U+0080..U+00FF
        std::iota(high.begin(), high.end(), u'\x80');
        const std::pair<QString, QByteArray> cases[] = {
            {u""_s, "d41d8cd98f00b204e9800998ecf8427e"},
            {u"a"_s, "0cc175b9c0f1b6a831c399e269772661"},
            {u"abc"_s, "900150983cd24fb0d6963f7d28e17f72"},
            {u"message digest"_s, "f96b697d7cb7938d525a2f31aaf161d0"},
            {u"abcdefghijklmnopqrstuvwxyz"_s, "c3fcd3d76192e4007dfb496cca67e13b"},
            {u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"_s,
             "d174ab98d277d9f5a5611c2c9f419d9f"},
            {u"1234567890"_s.repeated(8), "57edf4a22be3c955ac49da2e2107b67a"},
            {QString(55, u'a'), "ef1772b6dff9a122358552954ad0df65"},
            {QString(56, u'a'), "3b0c8ac703f828b04c6c197006d17218"},
            {QString(64, u'a'), "014842d480b571495a4a0363793f7367"},
            {high, "16f404156c0500ac48efa2d3abc5fbcf"},
            {u"\u0100\u07FF\u0800\xFFFF\xD83D\xDE00"_s, "7db7dae6cd8f0667a3aa9c4d8d3daa2c"},
            {u"\xDE00\xD83D!\xD800"_s, "724506fdec26be17a59eeb34c37d7849"}, // lone low, high, high
        };
        for (const auto &[text, expected] : cases)
            for (int selector : {32, 16, 0, -1, 33, INT_MIN, INT_MAX})
                QCOMPARE(digest(text, selector), selector == 32 ? expected : expected.mid(8, 16));
    }
};

QTEST_APPLESS_MAIN(TestMd5)
#include "tst_md5.moc"
