#include "filename.h"

#include "answer.h"
#include "controlchars.h"

#include <QRegularExpression>

#include <algorithm>
#include <string_view>

namespace velmora {

namespace {

bool isForbidden(char32_t c)
{
    // Whole code points: a QChar of one beyond the BMP would keep only its
    // low 16 bits (U+2003F becoming '?').
    return isControl(c) || std::u32string_view(U"\\/:*?\"<>|").find(c) != std::u32string_view::npos;
}

// Windows takes these as devices, with any extension.
bool isReserved(const QString &name)
{
    static const QRegularExpression reserved(
        QStringLiteral(R"(^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])(\..*)?$)"),
        QRegularExpression::CaseInsensitiveOption);
    return reserved.match(name).hasMatch();
}

QString withoutTrailingDotsAndSpaces(QString name)
{
    while (!name.isEmpty() && (name.endsWith(u'.') || name.endsWith(u' ')))
        name.chop(1);
    return name;
}

// Cut to `maxBytes` of UTF-8 without splitting a character.
QString cutToBytes(const QString &name, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    QString cut;
    for (const char32_t c : name.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        bytes += one.toUtf8().size();
        if (bytes > maxBytes)
            break;
        cut += one;
    }
    return cut;
}

} // namespace

QString trackFileName(const QString &trackName, const QString &trackId)
{
    QString name;
    for (const char32_t c : shownTrackName(trackName).toUcs4()) {
        if (!isBidiControl(c)) // unseen, so no '_' where the listener saw nothing
            name += isForbidden(c) ? QStringLiteral("_") : QString::fromUcs4(&c, 1);
    }
    name = withoutTrailingDotsAndSpaces(
        cutToBytes(withoutTrailingDotsAndSpaces(name), kMaxFileNameBytes));
    if (name.isEmpty())
        return trackId;
    if (isReserved(name))
        name = cutToBytes(u'_' + name, kMaxFileNameBytes);
    return name;
}

QString nameWindowsRefuses(const QString &path)
{
    static const QRegularExpression separators(QStringLiteral(R"([\\/])"));
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:$"));
    QStringList names = path.split(separators);
    if (drive.match(names.first()).hasMatch())
        names.removeFirst();
    for (const QString &name : std::as_const(names)) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        const auto characters = name.toUcs4();
        if (std::any_of(characters.cbegin(), characters.cend(), isForbidden) ||
            name.endsWith(u'.') || name.endsWith(u' ') || isReserved(name))
            return name;
    }
    return {};
}

QString audioExtension(const QUrl &url, const QByteArray &contentType, const QByteArray &firstBytes)
{
    static const QStringList known{QStringLiteral("mp3"),  QStringLiteral("m4a"),
                                   QStringLiteral("aac"),  QStringLiteral("wav"),
                                   QStringLiteral("flac"), QStringLiteral("ogg")};
    const QString path = url.path();
    const QString suffix = path.mid(path.lastIndexOf(u'.') + 1).toLower();
    if (path.contains(u'.') && known.contains(suffix))
        return suffix;

    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    static const QHash<QByteArray, QString> byType{
        {"audio/mpeg", QStringLiteral("mp3")},  {"audio/mp4", QStringLiteral("m4a")},
        {"audio/x-m4a", QStringLiteral("m4a")}, {"audio/aac", QStringLiteral("aac")},
        {"audio/wav", QStringLiteral("wav")},   {"audio/x-wav", QStringLiteral("wav")},
        {"audio/flac", QStringLiteral("flac")}, {"audio/ogg", QStringLiteral("ogg")}};
    if (const auto found = byType.constFind(type); found != byType.cend())
        return *found;

    // An MPEG audio frame: 11 sync bits and a layer other than 00, which
    // would be AAC in ADTS.
    const bool mpegFrame = firstBytes.size() >= 2 && uchar(firstBytes[0]) == 0xFF &&
                           (uchar(firstBytes[1]) & 0xE0) == 0xE0 && (uchar(firstBytes[1]) & 0x06);
    if (firstBytes.startsWith("ID3") || mpegFrame)
        return QStringLiteral("mp3");
    if (firstBytes.startsWith("RIFF"))
        return QStringLiteral("wav");
    if (firstBytes.startsWith("fLaC"))
        return QStringLiteral("flac");
    if (firstBytes.startsWith("OggS"))
        return QStringLiteral("ogg");
    if (firstBytes.mid(4, 4) == "ftyp")
        return QStringLiteral("m4a");
    return {};
}

QString savedFileExtension(const QString &known)
{
    return known.isEmpty() ? QStringLiteral("mp3") : known;
}

} // namespace velmora
