#include "fetch.h"

#include "causes.h"
#include "proxy.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QStringDecoder>

namespace velmora {

namespace {

// Errors that only say the server answered with an HTTP error status; the
// body of such an answer is returned like any other.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    const int code = error;
    return (code >= 201 && code <= 299) || error == QNetworkReply::ProtocolInvalidOperationError ||
           (code >= 401 && code <= 499);
}

// The cause, and Qt's words on it after it where they add something: not
// "connection refused (Connection refused)". Where they say it all, with a
// host's name in, they alone.
QString withDetail(const char *cause, const QString &detail)
{
    const QString text = causes::text(cause);
    if (detail.isEmpty() || text.contains(detail, Qt::CaseInsensitive))
        return text;
    if (detail.contains(text, Qt::CaseInsensitive))
        return detail;
    return causes::text(causes::kWithDetail).arg(text, detail);
}

} // namespace

TextFetch::TextFetch(QNetworkAccessManager &manager, const QString &address,
                     const FetchOptions &options, QObject *parent)
    : QObject(parent), m_options(options)
{
    const QNetworkRequest request =
        boundedRequest(QUrl(address), m_options.maxRedirects, m_options.ssl);
    m_reply = manager.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &TextFetch::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &TextFetch::onFinished);
    connect(m_reply, &QNetworkReply::redirected, this, [this] { m_idleTimer.start(); });
    // Recorded for the message only: the handshake fails on its own.
    connect(m_reply, &QNetworkReply::sslErrors, this,
            [this](const QList<QSslError> &errors) { m_tlsErrors = describeSslErrors(errors); });

    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(m_options.idleTimeout);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        fail(HttpText::Failure::TimedOut,
             causes::text(causes::kIdleTimeout).arg(causes::seconds(m_options.idleTimeout)));
    });
    m_totalTimer.setSingleShot(true);
    m_totalTimer.setInterval(m_options.totalTimeout);
    connect(&m_totalTimer, &QTimer::timeout, this, [this] {
        fail(HttpText::Failure::TimedOut,
             causes::text(causes::kTotalTimeout).arg(causes::seconds(m_options.totalTimeout)));
    });
    m_idleTimer.start();
    m_totalTimer.start();
}

TextFetch::~TextFetch()
{
    stop();
}

void TextFetch::stop()
{
    m_idleTimer.stop();
    m_totalTimer.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        if (!m_reply->isFinished())
            m_reply->abort();
        m_reply->deleteLater();
        m_reply.clear();
    }
}

void TextFetch::onReadyRead()
{
    if (m_done)
        return;
    m_idleTimer.start();
    m_body += m_reply->readAll(); // already decompressed by the manager
    failWhenTooLarge();
}

bool TextFetch::failWhenTooLarge()
{
    if (m_body.size() <= m_options.maxBodyBytes)
        return false;
    fail(HttpText::Failure::TooLarge, causes::text(causes::kTooLarge).arg(m_options.maxBodyBytes));
    return true;
}

void TextFetch::onFinished()
{
    if (m_done)
        return;
    m_body += m_reply->readAll();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = m_reply->error();

    if (failWhenTooLarge())
        return;
    if (error == QNetworkReply::NoError || (status > 0 && isHttpStatusError(error))) {
        HttpText result;
        result.httpStatus = status;
        result.body = decodeBody();
        complete(std::move(result));
        return;
    }

    const NetworkFailure why = describeNetworkError(*m_reply, m_tlsErrors);
    fail(why.failure, why.cause);
}

QNetworkRequest boundedRequest(const QUrl &url, int maxRedirects,
                               const std::optional<QSslConfiguration> &ssl)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(maxRedirects);
    if (ssl)
        request.setSslConfiguration(*ssl);
    return request;
}

QString describeSslErrors(const QList<QSslError> &errors)
{
    QStringList texts;
    for (const QSslError &e : errors)
        texts << e.errorString();
    return texts.join(QStringLiteral("; "));
}

NetworkFailure describeNetworkError(const QNetworkReply &reply, const QString &tlsErrors)
{
    using F = HttpText::Failure;
    const QString detail = reply.errorString();
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return {F::ConnectionRefused, withDetail(causes::kConnectionRefused, detail)};
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return {F::Other, withDetail(causes::kProxyFailed, detail)};
    case QNetworkReply::HostNotFoundError:
        return {F::HostNotFound, withDetail(causes::kHostNotFound, detail)};
    case QNetworkReply::TimeoutError:
        return {F::TimedOut, withDetail(causes::kTimedOut, detail)};
    case QNetworkReply::SslHandshakeFailedError:
        return {F::Tls, causes::text(causes::kTls).arg(tlsErrors.isEmpty() ? detail : tlsErrors)};
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return {F::RedirectRefused, withDetail(causes::kRedirectRefused, detail)};
    case QNetworkReply::RemoteHostClosedError:
        return {F::ConnectionClosed, withDetail(causes::kConnectionClosed, detail)};
    case QNetworkReply::UnknownNetworkError:
        // How Qt reports a proxy that refused the connection.
        if (proxyFor(reply.url()).type() != QNetworkProxy::NoProxy)
            return {F::Other, withDetail(causes::kProxyFailed, detail)};
        [[fallthrough]];
    default:
        return {F::Other, withDetail(causes::kRequestFailed, detail)};
    }
}

QString TextFetch::decodeBody() const
{
    // UTF-8 unless the server names another charset that Qt can decode.
    static const QRegularExpression charsetPattern(QStringLiteral(R"(charset\s*=\s*"?([^";\s]+))"),
                                                   QRegularExpression::CaseInsensitiveOption);
    const QString contentType = m_reply->header(QNetworkRequest::ContentTypeHeader).toString();
    const auto match = charsetPattern.match(contentType);
    if (match.hasMatch()) {
        QStringDecoder decoder(match.captured(1).toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(m_body);
    }
    return QString::fromUtf8(m_body);
}

void TextFetch::fail(HttpText::Failure failure, const QString &cause)
{
    HttpText result;
    result.failure = failure;
    result.error = cause;
    if (m_reply)
        result.httpStatus = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    complete(std::move(result));
}

void TextFetch::complete(HttpText result)
{
    if (m_done)
        return;
    m_done = true;
    stop();
    emit finished(result);
    deleteLater();
}

std::optional<QSslConfiguration> sslWithExtraCa(const QByteArray &pem)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certificates.isEmpty())
        return std::nullopt;
    // Qt looks the system's CAs up on demand only while a configuration has
    // none of its own, so they are listed explicitly next to the extra ones.
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslConfiguration::systemCaCertificates() + certificates);
    return ssl;
}

} // namespace velmora
