#pragma once

#include "catalogue.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSslConfiguration>
#include <QString>
#include <QTcpSocket>
#include <QUrl>

#include <chrono>
#include <climits>

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
    QByteArray range; // the Range header of an audio request, if any
};

// A stand-in for the resolver service on 127.0.0.1: an HTTPS port that
// answers /lxapi/vdj.x from a fixed catalogue (catalogue.h) and a plain HTTP
// port that serves the audio files the answers point to, plus for each known
// track a play page (/play/<id>.html) linking its audio file, as a generic
// page extractor would find it.
class FakeResolver : public QObject
{
public:
    explicit FakeResolver(CertificateKind kind = CertificateKind::Trusted) : m_kind(kind) {}

    // Port 0 picks a free one. False when either port cannot be opened.
    //
    // Where VELMORA_FAKE names the media address of a fake resolver that
    // runs as a program of its own (fake-resolver), this one starts nothing
    // and forwards to that one instead: a test built for Windows runs under
    // Wine against the Linux fake, asking it over plain HTTP on loopback.
    bool start(quint16 resolverPort = 0, quint16 mediaPort = 0);

    // "127.0.0.1:PORT", what a client puts after "https://". Reached by
    // another name (through a proxy), the answers point at the audio by that
    // name too, over https on this port.
    QString resolverHost() const { return QStringLiteral("127.0.0.1:%1").arg(m_resolverPort); }
    QUrl resolverBase() const { return QUrl(QStringLiteral("https://") + resolverHost()); }
    QUrl mediaBase() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_mediaPort)); }

    // Once started, the songURL the catalogue answers for a track in any mode:
    // the known tracks' audio, FileUrl's file, LongUrl's 40,000 characters...
    // Empty where the answer carries no string songURL, or one a QUrl cannot
    // hold unchanged (ControlChars).
    QUrl songUrl(int trackId) const;

    // Serves `content` for a known track's audio file instead of the built-in
    // tone, for example a longer track for benchmarks. Empty restores the tone.
    void setAudio(int trackId, const QByteArray &content);

    // Every Expiring address given so far is refused from now on (403), and
    // with `andLater`, every one given later as well. Their streams still
    // open are cut off, so a player holding one must ask again. With
    // `hangUp` the server goes away instead: it closes every such request
    // without an answer.
    void expireAddresses(bool andLater = false, bool hangUp = false);
    // Cuts the Expiring streams still open, as a dropped connection would.
    void cutStreams();
    // How often a track was resolved with a good signature.
    int resolvesOf(int trackId) const;
    // Requests to resolve `trackId` are read and held from now on: answered
    // only once stalled again with false, each then closing its connection.
    void setStalled(int trackId, bool stalled = true);

    // A correctly signed request address on this resolver.
    QUrl requestUrl(const QString &trackId,
                    const QString &nonce = QStringLiteral("1234567890")) const;

    // The default configuration plus the test CA; peers are still verified.
    static QSslConfiguration clientSslConfiguration();
    // The test CA in the source tree, for programs that take a CA file.
    static QString caFilePath();

    // What a /save/ address serves in the end: 256 KiB that start like an MP3,
    // except for SaveUntyped.
    QByteArray savedAudio(int trackId = tracks::SaveWhole) const
    {
        return trackId == tracks::SaveUntyped ? m_saved.mid(4) : m_saved;
    }

    // Every request read on the resolver port, in order, bad paths and signatures included.
    QList<Received> received() const;

    // Connections accepted on the resolver port, and how many of them were
    // closed for sitting idle after an answer (after 5 s unless set).
    int connections() const;
    int idleCloses() const;
    void setIdleClose(std::chrono::milliseconds after);

    // Pace of the Trickle answer, one body byte per interval (default 1 s).
    void setTrickleInterval(std::chrono::milliseconds interval);

private:
    // An answer: what it says and how it leaves.
    struct Mode
    {
        QByteArray body; // any status but 2xx comes with a page of its own instead
        QByteArray status = "200 OK";
        QByteArray headers = {}; // beyond the usual ones, each line ending in CRLF
        // Close: sent whole, then the connection closed.
        enum Way { Send, Stall, Trickle, CutShort, Unended, HangUp, Close } way = Send;
        qsizetype cut = 0; // CutShort: the body's last bytes, announced and never sent
        QByteArray type = "application/json; charset=utf-8";
        bool ranges = false; // answers Range, checking If-Range against ETag and Last-Modified
        qsizetype chunk = 1; // Trickle: bytes per interval
        bool rangesIgnored = false; // says it takes Range, and sends the whole file
        int heldFor = 0;            // the stalled track it waits for (setStalled())

        static Mode file(QByteArray body, QByteArray type, bool ranges = true)
        {
            return {std::move(body), "200 OK", {}, Send, 0, std::move(type), ranges};
        }
    };
    void serve(QTcpSocket *socket, bool tls);
    // Another process's fake: a request to it, and how this one answers one.
    QByteArray remote(const QByteArray &what, const QByteArray &body = {}) const;
    Mode control(const QByteArray &request);
    Mode answer(const QByteArray &head);
    Mode save(const QString &target, bool whole);
    Mode media(const QByteArray &head);
    bool send(QTcpSocket *socket, const QByteArray &head, Mode mode);
    void setUpModes();

    CertificateKind m_kind;
    QUrl m_remote; // the fake this one forwards to, if any
    quint16 m_resolverPort = 0;
    quint16 m_mediaPort = 0;
    std::chrono::milliseconds m_trickleInterval{1000};
    std::chrono::milliseconds m_idleClose{5000};
    int m_connections = 0;
    int m_idleCloses = 0;
    QHash<int, Mode> m_modes; // track id -> answer, built once the ports are known
    QList<Received> m_received;
    QHash<int, QByteArray> m_audio; // track id -> replacement for its tone
    QByteArray m_saved;
    bool m_dropped = false; // SaveDrop has dropped its connection once
    int m_expiredUpTo = 0;  // Expiring addresses up to this one are refused
    bool m_hangUp = false;  // by closing the connection, not with 403
    QSet<int> m_stalled;
    struct Held
    {
        QPointer<QTcpSocket> socket;
        QByteArray head;
        Mode answer;
    };
    QList<Held> m_held; // answers of stalled tracks, until they are no longer stalled
    QList<QPointer<QTcpSocket>> m_expiringStreams;
};

} // namespace velmora::fake
