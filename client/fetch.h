#pragma once

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

namespace velmora {

// Limits of one fetch. The defaults are the product's; tests shorten them.
struct FetchOptions
{
    static constexpr std::chrono::seconds kIdleTimeout{30};  // no byte arrived
    static constexpr std::chrono::seconds kTotalTimeout{60}; // whole exchange
    static constexpr qint64 kMaxBodyBytes = 4 * 1024 * 1024; // after decompression
    static constexpr int kMaxRedirects = 5;

    std::chrono::milliseconds idleTimeout = kIdleTimeout;
    std::chrono::milliseconds totalTimeout = kTotalTimeout;
    qint64 maxBodyBytes = kMaxBodyBytes;
    int maxRedirects = kMaxRedirects;

    // TLS settings to use instead of the system default (for example with an
    // extra CA). Peer verification stays on whatever is given here.
    std::optional<QSslConfiguration> ssl;
};

// What a fetch gives back: the body as text whatever the HTTP status, or a
// readable cause when no complete answer arrived.
struct HttpText
{
    enum class Failure {
        None,
        ConnectionRefused,
        HostNotFound,
        TimedOut,
        Tls,
        TooLarge,
        RedirectRefused,
        ConnectionClosed,
        Other,
    };

    QString body;
    int httpStatus = 0; // 0 when no HTTP answer arrived
    Failure failure = Failure::None;
    QString error; // readable cause, empty on success

    bool ok() const { return failure == Failure::None; }
};

// A GET of `url` within the limits every transfer keeps: redirects followed
// up to `maxRedirects` and never from https down to http, and peers verified
// against `ssl` when given (else the system's CAs).
QNetworkRequest boundedRequest(const QUrl &url, int maxRedirects,
                               const std::optional<QSslConfiguration> &ssl);

// The certificate errors of a failed handshake as one readable text.
QString describeSslErrors(const QList<QSslError> &errors);

// Why a reply that ended in an error brought no answer: its kind and a
// readable cause, with the reply's own words where they add something.
// `tlsErrors` are the certificate errors met on the way, if any. Shared by
// every transfer.
struct NetworkFailure
{
    HttpText::Failure failure;
    QString cause;
};
NetworkFailure describeNetworkError(const QNetworkReply &reply, const QString &tlsErrors = {});

// One asynchronous GET of `address` (an absolute http or https address, used
// as it stands), started at once. Emits finished() exactly once, then deletes
// itself later. Destroying it first (with its parent, say) aborts the request
// without emitting anything.
class TextFetch : public QObject
{
    Q_OBJECT
public:
    TextFetch(QNetworkAccessManager &manager, const QString &address,
              const FetchOptions &options = {}, QObject *parent = nullptr);
    ~TextFetch() override;

signals:
    void finished(const velmora::HttpText &result);

private:
    void onReadyRead();
    bool failWhenTooLarge();
    void onFinished();
    void fail(HttpText::Failure failure, const QString &cause);
    void stop();
    void complete(HttpText result);
    QString decodeBody() const;

    QPointer<QNetworkReply> m_reply;
    FetchOptions m_options;
    QByteArray m_body;
    QTimer m_idleTimer;
    QTimer m_totalTimer;
    QString m_tlsErrors;
    bool m_done = false;
};

// Trusts the system's CAs plus those in `pem` (PEM text, one or more
// certificates); nullopt when `pem` holds none.
std::optional<QSslConfiguration> sslWithExtraCa(const QByteArray &pem);

} // namespace velmora
