#include "fakeresolver.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServer>
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

using namespace Qt::StringLiterals;

namespace velmora::fake {

// An answer: what it says and how it leaves.
struct FakeResolver::Mode
{
    QByteArray body; // any status but 200 comes with a page of its own instead
    QByteArray status = "200 OK";
    QByteArray headers = {}; // beyond the usual ones, each line ending in CRLF
    enum Way { Send, Stall, Trickle, CutShort } way = Send;
};

namespace {

constexpr qsizetype MaxHead = 16 * 1024;
constexpr int SignError = -1; // no signed id is negative, so this key is free
const QString ResolverPath = u"/lxapi/vdj.x"_s;

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

// The known track that `name` is the file ("<id>.<format>") or play page
// ("<id>.html") of.
const Known *knownFor(const QString &name, bool page = false)
{
    for (const Known &known : KnownTracks)
        if (name == u"%1.%2"_s.arg(known.track).arg(page ? "html"_L1 : known.format))
            return &known;
    return nullptr;
}

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
    return QString::fromLatin1(
        QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex().right(18));
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

FakeResolver::FakeResolver(CertificateKind kind, QObject *parent) : QObject(parent), m_kind(kind) {}

FakeResolver::~FakeResolver() = default;

bool FakeResolver::start(quint16 resolverPort, quint16 mediaPort)
{
    const QString name =
        m_kind == CertificateKind::Foreign ? u"certs/foreign"_s : u"certs/server"_s;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(QSslCertificate(material(name + u".pem"_s)));
    config.setPrivateKey(QSslKey(material(name + u".key"_s), QSsl::Ec));
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setAllowedNextProtocols({QByteArrayLiteral("http/1.1")}); // no HTTP/2 here

    auto *tls = new QSslServer(this);
    tls->setSslConfiguration(config);
    connect(tls, &QSslServer::pendingConnectionAvailable, this, [this, tls] {
        while (QTcpSocket *socket = tls->nextPendingConnection())
            serve(static_cast<QSslSocket *>(socket));
    });
    if (!tls->listen(QHostAddress::LocalHost, resolverPort))
        return false;
    m_resolverPort = tls->serverPort();
    setUpMedia(mediaPort);
    setUpModes();
    return m_mediaPort != 0;
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
}

QUrl FakeResolver::songUrl(int trackId) const
{
    const QJsonDocument answer = QJsonDocument::fromJson(m_modes.value(trackId).body);
    const QString text = answer[u"Rendata"_s][u"songURL"_s].toString();
    const QUrl url(text);
    return url.toString() == text ? url : QUrl();
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

// One request per connection: anything after its head is ignored.
void FakeResolver::serve(QSslSocket *socket)
{
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QSslSocket::readyRead, this, [this, socket, head = QByteArray()]() mutable {
        head += socket->readAll();
        const qsizetype end = head.indexOf("\r\n\r\n");
        if (end < 0 && head.size() <= MaxHead)
            return;
        disconnect(socket, &QSslSocket::readyRead, this, nullptr);
        static const QRegularExpression line(u"^GET (/[^ ]*) HTTP/1\\.[01]\r\n"_s);
        const QRegularExpressionMatch match = line.match(QString::fromLatin1(head));
        if (end < 0 || end > MaxHead || !match.hasMatch())
            return send(socket, {{}, "400 Bad Request"});
        const auto started = std::chrono::steady_clock::now();
        answer(socket, match.captured(1));
        m_received.last().handling = std::chrono::steady_clock::now() - started;
    });
}

void FakeResolver::answer(QSslSocket *socket, const QString &target)
{
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        u"/lxapi/vdj\\.x\\?id=([0-9]+)&k=([0-9]{10})&r=([0-9a-f]{18})"_s));
    const QRegularExpressionMatch match = form.match(target);
    const QString id = match.captured(1);
    const bool signatureOk =
        match.hasMatch() && signatureOf(id, match.captured(2)) == match.captured(3);
    m_received.append(
        {QUrl::fromEncoded(resolverBase().toEncoded() + target.toLatin1()), signatureOk});
    if (target.section(u'?', 0, 0) != ResolverPath)
        return send(socket, {{}, "404 Not Found"});
    // Leading zeros make another id, as the text is what was signed.
    const int track = QString::number(id.toInt()) == id ? id.toInt() : tracks::Unknown;
    send(socket, m_modes.value(signatureOk ? track : SignError, m_modes.value(tracks::Unknown)));
}

// The one way out for every answer; disconnectFromHost() still flushes what is queued.
void FakeResolver::send(QSslSocket *socket, Mode mode)
{
    if (mode.way == Mode::Stall)
        return; // the socket stays open until the client gives up
    const bool ok = mode.status == "200 OK";
    if (!ok)
        mode.body = "<html><body><h1>" + mode.status + "</h1></body></html>";
    socket->write("HTTP/1.1 " + mode.status + "\r\nContent-Type: " +
                  (ok ? "application/json; charset=utf-8" : "text/html") + "\r\nContent-Length: " +
                  QByteArray::number(mode.body.size() + (mode.way == Mode::CutShort ? 100 : 0)) +
                  "\r\n" + mode.headers + "Connection: close\r\n\r\n");
    if (mode.way != Mode::Trickle) {
        socket->write(mode.body);
        return socket->disconnectFromHost();
    }
    for (qsizetype i = 1; i <= mode.body.size(); ++i)
        QTimer::singleShot(m_trickleInterval * i, Qt::PreciseTimer, socket, [socket, mode, i] {
            socket->write(mode.body.mid(i - 1, 1));
            if (i == mode.body.size())
                socket->disconnectFromHost();
        });
}

void FakeResolver::setUpMedia(quint16 port)
{
    auto *media = new QHttpServer(this);
    // The query is not looked at, so LongUrl's padded address gets the tone too.
    media->route(u"/media/<arg>"_s, [this](const QString &name) {
        const Known *known = knownFor(name);
        if (!known)
            return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
        const QByteArray audio = m_audio.value(known->track);
        return QHttpServerResponse(
            known->type, audio.isEmpty() ? material(u"media/tone."_s + known->format) : audio);
    });
    // A play page as the site would show it: the audio in an <audio> element
    // and a plain link, and nothing a client could mistake for an answer.
    media->route(u"/play/<arg>"_s, [this](const QString &page) {
        const Known *known = knownFor(page, true);
        if (!known)
            return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
        const QString link = songUrl(known->track).toString();
        return QHttpServerResponse(
            "text/html; charset=utf-8",
            u"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
            "</head>\n<body><h1>%1</h1>\n<audio controls src=\"%2\"></audio>\n"
            "<p><a href=\"%2\">Download</a></p>\n</body></html>\n"_s.arg(known->name, link)
                .toUtf8());
    });
    // Where InsecureRedirect points: a usable answer, so following it shows.
    media->route(ResolverPath, [this] {
        return QHttpServerResponse("application/json", m_modes.value(tracks::Demo).body);
    });
    m_mediaPort = media->listen(QHostAddress::LocalHost, port);
}

} // namespace velmora::fake
