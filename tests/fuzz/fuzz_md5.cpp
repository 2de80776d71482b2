// Md5Hex against QCryptographicHash on arbitrary bytes.
//
// Each input is digested twice: every byte as one character 0..255, which
// must give the plain MD5 of the bytes; and, read as UTF-16LE units, as text
// whose characters above U+00FF are digested as their UTF-8 bytes (a lone
// surrogate as U+FFFD's, as toUcs4() reads it), which moves the rest of the
// message off the word boundaries that the one-byte fast paths rely on.

#include "fuzzcheck.h"
#include "md5.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>

static void ExpectDigest(const QString &text, const QByteArray &bytes)
{
    const QByteArray want = QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
    FUZZ_CHECK(velmora::Md5Hex(text.toStdU16String(), 32) == want.toStdString());
    FUZZ_CHECK(velmora::Md5Hex(text.toStdU16String(), 16) == want.mid(8, 16).toStdString());
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    ExpectDigest(QString::fromLatin1(bytes), bytes);

    const QString units = velmora::fuzz::FromUtf16Le(data, size);
    QByteArray encoded;
    for (const char32_t c : units.toUcs4())
        encoded += c > 0xFF ? QStringView(QChar::fromUcs4(c)).toUtf8() : QByteArray(1, char(c));
    ExpectDigest(units, encoded);
    return 0;
}
