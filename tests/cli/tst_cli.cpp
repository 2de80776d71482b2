// The real velmora-resolve, run against the fake resolver of this process.
// The fake answers from this process's event loop, so every wait spins it.
#include "againstfake.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QTest>

using namespace velmora::fake;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {
QString page(int id)
{
    return velmora::testing::playPage(id).replace(u"http:"_s, u"https:"_s);
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void results_data();
    void results();
    void json_data();
    void json();
    void controlCharactersEscaped();
    void ordering_data();
    void ordering();
    void options_data();
    void options();

private:
    velmora::testing::CliRun run(const QStringList &arguments, const QByteArray &input = {});
    FakeResolver m_fake;
};

void TestCli::initTestCase()
{
    QVERIFY(m_fake.start());
    m_fake.setTrickleInterval(10ms); // about a second for the whole answer
}

velmora::testing::CliRun TestCli::run(const QStringList &arguments, const QByteArray &input)
{
    return velmora::testing::runCli(m_fake, arguments, input);
}

void TestCli::results_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("stdinText");
    QTest::addColumn<QStringList>("expected"); // per input: its audio address, or "!" + the input
    QTest::addColumn<int>("status");

    const auto row = [](const char *name, const QStringList &arguments, const QStringList &expected,
                        int status, const QString &stdinText = {}) {
        QTest::newRow(name) << arguments << stdinText << expected << status;
    };
    const auto url = [this](int track) {
        return m_fake.songUrl(track).toString();
    };
    const auto fails = [](const QString &input) {
        return u'!' + input;
    };
    const QString text = u"no address here"_s;
    using namespace tracks;

    row("one", {page(Demo)}, {url(Demo)}, 0);
    row("last match wins", {u"see %1 or rather %2!"_s.arg(page(Unknown), page(Demo))}, {url(Demo)},
        0);
    row("stdin, blank lines", {}, {url(TwoDigit), url(Demo)}, 0,
        " \n\n" + page(TwoDigit) + "\r\n\t\n" + page(Demo));
    row("dash in between", {page(TestTone), u"-"_s, page(Demo)},
        {url(TestTone), url(TwoDigit), url(Demo)}, 0, page(TwoDigit) + "\n\n");
    row("no address", {text}, {fails(text)}, 3);
    row("one-digit id", {page(7)}, {fails(page(7))}, 3);
    const QString otherCa = QFileInfo(FakeResolver::caFilePath()).path() + u"/foreign-ca.pem"_s;
    row("another CA", {u"--cacert"_s, otherCa, page(Demo)}, {fails(page(Demo))}, 5);
    row("4 beats 3", {page(Unknown), text, page(Demo)},
        {fails(page(Unknown)), fails(text), url(Demo)}, 4);
    row("5 beats 4 and 3", {text, page(ServerError), page(Unknown)},
        {fails(text), fails(page(ServerError)), fails(page(Unknown))}, 5);
}

void TestCli::results()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, stdinText);
    QFETCH(QStringList, expected);
    QFETCH(int, status);

    const auto r = run(arguments, stdinText.toUtf8());
    QCOMPARE(r.status, status);
    QStringList urls, failing;
    for (const QString &e : expected)
        (e.startsWith(u'!') ? failing : urls) << e.mid(e.startsWith(u'!') ? 1 : 0);
    QCOMPARE(r.out, urls);
    QCOMPARE(r.err.size(), failing.size());
    for (qsizetype i = 0; i < failing.size(); ++i)
        QVERIFY2(r.err.at(i).contains(u'\'' + failing.at(i) + u'\''), qPrintable(r.err.at(i)));
}

void TestCli::json_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QJsonObject>("expected"); // with the part of "error" that must be there

    const auto row = [](const char *name, const QStringList &arguments, const QJsonValue &id,
                        const QJsonValue &url, const QJsonValue &name_, const QJsonValue &error) {
        const QJsonObject expected{{u"input"_s, arguments.last()},
                                   {u"id"_s, id},
                                   {u"url"_s, url},
                                   {u"name"_s, name_},
                                   {u"error"_s, error}};
        QTest::newRow(name) << arguments << expected;
    };
    const QJsonValue null(QJsonValue::Null);
    using namespace tracks;
    row("resolved", {page(Demo)}, u"169309"_s, m_fake.songUrl(Demo).toString(),
        QLatin1String(DemoName), null);
    row("no address, UTF-8", {u"歌曲 ♪ 无地址"_s}, null, null, null, u"no play-page address"_s);
    row("unknown", {page(Unknown)}, u"555555"_s, null, u"not_find"_s, u"not found"_s);
    // Well before the built-in limits of 30 s without data and 60 s in all.
    row("stall, --timeout 1", {u"--timeout"_s, u"1"_s, page(Stall)}, u"900010"_s, null, null,
        u"timed out: no complete answer within 1 s"_s);
    row("file: address kept", {page(FileUrl)}, QString::number(FileUrl),
        m_fake.songUrl(FileUrl).toString(), u"Local File"_s, u"not an http or https address"_s);
    // JSON escapes what an answer holds; the text stays exact.
    row("control characters kept", {page(ControlChars)}, QString::number(ControlChars),
        m_fake.songUrl(Demo).toString() +
            u"\n\x1b]0;owned\x07http://127.0.0.1:1/foreign.mp3\x1b[2J\u009b"_s,
        u"Bell\x07Name\x1b[31m"_s, null);
}

void TestCli::json()
{
    QFETCH(QStringList, arguments);
    QFETCH(QJsonObject, expected);

    const auto r = run(QStringList{u"--json"_s} + arguments);
    QCOMPARE(r.err, QStringList{}); // everything is in the object
    QCOMPARE(r.out.size(), 1);
    QJsonParseError parseError;
    QJsonObject object = QJsonDocument::fromJson(r.out[0].toUtf8(), &parseError).object();
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    const QString error = expected.take(u"error").toString(); // empty: null
    QVERIFY2(error.isEmpty() ? object.value(u"error").isNull()
                             : object.value(u"error").toString().contains(error),
             qPrintable(r.out[0]));
    object.remove(u"error"_s);
    QCOMPARE(object, expected); // and no other members
}

// Plain output: one line per input and nothing the terminal would act on.
void TestCli::controlCharactersEscaped()
{
    const auto r = run({page(tracks::ControlChars), page(tracks::FiveCharUrl)});
    QCOMPARE(r.out.size(), 1);
    QCOMPARE(r.out.at(0), m_fake.songUrl(tracks::Demo).toString() +
                              u"%0A%1B]0;owned%07http://127.0.0.1:1/foreign.mp3%1B[2J%C2%9B"_s);
    QCOMPARE(r.err.size(), 1);
    QVERIFY(
        !r.err.join(u'\n').contains(QRegularExpression(u"[\\x00-\\x08\\x0b-\\x1f\\x7f-\\x9f]"_s)));
}

void TestCli::ordering_data()
{
    QTest::addColumn<QList<int>>("tracks");
    QTest::addColumn<QString>("jobs");
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<int>("receivedAtFirstOutput");

    using namespace tracks;
    // The first answer is the slowest; nothing may be printed before it, and
    // the others must have been asked for while it trickled in.
    QTest::newRow("slow first, -j 3")
        << QList<int>{Trickle, Demo, TwoDigit} << u"3"_s << u"30"_s << 3;
    // Stalls hold their slots until the time limit; the last input waits for one.
    QTest::newRow("-j 2") << QList<int>{Stall, Stall, Demo} << u"2"_s << u"1"_s << 2;
    QTest::newRow("-j 1") << QList<int>{Stall, Demo} << u"1"_s << u"1"_s << 1;
}

void TestCli::ordering()
{
    QFETCH(QList<int>, tracks);
    QFETCH(QString, jobs);
    QFETCH(QString, timeout);
    QFETCH(int, receivedAtFirstOutput);

    QStringList arguments{u"--json"_s, u"-j"_s, jobs, u"--timeout"_s, timeout};
    for (int track : tracks)
        arguments << page(track);
    const auto r = run(arguments);
    QCOMPARE(r.receivedAtFirstOutput, receivedAtFirstOutput);
    QCOMPARE(r.out.size(), tracks.size());
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const QJsonObject object = QJsonDocument::fromJson(r.out.at(i).toUtf8()).object();
        QCOMPARE(object.value(u"id").toString(), QString::number(tracks.at(i)));
        QCOMPARE(object.value(u"url").isString(), tracks.at(i) != tracks::Stall);
    }
}

void TestCli::options_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // on standard output for 0, on standard error for 2

    auto *notPem = new QTemporaryFile(this);
    QVERIFY(notPem->open());
    notPem->write("-----BEGIN CERTIFICATE-----\nnot base64 at all\n-----END CERTIFICATE-----\n");
    notPem->flush();
    const auto row = [](const char *name, const QStringList &options, int status,
                        const QString &message) {
        QTest::newRow(name) << options << status << message;
    };
    const QString resolver = u"--resolver"_s;
    row("unknown option", {u"--frobnicate"_s}, 2, u"frobnicate"_s);
    row("http resolver", {resolver, u"http://127.0.0.1:1"_s}, 2, resolver);
    row("resolver path", {resolver, m_fake.resolverBase().toString() + u"/lxapi/vdj.x"_s}, 2,
        resolver);
    row("zero timeout", {u"--timeout"_s, u"0"_s}, 2, u"--timeout"_s);
    row("-j 0", {u"-j"_s, u"0"_s}, 2, u"-j"_s);
    row("unreadable CA", {u"--cacert"_s, u"/nonexistent/ca.pem"_s}, 2,
        u"cannot read the CA file '/nonexistent/ca.pem'"_s);
    row("invalid CA", {u"--cacert"_s, notPem->fileName()}, 2, u"holds no PEM certificate"_s);
    // Help and version are answered before the values of other options are checked.
    row("--help", {u"--help"_s, u"-j"_s, u"0"_s}, 0, u"3  an input holds no play-page address"_s);
    row("-h", {u"-h"_s}, 0, u"--cacert <FILE>"_s);
    row("--version", {u"--version"_s, u"-j"_s, u"0"_s}, 0,
        u"velmora-resolve "_s + velmora::settings::kVersion);
}

void TestCli::options()
{
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, message);

    const qsizetype before = m_fake.received().size();
    const auto r = run(options + QStringList{page(tracks::Demo)});
    QCOMPARE(r.status, status);
    const QString shown = (status == 0 ? r.out : r.err).join(u'\n');
    QVERIFY2(shown.contains(message), qPrintable(shown));
    QVERIFY(shown.contains(u"Usage: velmora-resolve [OPTIONS] [ADDRESS...]") || status == 0);
    QCOMPARE(status == 0 ? r.err : r.out, QStringList{});
    QCOMPARE(m_fake.received().size(), before); // no request was made
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
