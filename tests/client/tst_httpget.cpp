// The fetch against the fake resolver over TLS. The whole resolve is driven
// through the window (tests/app) and the command line (tests/cli).
#include "fakeresolver.h"
#include "httpget.h"
#include "resolve.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using velmora::FetchOptions;
using velmora::HttpText;
using namespace velmora::fake;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(velmora::HttpText::Failure)

class TestHttpGet : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void statusBodies_data();
    void statusBodies();
    void faults_data();
    void faults();
    void foreignCertificateRefused();
    void systemCasOnlyRefuseTestCa();
    void extraCaKeepsSystemCas();
    void refusedAndUnknownHost_data();
    void refusedAndUnknownHost();
    void charset_data();
    void charset();
    void destroyWhileWaitingIsSilent();

private:
    HttpText fetch(const QString &address, const FetchOptions &options,
                   QNetworkAccessManager *manager = nullptr);
    FetchOptions trusting() const;

    QNetworkAccessManager m_manager;
    FakeResolver m_fake;
};

void TestHttpGet::initTestCase()
{
    QVERIFY(m_fake.start());
    m_fake.setTrickleInterval(50ms);
}

FetchOptions TestHttpGet::trusting() const
{
    FetchOptions options;
    options.ssl = FakeResolver::clientSslConfiguration();
    return options;
}

HttpText TestHttpGet::fetch(const QString &address, const FetchOptions &options,
                            QNetworkAccessManager *manager)
{
    auto *fetch = velmora::HttpGetText(manager ? *manager : m_manager, address, options, this);
    QSignalSpy done(fetch, &velmora::TextFetch::finished);
    if (!done.wait(10'000))
        return HttpText{{}, 0, HttpText::Failure::Other, QStringLiteral("test: no answer")};
    return done.first().first().value<HttpText>();
}

void TestHttpGet::statusBodies_data()
{
    QTest::addColumn<int>("track");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("bodyStart");
    QTest::newRow("200 JSON") << tracks::Demo << 200 << R"({"Rendata")";
    QTest::newRow("404 HTML") << tracks::NotFoundPage << 404 << "<";
    QTest::newRow("500 HTML") << tracks::ServerError << 500 << "<";
    QTest::newRow("empty body") << tracks::EmptyBody << 200 << "";
}

void TestHttpGet::statusBodies()
{
    QFETCH(int, track);
    QFETCH(int, status);
    QFETCH(QString, bodyStart);
    const HttpText r = fetch(m_fake.requestUrl(QString::number(track)).toString(), trusting());
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.httpStatus, status);
    QVERIFY2(r.body.startsWith(bodyStart), qPrintable(r.body.left(80)));
    QCOMPARE(r.body.isEmpty(), bodyStart.isEmpty());
}

void TestHttpGet::faults_data()
{
    QTest::addColumn<int>("track");
    QTest::addColumn<int>("idleMs");
    QTest::addColumn<int>("totalMs");
    QTest::addColumn<HttpText::Failure>("failure");
    QTest::addColumn<QString>("cause");
    using F = HttpText::Failure;
    QTest::newRow("stall") << tracks::Stall << 300 << 5000 << F::TimedOut << "nothing received";
    QTest::newRow("trickle") << tracks::Trickle << 1000 << 400 << F::TimedOut
                             << "no complete answer";
    QTest::newRow("over the cap") << tracks::Oversized << 0 << 0 << F::TooLarge << "too large";
    QTest::newRow("inflates over the cap")
        << tracks::DeflateBomb << 0 << 0 << F::TooLarge << "too large";
    QTest::newRow("closed mid-body")
        << tracks::CutShort << 0 << 0 << F::ConnectionClosed << "closed";
    QTest::newRow("redirect to http")
        << tracks::InsecureRedirect << 0 << 0 << F::RedirectRefused << "redirect";
    QTest::newRow("redirect loop")
        << tracks::RedirectLoop << 0 << 0 << F::RedirectRefused << "redirect";
    QTest::newRow("one https redirect is fine") << tracks::Redirect << 0 << 0 << F::None << "";
}

void TestHttpGet::faults()
{
    QFETCH(int, track);
    QFETCH(int, idleMs);
    QFETCH(int, totalMs);
    QFETCH(HttpText::Failure, failure);
    QFETCH(QString, cause);
    FetchOptions options = trusting();
    if (idleMs)
        options.idleTimeout = std::chrono::milliseconds(idleMs);
    if (totalMs)
        options.totalTimeout = std::chrono::milliseconds(totalMs);
    const HttpText r = fetch(m_fake.requestUrl(QString::number(track)).toString(), options);
    QCOMPARE(r.failure, failure);
    QVERIFY2(r.error.contains(cause), qPrintable(r.error));
    if (failure != HttpText::Failure::None)
        QVERIFY(r.body.isEmpty());
    else
        QVERIFY(r.body.contains(QLatin1String(tracks::DemoName)));
}

void TestHttpGet::foreignCertificateRefused()
{
    FakeResolver foreign(CertificateKind::Foreign);
    QVERIFY(foreign.start());
    const HttpText r = fetch(foreign.requestUrl("169309").toString(), trusting());
    QCOMPARE(r.failure, HttpText::Failure::Tls);
    QVERIFY2(r.error.contains("TLS"), qPrintable(r.error));
    QVERIFY(foreign.received().isEmpty());
}

void TestHttpGet::systemCasOnlyRefuseTestCa()
{
    // A manager of its own: a manager keeps its connections to a host, with
    // the TLS settings they were opened with.
    QNetworkAccessManager strict;
    const HttpText r = fetch(m_fake.requestUrl("169309").toString(), FetchOptions{}, &strict);
    QCOMPARE(r.failure, HttpText::Failure::Tls);
}

void TestHttpGet::extraCaKeepsSystemCas()
{
    QFile file(FakeResolver::caFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto testCa = QSslCertificate::fromData(file.readAll());
    QCOMPARE(testCa.size(), 1);
    const auto ssl = velmora::SslWithExtraCa(testCa.first().toPem());
    QVERIFY(ssl);
    const auto trusted = ssl->caCertificates();
    QVERIFY(trusted.contains(testCa.first()));
    for (const QSslCertificate &system : QSslConfiguration::systemCaCertificates())
        QVERIFY(trusted.contains(system));
    QCOMPARE(ssl->peerVerifyMode(), QSslConfiguration::defaultConfiguration().peerVerifyMode());

    QString error;
    QVERIFY(!velmora::SslWithExtraCa("not a certificate", &error));
    QVERIFY(!error.isEmpty());
}

void TestHttpGet::refusedAndUnknownHost_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<HttpText::Failure>("failure");
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    QTest::newRow("refused") << QStringLiteral("https://127.0.0.1:%1/lxapi/vdj.x").arg(port)
                             << HttpText::Failure::ConnectionRefused;
    QTest::newRow("unknown host") << "https://no-such-host.invalid/lxapi/vdj.x"
                                  << HttpText::Failure::HostNotFound;
}

void TestHttpGet::refusedAndUnknownHost()
{
    QFETCH(QString, address);
    QFETCH(HttpText::Failure, failure);
    const HttpText r = fetch(address, trusting());
    QCOMPARE(r.failure, failure);
    QVERIFY(!r.error.isEmpty());
}

void TestHttpGet::charset_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");
    QTest::newRow("UTF-8 by default") << "/plain" << QString::fromUtf8("歌曲 ü");
    QTest::newRow("named Latin-1") << "/latin1" << QString::fromUtf8("Café");
    QTest::newRow("unknown charset falls back to UTF-8") << "/bogus" << QString::fromUtf8("歌曲");
}

void TestHttpGet::charset()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    QHttpServer server;
    server.route("/plain", [] {
        return QHttpServerResponse("application/json", QString::fromUtf8("歌曲 ü").toUtf8());
    });
    server.route("/latin1", [] {
        return QHttpServerResponse("text/plain; charset=ISO-8859-1", QByteArray("Caf\xe9"));
    });
    server.route("/bogus", [] {
        return QHttpServerResponse("text/plain; charset=\"x-no-such\"",
                                   QString::fromUtf8("歌曲").toUtf8());
    });
    const quint16 port = server.listen(QHostAddress::LocalHost);
    QVERIFY(port);
    const HttpText r = fetch(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path), {});
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.body, text);
}

void TestHttpGet::destroyWhileWaitingIsSilent()
{
    auto *fetch = velmora::HttpGetText(
        m_manager, m_fake.requestUrl(QString::number(tracks::Stall)).toString(), trusting());
    QSignalSpy done(fetch, &velmora::TextFetch::finished);
    QSignalSpy arrived(&m_fake, &FakeResolver::requestReceived);
    QVERIFY(arrived.wait());
    delete fetch;
    // A later fetch still works and the deleted one never reports.
    const HttpText r = this->fetch(m_fake.requestUrl("169309").toString(), trusting());
    QVERIFY(r.ok());
    QCOMPARE(done.count(), 0);
}

QTEST_GUILESS_MAIN(TestHttpGet)
#include "tst_httpget.moc"
