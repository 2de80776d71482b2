// What the fault table cannot see of the fetch: how a body is decoded and
// which CAs an extra one is trusted beside. Every fetch fault is driven
// through both front ends in tests/faults.
#include "fakeresolver.h"
#include "fetch.h"

#include <QFile>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

using velmora::HttpText;
using namespace Qt::StringLiterals;

class TestFetch : public QObject
{
    Q_OBJECT
private slots:
    void charset_data();
    void charset();
    void extraCaKeepsSystemCas();
};

void TestFetch::charset_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::newRow("UTF-8 by default") << QByteArray("application/json") << u"歌曲 ü"_s.toUtf8()
                                      << u"歌曲 ü"_s;
    QTest::newRow("named Latin-1") << QByteArray("text/plain; charset=ISO-8859-1")
                                   << QByteArray("Caf\xe9") << u"Café"_s;
    QTest::newRow("unknown charset falls back to UTF-8")
        << QByteArray("text/plain; charset=\"x-no-such\"") << u"歌曲"_s.toUtf8() << u"歌曲"_s;
}

void TestFetch::charset()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QHttpServer server;
    server.route("/", [&] { return QHttpServerResponse(contentType, body); });
    const quint16 port = server.listen(QHostAddress::LocalHost);
    QVERIFY(port);
    QNetworkAccessManager manager;
    auto *fetch = velmora::HttpGetText(manager, QStringLiteral("http://127.0.0.1:%1/").arg(port));
    QSignalSpy done(fetch, &velmora::TextFetch::finished);
    QVERIFY(done.wait());
    const auto r = done.first().first().value<HttpText>();
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.body, text);
}

void TestFetch::extraCaKeepsSystemCas()
{
    QFile file(velmora::fake::FakeResolver::caFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto testCa = QSslCertificate::fromData(file.readAll());
    const auto ssl = velmora::sslWithExtraCa(testCa.value(0).toPem());
    QVERIFY(ssl);
    const auto trusted = ssl->caCertificates();
    QVERIFY(trusted.contains(testCa.value(0)));
    for (const QSslCertificate &system : QSslConfiguration::systemCaCertificates())
        QVERIFY(trusted.contains(system));
    QCOMPARE(ssl->peerVerifyMode(), QSslConfiguration::defaultConfiguration().peerVerifyMode());
    QVERIFY(!velmora::sslWithExtraCa("not a certificate"));
}

QTEST_GUILESS_MAIN(TestFetch)
#include "tst_fetch.moc"
