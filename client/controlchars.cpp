#include "controlchars.h"

namespace velmora {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isBidiControl(char32_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString escapeControls(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) { // every one of them is a single UTF-16 unit
        if (isControl(c.unicode()) || isBidiControl(c.unicode())) {
            for (const char byte : QString(c).toUtf8())
                escaped += QString::asprintf("%%%02X", uchar(byte));
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace velmora
