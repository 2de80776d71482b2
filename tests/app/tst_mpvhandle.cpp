#include "mpvhandle.h"

#include <QTest>

#include <climits>

#include <mpv/client.h>

using namespace velmora;
using namespace Qt::StringLiterals;

constexpr int kRefused = INT_MIN; // for any reason libmpv gives

// What libmpv refuses at once comes back as a refusal with its reason, and
// what it takes comes back as taken: nothing it says is dropped.
class TestMpvHandle : public QObject
{
    Q_OBJECT
    MpvHandle m_mpv;

private slots:
    void initTestCase()
    {
        QVERIFY(m_mpv);
        QVERIFY(m_mpv.setOption("ao", u"null"_s));
        QVERIFY(m_mpv.initialize());
    }

    void command_data()
    {
        QTest::addColumn<QVariantMap>("command");
        QTest::addColumn<int>("status");
        const QString url = u"http://127.0.0.1:9/a.mp3"_s;
        const QVariantMap load{{u"name"_s, u"loadfile"_s}, {u"url"_s, url}};
        QVariantMap engines = load;
        engines.insert(u"flags"_s, u"replace"_s);
        engines.insert(u"options"_s,
                       QVariantMap{{u"start"_s, u"1.000"_s}, {u"http-proxy"_s, u"direct"_s}});
        QTest::newRow("the engine's load") << engines << 0;
        QVariantMap unknown = load;
        unknown.insert(u"bogus"_s, u"1"_s);
        QTest::newRow("an argument it does not know") << unknown << kRefused;
        QVariantMap number = load;
        number.insert(u"options"_s, QVariantMap{{u"start"_s, 1.5}});
        QTest::newRow("an option given as a number") << number << kRefused;
        QTest::newRow("a command it does not know")
            << QVariantMap{{u"name"_s, u"no-such-command"_s}} << kRefused;
    }

    void command()
    {
        QFETCH(QVariantMap, command);
        QFETCH(int, status);
        const MpvResult result = m_mpv.command(command, 1);
        QCOMPARE(result.ok(), status == 0);
        QVERIFY(status == 0 || !result.error().isEmpty());
    }

    void setOption_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("status");
        QTest::newRow("a flag") << u"tls-verify"_s << QVariant(true) << 0;
        QTest::newRow("a number") << u"network-timeout"_s << QVariant(2.5) << 0;
        QTest::newRow("a map") << u"stream-lavf-o"_s
                               << QVariant(QVariantMap{{u"protocol_whitelist"_s, u"http"_s}}) << 0;
        QTest::newRow("no such option")
            << u"no-such-option"_s << QVariant(true) << int(MPV_ERROR_OPTION_NOT_FOUND);
        QTest::newRow("a value it cannot read")
            << u"tls-verify"_s << QVariant(u"maybe"_s) << kRefused;
    }

    void setOption()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(int, status);
        MpvHandle mpv;
        const MpvResult result = mpv.setOption(name.toUtf8().constData(), value);
        if (status == kRefused)
            QVERIFY(!result.ok() && !result.error().isEmpty());
        else
            QCOMPARE(result.status, status);
    }
};

QTEST_GUILESS_MAIN(TestMpvHandle)
#include "tst_mpvhandle.moc"
