// Forming a resolver request: track id, nonce, signature, address.
#include "request.h"
#include "settings.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QUrlQuery>

#include <cmath>

class TestRequest : public QObject
{
    Q_OBJECT
private slots:
    void trackId_data();
    void trackId();
    void trackIdOtherHost();
    void nonceHalf_data();
    void nonceHalf();
    void nonceShape();
    void noncesDiffer();
    void signature_data();
    void signature();
    void address();
};

void TestRequest::trackId_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id");
    const QString host = QString::fromUtf8(velmora::settings::kSiteHost);
    const auto row = [&](const char *name, QString text, const char *id) {
        QTest::newRow(name) << text.replace(QStringLiteral("HOST"), host) << QString::fromUtf8(id);
    };
    row("http", "http://HOST/play/169309.html", "169309");
    row("https", "https://HOST/play/169309.html", "169309");
    row("no scheme", "HOST/play/169309.html", "169309");
    row("surrounding text", "  listen: http://HOST/play/42.html now ", "42");
    row("query after", "http://HOST/play/4711.html?from=share#top", "4711");
    row("longer ending still matches", "http://HOST/play/77.htmlx", "77");
    row("longer host still matches", "http://m.HOST/play/123.html", "123");
    row("last of two wins", "http://HOST/play/111.html http://HOST/play/222.html", "222");
    row("leading zeros kept", "http://HOST/play/00012.html", "00012");
    row("one digit", "http://HOST/play/7.html", "7");
    row("long run of digits", "http://HOST/play/12345678901234567890123.html",
        "12345678901234567890123");
    row("empty", "", "");
    row("bare number", "169309", "");
    row("other site", "http://www.example.com/play/169309.html", "");
    row("host in capitals", QStringLiteral("http://%1/play/1.html").arg(host.toUpper()), "");
    row("dot is only a dot",
        QStringLiteral("http://%1/play/55.html").arg(QString(host).replace(u'.', u'x')), "");
    row("host label missing", QStringLiteral("http://%1/play/55.html").arg(host.section(u'.', 1)),
        "");
    row("Play in capitals", "http://HOST/Play/169309.html", "");
    row("HTML in capitals", "http://HOST/play/169309.HTML", "");
    row("slash after digits", "http://HOST/play/169309/.html", "");
    row("ending cut short", "http://HOST/play/169309.htm", "");
    row("no digits", "http://HOST/play/.html", "");
    row("lone surrogate after the address",
        QStringLiteral("http://HOST/play/169309.html ") + QChar(char16_t(0xD800)), "169309");
    row("lone surrogate before the address",
        QChar(char16_t(0xDC00)) + QStringLiteral("http://HOST/play/42.html"), "42");
    row("full-width digits",
        QStringLiteral("http://HOST/play/%1.html").arg(QString::fromUtf8("１６９３０９")), "");
    row("arabic-indic digits",
        QStringLiteral("http://HOST/play/%1.html").arg(QString::fromUtf8("١٢٣")), "");
}

void TestRequest::trackId()
{
    QFETCH(QString, text);
    QFETCH(QString, id);
    QCOMPARE(velmora::GetTrackId(text), id);
}

void TestRequest::trackIdOtherHost()
{
    QCOMPARE(velmora::GetTrackId("https://music.test/play/99.html", "music.test"), "99");
    QCOMPARE(velmora::GetTrackId("https://musicXtest/play/99.html", "music.test"), "");
    QCOMPARE(velmora::GetTrackId("https://a+b.test/play/99.html", "a+b.test"), "99");
}

void TestRequest::nonceHalf_data()
{
    QTest::addColumn<float>("draw");
    QTest::addColumn<int>("half");
    QTest::newRow("zero") << 0.0f << 11111;
    QTest::newRow("half") << 0.5f << 55555;
    QTest::newRow("largest below one") << std::nextafter(1.0f, 0.0f) << 99998;
}

void TestRequest::nonceHalf()
{
    QFETCH(float, draw);
    QFETCH(int, half);
    QCOMPARE(velmora::nonceHalfFromDraw(draw), half);
}

void TestRequest::nonceShape()
{
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator generator(seed);
    const QRegularExpression tenDigits(QStringLiteral("^[1-9][0-9]{4}[1-9][0-9]{4}$"));
    for (int i = 0; i < 2000; ++i) {
        const QString nonce = velmora::MakeRequestNonce(generator);
        QVERIFY2(tenDigits.match(nonce).hasMatch(), qPrintable(nonce));
        for (const int half : {nonce.left(5).toInt(), nonce.mid(5).toInt()})
            QVERIFY2(half >= 11111 && half <= 99998, qPrintable(QString::number(seed)));
    }
}

void TestRequest::noncesDiffer()
{
    // Two requests in quick succession must not share a nonce.
    QSet<QString> seen;
    for (int i = 0; i < 50; ++i)
        seen.insert(velmora::MakeRequestNonce());
    QVERIFY(seen.size() > 45);
}

void TestRequest::signature_data()
{
    QTest::addColumn<QString>("trackId");
    QTest::addColumn<QString>("nonce");
    QTest::newRow("example") << "169309"
                             << "1234567890";
    QTest::newRow("two digits") << "10"
                                << "1111199998";
    QTest::newRow("long id") << QString(300, u'9') << "5555555555";
}

void TestRequest::signature()
{
    QFETCH(QString, trackId);
    QFETCH(QString, nonce);
    const QByteArray signedText =
        "Hq_pwrTrack.zz?id=" + trackId.toLatin1() + "&rs=" + nonce.toLatin1();
    const QString expected = QString::fromLatin1(
        QCryptographicHash::hash(signedText, QCryptographicHash::Md5).toHex().right(18));
    const QString signature = velmora::MakeRequestSignature(trackId, nonce);
    QCOMPARE(signature, expected);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{18}$")).match(signature).hasMatch());
}

void TestRequest::address()
{
    const QString id = QString(40, u'7');
    const QString nonce = velmora::MakeRequestNonce();
    const QString sig = velmora::MakeRequestSignature(id, nonce);
    const QString address = velmora::BuildRequestAddress(id, nonce, sig, "127.0.0.1:8443");
    QCOMPARE(address, "https://127.0.0.1:8443/lxapi/vdj.x?id=" + id + "&k=" + nonce + "&r=" + sig);
    const QUrl url(address);
    const auto items = QUrlQuery(url).queryItems();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0], qMakePair(QStringLiteral("id"), id));
    QCOMPARE(items[1], qMakePair(QStringLiteral("k"), nonce));
    QCOMPARE(items[2], qMakePair(QStringLiteral("r"), sig));

}

QTEST_APPLESS_MAIN(TestRequest)
#include "tst_request.moc"
