// The real velmora-resolve, run against the fake resolver of this process.
// The fake answers from this process's event loop, so every wait spins it.
#include "againstfake.h"

#include <QDir>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
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
    void save_data();
    void save();

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
    row("ftp proxy", {u"--proxy"_s, u"ftp://127.0.0.1:21"_s}, 2, u"--proxy"_s);
    row("proxy without port", {u"--proxy"_s, u"http://127.0.0.1"_s}, 2, u"--proxy"_s);
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

namespace {
// What waits in the folder before a save.
enum class Before { Nothing, HalfPart, HalfPartOfAnother, HalfPartModified, Target };
} // namespace
Q_DECLARE_METATYPE(Before)

void TestCli::save_data()
{
    QTest::addColumn<int>("track");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<Before>("before");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("ranges");   // the Range headers the server saw, joined; "-": any
    QTest::addColumn<int>("resolves");     // of the track, in all
    QTest::addColumn<QString>("error");    // part of the message on standard error
    QTest::addColumn<qint64>("sizeLimit"); // of files the process may write, or -1
    const auto row = [](const char *name, int track, Before before, int status,
                        const QString &ranges, const QString &error = {},
                        const QStringList &options = {}, int resolves = 1, qint64 sizeLimit = -1) {
        QTest::newRow(name) << track << options << before << status << ranges << resolves << error
                            << sizeLimit;
    };
    using namespace tracks;
    const QString half = u"bytes=131072-"_s;
    const QString retries = u"--retries"_s;
    row("whole", SaveWhole, Before::Nothing, 0, {});
    row("resumed by ETag", SaveWhole, Before::HalfPart, 0, half);
    row("resumed by Last-Modified", SaveModified, Before::HalfPartModified, 0, half);
    row("part of another version", SaveWhole, Before::HalfPartOfAnother, 0, half);
    row("server ignores ranges", SaveNoRanges, Before::HalfPart, 0, half);
    row("dropped halfway, resumed", SaveDrop, Before::Nothing, 0, u" "_s + half);
    row("expired, resolved again once", SaveExpiring, Before::Nothing, 0, u" "_s, {}, {}, 2);
    // Qt may send a hop again when the server closes first: not counted.
    row("redirect chain", SaveRedirects, Before::Nothing, 0, u"-"_s);
    row("slow, with progress lines", SaveSlow, Before::Nothing, 0, {}, u"% "_s, {u"--progress"_s});
    row("exists: kept", SaveWhole, Before::Target, 0, {}, u"exists already"_s);
    row("exists: replaced", SaveWhole, Before::Target, 0, {}, {}, {u"--force-overwrites"_s});
    row("web page", SaveHtml, Before::Nothing, 5, {}, u"not audio"_s);
    row("500 until the retries end", SaveError, Before::Nothing, 5, u"  "_s,
        u"gave up after 3 attempts"_s, {retries, u"2"_s});
    row("shorter than announced", SaveLonger, Before::Nothing, 5, u" bytes=262144-"_s,
        u"gave up after 2 attempts"_s, {retries, u"1"_s});
    row("disk full", SaveWhole, Before::Nothing, 5, {}, u"could not write"_s, {}, 1, 100'000);
}

void TestCli::save()
{
    QFETCH(int, track);
    QFETCH(QStringList, options);
    QFETCH(Before, before);
    QFETCH(int, status);
    QFETCH(QString, ranges);
    QFETCH(int, resolves);
    QFETCH(QString, error);
    QFETCH(qint64, sizeLimit);
    QTemporaryDir folder;
    const QString target = folder.filePath(u"%1.mp3"_s.arg(track));
    const QByteArray audio = m_fake.savedAudio();
    const auto put = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    if (before == Before::Target)
        QVERIFY(put(target, "mine"));
    else if (before != Before::Nothing)
        // Another version's bytes differ, so taking them would show.
        QVERIFY(put(target + u".part"_s, before == Before::HalfPartOfAnother
                                             ? QByteArray(audio.size() / 2, '\0')
                                             : audio.left(audio.size() / 2)) &&
                put(target + u".part.validator"_s,
                    before == Before::HalfPartModified    ? "Sat, 05 Dec 2026 12:00:00 GMT"
                    : before == Before::HalfPartOfAnother ? "\"v0\""
                                                          : "\"v1\""));
    const qsizetype seen = m_fake.received().size();
    const auto r = velmora::testing::runCli(
        m_fake, options + QStringList{u"-o"_s, folder.filePath(u"{id}.{ext}"_s), page(track)}, {},
        sizeLimit);

    QCOMPARE(r.status, status);
    QVERIFY2(r.err.join(u'\n').contains(error), qPrintable(r.err.join(u'\n')));
    QStringList rangesSeen;
    int resolvesSeen = 0;
    for (const Received &request : m_fake.received().mid(seen)) {
        if (request.url.path().startsWith(u"/save/"_s))
            rangesSeen << QString::fromLatin1(request.range);
        resolvesSeen += request.url.query().startsWith(u"id=%1&"_s.arg(track));
    }
    if (ranges != u"-"_s)
        QCOMPARE(rangesSeen.join(u' '), ranges);
    QCOMPARE(resolvesSeen, resolves);
    QFile saved(target);
    if (status != 0) {
        QCOMPARE(r.out, QStringList{});
        QVERIFY(!saved.exists()); // nothing half-written under the final name
        return;
    }
    QCOMPARE(r.out, QStringList{target});
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), before == Before::Target && options.isEmpty() ? "mine" : audio);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
             QStringList{saved.fileName().section(u'/', -1)});
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
