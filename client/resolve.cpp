#include "resolve.h"

#include "jsonfield.h"
#include "request.h"
#include "settings.h"

#include <QSslCertificate>

namespace velmora {

Resolution DecideAnswer(const QString &answerText)
{
    Resolution result;
    const JsonField song = GetJsonField(QString::fromLatin1(kSongUrlPath), answerText);
    if (!song.ok()) {
        result.error = song.error;
        return result;
    }
    const JsonField name = GetJsonField(QString::fromLatin1(kTrackNamePath), answerText);
    if (name.ok())
        result.trackName = name.value.textForm().value_or(QString());

    // Null, objects and arrays have no text form: no audio address.
    const std::optional<QString> songUrl = song.value.textForm();
    if (songUrl && songUrl->size() >= kMinSongUrlLength) {
        result.outcome = Resolution::Outcome::Play;
        result.songUrl = *songUrl;
        return result;
    }
    if (!name.ok()) {
        result.error = name.error;
        return result;
    }
    if (name.value.textForm() == QString::fromLatin1(kTrackNotFound)) {
        result.outcome = Resolution::Outcome::NotFound;
        return result;
    }
    result.error = name.value.textForm()
                       ? QStringLiteral("the answer has no audio address (track name \"%1\")")
                             .arg(result.trackName)
                       : QStringLiteral("the answer has neither an audio address nor a track name");
    return result;
}

TrackResolve::TrackResolve(QNetworkAccessManager &manager, const QString &trackId,
                           const ResolveOptions &options, QObject *parent)
    : QObject(parent), m_trackId(trackId)
{
    const QString nonce = MakeRequestNonce();
    const QString signature = MakeRequestSignature(trackId, nonce);
    m_address = BuildRequestAddress(trackId, nonce, signature,
                                    options.resolverHost.isEmpty()
                                        ? QString::fromUtf8(settings::kResolverHost)
                                        : options.resolverHost);

    m_fetch = HttpGetText(manager, m_address, options.fetch, this);
    connect(m_fetch, &TextFetch::finished, this, [this](const HttpText &answer) {
        Resolution result;
        if (answer.ok()) {
            result = DecideAnswer(answer.body);
            // An error page says more through its status than its body.
            if (!result.error.isEmpty() && answer.httpStatus != 200)
                result.error =
                    QStringLiteral("HTTP %1: %2").arg(answer.httpStatus).arg(result.error);
        } else {
            result.error = answer.error;
        }
        emit finished(result);
        deleteLater();
    });
}

void TrackResolve::abort()
{
    if (m_fetch)
        m_fetch->abort();
    deleteLater();
}

std::optional<QSslConfiguration> SslWithExtraCa(const QByteArray &pem, QString *error)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certificates.isEmpty()) {
        if (error)
            *error = QStringLiteral("no PEM certificate found");
        return std::nullopt;
    }
    // Qt looks the system's CAs up on demand only while a configuration has
    // none of its own, so they are listed explicitly next to the extra ones.
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslConfiguration::systemCaCertificates() + certificates);
    return ssl;
}

} // namespace velmora
