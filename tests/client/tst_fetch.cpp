// What the fault table cannot see of the fetch: how a body is decoded and
// which CAs an extra one is trusted beside. Every fetch fault is driven
// through both front ends in tests/faults.
#include "fakeresolver.h"
#include "fetch.h"

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

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
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::newRow("UTF-8 by default") << "application/json" << QByteArray("歌曲 ü") << "歌曲 ü";
    QTest::newRow("Latin-1") << "text/plain; charset=ISO-8859-1" << QByteArray("Caf\xe9") << "Café";
    QTest::newRow("unknown: UTF-8") << "text/plain;charset=x-none" << QByteArray("歌曲") << "歌曲";
}

void TestFetch::charset()
{
    QFETCH(QString, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QHttpServer server;
    server.route("/", [&] { return QHttpServerResponse(contentType.toUtf8(), body); });
    const quint16 port = server.listen(QHostAddress::LocalHost);
    QNetworkAccessManager manager;
    auto *fetch = velmora::HttpGetText(manager, QStringLiteral("http://127.0.0.1:%1/").arg(port));
    QSignalSpy done(fetch, &velmora::TextFetch::finished);
    QVERIFY(done.wait());
    QCOMPARE(done.first().first().value<velmora::HttpText>().body, text);
}

void TestFetch::extraCaKeepsSystemCas()
{
    const auto testCa = QSslCertificate::fromPath(velmora::fake::FakeResolver::caFilePath());
    QVERIFY(!testCa.isEmpty());
    const auto ssl = velmora::sslWithExtraCa(testCa.first().toPem());
    QVERIFY(ssl);
    for (const QSslCertificate &ca : QSslConfiguration::systemCaCertificates() + testCa)
        QVERIFY(ssl->caCertificates().contains(ca));
    QVERIFY(!velmora::sslWithExtraCa("not a certificate"));
}

QTEST_GUILESS_MAIN(TestFetch)
#include "tst_fetch.moc"
