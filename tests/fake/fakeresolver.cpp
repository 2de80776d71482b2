#include "fakeresolver.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace velmora::fake {

namespace {

constexpr qsizetype MaxHead = 16 * 1024;
constexpr int SignError = -1; // no signed id is negative, so this key is free
const QString ResolverPath = u"/lxapi/vdj.x"_s;
const QByteArray SavedETag = "\"v1\"";
const QByteArray SavedModified = "Sat, 05 Dec 2026 12:00:00 GMT";

// The save tracks and the names of their files under /save/.
const std::pair<int, const char *> SaveTracks[] = {
    {tracks::SaveWhole, "whole"},       {tracks::SaveDrop, "drop"},
    {tracks::SaveNoRanges, "noranges"}, {tracks::SaveExpiring, "expiring"},
    {tracks::SaveLonger, "longer"},     {tracks::SaveRedirects, "redirects"},
    {tracks::SaveHtml, "page"},         {tracks::SaveError, "error"},
    {tracks::SaveSlow, "slow"},         {tracks::SaveModified, "modified"}};

// The value of header `name` in a request head, or empty.
QByteArray header(const QByteArray &head, const QByteArray &name)
{
    const QRegularExpression field(uR"(\r\n%1:\s*([^\r]*))"_s.arg(QLatin1String(name)),
                                   QRegularExpression::CaseInsensitiveOption);
    return field.match(QString::fromLatin1(head)).captured(1).toLatin1();
}

// The tracks with a tone (media/<id>.<format>) and a play page on the media port.
struct Known
{
    int track;
    QLatin1String name, format;
    const char *type;
};
const Known KnownTracks[] = {
    {tracks::Demo, QLatin1String(tracks::DemoName), "mp3"_L1, "audio/mpeg"},
    {tracks::TwoDigit, "Two Digit"_L1, "wav"_L1, "audio/wav"},
    {tracks::TestTone, "Test Tone"_L1, "wav"_L1, "audio/wav"}};

QByteArray material(const QString &name)
{
    QFile file(":/velmora-fake/"_L1 + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fake resolver: missing resource %s", qPrintable(name));
    return file.readAll();
}

QString signatureOf(const QString &id, const QString &nonce)
{
    const QByteArray text = ("Hq_pwrTrack.zz?id=" + id + "&rs=" + nonce).toLatin1();
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex().right(18);
}

// QJsonValue::Undefined leaves the member out. A "pad" member of `pad`
// characters comes first, as QJsonObject sorts its keys.
QByteArray rendata(const QJsonValue &songUrl, const QJsonValue &name, qsizetype pad = 0)
{
    QJsonObject members{{u"songURL"_s, songUrl}, {u"tname"_s, name}};
    if (pad > 0)
        members.insert(u"pad"_s, QString(pad, u'x'));
    return QJsonDocument(QJsonObject{{u"Rendata"_s, members}}).toJson(QJsonDocument::Compact);
}

} // namespace

bool FakeResolver::start(quint16 resolverPort, quint16 mediaPort)
{
    const QString name = m_kind == CertificateKind::Foreign ? u"foreign"_s : u"server"_s;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(QSslCertificate(material(u"certs/%1.pem"_s.arg(name))));
    config.setPrivateKey(QSslKey(material(u"certs/%1.key"_s.arg(name)), QSsl::Ec));
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setAllowedNextProtocols({QByteArrayLiteral("http/1.1")}); // no HTTP/2 here

    auto *tls = new QSslServer(this);
    tls->setSslConfiguration(config);
    connect(tls, &QSslServer::pendingConnectionAvailable, this, [this, tls] {
        while (QTcpSocket *socket = tls->nextPendingConnection())
            serve(static_cast<QSslSocket *>(socket));
    });
    m_resolverPort = tls->listen(QHostAddress::LocalHost, resolverPort) ? tls->serverPort() : 0;

    auto *media = new QHttpServer(this);
    // Where InsecureRedirect points: a usable answer, so following it shows.
    // Registered first, as the route below would take its path as well.
    media->route(ResolverPath, [this] {
        return QHttpServerResponse("application/json", m_modes.value(tracks::Demo).body);
    });
    // For benchmarks that run the fake as a process of its own.
    media->route(u"/connections"_s, [this] { return QString::number(m_connections); });
    // A known track's audio, and its play page as the site would show it: the
    // audio in an <audio> element and a plain link, and nothing a client could
    // mistake for an answer. The query is not looked at, so LongUrl's padded
    // address gets the tone too.
    media->route(u"/media/expiring/<arg>"_s, [this](const QString &name) {
        if (name.chopped(4).toInt() <= m_expiredUpTo)
            return QHttpServerResponse(QHttpServerResponse::StatusCode::Forbidden);
        const QByteArray audio = m_audio.value(tracks::Expiring);
        return QHttpServerResponse("audio/wav",
                                   audio.isEmpty() ? material(u"media/tone.wav"_s) : audio);
    });
    media->route(u"/<arg>/<arg>"_s, [this](const QString &folder, const QString &name,
                                           const QHttpServerRequest &request) {
        const bool page = folder == "play"_L1;
        const Known *known = nullptr;
        for (const Known &k : KnownTracks)
            if (name == u"%1.%2"_s.arg(k.track).arg(page ? "html"_L1 : k.format))
                known = &k;
        if (!known || (!page && folder != "media"_L1))
            return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
        QByteArray audio = m_audio.value(known->track);
        if (audio.isEmpty())
            audio = material(u"media/tone."_s + known->format);
        // From a byte on, as players ask when they seek.
        const QByteArray range = request.value("Range");
        const qint64 from =
            range.startsWith("bytes=") ? range.mid(6).split('-')[0].toLongLong() : 0;
        if (!page && from > 0 && from < audio.size()) {
            QHttpServerResponse part(known->type, audio.mid(from),
                                     QHttpServerResponse::StatusCode::PartialContent);
            part.addHeader("Content-Range", "bytes " + QByteArray::number(from) + '-' +
                                                QByteArray::number(audio.size() - 1) + '/' +
                                                QByteArray::number(audio.size()));
            return part;
        }
        if (!page) {
            QHttpServerResponse whole(known->type, audio);
            whole.addHeader("Accept-Ranges", "bytes");
            return whole;
        }
        return QHttpServerResponse(
            "text/html; charset=utf-8",
            u"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
            "</head>\n<body><h1>%1</h1>\n<audio controls src=\"%2\"></audio>\n"
            "<p><a href=\"%2\">Download</a></p>\n</body></html>\n"_s
                .arg(known->name, songUrl(known->track).toString())
                .toUtf8());
    });
    m_mediaPort = media->listen(QHostAddress::LocalHost, mediaPort);
    m_saved = "ID3\x04" + QByteArray(256 * 1024 - 4, Qt::Uninitialized);
    QRandomGenerator(9).fillRange(reinterpret_cast<quint32 *>(m_saved.data() + 4),
                                  (m_saved.size() - 4) / 4);
    setUpModes();
    return m_resolverPort != 0 && m_mediaPort != 0;
}

// Built once the media port is known, as most answers point at it.
void FakeResolver::setUpModes()
{
    using namespace tracks;
    const QString media = mediaBase().toString() + u"/media/"_s;
    const QString demo = media + u"169309.mp3"_s;
    const QString tone = QStringLiteral(VELMORA_FAKE_TONE_FILE);
    const QByteArray demoBody = rendata(demo, QLatin1String(DemoName));
    const QByteArray padded = rendata(demo, QLatin1String(DemoName), BodyLimit);
    const auto to = [](const QUrl &url) {
        return "Location: " + url.toEncoded() + "\r\n";
    };

    m_modes = {
        {SignError, {rendata(QJsonValue::Undefined, u"sign_error"_s)}},
        {Unknown, {rendata(u""_s, u"not_find"_s)}},
        {FiveCharUrl, {rendata(u"12345"_s, u"other"_s)}},
        {SixCharUrl, {rendata(u"ab.mp3"_s, u"edge"_s)}},
        {UpperNotFind, {rendata(u""_s, u"NOT_FIND"_s)}},
        {NotFindWithUrl, {rendata(demo, u"not_find"_s)}},
        {NullName, {rendata(u""_s, QJsonValue::Null)}},
        {ServerError, {{}, "500 Internal Server Error"}},
        {NotFoundPage, {{}, "404 Not Found"}},
        {EmptyBody, {""}},
        {TruncatedJson, {R"({"Rendata":{"songURL":"htt)"}},
        {NullRendata, {R"({"Rendata":null})"}},
        {NoRendata, {R"({"code":0})"}},
        {NullUrl, {rendata(QJsonValue::Null, u"x"_s)}},
        {NumberUrl, {rendata(1234567, u"x"_s)}},
        {ObjectUrl, {rendata(QJsonObject{{u"url"_s, demo}}, u"x"_s)}},
        {ArrayUrl, {rendata(QJsonArray{demo}, u"x"_s)}},
        {Stall, {{}, "200 OK", {}, Mode::Stall}},
        {Trickle, {demoBody, "200 OK", {}, Mode::Trickle}},
        {Oversized, {padded}},
        {CutShort, {demoBody, "200 OK", {}, Mode::CutShort}},
        {InsecureRedirect, {{}, "302 Found", to(QUrl(mediaBase().toString() + ResolverPath))}},
        {RedirectLoop, {{}, "302 Found", to(requestUrl(QString::number(RedirectLoop)))}},
        // qCompress() is a zlib stream behind a 4-byte length: HTTP's "deflate".
        {DeflateBomb, {qCompress(padded, 9).mid(4), "200 OK", "Content-Encoding: deflate\r\n"}},
        {Redirect, {{}, "302 Found", to(requestUrl(QString::number(Demo)))}},
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
        m_modes.insert(k.track, {rendata(media + u"%1.%2"_s.arg(k.track).arg(k.format), k.name)});
    for (const auto &[track, name] : SaveTracks)
        m_modes.insert(track, {rendata(resolverBase().toString() + u"/save/%1.mp3"_s.arg(name),
                                       u"Save: %1"_s.arg(QLatin1String(name)))});
}

QUrl FakeResolver::songUrl(int trackId) const
{
    const QJsonDocument answer = QJsonDocument::fromJson(m_modes.value(trackId).body);
    const QString text = answer[u"Rendata"_s][u"songURL"_s].toString();
    const QUrl url(text);
    return url.toString() == text ? url : QUrl();
}

int FakeResolver::resolvesOf(int trackId) const
{
    return int(std::count_if(m_received.cbegin(), m_received.cend(), [&](const Received &r) {
        return r.signatureOk &&
               QUrlQuery(r.url).queryItemValue(u"id"_s) == QString::number(trackId);
    }));
}

QUrl FakeResolver::requestUrl(const QString &trackId, const QString &nonce) const
{
    return QUrl(resolverBase().toString() + ResolverPath +
                u"?id=%1&k=%2&r=%3"_s.arg(trackId, nonce, signatureOf(trackId, nonce)));
}

QSslConfiguration FakeResolver::clientSslConfiguration()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificates(QSslCertificate::fromData(material(u"certs/ca.pem"_s)));
    return config;
}

QString FakeResolver::caFilePath()
{
    return QStringLiteral(VELMORA_FAKE_CA_FILE);
}

// Requests one after another on a connection, as long as each answer is
// sent whole; a connection left idle is closed, as servers do.
void FakeResolver::serve(QSslSocket *socket)
{
    ++m_connections;
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, [this, socket] {
        ++m_idleCloses;
        socket->disconnectFromHost();
    });
    idle->start(m_idleClose);
    connect(socket, &QSslSocket::readyRead, this,
            [this, socket, idle, head = QByteArray()]() mutable {
                idle->stop();
                head += socket->readAll();
                if (!head.contains("\r\n\r\n") && head.size() <= MaxHead)
                    return;
                if (answer(socket, std::exchange(head, {})))
                    idle->start(m_idleClose);
                else
                    disconnect(socket, &QSslSocket::readyRead, this, nullptr);
            });
}

bool FakeResolver::answer(QSslSocket *socket, const QByteArray &head)
{
    static const QRegularExpression line(u"^GET (/[^ ]*) HTTP/1\\.[01]\r\n"_s);
    // A head that is not a GET has no target, and so a bad path.
    const QString target = line.match(QString::fromLatin1(head)).captured(1);
    if (target.startsWith(u"/save/"_s)) {
        m_received.append(
            {QUrl(resolverBase().toString() + target), false, {}, header(head, "Range")});
        serveAudio(socket, target, head);
        return false;
    }
    const auto started = std::chrono::steady_clock::now();
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        u"/lxapi/vdj\\.x\\?id=([0-9]+)&k=([0-9]{10})&r=([0-9a-f]{18})"_s));
    const QRegularExpressionMatch match = form.match(target);
    const QString id = match.captured(1);
    const bool signatureOk =
        match.hasMatch() && signatureOf(id, match.captured(2)) == match.captured(3);
    m_received.append(
        {QUrl::fromEncoded(resolverBase().toEncoded() + target.toLatin1()), signatureOk, {}, {}});
    // Leading zeros make another id, as the text is what was signed. A bad
    // path gets the answer of NotFoundPage.
    int track = QString::number(id.toInt()) == id ? id.toInt() : tracks::Unknown;
    if (!signatureOk)
        track = target.section(u'?', 0, 0) == ResolverPath ? SignError : tracks::NotFoundPage;
    Mode mode = m_modes.value(track, m_modes.value(tracks::Unknown));
    // Each resolve signs the address anew.
    if (track == tracks::SaveExpiring)
        mode.body =
            rendata(resolverBase().toString() + u"/save/expiring.mp3?v=%1"_s.arg(resolvesOf(track)),
                    u"Save: expiring"_s);
    if (track == tracks::Expiring)
        mode.body =
            rendata(mediaBase().toString() + u"/media/expiring/%1.wav"_s.arg(resolvesOf(track)),
                    u"Expiring"_s);
    const bool kept = send(socket, mode);
    m_received.last().handling = std::chrono::steady_clock::now() - started;
    return kept;
}

// The one way out for every answer; disconnectFromHost() still flushes what
// is queued. True when the connection stays open for the next request.
bool FakeResolver::send(QSslSocket *socket, Mode mode)
{
    if (mode.way == Mode::Stall)
        return false; // the socket stays open until the client gives up
    const bool ok = mode.status == "200 OK";
    if (!ok)
        mode.body = "<html><body><h1>" + mode.status + "</h1></body></html>";
    socket->write("HTTP/1.1 " + mode.status + "\r\nContent-Type: " +
                  (ok ? "application/json; charset=utf-8" : "text/html") + "\r\nContent-Length: " +
                  QByteArray::number(mode.body.size() + (mode.way == Mode::CutShort ? 100 : 0)) +
                  "\r\n" + mode.headers +
                  (mode.way == Mode::Send ? "Connection: keep-alive" : "Connection: close") +
                  "\r\n\r\n");
    if (mode.way == Mode::Send) {
        socket->write(mode.body);
        return true;
    }
    if (mode.way == Mode::CutShort) {
        socket->write(mode.body);
        socket->disconnectFromHost();
        return false;
    }
    for (qsizetype i = 1; i <= mode.body.size(); ++i)
        QTimer::singleShot(m_trickleInterval * i, Qt::PreciseTimer, socket, [socket, mode, i] {
            socket->write(mode.body.mid(i - 1, 1));
            if (i == mode.body.size())
                socket->disconnectFromHost();
        });
    return false;
}

void FakeResolver::serveAudio(QSslSocket *socket, const QString &target, const QByteArray &head)
{
    const QString name = target.section(u'?', 0, 0).mid(6).chopped(4);
    const int step = QUrlQuery(target.section(u'?', 1)).queryItemValue(u"v"_s).toInt();
    const auto bare = [socket](const QByteArray &status, const QByteArray &headers = {}) {
        socket->write("HTTP/1.1 " + status + "\r\n" + headers +
                      "Content-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
    };
    if (name == "error"_L1)
        return bare("500 Internal Server Error");
    if (name == "expiring"_L1 && step < 2)
        return bare("403 Forbidden");
    if (name == "redirects"_L1 && step < 3)
        return bare("302 Found",
                    "Location: /save/redirects.mp3?v=" + QByteArray::number(step + 1) + "\r\n");
    const bool known = std::any_of(std::begin(SaveTracks), std::end(SaveTracks),
                                   [&](const auto &t) { return name == QLatin1String(t.second); });
    if (!known)
        return bare("404 Not Found");
    if (name == "page"_L1) {
        const QByteArray page = "<html><body>Please log in</body></html>";
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                      QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
        return socket->disconnectFromHost();
    }

    const QByteArray validator = name == "modified"_L1 ? SavedModified : SavedETag;
    const QByteArray range = header(head, "Range"), ifRange = header(head, "If-Range");
    qint64 from = 0;
    if (range.startsWith("bytes=") && name != "noranges"_L1 &&
        (ifRange.isEmpty() || ifRange == validator))
        from = qBound<qint64>(0, range.mid(6, range.indexOf('-') - 6).toLongLong(), m_saved.size());
    const QByteArray body = m_saved.mid(from);
    socket->write("HTTP/1.1 " + QByteArray(from > 0 ? "206 Partial Content" : "200 OK") +
                  "\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
                  QByteArray::number(body.size() + (name == "longer"_L1 ? 1000 : 0)) + "\r\n" +
                  (from > 0 ? "Content-Range: bytes " + QByteArray::number(from) + '-' +
                                  QByteArray::number(m_saved.size() - 1) + '/' +
                                  QByteArray::number(m_saved.size()) + "\r\n"
                            : QByteArray()) +
                  (name == "modified"_L1 ? QByteArray() : "ETag: " + SavedETag + "\r\n") +
                  "Last-Modified: " + SavedModified + "\r\nConnection: close\r\n\r\n");
    if (name == "drop"_L1 && !std::exchange(m_dropped, true)) {
        socket->write(body.left(body.size() / 2));
        return socket->disconnectFromHost();
    }
    if (name != "slow"_L1) {
        socket->write(body);
        return socket->disconnectFromHost();
    }
    constexpr qsizetype chunk = 1024;
    for (qsizetype i = 0; i * chunk < body.size(); ++i)
        QTimer::singleShot(m_trickleInterval * (i + 1), Qt::PreciseTimer, socket, [=] {
            socket->write(body.mid(i * chunk, chunk));
            if ((i + 1) * chunk >= body.size())
                socket->disconnectFromHost();
        });
}

} // namespace velmora::fake
