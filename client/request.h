#pragma once

#include <QString>

class QRandomGenerator;

namespace velmora {

// Fixed pieces of the resolver's request contract.
inline constexpr char kSigningPrefix[] = "Hq_pwrTrack.zz?id=";
inline constexpr char kSignedNonceSeparator[] = "&rs=";
inline constexpr char kResolverPath[] = "/lxapi/vdj.x";

// Answer members the programs read, and the track name of an unknown track.
inline constexpr char kSongUrlPath[] = "Rendata.songURL";
inline constexpr char kTrackNamePath[] = "Rendata.tname";
inline constexpr char kTrackNotFound[] = "not_find";

// Shortest audio address that counts as one.
inline constexpr qsizetype kMinSongUrlLength = 6;

// One five-digit half of a nonce from a draw in [0, 1):
// floor(draw * 88888 + 11111), so 11111..99998.
int NonceHalfFromDraw(float draw);

// Ten decimal digits: two halves from 24-bit draws of `generator`
// (the system-seeded generator by default).
QString MakeRequestNonce();
QString MakeRequestNonce(QRandomGenerator &generator);

// The last 18 hex digits of the MD5 of prefix + trackId + "&rs=" + nonce.
QString MakeRequestSignature(const QString &trackId, const QString &nonce);

// https://<host>/lxapi/vdj.x?id=<trackId>&k=<nonce>&r=<signature>, nothing
// encoded. `resolverHost` may carry a port ("127.0.0.1:8443").
QString BuildRequestAddress(const QString &trackId, const QString &nonce, const QString &signature);
QString BuildRequestAddress(const QString &trackId, const QString &nonce, const QString &signature,
                            const QString &resolverHost);

} // namespace velmora
