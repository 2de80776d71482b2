#pragma once

#include "catalogue.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <chrono>

class QHttpServer;
class QSslSocket;

namespace velmora::fake {

enum class CertificateKind {
    Trusted, // signed by the test CA (caFilePath())
    Foreign, // signed by another CA that no client trusts
};

struct Received
{
    QUrl url;
    bool signatureOk = false; // keys id, k, r in order and r matches
    // The fake's own work on the request, from its head read to the answer
    // handed to the socket, so that benchmarks can take it out of a round
    // trip. The deliberate waits of Stall and Trickle are not in it.
    std::chrono::nanoseconds handling{0};
};

class TlsServer;

// A stand-in for the resolver service on 127.0.0.1: an HTTPS port that
// answers /lxapi/vdj.x from a fixed catalogue (catalogue.h) and a plain HTTP
// port that serves the audio files the answers point to, plus for each known
// track a play page (/play/<id>.html) linking its audio file, as a generic
// page extractor would find it.
class FakeResolver : public QObject
{
    Q_OBJECT
public:
    explicit FakeResolver(CertificateKind kind = CertificateKind::Trusted,
                          QObject *parent = nullptr);
    ~FakeResolver() override;

    // Port 0 picks a free one. False when either port cannot be opened.
    bool start(quint16 resolverPort = 0, quint16 mediaPort = 0);

    // "127.0.0.1:PORT", what a client puts after "https://".
    QString resolverHost() const;
    QUrl resolverBase() const;
    QUrl mediaBase() const;

    // The songURL the catalogue gives for a known track; empty otherwise.
    QUrl songUrl(int trackId) const;
    // The play page on the media port that links songUrl(trackId).
    QUrl playPageUrl(int trackId) const;

    // Serves `content` for a known track's audio file instead of the built-in
    // tone, for example a longer track for benchmarks. Empty restores the tone.
    void setAudio(int trackId, const QByteArray &content);

    // A correctly signed request address on this resolver.
    QUrl requestUrl(const QString &trackId,
                    const QString &nonce = QStringLiteral("1234567890")) const;

    // The default configuration plus the test CA; peers are still verified.
    static QSslConfiguration clientSslConfiguration();
    // The test CA in the source tree, for programs that take a CA file.
    static QString caFilePath();

    // Every request read on the resolver port, in order, bad ones included.
    QList<Received> received() const { return m_received; }
    QList<QUrl> requests() const;
    // Requests on the media port (files, play pages, and the landing of
    // InsecureRedirect).
    QList<QUrl> mediaRequests() const { return m_mediaRequests; }

    // Pace of the Trickle answer, one body byte per interval (default 1 s).
    void setTrickleInterval(std::chrono::milliseconds interval) { m_trickleInterval = interval; }
    std::chrono::milliseconds trickleInterval() const { return m_trickleInterval; }

signals:
    void requestReceived(const QUrl &url, bool signatureOk);
    void mediaRequestReceived(const QUrl &url);

private:
    void serve(QSslSocket *socket);
    void answer(QSslSocket *socket, const QByteArray &method, const QByteArray &target);
    void answerTrack(QSslSocket *socket, const QByteArray &id, const QByteArray &nonce,
                     const QByteArray &target);
    void trickle(QSslSocket *socket, const QByteArray &body);
    void setUpMedia();
    QByteArray demoAnswer(qsizetype padTo = 0) const;

    CertificateKind m_kind;
    TlsServer *m_tls = nullptr;
    QHttpServer *m_media = nullptr;
    quint16 m_resolverPort = 0;
    quint16 m_mediaPort = 0;
    std::chrono::milliseconds m_trickleInterval{1000};
    QList<Received> m_received;
    QList<QUrl> m_mediaRequests;
    QHash<QString, QByteArray> m_audio; // file name -> replacement content
};

} // namespace velmora::fake
