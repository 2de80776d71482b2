#include "resolve.h"

#include "causes.h"
#include "request.h"
#include "settings.h"

#include <QNetworkAccessManager>
#include <QUrl>

namespace velmora {

ResolveOptions defaultResolveOptions()
{
    ResolveOptions options;
    options.resolverHost = QString::fromUtf8(settings::kResolverHost);
    if (const QByteArray pem(settings::kExtraCaPem); !pem.isEmpty())
        options.fetch.ssl = sslWithExtraCa(pem);
    return options;
}

void warmUp(QNetworkAccessManager &manager, const ResolveOptions &options)
{
    const QUrl resolver(QStringLiteral("https://") + options.resolverHost);
    QSslConfiguration ssl = options.fetch.ssl.value_or(QSslConfiguration::defaultConfiguration());
    // Requests may take HTTP/2, so the connection must offer it too, or
    // they would not share it.
    ssl.setAllowedNextProtocols(
        {QSslConfiguration::ALPNProtocolHTTP2, QSslConfiguration::NextProtocolHttp1_1});
    manager.connectToHostEncrypted(resolver.host(), quint16(resolver.port(443)), ssl);
}

TrackResolve::TrackResolve(QNetworkAccessManager &manager, const QString &trackId,
                           const ResolveOptions &options, QObject *parent)
    : QObject(parent)
{
    const QString nonce = MakeRequestNonce();
    const QString signature = MakeRequestSignature(trackId, nonce);
    m_address = BuildRequestAddress(trackId, nonce, signature, options.resolverHost);

    auto *fetch = new TextFetch(manager, m_address, options.fetch, this);
    connect(fetch, &TextFetch::finished, this, [this](const HttpText &answer) {
        Resolution result;
        if (answer.ok()) {
            result = decideAnswer(answer.body);
            // An error page says more through its status than its body.
            if (!result.error.isEmpty() && answer.httpStatus != 200)
                result.error =
                    causes::text(causes::kHttpStatus).arg(answer.httpStatus).arg(result.error);
        } else {
            result.error = answer.error;
        }
        emit finished(result);
        deleteLater();
    });
}

} // namespace velmora
