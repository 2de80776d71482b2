#include "mpvhandle.h"

#include <QTest>

#include <climits>

#include <mpv/client.h>

using namespace velmora;
using namespace Qt::StringLiterals;

constexpr int kRefused = INT_MIN; // for any reason libmpv gives

// What libmpv refuses at once comes back as a refusal with its reason, and
// what it takes comes back as taken: nothing it says is dropped. Options go
// to a handle not yet started, commands to a started one.
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

    void call_data()
    {
        QTest::addColumn<QString>("option"); // none: `value` is a command
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
        const QVariantMap load{{u"name"_s, u"loadfile"_s},
                               {u"url"_s, u"http://127.0.0.1:9/a.mp3"_s}};
        QVariantMap engines = load, unknown = load, number = load;
        engines.insert(u"flags"_s, u"replace"_s);
        engines.insert(u"options"_s,
                       QVariantMap{{u"start"_s, u"1.000"_s}, {u"http-proxy"_s, u"direct"_s}});
        QTest::newRow("the engine's load") << QString() << QVariant(engines) << 0;
        unknown.insert(u"bogus"_s, u"1"_s);
        QTest::newRow("an argument it does not know") << QString() << QVariant(unknown) << kRefused;
        number.insert(u"options"_s, QVariantMap{{u"start"_s, 1.5}});
        QTest::newRow("an option given as a number") << QString() << QVariant(number) << kRefused;
        QTest::newRow("a command it does not know")
            << QString() << QVariant(QVariantMap{{u"name"_s, u"no-such-command"_s}}) << kRefused;
    }

    void call()
    {
        QFETCH(QString, option);
        QFETCH(QVariant, value);
        QFETCH(int, status);
        MpvHandle unstarted;
        const MpvResult result = option.isEmpty()
                                     ? m_mpv.command(value.toMap(), 1)
                                     : unstarted.setOption(option.toUtf8().constData(), value);
        if (status == kRefused)
            QVERIFY(!result.ok() && !result.error().isEmpty());
        else
            QCOMPARE(result.status, status);
    }
};

QTEST_GUILESS_MAIN(TestMpvHandle)
#include "tst_mpvhandle.moc"
