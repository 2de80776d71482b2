// What the fault tables cannot see of the fetch: how a body is decoded and
// which CAs an extra one is trusted beside. Every fetch fault is driven
// through the window in tests/faults and velmora-resolve in tests/cli.
#include "answer.h"
#include "fakeresolver.h"
#include "fetch.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

using namespace velmora::fake;

class TestFetch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_fake.start()); }

    void charset_data()
    {
        QTest::addColumn<int>("track");
        QTest::newRow("UTF-8 by default") << tracks::Utf8NoCharset;
        QTest::newRow("Latin-1") << tracks::Latin1Charset;
        QTest::newRow("unknown: UTF-8") << tracks::UnknownCharset;
    }

    void charset()
    {
        QFETCH(int, track);
        QNetworkAccessManager manager;
        velmora::FetchOptions options;
        options.ssl = FakeResolver::clientSslConfiguration();
        auto *fetch = new velmora::TextFetch(
            manager, m_fake.requestUrl(QString::number(track)).toString(), options);
        QSignalSpy done(fetch, &velmora::TextFetch::finished);
        QVERIFY(done.wait());
        const auto answer = done.first().first().value<velmora::HttpText>();
        QCOMPARE(velmora::decideAnswer(answer.body).trackName,
                 QString::fromUtf8(tracks::EncodedName));
    }

    void extraCaKeepsSystemCas()
    {
        const auto testCa = QSslCertificate::fromPath(FakeResolver::caFilePath());
        QVERIFY(!testCa.isEmpty());
        const auto ssl = velmora::sslWithExtraCa(testCa.first().toPem());
        QVERIFY(ssl);
        for (const QSslCertificate &ca : QSslConfiguration::systemCaCertificates() + testCa)
            QVERIFY(ssl->caCertificates().contains(ca));
        QVERIFY(!velmora::sslWithExtraCa("not a certificate"));
    }

private:
    FakeResolver m_fake;
};

QTEST_GUILESS_MAIN(TestFetch)
#include "tst_fetch.moc"
