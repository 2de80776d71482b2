#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace velmora {

// Longest file name a save gets, in UTF-8 bytes (without the extension).
inline constexpr qsizetype kMaxFileNameBytes = 200;

// A file name for a track that is safe on Windows and Linux alike: the track
// name when the answer has one other than "not_find", else the track id.
// Letters of every script stay; what either system forbids (\ / : * ? " < > |
// and control characters) becomes '_', bidirectional controls (which would
// make the name read otherwise) and trailing dots and spaces go, a
// reserved device name (CON, NUL, COM1, …) gets a leading '_', and the result
// is cut on a character boundary to kMaxFileNameBytes.
QString trackFileName(const QString &trackName, const QString &trackId);

// The first folder or file name in `path` that Windows would not take as
// written, by the same rules: a reserved device name, a trailing dot or
// space, a forbidden character. \ and / both separate names, and a drive
// ("C:") may lead. Empty when there is none. Qt reaches every file by
// Windows' long form (\\?\), which takes such names as they stand: a file
// then named CON, or "song." with its dot, that other programs cannot open.
QString nameWindowsRefuses(const QString &path);

// The audio file extension ("mp3", "m4a", "aac", "wav", "flac", "ogg") from
// the address's path when it names a known one, else from the Content-Type,
// else from the first bytes; empty when none of them tells.
QString audioExtension(const QUrl &url, const QByteArray &contentType = {},
                       const QByteArray &firstBytes = {});

// The extension a saved file gets: `known` (audioExtension()'s), else "mp3"
// when nothing told the format: the service's tracks are MP3, and music
// players list files by extension.
QString savedFileExtension(const QString &known);

} // namespace velmora
