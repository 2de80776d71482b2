#include "fakeresolver.h"

#include <QCryptographicHash>
#include <QFile>
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
    {tracks::TwoDigit, QLatin1String(tracks::TwoDigitName), "wav"_L1, "audio/wav"},
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
    m_saved = "ID3\x04" + QByteArray(256 * 1024 - 4, Qt::Uninitialized);
    QRandomGenerator(9).fillRange(reinterpret_cast<quint32 *>(m_saved.data() + 4),
                                  (m_saved.size() - 4) / 4);
    if (const QByteArray remote = qgetenv("VELMORA_FAKE"); !remote.isEmpty()) {
        m_remote = QUrl(QString::fromLatin1(remote));
        const QList<QByteArray> ports = this->remote("ports").split(' ');
        m_resolverPort = ports.value(0).toUShort();
        m_mediaPort = ports.value(1).toUShort();
        setUpModes(); // what songUrl() reads: the same as the other one's
        return m_resolverPort != 0 && m_mediaPort != 0;
    }
    const QString name = m_kind == CertificateKind::Foreign ? u"foreign"_s : u"server"_s;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(QSslCertificate(material(u"certs/%1.pem"_s.arg(name))));
    config.setPrivateKey(QSslKey(material(u"certs/%1.key"_s.arg(name)), QSsl::Ec));
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setAllowedNextProtocols({QByteArrayLiteral("http/1.1")}); // no HTTP/2 here
    auto *tls = new QSslServer(this);
    tls->setSslConfiguration(config);
    auto *plain = new QTcpServer(this);
    for (QTcpServer *server : {static_cast<QTcpServer *>(tls), plain})
        connect(server, &QTcpServer::pendingConnectionAvailable, this, [this, server, tls] {
            while (QTcpSocket *socket = server->nextPendingConnection())
                serve(socket, server == tls);
        });
    m_resolverPort = tls->listen(QHostAddress::LocalHost, resolverPort) ? tls->serverPort() : 0;
    m_mediaPort = plain->listen(QHostAddress::LocalHost, mediaPort) ? plain->serverPort() : 0;
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
    const QByteArray encoded = rendata(u""_s, QString::fromUtf8(EncodedName));
    const auto typed = [](const QByteArray &body, const QByteArray &type) {
        return Mode{body, "200 OK", {}, Mode::Send, 0, type};
    };
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
        {Utf8NoCharset, typed(encoded, "application/json")},
        {Latin1Charset,
         typed(QString::fromUtf8(encoded).toLatin1(), "text/plain; charset=ISO-8859-1")},
        {UnknownCharset, typed(encoded, "text/plain;charset=x-none")},
        {Stall, {{}, "200 OK", {}, Mode::Stall}},
        {Trickle, {demoBody, "200 OK", {}, Mode::Trickle}},
        {Oversized, {padded}},
        // What is sent is a whole Demo answer; the length announces 100 bytes more.
        {CutShort, {demoBody + QByteArray(100, ' '), "200 OK", {}, Mode::CutShort, 100}},
        {InsecureRedirect, {{}, "302 Found", to(QUrl(mediaBase().toString() + ResolverPath))}},
        {RedirectLoop, {{}, "302 Found", to(requestUrl(QString::number(RedirectLoop)))}},
        // qCompress() is a zlib stream behind a 4-byte length: HTTP's "deflate".
        {DeflateBomb, {qCompress(padded, 9).mid(4), "200 OK", "Content-Encoding: deflate\r\n"}},
        {Redirect, {{}, "302 Found", to(requestUrl(QString::number(Demo)))}},
        {FileUrl, {rendata(QUrl::fromLocalFile(tone).toString(), QLatin1String(FileUrlName))}},
        {LocalPath, {rendata(tone, u"Local Path"_s)}},
        // Ends in a C1 CSI, which some terminals take like ESC [.
        {ControlChars,
         {rendata(demo + QString::fromUtf16(ControlTail), QString::fromUtf16(ControlName))}},
        {LongUrl,
         {rendata(demo + u"?pad="_s + QString(LongUrlLength - demo.size() - 5, u'x'), u"Long"_s)}},
        {RelativeUrl, {rendata(u"media/169309.mp3"_s, u"Relative"_s)}},
        {LocalPlaylist, {rendata(media + u"list.m3u"_s, u"Playlist"_s)}},
        {HtmlName, {rendata(demo, QLatin1String(HtmlNameText))}},
        {BidiControls,
         {rendata(demo + QString::fromUtf16(BidiQuery), QString::fromUtf16(BidiName))}},
        {NoRanges, {rendata(media + u"noranges.wav"_s, u"No Ranges"_s)}},
        {IgnoresRanges, {rendata(media + u"ignoresranges.wav"_s, u"Ignores Ranges"_s)}},
    };
    for (const Known &k : KnownTracks)
        m_modes.insert(k.track, {rendata(media + u"%1.%2"_s.arg(k.track).arg(k.format), k.name)});
    for (int track = SaveGone; track <= SaveModified; ++track)
        m_modes.insert(track, {rendata(resolverBase().toString() +
                                           u"/save/%1.%2"_s.arg(track).arg(
                                               track == SaveUntyped ? u"bin"_s : u"mp3"_s),
                                       u"Save %1"_s.arg(track))});
}

void FakeResolver::setAudio(int trackId, const QByteArray &content)
{
    if (!m_remote.isEmpty())
        remote("audio/" + QByteArray::number(trackId), content);
    m_audio.insert(trackId, content);
}

QList<Received> FakeResolver::received() const
{
    if (m_remote.isEmpty())
        return m_received;
    QList<Received> received;
    for (const QJsonValue &r : QJsonDocument::fromJson(remote("received")).array())
        received.append({QUrl(r[u"url"_s].toString()), r[u"signatureOk"_s].toBool(),
                         std::chrono::nanoseconds(qint64(r[u"handling"_s].toDouble())),
                         r[u"range"_s].toString().toLatin1()});
    return received;
}

int FakeResolver::connections() const
{
    return m_remote.isEmpty() ? m_connections : remote("connections").toInt();
}

int FakeResolver::idleCloses() const
{
    return m_remote.isEmpty() ? m_idleCloses : remote("idle-closes").toInt();
}

void FakeResolver::setIdleClose(std::chrono::milliseconds after)
{
    if (!m_remote.isEmpty())
        remote("idle-close/" + QByteArray::number(after.count()));
    m_idleClose = after;
}

void FakeResolver::setTrickleInterval(std::chrono::milliseconds interval)
{
    if (!m_remote.isEmpty())
        remote("trickle/" + QByteArray::number(interval.count()));
    m_trickleInterval = interval;
}

// One request at a time, waited for: the other fake answers from a process
// of its own, so nothing here needs the event loop.
QByteArray FakeResolver::remote(const QByteArray &what, const QByteArray &body) const
{
    QTcpSocket socket;
    socket.connectToHost(m_remote.host(), quint16(m_remote.port()));
    socket.write((body.isNull() ? "GET" : "POST") + " /fake/"_ba + what +
                 " HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
                 body);
    QByteArray answer;
    qsizetype end = -1;
    while (socket.waitForReadyRead(10'000)) {
        answer += socket.readAll();
        end = answer.indexOf("\r\n\r\n");
        if (end >= 0 && answer.size() >= end + 4 + header(answer, "Content-Length").toLongLong())
            return answer.mid(end + 4);
    }
    qFatal("fake resolver: %s did not answer /fake/%s", qPrintable(m_remote.toString()),
           what.constData());
}

// What the other side of remote() asks, on the media port.
FakeResolver::Mode FakeResolver::control(const QByteArray &request)
{
    static const QRegularExpression verb(u"^(?:GET|POST) /fake/([a-z-]+)/?([0-9]*) "_s);
    const QRegularExpressionMatch match = verb.match(QString::fromLatin1(request));
    const QString what = match.captured(1);
    const int number = match.captured(2).toInt();
    QByteArray answer;
    if (what == u"ports"_s) {
        answer = QByteArray::number(m_resolverPort) + ' ' + QByteArray::number(m_mediaPort);
    } else if (what == u"audio"_s) {
        setAudio(number, request.mid(request.indexOf("\r\n\r\n") + 4));
    } else if (what == u"received"_s) {
        QJsonArray list;
        for (const Received &r : std::as_const(m_received))
            list.append(QJsonObject{{u"url"_s, r.url.toString()},
                                    {u"signatureOk"_s, r.signatureOk},
                                    {u"handling"_s, double(r.handling.count())},
                                    {u"range"_s, QString::fromLatin1(r.range)}});
        answer = QJsonDocument(list).toJson(QJsonDocument::Compact);
    } else if (what == u"connections"_s) {
        answer = QByteArray::number(m_connections);
    } else if (what == u"idle-closes"_s) {
        answer = QByteArray::number(m_idleCloses);
    } else if (what == u"idle-close"_s) {
        m_idleClose = std::chrono::milliseconds(number);
    } else if (what == u"trickle"_s) {
        m_trickleInterval = std::chrono::milliseconds(number);
    } else {
        return {{}, "404 Not Found"};
    }
    return Mode::file(answer, "text/plain", false);
}

void FakeResolver::expireAddresses(bool andLater, bool hangUp)
{
    m_expiredUpTo = andLater ? INT_MAX : resolvesOf(tracks::Expiring);
    m_hangUp = hangUp;
    cutStreams();
}

void FakeResolver::setStalled(int trackId, bool stalled)
{
    if (stalled) {
        m_stalled.insert(trackId);
        return;
    }
    m_stalled.remove(trackId);
    for (Held held : std::exchange(m_held, {})) {
        if (held.answer.heldFor != trackId) {
            m_held.append(held);
            continue;
        }
        // Its connection is read no further: closed after the answer.
        held.answer.way = Mode::Close;
        if (held.socket)
            send(held.socket, held.head, held.answer);
    }
}

void FakeResolver::cutStreams()
{
    for (const QPointer<QTcpSocket> &stream : std::exchange(m_expiringStreams, {}))
        if (stream)
            stream->abort();
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
    const QList<Received> all = received();
    return int(std::count_if(all.cbegin(), all.cend(), [&](const Received &r) {
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

// A head that is not a GET has no target, and so a bad path.
static QString targetOf(const QByteArray &head)
{
    static const QRegularExpression line(u"^GET (/[^ ]*) HTTP/1\\.[01]\r\n"_s);
    return line.match(QString::fromLatin1(head)).captured(1);
}

// Requests one after another on a connection, as long as each answer is
// sent whole; a connection left idle is closed, as servers do.
void FakeResolver::serve(QTcpSocket *socket, bool tls)
{
    m_connections += tls;
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, [this, socket, tls] {
        m_idleCloses += tls;
        socket->disconnectFromHost();
    });
    idle->start(m_idleClose);
    connect(socket, &QTcpSocket::readyRead, this,
            [this, socket, idle, tls, head = QByteArray()]() mutable {
                idle->stop();
                head += socket->readAll();
                const qsizetype end = head.indexOf("\r\n\r\n");
                if (end < 0 && head.size() <= MaxHead)
                    return;
                if (end >= 0 && head.size() < end + 4 + header(head, "Content-Length").toLongLong())
                    return; // a control request's body, still on its way
                const auto started = std::chrono::steady_clock::now();
                const QByteArray request = std::exchange(head, {});
                const bool media = !tls || targetOf(request).startsWith(u"/media/"_s);
                Mode mode = !tls && request.contains(" /fake/") ? control(request)
                            : media                             ? this->media(request)
                                                                : answer(request);
                const bool held = mode.heldFor != 0;
                if (held)
                    m_held.append({socket, request, mode});
                const bool kept = !held && send(socket, request, std::move(mode));
                if (targetOf(request).startsWith(u"/media/expiring/"_s))
                    m_expiringStreams << socket;
                if (!media)
                    m_received.last().handling = std::chrono::steady_clock::now() - started;
                if (kept)
                    idle->start(m_idleClose);
                else
                    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            });
}

// On the resolver port: the signed requests, and the audio to save.
FakeResolver::Mode FakeResolver::answer(const QByteArray &head)
{
    const QString target = targetOf(head);
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        u"/lxapi/vdj\\.x\\?id=([0-9]+)&k=([0-9]{10})&r=([0-9a-f]{18})"_s));
    const QRegularExpressionMatch match = form.match(target);
    const QString id = match.captured(1);
    const bool signatureOk =
        match.hasMatch() && signatureOf(id, match.captured(2)) == match.captured(3);
    const bool audio = target.startsWith(u"/save/"_s);
    m_received.append({QUrl::fromEncoded(resolverBase().toEncoded() + target.toLatin1()),
                       signatureOk,
                       {},
                       audio ? header(head, "Range") : QByteArray()});
    if (audio)
        return save(target, header(head, "Range").isEmpty());
    // Leading zeros make another id, as the text is what was signed. A bad
    // path gets the answer of NotFoundPage.
    int track = QString::number(id.toInt()) == id ? id.toInt() : tracks::Unknown;
    if (!signatureOk)
        track = target.section(u'?', 0, 0) == ResolverPath ? SignError : tracks::NotFoundPage;
    Mode mode = m_modes.value(track, m_modes.value(tracks::Unknown));
    if (m_stalled.contains(track))
        mode.heldFor = track;
    // Each resolve signs the address anew.
    if (track == tracks::SaveExpiring)
        mode.body = rendata(resolverBase().toString() +
                                u"/save/%1.mp3?v=%2"_s.arg(track).arg(resolvesOf(track)),
                            u"Save %1"_s.arg(track));
    if (track == tracks::Expiring)
        mode.body =
            rendata(mediaBase().toString() + u"/media/expiring/%1.wav"_s.arg(resolvesOf(track)),
                    u"Expiring"_s);
    if (const QByteArray host = header(head, "Host"); !host.startsWith("127.0.0.1:"))
        mode.body.replace(mediaBase().toEncoded(), "https://" + host);
    return mode;
}

FakeResolver::Mode FakeResolver::save(const QString &target, bool whole)
{
    using namespace tracks;
    const int track = target.section(u'?', 0, 0).mid(6).chopped(4).toInt();
    const int step = QUrlQuery(target.section(u'?', 1)).queryItemValue(u"v"_s).toInt();
    Mode file = Mode::file(m_saved, "audio/mpeg");
    file.headers = "Last-Modified: "_ba + SavedModified + "\r\n";
    if (track != SaveModified)
        file.headers += "ETag: "_ba + SavedETag + "\r\n";
    switch (track) {
    case SaveWhole:
    case SaveModified:
        break;
    case SaveDrop: // halfway, the first whole file asked for: a save's, not a player's
        if (whole && !std::exchange(m_dropped, true)) {
            file.way = Mode::CutShort;
            file.cut = m_saved.size() / 2;
        }
        break;
    case SaveNoRanges:
        file.ranges = false;
        break;
    case SaveExpiring: // until the track was resolved again
        if (step < 2)
            return {{}, "401 Unauthorized"};
        break;
    case SaveLonger:
        file.body += QByteArray(1000, '\0');
        file.way = Mode::CutShort;
        file.cut = 1000;
        break;
    case SaveRedirects:
        if (step < 3) {
            const QByteArray next =
                target.section(u'?', 0, 0).toLatin1() + "?v=" + QByteArray::number(step + 1);
            return {{}, "302 Found", "Location: " + next + "\r\n"};
        }
        break;
    case SaveHtml:
        return Mode::file("<html><body>Please log in</body></html>", "text/html", false);
    case SaveError:
        return {{}, "500 Internal Server Error"};
    case SaveGone:
        return {{}, "410 Gone"};
    case SaveSlow:
        file.way = Mode::Trickle;
        file.chunk = 1024;
        break;
    case SaveUntyped:
        file.body = savedAudio(track);
        file.type = "application/octet-stream";
        break;
    case SaveUnended:
        if (whole)
            file.way = Mode::Unended;
        break;
    default:
        return {{}, "404 Not Found"};
    }
    return file;
}

// On the media port: the known tracks' audio and play pages, the addresses
// that expire, where InsecureRedirect points, and a count for benchmarks
// that run the fake as a process of its own.
FakeResolver::Mode FakeResolver::media(const QByteArray &head)
{
    const QString path = targetOf(head).section(u'?', 0, 0); // LongUrl's query gets the tone too
    if (path == ResolverPath) // a usable answer, so following the redirect shows
        return m_modes.value(tracks::Demo);
    if (path == u"/connections"_s)
        return Mode::file(QByteArray::number(m_connections), "text/plain", false);
    if (path == u"/media/list.m3u"_s)
        return Mode::file("#EXTM3U\n" VELMORA_FAKE_TONE_FILE "\n", "audio/x-mpegurl", false);
    static const QRegularExpression expiring(u"^/media/expiring/([0-9]+)\\.wav$"_s);
    if (const auto m = expiring.match(path); m.hasMatch()) {
        if (m.captured(1).toInt() <= m_expiredUpTo)
            return m_hangUp ? Mode{{}, {}, {}, Mode::HangUp} : Mode{{}, "403 Forbidden"};
        const QByteArray audio = m_audio.value(tracks::Expiring);
        // Little ahead of playback, as a player buffers a long track.
        Mode file =
            Mode::file(audio.isEmpty() ? material(u"media/tone.wav"_s) : audio, "audio/wav");
        file.way = Mode::Trickle;
        file.chunk = 2048;
        return file;
    }
    if (path == u"/media/ignoresranges.wav"_s) {
        Mode file = Mode::file(m_audio.value(tracks::IgnoresRanges), "audio/wav");
        file.rangesIgnored = true;
        return file;
    }
    if (path == u"/media/noranges.wav"_s) {
        Mode file = Mode::file(m_audio.value(tracks::NoRanges), "audio/wav", false);
        file.way = Mode::Trickle;
        file.chunk = 2048;
        return file;
    }
    for (const Known &k : KnownTracks) {
        if (path == u"/media/%1.%2"_s.arg(k.track).arg(k.format)) {
            const QByteArray audio = m_audio.value(k.track);
            return Mode::file(audio.isEmpty() ? material(u"media/tone."_s + k.format) : audio,
                              k.type);
        }
        // As the site shows it: the audio in an <audio> element and a plain
        // link, and nothing a client could mistake for an answer.
        if (path == u"/play/%1.html"_s.arg(k.track))
            return Mode::file(
                u"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                "</head>\n<body><h1>%1</h1>\n<audio controls src=\"%2\"></audio>\n"
                "<p><a href=\"%2\">Download</a></p>\n</body></html>\n"_s
                    .arg(k.name, songUrl(k.track).toString())
                    .toUtf8(),
                "text/html; charset=utf-8", false);
    }
    return {{}, "404 Not Found"};
}

// The one way out for every answer; disconnectFromHost() still flushes what
// is queued. True when the connection stays open for the next request.
bool FakeResolver::send(QTcpSocket *socket, const QByteArray &head, Mode mode)
{
    if (mode.way == Mode::Stall)
        return false; // the socket stays open until the client gives up
    if (mode.way == Mode::HangUp) {
        socket->disconnectFromHost();
        return false;
    }
    if (!mode.status.startsWith('2')) {
        mode.body = "<html><body><h1>" + mode.status + "</h1></body></html>";
        mode.type = "text/html";
    }
    // From a byte on, as players ask when they seek and saves when they
    // resume, unless If-Range names another version.
    const QByteArray range =
        mode.ranges && !mode.rangesIgnored ? header(head, "Range") : QByteArray();
    const qint64 from =
        range.startsWith("bytes=") ? range.mid(6, range.indexOf('-') - 6).toLongLong() : 0;
    const QByteArray ifRange = header(head, "If-Range"), validators = "\r\n" + mode.headers;
    if (from > 0 && (ifRange.isEmpty() || ifRange == header(validators, "ETag") ||
                     ifRange == header(validators, "Last-Modified"))) {
        const QByteArray size = QByteArray::number(mode.body.size());
        if (from < mode.body.size()) {
            mode.headers += "Content-Range: bytes " + QByteArray::number(from) + '-' +
                            QByteArray::number(mode.body.size() - 1) + '/' + size + "\r\n";
            mode.status = "206 Partial Content";
            mode.body.remove(0, from);
        } else { // past the end: nothing but the size
            mode.headers += "Content-Range: bytes */" + size + "\r\n";
            mode.status = "416 Range Not Satisfiable";
            mode.body.clear();
        }
    }
    const bool unended = mode.way == Mode::Unended;
    socket->write("HTTP/1.1 " + mode.status + "\r\nContent-Type: " + mode.type + "\r\n" +
                  (unended ? "Transfer-Encoding: chunked"
                           : "Content-Length: " + QByteArray::number(mode.body.size())) +
                  "\r\n" + mode.headers + (mode.ranges ? "Accept-Ranges: bytes\r\n" : "") +
                  (mode.way == Mode::Send ? "Connection: keep-alive" : "Connection: close") +
                  "\r\n\r\n");
    if (unended) { // one chunk of it all; the last, empty one never comes
        socket->write(QByteArray::number(mode.body.size(), 16) + "\r\n" + mode.body + "\r\n");
        socket->disconnectFromHost();
        return false;
    }
    if (mode.way != Mode::Trickle) {
        socket->write(mode.body.chopped(mode.cut));
        if (mode.way == Mode::Send)
            return true;
        socket->disconnectFromHost();
        return false;
    }
    const qsizetype chunks = (mode.body.size() + mode.chunk - 1) / mode.chunk;
    for (qsizetype i = 1; i <= chunks; ++i)
        QTimer::singleShot(m_trickleInterval * i, Qt::PreciseTimer, socket, [=] {
            socket->write(mode.body.mid((i - 1) * mode.chunk, mode.chunk));
            if (i == chunks)
                socket->disconnectFromHost();
        });
    return false;
}

} // namespace velmora::fake
