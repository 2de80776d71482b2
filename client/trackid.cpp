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

QString lastTrackId(const QRegularExpression &pattern, const QString &text)
{
    QString id;
    for (const auto &match : pattern.globalMatch(text))
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
