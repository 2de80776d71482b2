#include "request.h"

#include "md5.h"
#include "settings.h"

#include <QRandomGenerator>

#include <cmath>

namespace velmora {

int NonceHalfFromDraw(float draw)
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
    const int first = NonceHalfFromDraw(draw());
    const int second = NonceHalfFromDraw(draw());
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

QString BuildRequestAddress(const QString &trackId, const QString &nonce, const QString &signature)
{
    return BuildRequestAddress(trackId, nonce, signature,
                               QString::fromUtf8(settings::kResolverHost));
}

QString BuildRequestAddress(const QString &trackId, const QString &nonce, const QString &signature,
                            const QString &resolverHost)
{
    return QStringLiteral("https://") + resolverHost + QString::fromLatin1(kResolverPath) +
           QStringLiteral("?id=") + trackId + QStringLiteral("&k=") + nonce +
           QStringLiteral("&r=") + signature;
}

} // namespace velmora
