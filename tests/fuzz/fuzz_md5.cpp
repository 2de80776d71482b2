// Md5Hex against QCryptographicHash on arbitrary bytes.
//
// Each input is digested twice: every byte as one character 0..255, which
// must give the plain MD5 of the bytes; and, read as UTF-16LE units, as text
// whose characters above U+00FF are digested as their UTF-8 bytes (a lone
// surrogate as U+FFFD's), which moves the rest of the message off the
// word boundaries that the one-byte fast paths rely on.

#include "md5.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void ExpectDigest(std::u16string_view text, const QByteArray &bytes)
{
    const std::string want =
        QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toStdString();
    if (velmora::Md5Hex(text, 32) != want)
        __builtin_trap();
    if (velmora::Md5Hex(text, 16) != want.substr(8, 16))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    ExpectDigest(std::u16string(data, data + size), bytes);

    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units += char16_t(data[i] | data[i + 1] << 8);
    QByteArray encoded;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const QChar c(units[i]);
        if (c.unicode() <= 0xFF) {
            encoded += char(c.unicode());
        } else if (c.isHighSurrogate() && i + 1 < units.size() &&
                   QChar(units[i + 1]).isLowSurrogate()) {
            encoded += QStringView(&units[i], 2).toUtf8();
            ++i;
        } else if (c.isSurrogate()) {
            encoded += QString(QChar::ReplacementCharacter).toUtf8();
        } else {
            encoded += QString(c).toUtf8();
        }
    }
    ExpectDigest(units, encoded);
    return 0;
}
