// GetTrackId on arbitrary text.
//
// Input: UTF-8 text, or UTF-16LE text after the byte-order mark FF FE. The
// second form reaches what no UTF-8 decoding yields (lone surrogates), which
// a QString from the clipboard may still hold.

#include "fuzzcheck.h"
#include "settings.h"
#include "trackid.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

QString Decode(const std::uint8_t *data, std::size_t size)
{
    if (size < 2 || data[0] != 0xFF || data[1] != 0xFE)
        return velmora::fuzz::FromUtf8(data, size);
    QString text;
    for (std::size_t i = 2; i + 1 < size; i += 2)
        text += QChar(char16_t(data[i] | data[i + 1] << 8));
    return text;
}

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The digits of the last "<prefix><ASCII digits>.html" in `text`, by plain
// scanning: what the pattern match must agree with.
QString LastAddressDigits(const QString &text, const QString &prefix)
{
    QString digits;
    for (qsizetype at = text.indexOf(prefix); at >= 0; at = text.indexOf(prefix, at + 1)) {
        const qsizetype begin = at + prefix.size();
        qsizetype end = begin;
        while (end < text.size() && IsAsciiDigit(text[end]))
            ++end;
        if (end > begin && QStringView(text).sliced(end).startsWith(u".html"))
            digits = text.sliced(begin, end - begin);
    }
    return digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = Decode(data, size);
    const QString id = velmora::GetTrackId(text);
    const QString prefix =
        QString::fromUtf8(velmora::settings::kSiteHost).toLower() + QStringLiteral("/play/");

    if (!id.isEmpty()) {
        for (const QChar c : id)
            FUZZ_CHECK(IsAsciiDigit(c));
        FUZZ_CHECK(text.contains(prefix + id + QStringLiteral(".html")));
    }
    // Nor is an address missed, or another than the last one taken.
    FUZZ_CHECK(id == LastAddressDigits(text, prefix));
    return 0;
}
