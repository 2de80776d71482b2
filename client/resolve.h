#pragma once

#include "httpget.h"
#include "looseval.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;

namespace velmora {

// What one track's request came to.
struct Resolution
{
    enum class Outcome {
        Play,         // songUrl holds the audio address
        NotFound,     // the service does not know the track
        RequestError, // anything else; error says why
    };

    Outcome outcome = Outcome::RequestError;
    QString songUrl;
    QString trackName; // text form of the track name, where the answer has one
    QString error;     // readable cause, for RequestError
};

// The decision from an answer's text alone: an audio address of at least
// six characters plays; otherwise the track name "not_find" means unknown
// and everything else (no JSON, no Rendata, another name) is a request error.
// A null, object or array audio address counts as none.
Resolution DecideAnswer(const QString &answerText);

// Where and how to ask the resolver.
struct ResolveOptions
{
    QString resolverHost; // empty: the built-in host
    FetchOptions fetch;
};

// One asynchronous resolve of a track id: nonce, signature, address, fetch,
// decision. Emits finished() once (unless aborted), then deletes itself later;
// destroying it aborts the request silently.
class TrackResolve : public QObject
{
    Q_OBJECT
public:
    TrackResolve(QNetworkAccessManager &manager, const QString &trackId,
                 const ResolveOptions &options = {}, QObject *parent = nullptr);

    const QString &trackId() const { return m_trackId; }
    const QString &requestAddress() const { return m_address; }
    void abort();

signals:
    void finished(const velmora::Resolution &result);

private:
    QString m_trackId;
    QString m_address;
    QPointer<TextFetch> m_fetch;
};

// Trusts the system's CAs plus those in `pem` (PEM text, one or more
// certificates). Returns nullopt, with `error` set, when `pem` holds none.
std::optional<QSslConfiguration> SslWithExtraCa(const QByteArray &pem, QString *error = nullptr);

} // namespace velmora
