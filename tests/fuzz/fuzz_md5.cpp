// Md5Hex against QCryptographicHash on arbitrary bytes.
//
// Each input is digested twice: every byte as one character 0..255, which
// must give the plain MD5 of the bytes; and, read as UTF-16LE units, as text
// whose characters above U+00FF are digested as their UTF-8 bytes (a lone
// surrogate as U+FFFD's), which moves the rest of the message off the
// word boundaries that the one-byte fast paths rely on.

#include "fuzzcheck.h"
#include "md5.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <string>

using velmora::Md5Hex;

namespace {

void ExpectDigest(const QString &text, const QByteArray &bytes)
{
    const std::string want =
        QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toStdString();
    FUZZ_CHECK(Md5Hex(text.toStdU16String(), 32) == want);
    FUZZ_CHECK(Md5Hex(text.toStdU16String(), 16) == want.substr(8, 16));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    ExpectDigest(QString::fromLatin1(bytes), bytes);

    const QString units = velmora::fuzz::FromUtf16Le(data, size);
    QByteArray encoded;
    for (qsizetype i = 0; i < units.size(); ++i) {
        const QChar c = units[i];
        if (c.unicode() <= 0xFF)
            encoded += char(c.unicode());
        else if (c.isHighSurrogate() && i + 1 < units.size() && units[i + 1].isLowSurrogate())
            encoded += units.sliced(i++, 2).toUtf8();
        else
            encoded += QString(c.isSurrogate() ? QChar(QChar::ReplacementCharacter) : c).toUtf8();
    }
    ExpectDigest(units, encoded);
    return 0;
}
