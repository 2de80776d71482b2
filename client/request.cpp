#include "request.h"

#include "md5.h"
#include "settings.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <cmath>

namespace velmora {

namespace {

// The text with every lone surrogate replaced by U+FFFD. The regular
// expression engine refuses text that is not valid UTF-16 and then finds
// nothing at all, although an address elsewhere in it is perfectly readable.
// Copies only when there is something to replace.
QString validUtf16(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

QString GetTrackId(const QString &text)
{
    // [0-9] rather than \d: Qt's \d also takes full-width and other Unicode
    // digits, which a play-page address never has.
    static const QRegularExpression pattern(
        QStringLiteral("(%1/play/)([0-9]+)(\\.html)")
            .arg(QRegularExpression::escape(QString::fromUtf8(settings::kSiteHost).toLower())));
    QString id;
    for (const auto &match : pattern.globalMatch(validUtf16(text)))
        id = match.captured(2);
    return id;
}

std::optional<QString> usableTrackId(const QString &text)
{
    QString id = GetTrackId(text);
    if (id.size() < kMinTrackIdLength)
        return std::nullopt;
    return id;
}

int nonceHalfFromDraw(float draw)
{
    return int(std::floor(double(draw) * 88888.0 + 11111.0));
}

QString MakeRequestNonce()
{
    return MakeRequestNonce(*QRandomGenerator::global());
}

QString MakeRequestNonce(QRandomGenerator &generator)
{
    // A single-precision draw in [0, 1): 24 random bits over 2^24.
    const auto draw = [&generator] {
        return float(generator.generate() >> 8) / float(1u << 24);
    };
    const int first = nonceHalfFromDraw(draw());
    const int second = nonceHalfFromDraw(draw());
    return QString::number(first) + QString::number(second);
}

QString MakeRequestSignature(const QString &trackId, const QString &nonce)
{
    const QString signedText = QString::fromLatin1(kSigningPrefix) + trackId +
                               QString::fromLatin1(kSignedNonceSeparator) + nonce;
    const std::string hex =
        Md5Hex(std::u16string_view(reinterpret_cast<const char16_t *>(signedText.utf16()),
                                   std::size_t(signedText.size())),
               32);
    return QString::fromLatin1(hex).right(18);
}

QString BuildRequestAddress(const QString &trackId, const QString &nonce, const QString &signature,
                            const QString &resolverHost)
{
    return QStringLiteral("https://") + resolverHost + QString::fromLatin1(kResolverPath) +
           QStringLiteral("?id=") + trackId + QStringLiteral("&k=") + nonce +
           QStringLiteral("&r=") + signature;
}

} // namespace velmora
