#pragma once

#include "answer.h"
#include "fetch.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;

namespace velmora {

// Where and how to ask the resolver.
struct ResolveOptions
{
    QString resolverHost; // host[:port], reached over https
    FetchOptions fetch;
};

// The built-in resolver host and limits, trusting the built-in extra CA as
// well when the build has one. Both front ends start from these.
ResolveOptions defaultResolveOptions();

// Opens the TLS connection the next resolve will take, so that a click pays
// no handshake. Cheap while that connection is still open; a connection the
// server closed meanwhile is simply opened again by the request.
void warmUp(QNetworkAccessManager &manager, const ResolveOptions &options);

// One asynchronous resolve of a track id: nonce, signature, address, fetch,
// decision. Emits finished() once, then deletes itself later; destroying it
// first aborts the request silently.
class TrackResolve : public QObject
{
    Q_OBJECT
public:
    TrackResolve(QNetworkAccessManager &manager, const QString &trackId,
                 const ResolveOptions &options, QObject *parent = nullptr);

    const QString &requestAddress() const { return m_address; }

signals:
    void finished(const velmora::Resolution &result);

private:
    QString m_address;
};

} // namespace velmora
