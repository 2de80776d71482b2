// Forming a resolver request: track id, nonce, signature, address.
#include "request.h"
#include "settings.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestRequest : public QObject
{
    Q_OBJECT
private slots:
    void trackId_data();
    void trackId();
    void nonce();
    void signedAddress();
};

void TestRequest::trackId_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id");
    // Built from the configured site host, so any VELMORA_SITE_HOST passes.
    const QString host = QString::fromUtf8(velmora::settings::kSiteHost);
    const auto row = [&](const char *name, QString text, const char *id) {
        QTest::newRow(name) << text.replace(u"HOST"_s, host) << QString::fromUtf8(id);
    };
    row("no scheme", "HOST/play/169309.html", "169309");
    row("http in surrounding text", " listen: http://HOST/play/42.html now", "42");
    row("https, query and fragment after", "https://HOST/play/4711.html?from=share#top", "4711");
    row("host in capitals", "http://" + host.toUpper() + "/play/55.html", "");
    row("dot is only a dot", "http://" + QString(host).replace(u'.', u'x') + "/play/55.html", "");
    row("host label missing", "http://" + host.section(u'.', 1) + "/play/55.html", "");
    row("longer host still matches", "http://m.HOST/play/123.html", "123");
    row("path in capitals", "http://HOST/Play/169309.HTML", "");
    row("slash after digits, ending cut short", "HOST/play/1/.html HOST/play/2.htm", "");
    row("longer ending still matches", "http://HOST/play/77.htmlx", "77");
    row("last of two, zeros kept", "HOST/play/111.html HOST/play/00012.html", "00012");
    row("one digit", "http://HOST/play/7.html", "7");
    row("full-width digits", u"http://HOST/play/１６９.html"_s, "");
    row("lone surrogate elsewhere", QChar(char16_t(0xDC00)) + u"HOST/play/42.html"_s, "42");
}

void TestRequest::trackId()
{
    QFETCH(QString, text);
    QFETCH(QString, id);
    QCOMPARE(velmora::GetTrackId(text), id);
    // The resolver takes ids of two digits or more.
    QCOMPARE(velmora::usableTrackId(text).value_or(u"refused"_s),
             id.size() >= 2 ? id : u"refused"_s);
}

void TestRequest::nonce()
{
    QCOMPARE(velmora::nonceHalfFromDraw(0.0f), 11111);
    QCOMPARE(velmora::nonceHalfFromDraw(1.0f - 0x1p-24f), 99998); // the largest float below 1
    for (int i = 0; i < 300; ++i) {
        const QString nonce = velmora::MakeRequestNonce();
        for (const int half : {nonce.left(5).toInt(), nonce.mid(5).toInt()})
            QVERIFY2(half >= 11111 && half <= 99998, qPrintable(nonce));
    }
    QVERIFY(velmora::MakeRequestNonce() != velmora::MakeRequestNonce());
}

void TestRequest::signedAddress()
{
    // printf '%s' 'Hq_pwrTrack.zz?id=169309&rs=1234567890' | md5sum: the last 18 digits
    const QString signature = velmora::MakeRequestSignature(u"169309"_s, u"1234567890"_s);
    QCOMPARE(signature, u"449921d7973c7d6f49"_s);
    QCOMPARE(
        velmora::BuildRequestAddress(u"169309"_s, u"1234567890"_s, signature, u"127.0.0.1:8443"_s),
        u"https://127.0.0.1:8443/lxapi/vdj.x?id=169309&k=1234567890&r=449921d7973c7d6f49"_s);
}

QTEST_APPLESS_MAIN(TestRequest)
#include "tst_request.moc"
