#include "fakeresolver.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>

namespace velmora::fake {

// Hands every accepted connection, already switched to server-side TLS, to
// a callback. Sockets are children of the server, so they go with it.
class TlsServer : public QTcpServer
{
public:
    TlsServer(QSslConfiguration config, std::function<void(QSslSocket *)> onSocket, QObject *parent)
        : QTcpServer(parent), m_config(std::move(config)), m_onSocket(std::move(onSocket))
    {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSslConfiguration(m_config);
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        // A refused handshake does not always end in disconnected().
        connect(socket, &QSslSocket::errorOccurred, socket, [socket] {
            if (!socket->isEncrypted())
                socket->deleteLater();
        });
        m_onSocket(socket);
        socket->startServerEncryption();
    }

private:
    QSslConfiguration m_config;
    std::function<void(QSslSocket *)> m_onSocket;
};

namespace {

constexpr qsizetype MaxHead = 16 * 1024;
const QByteArray ResolverPath = "/lxapi/vdj.x";
const QByteArray SigningPrefix = "Hq_pwrTrack.zz?id=";

QByteArray material(const char *name)
{
    QFile file(QStringLiteral(":/velmora-fake/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fake resolver: missing resource %s", name);
    return file.readAll();
}

bool allOf(const QByteArray &text, bool (*accept)(char))
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), accept);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isLowerHex(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f');
}

QByteArray signatureOf(const QByteArray &id, const QByteArray &nonce)
{
    return QCryptographicHash::hash(SigningPrefix + id + "&rs=" + nonce, QCryptographicHash::Md5)
        .toHex()
        .right(18);
}

struct SignedQuery
{
    QByteArray id;
    QByteArray nonce;
};

// Exactly id, k, r in this order, well-formed, and r matching.
std::optional<SignedQuery> checkQuery(const QByteArray &query)
{
    const QList<QByteArray> pairs = query.split('&');
    if (pairs.size() != 3 || !pairs[0].startsWith("id=") || !pairs[1].startsWith("k=") ||
        !pairs[2].startsWith("r="))
        return std::nullopt;
    const QByteArray id = pairs[0].mid(3);
    const QByteArray nonce = pairs[1].mid(2);
    const QByteArray signature = pairs[2].mid(2);
    if (!allOf(id, isDigit) || nonce.size() != 10 || !allOf(nonce, isDigit) ||
        signature.size() != 18 || !allOf(signature, isLowerHex) ||
        signature != signatureOf(id, nonce))
        return std::nullopt;
    return SignedQuery{id, nonce};
}

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    }
    return "Unknown";
}

QByteArray head(int status, const QByteArray &contentType, qsizetype contentLength,
                const QByteArray &extraHeaders = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) +
           "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + QByteArray::number(contentLength) + "\r\n" + extraHeaders +
           "Connection: close\r\n\r\n";
}

// One response per connection; disconnectFromHost() still flushes what is queued.
void send(QSslSocket *socket, int status, const QByteArray &contentType, const QByteArray &body,
          const QByteArray &extraHeaders = {})
{
    socket->write(head(status, contentType, body.size(), extraHeaders) + body);
    socket->disconnectFromHost();
}

void sendJson(QSslSocket *socket, const QByteArray &body)
{
    send(socket, 200, "application/json; charset=utf-8", body);
}

QByteArray rendata(const QJsonObject &members)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("Rendata"), members}})
        .toJson(QJsonDocument::Compact);
}

QByteArray htmlPage(int status)
{
    return "<html><head><title>" + QByteArray::number(status) + "</title></head><body><h1>" +
           QByteArray::number(status) + ' ' + reason(status) + "</h1></body></html>";
}

void sendRedirect(QSslSocket *socket, const QUrl &location)
{
    send(socket, 302, "text/html", htmlPage(302), "Location: " + location.toEncoded() + "\r\n");
}

} // namespace

FakeResolver::FakeResolver(CertificateKind kind, QObject *parent) : QObject(parent), m_kind(kind) {}

FakeResolver::~FakeResolver() = default;

bool FakeResolver::start(quint16 resolverPort, quint16 mediaPort)
{
    if (m_tls)
        return false;
    const bool foreign = m_kind == CertificateKind::Foreign;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(
        QSslCertificate(material(foreign ? "certs/foreign.pem" : "certs/server.pem")));
    config.setPrivateKey(
        QSslKey(material(foreign ? "certs/foreign.key" : "certs/server.key"), QSsl::Ec));
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setAllowedNextProtocols({QByteArrayLiteral("http/1.1")}); // no HTTP/2 here

    m_tls = new TlsServer(
        config, [this](QSslSocket *socket) { serve(socket); }, this);
    if (!m_tls->listen(QHostAddress::LocalHost, resolverPort))
        return false;
    m_resolverPort = m_tls->serverPort();

    m_media = new QHttpServer(this);
    setUpMedia();
    m_mediaPort = m_media->listen(QHostAddress::LocalHost, mediaPort);
    return m_mediaPort != 0;
}

QString FakeResolver::resolverHost() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_resolverPort);
}

QUrl FakeResolver::resolverBase() const
{
    return QUrl(QStringLiteral("https://") + resolverHost());
}

QUrl FakeResolver::mediaBase() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_mediaPort));
}

QUrl FakeResolver::songUrl(int trackId) const
{
    QString file;
    switch (trackId) {
    case tracks::Demo:
        file = QStringLiteral("169309.mp3");
        break;
    case tracks::TwoDigit:
        file = QStringLiteral("10.wav");
        break;
    case tracks::TestTone:
        file = QStringLiteral("123456.wav");
        break;
    default:
        return {};
    }
    return QUrl(mediaBase().toString() + QStringLiteral("/media/") + file);
}

QUrl FakeResolver::playPageUrl(int trackId) const
{
    if (songUrl(trackId).isEmpty())
        return {};
    return QUrl(mediaBase().toString() + QStringLiteral("/play/%1.html").arg(trackId));
}

void FakeResolver::setAudio(int trackId, const QByteArray &content)
{
    const QString file = songUrl(trackId).fileName();
    if (file.isEmpty())
        return;
    if (content.isEmpty())
        m_audio.remove(file);
    else
        m_audio.insert(file, content);
}

QUrl FakeResolver::requestUrl(const QString &trackId, const QString &nonce) const
{
    const QByteArray id = trackId.toLatin1();
    const QByteArray k = nonce.toLatin1();
    return QUrl::fromEncoded(resolverBase().toEncoded() + ResolverPath + "?id=" + id + "&k=" + k +
                             "&r=" + signatureOf(id, k));
}

QSslConfiguration FakeResolver::clientSslConfiguration()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificates(QSslCertificate::fromData(material("certs/ca.pem")));
    return config;
}

QString FakeResolver::caFilePath()
{
    return QStringLiteral(VELMORA_FAKE_CA_FILE);
}

QList<QUrl> FakeResolver::requests() const
{
    QList<QUrl> urls;
    for (const Received &r : m_received)
        urls.append(r.url);
    return urls;
}

void FakeResolver::serve(QSslSocket *socket)
{
    connect(socket, &QSslSocket::readyRead, this, [this, socket, buffer = QByteArray()]() mutable {
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0 && buffer.size() <= MaxHead)
            return;
        // One request per connection: anything after the head is ignored.
        disconnect(socket, &QSslSocket::readyRead, this, nullptr);
        if (end < 0 || end > MaxHead) {
            send(socket, 431, "text/html", htmlPage(431));
            return;
        }
        const QList<QByteArray> line = buffer.left(buffer.indexOf("\r\n")).split(' ');
        if (line.size() != 3 || !line[1].startsWith('/') || !line[2].startsWith("HTTP/1.")) {
            send(socket, 400, "text/html", htmlPage(400));
            return;
        }
        QElapsedTimer clock;
        clock.start();
        const qsizetype before = m_received.size();
        answer(socket, line[0], line[1]);
        if (m_received.size() > before)
            m_received.last().handling = std::chrono::nanoseconds(clock.nsecsElapsed());
    });
}

void FakeResolver::answer(QSslSocket *socket, const QByteArray &method, const QByteArray &target)
{
    const qsizetype mark = target.indexOf('?');
    const QByteArray path = target.left(mark);
    const QByteArray query = mark < 0 ? QByteArray() : target.mid(mark + 1);
    const std::optional<SignedQuery> signedQuery =
        path == ResolverPath ? checkQuery(query) : std::nullopt;

    const QUrl url = QUrl::fromEncoded(resolverBase().toEncoded() + target);
    m_received.append({url, signedQuery.has_value()});
    emit requestReceived(url, signedQuery.has_value());

    if (path != ResolverPath)
        send(socket, 404, "text/html", htmlPage(404));
    else if (method != "GET")
        send(socket, 405, "text/html", htmlPage(405), "Allow: GET\r\n");
    else if (!signedQuery)
        sendJson(socket,
                 rendata({{QStringLiteral("tname"), QLatin1String(tracks::SignErrorName)}}));
    else
        answerTrack(socket, signedQuery->id, signedQuery->nonce, target);
}

QByteArray FakeResolver::demoAnswer(qsizetype padTo) const
{
    QJsonObject members{{QStringLiteral("songURL"), songUrl(tracks::Demo).toString()},
                        {QStringLiteral("tname"), QLatin1String(tracks::DemoName)}};
    if (padTo > 0) {
        const qsizetype base = rendata(members).size() + qsizetype(sizeof(R"(,"pad":"")") - 1);
        members.insert(QStringLiteral("pad"), QString(qMax<qsizetype>(0, padTo - base), u'x'));
    }
    return rendata(members);
}

void FakeResolver::answerTrack(QSslSocket *socket, const QByteArray &id, const QByteArray &nonce,
                               const QByteArray &target)
{
    bool ok = false;
    const qlonglong number = id.toLongLong(&ok);
    // Leading zeros make another id, as the text is what was signed.
    const int track =
        ok && QByteArray::number(number) == id && number <= INT_MAX ? int(number) : -1;

    const QString songURL = QStringLiteral("songURL");
    const QString tname = QStringLiteral("tname");
    const QString x = QStringLiteral("x");
    const QString demoUrl = songUrl(tracks::Demo).toString();
    constexpr qsizetype overLimit = tracks::BodyLimit + 1024;

    switch (track) {
    case tracks::Demo:
        return sendJson(socket, demoAnswer());
    case tracks::TwoDigit:
        return sendJson(socket, rendata({{songURL, songUrl(track).toString()},
                                         {tname, QLatin1String(tracks::TwoDigitName)}}));
    case tracks::TestTone:
        return sendJson(socket, rendata({{songURL, songUrl(track).toString()},
                                         {tname, QLatin1String(tracks::TestToneName)}}));

    case tracks::FiveCharUrl:
        return sendJson(socket, rendata({{songURL, QStringLiteral("12345")},
                                         {tname, QStringLiteral("other")}}));
    case tracks::SixCharUrl:
        return sendJson(socket, rendata({{songURL, QStringLiteral("ab.mp3")},
                                         {tname, QStringLiteral("edge")}}));
    case tracks::UpperNotFind:
        return sendJson(socket,
                        rendata({{songURL, QString()}, {tname, QStringLiteral("NOT_FIND")}}));
    case tracks::NotFindWithUrl:
        return sendJson(socket,
                        rendata({{songURL, demoUrl}, {tname, QLatin1String(tracks::NotFindName)}}));
    case tracks::NullName:
        return sendJson(socket, rendata({{songURL, QString()}, {tname, QJsonValue::Null}}));
    case tracks::NoName:
        return sendJson(socket, rendata({{songURL, QString()}}));

    case tracks::ServerError:
        return send(socket, 500, "text/html", htmlPage(500));
    case tracks::NotFoundPage:
        return send(socket, 404, "text/html", htmlPage(404));
    case tracks::EmptyBody:
        return sendJson(socket, {});
    case tracks::TruncatedJson:
        return sendJson(socket, R"({"Rendata":{"songURL":"htt)");
    case tracks::NullRendata:
        return sendJson(socket, R"({"Rendata":null})");
    case tracks::NoRendata:
        return sendJson(socket, R"({"code":0})");
    case tracks::NullUrl:
        return sendJson(socket, rendata({{songURL, QJsonValue::Null}, {tname, x}}));
    case tracks::NumberUrl:
        return sendJson(socket, rendata({{songURL, 1234567}, {tname, x}}));
    case tracks::ObjectUrl:
        return sendJson(socket, rendata({{songURL, QJsonObject{{QStringLiteral("url"), demoUrl}}},
                                         {tname, x}}));
    case tracks::ArrayUrl:
        return sendJson(socket, rendata({{songURL, QJsonArray{demoUrl}}, {tname, x}}));

    case tracks::Stall:
        return; // the socket stays open until the client gives up
    case tracks::Trickle:
        return trickle(socket, demoAnswer());
    case tracks::Oversized:
        return sendJson(socket, demoAnswer(overLimit));
    case tracks::CutShort: {
        const QByteArray body = demoAnswer();
        socket->write(head(200, "application/json; charset=utf-8", body.size() + 100) + body);
        return socket->disconnectFromHost();
    }
    case tracks::InsecureRedirect: {
        QUrl location = mediaBase();
        location.setPath(QString::fromLatin1(ResolverPath));
        location.setQuery(QString::fromLatin1(target.mid(target.indexOf('?') + 1)));
        return sendRedirect(socket, location);
    }
    case tracks::RedirectLoop:
        return sendRedirect(socket, QUrl::fromEncoded(resolverBase().toEncoded() + target));
    case tracks::DeflateBomb: {
        // qCompress() is a zlib stream behind a 4-byte length: HTTP's "deflate".
        const QByteArray body = qCompress(demoAnswer(overLimit), 9).mid(4);
        return send(socket, 200, "application/json; charset=utf-8", body,
                    "Content-Encoding: deflate\r\n");
    }
    case tracks::Redirect:
        return sendRedirect(socket,
                            requestUrl(QString::number(tracks::Demo), QString::fromLatin1(nonce)));
    }
    sendJson(socket, rendata({{songURL, QString()}, {tname, QLatin1String(tracks::NotFindName)}}));
}

void FakeResolver::trickle(QSslSocket *socket, const QByteArray &body)
{
    socket->write(head(200, "application/json; charset=utf-8", body.size()));
    auto *timer = new QTimer(socket);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(m_trickleInterval);
    connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent = qsizetype(0)]() mutable {
        socket->write(body.mid(sent++, 1));
        if (sent == body.size()) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start();
}

void FakeResolver::setUpMedia()
{
    struct File
    {
        const char *resource;
        QByteArray type;
    };
    const QHash<QString, File> files{
        {QStringLiteral("169309.mp3"), {"media/tone.mp3", "audio/mpeg"}},
        {QStringLiteral("10.wav"), {"media/tone.wav", "audio/wav"}},
        {QStringLiteral("123456.wav"), {"media/tone.wav", "audio/wav"}},
    };
    m_media->route(QStringLiteral("/media/<arg>"),
                   [this, files](const QString &name, const QHttpServerRequest &request) {
                       m_mediaRequests.append(request.url());
                       emit mediaRequestReceived(request.url());
                       const auto file = files.constFind(name);
                       if (file == files.cend())
                           return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
                       return QHttpServerResponse(file->type,
                                                  m_audio.value(name, material(file->resource)));
                   });
    // A play page as the site would show it: the audio in an <audio> element
    // and a plain link, and nothing a client could mistake for an answer.
    m_media->route(QStringLiteral("/play/<arg>"), [this](const QString &page,
                                                         const QHttpServerRequest &request) {
        m_mediaRequests.append(request.url());
        emit mediaRequestReceived(request.url());
        const QString id = page.chopped(qMin<qsizetype>(page.size(), 5));
        bool numeric = false;
        const int track = id.toInt(&numeric);
        const QUrl audio =
            numeric && page.endsWith(QLatin1String(".html")) && QString::number(track) == id
                ? songUrl(track)
                : QUrl();
        if (audio.isEmpty())
            return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
        const QByteArray link = audio.toEncoded();
        return QHttpServerResponse(
            "text/html; charset=utf-8",
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Track " + id.toLatin1() +
                "</title></head>\n<body><h1>Track " + id.toLatin1() +
                "</h1>\n<audio controls src=\"" + link + "\"></audio>\n<p><a href=\"" + link +
                "\">Download</a></p>\n</body></html>\n");
    });
    // Where InsecureRedirect points: a usable answer, so following it shows.
    m_media->route(QString::fromLatin1(ResolverPath), [this](const QHttpServerRequest &request) {
        m_mediaRequests.append(request.url());
        emit mediaRequestReceived(request.url());
        return QHttpServerResponse("application/json", demoAnswer());
    });
}

} // namespace velmora::fake
