#include "trackid.h"

#include "settings.h"

#include <QRegularExpression>

namespace velmora {

namespace {

QRegularExpression playPagePattern(const QString &siteHost)
{
    // [0-9] rather than \d: Qt's \d also takes full-width and other Unicode
    // digits, which a play-page address never has.
    return QRegularExpression(QStringLiteral("(%1/play/)([0-9]+)(\\.html)")
                                  .arg(QRegularExpression::escape(siteHost.toLower())));
}

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

QString lastTrackId(const QRegularExpression &pattern, const QString &text)
{
    QString id;
    for (const auto &match : pattern.globalMatch(validUtf16(text)))
        id = match.captured(2);
    return id;
}

} // namespace

QString GetTrackId(const QString &text)
{
    static const QRegularExpression pattern =
        playPagePattern(QString::fromUtf8(settings::kSiteHost));
    return lastTrackId(pattern, text);
}

QString GetTrackId(const QString &text, const QString &siteHost)
{
    return lastTrackId(playPagePattern(siteHost), text);
}

} // namespace velmora
