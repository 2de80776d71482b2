#pragma once

#include <QString>

#include <optional>

class QRandomGenerator;

namespace velmora {

// Fixed pieces of the resolver's request contract.
inline constexpr char kSigningPrefix[] = "Hq_pwrTrack.zz?id=";
inline constexpr char kSignedNonceSeparator[] = "&rs=";
inline constexpr char kResolverPath[] = "/lxapi/vdj.x";

// Shortest track id that the resolver accepts.
inline constexpr qsizetype kMinTrackIdLength = 2;

// The digits of the last play-page address (<site host>/play/<digits>.html)
// found anywhere in `text`, leading zeros kept; the empty text when there is
// none. Matching is case-sensitive and only ASCII 0-9 count as digits.
QString GetTrackId(const QString &text);

// The track id to ask the resolver for, or nullopt when `text` holds no
// play-page address with an id the resolver accepts. Both front ends decide
// "is this a usable address" here.
std::optional<QString> usableTrackId(const QString &text);

// One five-digit half of a nonce from a draw in [0, 1):
// floor(draw * 88888 + 11111), so 11111..99998.
int nonceHalfFromDraw(float draw);

// Ten decimal digits: two halves from 24-bit draws of `generator`
// (the system-seeded generator by default).
QString MakeRequestNonce();
QString MakeRequestNonce(QRandomGenerator &generator);

// The last 18 hex digits of the MD5 of prefix + trackId + "&rs=" + nonce.
QString MakeRequestSignature(const QString &trackId, const QString &nonce);

// https://<host>/lxapi/vdj.x?id=<trackId>&k=<nonce>&r=<signature>, nothing
// encoded. `resolverHost` may carry a port ("127.0.0.1:8443").
QString BuildRequestAddress(const QString &trackId, const QString &nonce, const QString &signature,
                            const QString &resolverHost);

} // namespace velmora
