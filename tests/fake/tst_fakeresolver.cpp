// Checks the fake resolver itself, through a plain QNetworkAccessManager.
#include "fakeresolver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

using namespace velmora::fake;

namespace {

struct Fetched
{
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray contentType;
    QByteArray contentLength;
    QUrl location;
    QByteArray body;
    int readyReads = 0;
};

QJsonValue rendataMember(const QByteArray &body, const QString &name)
{
    return QJsonDocument::fromJson(body)
        .object()
        .value(QStringLiteral("Rendata"))
        .toObject()
        .value(name);
}

} // namespace

class TestFakeResolver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_resolver.start()); }
    void signature_data();
    void signature();
    void answer_data();
    void answer();
    void deflateBombIsSmallOnTheWire();
    void insecureRedirectLandsOnAnAnswer();
    void trickleSendsByteByByte();
    void media_data();
    void media();
    void playPage_data();
    void playPage();
    void replacedAudio();
    void handlingTimeRecorded();

private:
    Fetched get(const QUrl &url, const std::function<void(QNetworkRequest &)> &tweak = {});
    QUrl resolverUrl(const QByteArray &query) const
    {
        return QUrl::fromEncoded(m_resolver.resolverBase().toEncoded() + "/lxapi/vdj.x?" + query);
    }

    FakeResolver m_resolver;
    QNetworkAccessManager m_nam;
};

Fetched TestFakeResolver::get(const QUrl &url, const std::function<void(QNetworkRequest &)> &tweak)
{
    QNetworkRequest request(url);
    request.setSslConfiguration(FakeResolver::clientSslConfiguration());
    if (tweak)
        tweak(request);
    const std::unique_ptr<QNetworkReply> reply(m_nam.get(request));
    Fetched out;
    connect(reply.get(), &QNetworkReply::readyRead, this, [&out] { ++out.readyReads; });
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    out.finished = finished.wait(60000);
    out.error = reply->error();
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.contentType = reply->rawHeader("Content-Type");
    out.contentLength = reply->rawHeader("Content-Length");
    out.location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (reply->isOpen())
        out.body = reply->readAll();
    return out;
}

void TestFakeResolver::signature_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<bool>("signatureOk");

    // Worked out with md5sum over "Hq_pwrTrack.zz?id=169309&rs=9876543210".
    QTest::newRow("known vector") << QByteArray("id=169309&k=9876543210&r=a060fed8ce0b3e8cf0")
                                  << true;
    QTest::newRow("one digit off")
        << QByteArray("id=169309&k=9876543210&r=a060fed8ce0b3e8cf1") << false;
    QTest::newRow("upper-case hex")
        << QByteArray("id=169309&k=9876543210&r=A060FED8CE0B3E8CF0") << false;
    QTest::newRow("nonce not signed")
        << QByteArray("id=169309&k=9876543211&r=a060fed8ce0b3e8cf0") << false;
    QTest::newRow("keys reordered")
        << QByteArray("k=9876543210&id=169309&r=a060fed8ce0b3e8cf0") << false;
    QTest::newRow("key missing") << QByteArray("id=169309&r=a060fed8ce0b3e8cf0") << false;
    QTest::newRow("key after r") << QByteArray("id=169309&k=9876543210&r=a060fed8ce0b3e8cf0&x=1")
                                 << false;
    QTest::newRow("trailing &") << QByteArray("id=169309&k=9876543210&r=a060fed8ce0b3e8cf0&")
                                << false;
    // A correct digest of a 9-digit nonce ("...&rs=123456789") is still refused.
    QTest::newRow("short nonce") << QByteArray("id=169309&k=123456789&r=8b37c7ff56a424d928")
                                 << false;
}

void TestFakeResolver::signature()
{
    QFETCH(QByteArray, query);
    QFETCH(bool, signatureOk);

    QSignalSpy seen(&m_resolver, &FakeResolver::requestReceived);
    const Fetched reply = get(resolverUrl(query));
    QVERIFY(reply.finished);
    QCOMPARE(reply.status, 200);
    QCOMPARE(seen.count(), 1);
    QCOMPARE(seen.at(0).at(1).toBool(), signatureOk);
    QCOMPARE(m_resolver.received().last().signatureOk, signatureOk);
    QVERIFY(m_resolver.requests().last().toEncoded().endsWith(query));

    const QJsonValue name = rendataMember(reply.body, QStringLiteral("tname"));
    const QJsonValue url = rendataMember(reply.body, QStringLiteral("songURL"));
    if (signatureOk) {
        QCOMPARE(name.toString(), QLatin1String(tracks::DemoName));
        QCOMPARE(url.toString(), m_resolver.songUrl(tracks::Demo).toString());
    } else {
        QCOMPARE(name.toString(), QLatin1String(tracks::SignErrorName));
        QVERIFY(url.isUndefined());
    }
}

// The answers whose shape the client tests rely on beyond what they check
// themselves: a faulty answer still hides a usable one, so a client that
// ignored the fault would fail instead of passing by luck.
void TestFakeResolver::answer_data()
{
    QTest::addColumn<int>("track");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonValue>("songURL");
    QTest::addColumn<QJsonValue>("tname");
    QTest::addColumn<qint64>("minBody");

    const QJsonValue none(QJsonValue::Undefined);
    const QJsonValue demoUrl = m_resolver.songUrl(tracks::Demo).toString();
    const QJsonValue demoName = QLatin1String(tracks::DemoName);
    const int ok = QNetworkReply::NoError;

    QTest::newRow("demo") << tracks::Demo << ok << 200 << demoUrl << demoName << 0LL;
    QTest::newRow("unknown") << tracks::Unknown << ok << 200 << QJsonValue(QString())
                             << QJsonValue(QLatin1String(tracks::NotFindName)) << 0LL;
    QTest::newRow("cut short") << tracks::CutShort << int(QNetworkReply::RemoteHostClosedError)
                               << 200 << demoUrl << demoName << 0LL;
    QTest::newRow("oversized") << tracks::Oversized << ok << 200 << demoUrl << demoName
                               << tracks::BodyLimit;
    QTest::newRow("deflate bomb") << tracks::DeflateBomb << ok << 200 << demoUrl << demoName
                                  << tracks::BodyLimit;
}

void TestFakeResolver::answer()
{
    QFETCH(int, track);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(QJsonValue, songURL);
    QFETCH(QJsonValue, tname);
    QFETCH(qint64, minBody);

    const Fetched reply = get(m_resolver.requestUrl(QString::number(track)));
    QVERIFY(reply.finished);
    QCOMPARE(reply.error, QNetworkReply::NetworkError(error));
    QCOMPARE(reply.status, status);
    QCOMPARE(rendataMember(reply.body, QStringLiteral("songURL")), songURL);
    QCOMPARE(rendataMember(reply.body, QStringLiteral("tname")), tname);
    if (minBody > 0)
        QVERIFY2(reply.body.size() > minBody, QByteArray::number(reply.body.size()));
}

void TestFakeResolver::deflateBombIsSmallOnTheWire()
{
    // Asking for an encoding ourselves turns off the automatic inflating.
    const Fetched reply =
        get(m_resolver.requestUrl(QString::number(tracks::DeflateBomb)),
            [](QNetworkRequest &request) { request.setRawHeader("Accept-Encoding", "deflate"); });
    QVERIFY(reply.finished);
    QCOMPARE(reply.error, QNetworkReply::NoError);
    QVERIFY2(reply.body.size() < 64 * 1024, QByteArray::number(reply.body.size()));
    QCOMPARE(reply.contentLength, QByteArray::number(reply.body.size()));
}

void TestFakeResolver::insecureRedirectLandsOnAnAnswer()
{
    const Fetched hop = get(m_resolver.requestUrl(QString::number(tracks::InsecureRedirect)),
                            [](QNetworkRequest &request) {
                                request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                                     QNetworkRequest::ManualRedirectPolicy);
                            });
    QCOMPARE(hop.status, 302);
    // The location must be plain http on the media port and serve a usable
    // answer, or a client that follows it would fail for the wrong reason.
    QCOMPARE(hop.location.scheme(), QStringLiteral("http"));
    QCOMPARE(hop.location.port(), m_resolver.mediaBase().port());
    QSignalSpy media(&m_resolver, &FakeResolver::mediaRequestReceived);
    const Fetched landing = get(hop.location);
    QCOMPARE(landing.error, QNetworkReply::NoError);
    QCOMPARE(rendataMember(landing.body, QStringLiteral("songURL")).toString(),
             m_resolver.songUrl(tracks::Demo).toString());
    QCOMPARE(media.count(), 1);
}

void TestFakeResolver::trickleSendsByteByByte()
{
    using namespace std::chrono_literals;
    const auto previous = m_resolver.trickleInterval();
    QCOMPARE(previous, 1000ms);
    m_resolver.setTrickleInterval(5ms);
    QElapsedTimer clock;
    clock.start();
    const Fetched reply = get(m_resolver.requestUrl(QString::number(tracks::Trickle)));
    const qint64 elapsed = clock.elapsed();
    m_resolver.setTrickleInterval(previous);

    QCOMPARE(reply.error, QNetworkReply::NoError);
    QCOMPARE(rendataMember(reply.body, QStringLiteral("songURL")).toString(),
             m_resolver.songUrl(tracks::Demo).toString());
    QVERIFY2(reply.readyReads > 1, QByteArray::number(reply.readyReads));
    QVERIFY2(elapsed >= (reply.body.size() - 1) * 5 * 8 / 10, QByteArray::number(elapsed));
}

void TestFakeResolver::media_data()
{
    QTest::addColumn<int>("track");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("file");

    QTest::newRow("mp3") << tracks::Demo << QByteArray("audio/mpeg") << QStringLiteral("tone.mp3");
    QTest::newRow("wav") << tracks::TwoDigit << QByteArray("audio/wav")
                         << QStringLiteral("tone.wav");
}

void TestFakeResolver::media()
{
    QFETCH(int, track);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, file);

    QFile original(
        QFileInfo(FakeResolver::caFilePath()).dir().filePath(QStringLiteral("../media/") + file));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const Fetched reply = get(m_resolver.songUrl(track));
    QCOMPARE(reply.error, QNetworkReply::NoError);
    QCOMPARE(reply.contentType, contentType);
    QCOMPARE(reply.contentLength, QByteArray::number(reply.body.size()));
    QCOMPARE(reply.body, original.readAll());
    QCOMPARE(m_resolver.mediaRequests().last(), m_resolver.songUrl(track));
}

void TestFakeResolver::playPage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("track"); // whose audio the page links; 0 for none

    QTest::newRow("demo") << QStringLiteral("169309.html") << tracks::Demo;
    QTest::newRow("wav track") << QStringLiteral("10.html") << tracks::TwoDigit;
    QTest::newRow("unknown track") << QStringLiteral("555555.html") << 0;
    QTest::newRow("no id") << QStringLiteral(".html") << 0;
}

void TestFakeResolver::playPage()
{
    QFETCH(QString, page);
    QFETCH(int, track);

    const QUrl url(m_resolver.mediaBase().toString() + QStringLiteral("/play/") + page);
    const Fetched reply = get(url);
    QVERIFY(reply.finished);
    QCOMPARE(m_resolver.mediaRequests().last(), url);
    if (track == 0) {
        QCOMPARE(reply.status, 404);
        return;
    }
    QCOMPARE(reply.status, 200);
    QCOMPARE(url, m_resolver.playPageUrl(track));
    QVERIFY(reply.contentType.startsWith("text/html"));
    const QByteArray link = m_resolver.songUrl(track).toEncoded();
    QVERIFY2(reply.body.contains("<audio controls src=\"" + link + '"'), reply.body);
    QVERIFY2(reply.body.contains("<a href=\"" + link + '"'), reply.body);
}

void TestFakeResolver::replacedAudio()
{
    const auto original = [](const char *file) {
        QFile tone(QFileInfo(FakeResolver::caFilePath())
                       .dir()
                       .filePath(QStringLiteral("../media/") + QLatin1String(file)));
        return tone.open(QIODevice::ReadOnly) ? tone.readAll() : QByteArray();
    };
    const QByteArray longer(64 * 1024, 'a');
    m_resolver.setAudio(tracks::Demo, longer);
    const Fetched replaced = get(m_resolver.songUrl(tracks::Demo));
    const Fetched other = get(m_resolver.songUrl(tracks::TwoDigit));
    m_resolver.setAudio(tracks::Demo, {});
    const Fetched restored = get(m_resolver.songUrl(tracks::Demo));

    QCOMPARE(replaced.body, longer);
    QCOMPARE(replaced.contentType, QByteArray("audio/mpeg"));
    QCOMPARE(other.body, original("tone.wav"));
    QCOMPARE(restored.body, original("tone.mp3"));
    QVERIFY(!restored.body.isEmpty());
}

void TestFakeResolver::handlingTimeRecorded()
{
    const Fetched reply = get(m_resolver.requestUrl(QString::number(tracks::Demo)));
    QCOMPARE(reply.status, 200);
    // Recorded for the request, and only the fake's part of the round trip.
    QVERIFY(m_resolver.received().last().handling > std::chrono::nanoseconds::zero());
    QElapsedTimer clock;
    clock.start();
    get(m_resolver.requestUrl(QString::number(tracks::Demo)));
    QVERIFY(m_resolver.received().last().handling.count() < clock.nsecsElapsed());
}

QTEST_GUILESS_MAIN(TestFakeResolver)
#include "tst_fakeresolver.moc"
