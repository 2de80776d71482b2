#include "fakeresolver.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace velmora::fake {

// How an answer leaves; what it says is the rest of its Mode.
enum class Way { Send, Stall, Trickle, CutShort, Deflate, Loop, ToMedia, ToDemo };

struct FakeResolver::Mode
{
    QByteArray body;
    int status = 200;
    Way way = Way::Send;
};

namespace {

constexpr qsizetype MaxHead = 16 * 1024;
constexpr int SignError = -1; // no signed id is negative, so this key is free
const QByteArray ResolverPath = "/lxapi/vdj.x";

// The tracks with a tone (media/<id>.<format>) and a play page on the media port.
struct Known
{
    int track;
    const char *name, *format;
};
constexpr Known KnownTracks[] = {{tracks::Demo, tracks::DemoName, "mp3"},
                                 {tracks::TwoDigit, tracks::TwoDigitName, "wav"},
                                 {tracks::TestTone, tracks::TestToneName, "wav"}};

const Known *known(int track)
{
    const auto found = std::ranges::find(KnownTracks, track, &Known::track);
    return found == std::end(KnownTracks) ? nullptr : found;
}

QString fileOf(const Known &known)
{
    return u"%1.%2"_s.arg(known.track).arg(QLatin1String(known.format));
}

QByteArray material(const QByteArray &name)
{
    QFile file(":/velmora-fake/"_L1 + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fake resolver: missing resource %s", name.constData());
    return file.readAll();
}

QByteArray signatureOf(const QString &id, const QString &nonce)
{
    const QByteArray text = ("Hq_pwrTrack.zz?id=" + id + "&rs=" + nonce).toLatin1();
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex().right(18);
}

// Id and nonce of a query that is exactly id, k, r in this order with r
// matching; empty for any other.
QStringList signedQuery(const QByteArray &query)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(u"id=([0-9]+)&k=([0-9]{10})&r=([0-9a-f]{18})"_s));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(query));
    if (!match.hasMatch() || signatureOf(match.captured(1), match.captured(2)) != match.captured(3))
        return {};
    return {match.captured(1), match.captured(2)};
}

QByteArray reason(int status)
{
    static const QHash<int, QByteArray> reasons{{200, "OK"},
                                                {302, "Found"},
                                                {400, "Bad Request"},
                                                {404, "Not Found"},
                                                {405, "Method Not Allowed"},
                                                {431, "Request Header Fields Too Large"},
                                                {500, "Internal Server Error"}};
    return reasons.value(status, "Unknown");
}

QByteArray head(int status, qsizetype contentLength, const QByteArray &extraHeaders = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\nContent-Type: " +
           (status == 200 ? "application/json; charset=utf-8" : "text/html") +
           "\r\nContent-Length: " + QByteArray::number(contentLength) + "\r\n" + extraHeaders +
           "Connection: close\r\n\r\n";
}

// One response per connection; disconnectFromHost() still flushes what is queued.
// Any status but 200 comes with a page of its own, as from a web server.
void send(QSslSocket *socket, int status, QByteArray body = {}, const QByteArray &extra = {})
{
    if (status != 200)
        body = "<html><head><title>" + QByteArray::number(status) + "</title></head><body><h1>" +
               QByteArray::number(status) + ' ' + reason(status) + "</h1></body></html>";
    socket->write(head(status, body.size(), extra) + body);
    socket->disconnectFromHost();
}

// QJsonValue::Undefined leaves the member out.
QByteArray rendata(const QJsonValue &songUrl, const QJsonValue &name)
{
    const QJsonObject members{{u"songURL"_s, songUrl}, {u"tname"_s, name}};
    return QJsonDocument(QJsonObject{{u"Rendata"_s, members}}).toJson(QJsonDocument::Compact);
}

void redirect(QSslSocket *socket, const QUrl &to)
{
    send(socket, 302, {}, "Location: " + to.toEncoded() + "\r\n");
}

} // namespace

FakeResolver::FakeResolver(CertificateKind kind, QObject *parent) : QObject(parent), m_kind(kind) {}

FakeResolver::~FakeResolver() = default;

bool FakeResolver::start(quint16 resolverPort, quint16 mediaPort)
{
    if (m_tls)
        return false;
    const QByteArray name = m_kind == CertificateKind::Foreign ? "certs/foreign" : "certs/server";
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(QSslCertificate(material(name + ".pem")));
    config.setPrivateKey(QSslKey(material(name + ".key"), QSsl::Ec));
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setAllowedNextProtocols({QByteArrayLiteral("http/1.1")}); // no HTTP/2 here

    m_tls = new QSslServer(this);
    m_tls->setSslConfiguration(config);
    connect(m_tls, &QSslServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_tls->nextPendingConnection())
            serve(static_cast<QSslSocket *>(socket));
    });
    if (!m_tls->listen(QHostAddress::LocalHost, resolverPort))
        return false;
    m_resolverPort = m_tls->serverPort();

    m_media = new QHttpServer(this);
    setUpMedia();
    m_mediaPort = m_media->listen(QHostAddress::LocalHost, mediaPort);
    setUpModes();
    return m_mediaPort != 0;
}

// Built once the media port is known, as most answers point at it.
void FakeResolver::setUpModes()
{
    using namespace tracks;
    const QString demo = mediaBase().toString() + u"/media/169309.mp3"_s;
    const QString tone = QStringLiteral(VELMORA_FAKE_TONE_FILE);
    const QString x = u"x"_s;
    const QJsonValue none(QJsonValue::Undefined);
    const QByteArray demoBody = rendata(demo, QLatin1String(DemoName));
    // The Demo answer behind a "pad" member, first as QJsonObject would place it.
    const QByteArray open = R"({"Rendata":{)";
    const QByteArray padded = open + R"("pad":")" +
                              QByteArray(BodyLimit + 1024 - demoBody.size(), 'x') + R"(",)" +
                              demoBody.mid(open.size());

    m_modes = {
        {SignError, {rendata(none, QLatin1String(SignErrorName))}},
        {Unknown, {rendata(u""_s, QLatin1String(NotFindName))}},
        {FiveCharUrl, {rendata(u"12345"_s, u"other"_s)}},
        {SixCharUrl, {rendata(u"ab.mp3"_s, u"edge"_s)}},
        {UpperNotFind, {rendata(u""_s, u"NOT_FIND"_s)}},
        {NotFindWithUrl, {rendata(demo, QLatin1String(NotFindName))}},
        {NullName, {rendata(u""_s, QJsonValue::Null)}},
        {NoName, {rendata(u""_s, none)}},
        {ServerError, {{}, 500}},
        {NotFoundPage, {{}, 404}},
        {EmptyBody, {""}},
        {TruncatedJson, {R"({"Rendata":{"songURL":"htt)"}},
        {NullRendata, {R"({"Rendata":null})"}},
        {NoRendata, {R"({"code":0})"}},
        {NullUrl, {rendata(QJsonValue::Null, x)}},
        {NumberUrl, {rendata(1234567, x)}},
        {ObjectUrl, {rendata(QJsonObject{{u"url"_s, demo}}, x)}},
        {ArrayUrl, {rendata(QJsonArray{demo}, x)}},
        {Stall, {{}, 200, Way::Stall}},
        {Trickle, {demoBody, 200, Way::Trickle}},
        {Oversized, {padded}},
        {CutShort, {demoBody, 200, Way::CutShort}},
        {InsecureRedirect, {{}, 302, Way::ToMedia}},
        {RedirectLoop, {{}, 302, Way::Loop}},
        // qCompress() is a zlib stream behind a 4-byte length: HTTP's "deflate".
        {DeflateBomb, {qCompress(padded, 9).mid(4), 200, Way::Deflate}},
        {Redirect, {{}, 302, Way::ToDemo}},
        {FileUrl, {rendata(QUrl::fromLocalFile(tone).toString(), u"Local File"_s)}},
        {LocalPath, {rendata(tone, u"Local Path"_s)}},
        // Ends in a C1 CSI, which some terminals take like ESC [.
        {ControlChars,
         {rendata(demo + u"\n\x1b]0;owned\x07http://127.0.0.1:1/foreign.mp3\x1b[2J"_s + QChar(0x9b),
                  u"Bell\x07Name\x1b[31m"_s)}},
        {LongUrl,
         {rendata(demo + u"?pad="_s + QString(LongUrlLength - demo.size() - 5, u'x'), u"Long"_s)}},
        {RelativeUrl, {rendata(u"media/169309.mp3"_s, u"Relative"_s)}},
    };
    for (const Known &k : KnownTracks)
        m_modes.insert(k.track, {rendata(mediaBase().toString() + u"/media/"_s + fileOf(k),
                                         QLatin1String(k.name))});
}

QUrl FakeResolver::songUrl(int trackId) const
{
    const QJsonDocument answer = QJsonDocument::fromJson(m_modes.value(trackId).body);
    const QString text = answer[u"Rendata"_s][u"songURL"_s].toString();
    const QUrl url(text);
    return url.toString() == text ? url : QUrl();
}

QUrl FakeResolver::playPageUrl(int trackId) const
{
    if (!known(trackId))
        return {};
    return QUrl(mediaBase().toString() + u"/play/%1.html"_s.arg(trackId));
}

QUrl FakeResolver::requestUrl(const QString &trackId, const QString &nonce) const
{
    return QUrl(
        resolverBase().toString() + QLatin1String(ResolverPath) +
        u"?id=%1&k=%2&r=%3"_s.arg(trackId, nonce, QLatin1String(signatureOf(trackId, nonce))));
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
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QSslSocket::readyRead, this, [this, socket, buffer = QByteArray()]() mutable {
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0 && buffer.size() <= MaxHead)
            return;
        // One request per connection: anything after the head is ignored.
        disconnect(socket, &QSslSocket::readyRead, this, nullptr);
        if (end < 0 || end > MaxHead)
            return send(socket, 431);
        const QList<QByteArray> line = buffer.left(buffer.indexOf("\r\n")).split(' ');
        if (line.size() != 3 || !line[1].startsWith('/') || !line[2].startsWith("HTTP/1."))
            return send(socket, 400);
        const auto started = std::chrono::steady_clock::now();
        answer(socket, line[0], line[1]);
        m_received.last().handling = std::chrono::steady_clock::now() - started;
    });
}

void FakeResolver::answer(QSslSocket *socket, const QByteArray &method, const QByteArray &target)
{
    const qsizetype mark = target.indexOf('?');
    const bool resolverPath = target.left(mark) == ResolverPath;
    const QStringList idNonce = resolverPath ? signedQuery(target.mid(mark + 1)) : QStringList();
    const QUrl url = QUrl::fromEncoded(resolverBase().toEncoded() + target);
    m_received.append({url, !idNonce.isEmpty()});
    emit requestReceived(url, !idNonce.isEmpty());

    if (!resolverPath)
        return send(socket, 404);
    if (method != "GET")
        return send(socket, 405, {}, "Allow: GET\r\n");
    const QString id = idNonce.value(0);
    // Leading zeros make another id, as the text is what was signed.
    const int track = id.isEmpty()                        ? SignError
                      : QString::number(id.toInt()) == id ? id.toInt()
                                                          : tracks::Unknown;
    const Mode mode = m_modes.value(track, m_modes.value(tracks::Unknown));

    switch (mode.way) {
    case Way::Send:
        return send(socket, mode.status, mode.body);
    case Way::Stall:
        return; // the socket stays open until the client gives up
    case Way::Trickle:
        return trickle(socket, mode.body);
    case Way::CutShort:
        socket->write(head(200, mode.body.size() + 100) + mode.body);
        return socket->disconnectFromHost();
    case Way::Deflate:
        return send(socket, 200, mode.body, "Content-Encoding: deflate\r\n");
    case Way::Loop:
        return redirect(socket, url);
    case Way::ToMedia:
        return redirect(socket, QUrl::fromEncoded(mediaBase().toEncoded() + target));
    case Way::ToDemo:
        return redirect(socket, requestUrl(QString::number(tracks::Demo), idNonce[1]));
    }
}

void FakeResolver::trickle(QSslSocket *socket, const QByteArray &body)
{
    socket->write(head(200, body.size()));
    auto *timer = new QTimer(socket);
    timer->setTimerType(Qt::PreciseTimer);
    timer->callOnTimeout(socket, [socket, timer, body, sent = qsizetype(0)]() mutable {
        socket->write(body.mid(sent++, 1));
        if (sent == body.size()) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start(m_trickleInterval);
}

void FakeResolver::setUpMedia()
{
    // Every request, unknown paths too: any fetch from the media port may matter to a test.
    m_media->afterRequest(
        [this](QHttpServerResponse &&response, const QHttpServerRequest &request) {
            m_mediaRequests.append(request.url());
            emit mediaRequestReceived(request.url());
            return std::move(response);
        });
    // The query is not looked at, so LongUrl's padded address gets the tone too.
    m_media->route(u"/media/<arg>"_s, [this](const QString &name) {
        const Known *track = known(name.section(u'.', 0, 0).toInt());
        if (!track || name != fileOf(*track))
            return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
        const QByteArray format = track->format, audio = m_audio.value(track->track);
        return QHttpServerResponse(format == "mp3" ? "audio/mpeg" : "audio/wav",
                                   audio.isEmpty() ? material("media/tone." + format) : audio);
    });
    // A play page as the site would show it: the audio in an <audio> element
    // and a plain link, and nothing a client could mistake for an answer.
    m_media->route(u"/play/<arg>"_s, [this](const QString &page) {
        const Known *track = known(page.section(u'.', 0, 0).toInt());
        if (!track || page != u"%1.html"_s.arg(track->track))
            return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
        const QByteArray id = QByteArray::number(track->track);
        const QByteArray link = songUrl(track->track).toEncoded();
        return QHttpServerResponse(
            "text/html; charset=utf-8",
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Track " + id +
                "</title></head>\n<body><h1>Track " + id + "</h1>\n<audio controls src=\"" + link +
                "\"></audio>\n<p><a href=\"" + link + "\">Download</a></p>\n</body></html>\n");
    });
    // Where InsecureRedirect points: a usable answer, so following it shows.
    m_media->route(QString::fromLatin1(ResolverPath), [this] {
        return QHttpServerResponse("application/json", m_modes.value(tracks::Demo).body);
    });
}

} // namespace velmora::fake
