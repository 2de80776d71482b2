// GetTrackId on arbitrary text.
//
// Input: UTF-8 text, or UTF-16LE text after the byte-order mark FF FE. The
// second form reaches what no UTF-8 decoding yields (lone surrogates), which
// a QString from the clipboard may still hold.

#include "fuzzcheck.h"
#include "request.h"
#include "settings.h"

using namespace velmora::fuzz;

// The digits of the last "<prefix><ASCII digits>.html" in `text`, by plain
// scanning: what the pattern match must agree with.
static QString LastAddressDigits(const QString &text, const QString &prefix)
{
    QString digits;
    for (qsizetype at = text.indexOf(prefix); at >= 0; at = text.indexOf(prefix, at + 1)) {
        const qsizetype begin = at + prefix.size();
        qsizetype end = begin;
        while (end < text.size() && text[end] >= u'0' && text[end] <= u'9')
            ++end;
        if (end > begin && QStringView(text).sliced(end).startsWith(u".html"))
            digits = text.sliced(begin, end - begin);
    }
    return digits;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const bool utf16 = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    const QString text = utf16 ? FromUtf16Le(data + 2, size - 2)
                               : QString::fromUtf8(QByteArrayView(data, qsizetype(size)));
    const QString prefix =
        QString::fromUtf8(velmora::settings::kSiteHost).toLower() + QStringLiteral("/play/");
    // Only ASCII digits, from an address that is there, and the last one.
    FUZZ_CHECK(velmora::GetTrackId(text) == LastAddressDigits(text, prefix));
    return 0;
}
