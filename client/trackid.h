#pragma once

#include <QString>

namespace velmora {

// The digits of the last play-page address (<site host>/play/<digits>.html)
// found anywhere in `text`, leading zeros kept; the empty text when there is
// none. Matching is case-sensitive and only ASCII 0-9 count as digits.
QString GetTrackId(const QString &text);
QString GetTrackId(const QString &text, const QString &siteHost);

// Shortest track id that the resolver accepts.
inline constexpr qsizetype kMinTrackIdLength = 2;

} // namespace velmora
