// The real velmora-resolve, run against the fake resolver of this process.
// The fake answers from this process's event loop, so every wait spins it.
#include "processes.h"
#include "causes.h"
#include "messages.h"
#include "options.h"
#include "save.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTemporaryFile>

#include <tuple>

using namespace velmora::fake;
using namespace velmora::testing;
using namespace velmora::cli;
namespace causes = velmora::causes;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {
// scripts/windows runs the Windows build under Wine as the program under test.
bool windowsProgram()
{
    return qEnvironmentVariableIsSet("VELMORA_WINDOWS_EXE");
}

QString page(int id)
{
    return playPage(id).replace(u"http:"_s, u"https:"_s);
}

// The fake's pace: a trickled answer gets a chunk each interval, no sooner.
constexpr std::chrono::milliseconds kTrickle = 10ms;

// Leaves `part` as the part file of an earlier save of `target`, with its
// resume record naming `validator`.
bool leavePart(const QString &target, const QByteArray &part, const QByteArray &validator)
{
    const auto put = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    const QString record = velmora::resumeRecordPath(target);
    return put(target + u".part"_s, part) && QDir().mkpath(QFileInfo(record).path()) &&
           put(record, validator);
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void results_data();
    void results();
    void options_data();
    void options();
    void save_data();
    void save();
    void terminal();

private:
    FakeResolver m_fake;
    QTemporaryDir m_cache;
    Tinyproxy m_proxy;
    bool m_proxyRuns = false;
    const quint16 m_closedPort = closedPort();
};

void TestCli::initTestCase()
{
    QVERIFY2(!programUnderTest("VELMORA_RESOLVE").isEmpty(), "VELMORA_RESOLVE names no program");
    QVERIFY(m_fake.start());
    // Resume records go here rather than into the user's cache.
    qputenv("XDG_CACHE_HOME", m_cache.path().toLocal8Bit());
    m_fake.setTrickleInterval(kTrickle);
    m_proxyRuns = m_proxy.start(); // where Debian's tinyproxy is installed
    QVERIFY(m_closedPort);
    // The system's proxy is a dead one: every request to this machine goes
    // round it, and one to the fake by another name takes --proxy or fails.
    qputenv("https_proxy", u"http://127.0.0.1:%1"_s.arg(m_closedPort).toUtf8());
}

void TestCli::results_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("stdinText");
    QTest::addColumn<QStringList>("out");     // the audio addresses printed
    QTest::addColumn<QStringList>("failing"); // the inputs named on standard error, in order
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<QJsonObject>>("json"); // per input with --json; "error" in part
    // Requests the program makes at once while the fake holds TestTone's
    // answers, with --json; 0 where it holds none.
    QTest::addColumn<int>("atOnce");

    const auto row = [](const char *name, const QStringList &arguments, const QStringList &out,
                        const QStringList &failing, int status, const QList<QJsonObject> &json = {},
                        int atOnce = 0, const QString &stdinText = {}) {
        QTest::newRow(name) << arguments << stdinText << out << failing << status << json << atOnce;
    };
    const auto url = [this](int track) {
        return m_fake.songUrl(track).toString();
    };
    const auto object = [](const QString &input, const QJsonValue &id, const QJsonValue &url,
                           const QJsonValue &name, const QJsonValue &error) {
        return QJsonObject{{u"input"_s, input},
                           {u"id"_s, id},
                           {u"url"_s, url},
                           {u"name"_s, name},
                           {u"error"_s, error}};
    };
    const QJsonValue null(QJsonValue::Null);
    const QString text = u"歌曲 ♪ 无地址"_s;
    using namespace tracks;
    const QJsonObject demo =
        object(page(Demo), QString::number(Demo), url(Demo), QLatin1String(DemoName), null);
    // Well before the built-in limits of 30 s without data and 60 s in all.
    const QStringList inOneSecond{u"--timeout"_s, u"1"_s};
    const QJsonObject stall = object(page(Stall), QString::number(Stall), null, null,
                                     causes::text(causes::kTotalTimeout).arg(1));

    row("one", {page(Demo)}, {url(Demo)}, {}, 0, {demo});
    row("stdin, blank lines", {}, {url(TwoDigit), url(Demo)}, {}, 0, {}, 0,
        " \n\n" + page(TwoDigit) + "\r\n\t\n" + page(Demo));
    row("dash in between", {page(TestTone), u"-"_s, page(Demo)},
        {url(TestTone), url(TwoDigit), url(Demo)}, {}, 0, {}, 0, page(TwoDigit) + "\n\n");
    row("no address, UTF-8", {text}, {}, {text}, 3,
        {object(text, null, null, null, messages::kNoPlayPage.toString())});
    row("one-digit id", {page(7)}, {}, {page(7)}, 3);
    const QJsonObject twoDigit = object(page(TwoDigit), QString::number(TwoDigit), url(TwoDigit),
                                        QLatin1String(TwoDigitName), null);
    const QString longInput = page(Demo) + QString(kMaxInputBytes, u'x');
    const QString longShown = longInput.left(kShownOfLongInput) + u"..."_s;
    const QString tooLong = messages::kInputTooLong.toString().arg(kMaxInputBytes);
    row("over-long argument", {longInput, page(TwoDigit)}, {url(TwoDigit)}, {longShown}, 3,
        {object(longShown, null, null, null, tooLong), twoDigit});
    row("over-long line, then the next", {}, {url(TwoDigit)}, {longShown}, 3, {}, 0,
        longInput + u'\n' + page(TwoDigit));
    // The last address of a long text counts, up to the limit.
    row("60,000-character line", {}, {url(Demo)}, {}, 0, {}, 0,
        page(Unknown) + QString(60'000 - 2 * page(Demo).size(), u'x') + page(Demo));
    row("40,000-character address", {page(LongUrl)}, {url(LongUrl)}, {}, 0);
    row("unknown", {page(Unknown)}, {}, {page(Unknown)}, 4,
        {object(page(Unknown), QString::number(Unknown), null,
                QLatin1String(velmora::kTrackNotFound), messages::kTrackNotFound.toString())});
    row("stall, --timeout 1", inOneSecond + QStringList{page(Stall)}, {}, {page(Stall)}, 5,
        {stall});
    row("file: address kept", {page(FileUrl)}, {}, {page(FileUrl)}, 5,
        {object(page(FileUrl), QString::number(FileUrl), url(FileUrl), QLatin1String(FileUrlName),
                causes::text(causes::kNotWebAddress))});
    // Plain output escapes what the terminal would act on; JSON keeps the text exact.
    const QString controlUrl = url(Demo) + QString::fromUtf16(ControlTail);
    const QString escapedUrl =
        url(Demo) +
        u"%0A%1B]0;owned%07http://127.0.0.1:1/foreign.mp3%1B[2J%C2%9B%E2%80%AE%E2%81%A63pm.exe%E2%81%A9"_s;
    row("control characters", {page(ControlChars)}, {escapedUrl}, {}, 0,
        {object(page(ControlChars), QString::number(ControlChars), controlUrl,
                QString::fromUtf16(ControlName), null)});
    const QString otherCa = QFileInfo(FakeResolver::caFilePath()).path() + u"/foreign-ca.pem"_s;
    row("another CA", {u"--cacert"_s, otherCa, page(Demo)}, {}, {page(Demo)}, 5);
    row("4 beats 3", {page(Unknown), text, page(Demo)}, {url(Demo)}, {page(Unknown), text}, 4);
    row("5 beats 4 and 3", {text, page(ServerError), page(Unknown)}, {},
        {text, page(ServerError), page(Unknown)}, 5);
    // The first answer comes last, and only once the others were asked for:
    // each is printed in input order all the same. -j 2 keeps the next
    // input until a slot is free.
    const QJsonObject tone =
        object(page(TestTone), QString::number(TestTone), url(TestTone), u"Test Tone"_s, null);
    row("-j 3, the first answer last",
        {u"-j"_s, u"3"_s, page(TestTone), page(Demo), page(TwoDigit)},
        {url(TestTone), url(Demo), url(TwoDigit)}, {}, 0, {tone, demo, twoDigit}, 3);
    row("-j 2", {u"-j"_s, u"2"_s, page(TestTone), page(TestTone), page(Demo)},
        {url(TestTone), url(TestTone), url(Demo)}, {}, 0, {tone, tone, demo}, 2);
    // The system's proxy is a dead one (initTestCase()); the fake by its name
    // goes through a proxy, and by its address never.
    const QString named = u"https://%1:%2"_s.arg(kTestHost).arg(m_fake.resolverBase().port());
    const QStringList byName{u"--resolver"_s, named, u"--proxy"_s};
    const QString namedUrl = named + u"/media/169309.mp3"_s;
    const QJsonObject proxyFailed =
        object(page(Demo), QString::number(Demo), null, null, causes::text(causes::kProxyFailed));
    row("through a proxy", byName + QStringList{m_proxy.address(), page(Demo)}, {namedUrl}, {}, 0);
    row("--proxy '', not the system's", byName + QStringList{{}, page(Demo)}, {namedUrl}, {}, 0);
    row("a dead proxy",
        byName + QStringList{u"http://127.0.0.1:%1"_s.arg(m_closedPort), page(Demo)}, {},
        {page(Demo)}, 5, {proxyFailed});
    row("a SOCKS proxy refuses",
        byName + QStringList{u"socks5://127.0.0.1:%1"_s.arg(m_closedPort), page(Demo)}, {},
        {page(Demo)}, 5, {proxyFailed});
}

void TestCli::results()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, stdinText);
    QFETCH(QStringList, out);
    QFETCH(QStringList, failing);
    QFETCH(int, status);
    QFETCH(QList<QJsonObject>, json);
    QFETCH(int, atOnce);
    if (windowsProgram() && arguments.join(u' ').size() > 32'767)
        QSKIP("Windows passes no command line longer than 32,767 characters");
    if (arguments.contains(u"--proxy"_s) && !testHostResolves())
        QSKIP("no namespace here to name the fake resolver in (see with-test-host.sh)");
    if (arguments.contains(m_proxy.address()) && !m_proxyRuns)
        QSKIP("no tinyproxy here");

    const auto r = runCli(m_fake, arguments, {.input = stdinText.toUtf8()});
    QCOMPARE(r.status, status);
    QCOMPARE(r.out, out);
    QCOMPARE(r.err.size(), failing.size());
    for (qsizetype i = 0; i < failing.size(); ++i)
        QVERIFY2(r.err.at(i).contains(u'\'' + failing.at(i) + u'\''), qPrintable(r.err.at(i)));
    const QString printed = (r.out + r.err).join(u'\n');
    QVERIFY(!printed.contains(QRegularExpression(
        u"[\\x00-\\x08\\x0b-\\x1f\\x7f-\\x9f\\x{202a}-\\x{202e}\\x{2066}-\\x{2069}]"_s)));
    if (json.isEmpty())
        return;
    // TestTone's answers wait until the program has asked for `atOnce`: it
    // must ask for as many, and for no more while they wait.
    const qsizetype before = m_fake.received().size();
    qsizetype askedAtOnce = 0;
    const auto hold = [&] {
        // Fewer, and the comparison below tells.
        std::ignore = QTest::qWaitFor([&] { return m_fake.received().size() - before >= atOnce; });
        askedAtOnce = m_fake.received().size() - before;
        m_fake.setStalled(tracks::TestTone, false);
    };
    m_fake.setStalled(tracks::TestTone, atOnce > 0);
    const auto j = runCli(m_fake, QStringList{u"--json"_s} + arguments,
                          {.meanwhile = atOnce > 0 ? hold : std::function<void()>()});
    QCOMPARE(askedAtOnce, atOnce);
    QCOMPARE(j.status, status);
    QCOMPARE(j.err, QStringList{}); // everything is in the objects, in input order
    QCOMPARE(j.out.size(), json.size());
    for (qsizetype i = 0; i < json.size(); ++i) {
        QJsonObject object = QJsonDocument::fromJson(j.out[i].toUtf8()).object(); // {}: not JSON
        const QString error = json[i].take(u"error").toString();                  // empty: null
        QVERIFY2(error.isEmpty() ? object.take(u"error").isNull()
                                 : object.take(u"error").toString().contains(error),
                 qPrintable(j.out[i]));
        QCOMPARE(object, json[i]); // and no other members
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
    // In its own words on every system, not the system's.
    const QString cannotRead = messages::kCannotReadCa.toString();
    row("unreadable CA", {u"--cacert"_s, u"/nonexistent/ca.pem"_s}, 2,
        cannotRead.arg(u"/nonexistent/ca.pem"_s, causes::text(causes::kNoSuchFile)) + u'\n');
    const QString folder = QFileInfo(FakeResolver::caFilePath()).path();
    row("CA is a folder", {u"--cacert"_s, folder}, 2,
        cannotRead.arg(folder, causes::text(causes::kIsFolder)) + u'\n');
    row("invalid CA", {u"--cacert"_s, notPem->fileName()}, 2,
        messages::kNoPemInCa.toString().arg(notPem->fileName()));
    // Help and version are answered before the values of other options are checked.
    row("--help", {u"--help"_s, u"-j"_s, u"0"_s}, 0, u"3  an input holds no play-page address"_s);
    row("-h", {u"-h"_s}, 0, u"--cacert <FILE>"_s);
    row("--version", {u"--version"_s, u"-j"_s, u"0"_s}, 0,
        messages::kVersion.toString()
            .arg(QLatin1String(kProgramName), QLatin1String(velmora::settings::kVersion))
            .trimmed());
}

void TestCli::options()
{
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, message);

    const qsizetype before = m_fake.received().size();
    const auto r = runCli(m_fake, options + QStringList{page(tracks::Demo)});
    QCOMPARE(r.status, status);
    const QString shown = (status == 0 ? r.out : r.err).join(u'\n');
    QVERIFY2(shown.contains(message), qPrintable(shown));
    QVERIFY(shown.contains(usageLine()) || status == 0);
    QCOMPARE(status == 0 ? r.err : r.out, QStringList{});
    QCOMPARE(m_fake.received().size(), before); // no request was made
}

namespace {
// What waits in the folder before a save, or the lock of a save under way.
enum class Before { Nothing, HalfPart, OtherHalfPart, HalfPartModified, LongerPart, Target, Lock };
struct Save
{
    int track;
    Before before;
    int status;
    QString ranges = {};              // the Range headers the server saw, joined; "-": any
    QString error = {};               // part of what it says of the save
    QStringList options = {};         // more arguments
    int resolves = 1;                 // of the track, in all
    qint64 sizeLimit = -1;            // of files the process may write
    QString output = u"{id}.{ext}"_s; // the template, run in the folder
    QString saved = {};               // where the file lands in it, if not "<track>.mp3"
    bool partKept = false;            // a failed save leaves its part for a later run
};
} // namespace
Q_DECLARE_METATYPE(Save)

void TestCli::save_data()
{
    QTest::addColumn<Save>("save");
    const auto row = [](const char *name, const Save &save) {
        QTest::newRow(name) << save;
    };
    using namespace tracks;
    const qsizetype size = m_fake.savedAudio().size();
    const QString half = u"bytes=%1-"_s.arg(size / 2), fromEnd = u" bytes=%1-"_s.arg(size);
    const QString retries = u"--retries"_s;
    row("whole", {SaveWhole, Before::Nothing, 0, {}});
    row("resumed by ETag", {SaveWhole, Before::HalfPart, 0, half});
    row("resumed by Last-Modified", {SaveModified, Before::HalfPartModified, 0, half});
    row("part of another version", {SaveWhole, Before::OtherHalfPart, 0, half});
    row("server ignores ranges", {SaveNoRanges, Before::HalfPart, 0, half});
    row("dropped halfway, resumed", {SaveDrop, Before::Nothing, 0, u" "_s + half});
    // A resume past the end, answered 416 with the part's size: it is whole.
    row("whole, its end never told", {SaveUnended, Before::Nothing, 0, fromEnd});
    row("part longer than the file",
        {SaveWhole, Before::LongerPart, 0, u"bytes=%1- "_s.arg(size + 4)});
    row("expired, resolved again once", {SaveExpiring, Before::Nothing, 0, u" "_s, {}, {}, 2});
    const QString gone = causes::text(causes::kGone).arg(410);
    row("gone: its part goes", {SaveGone, Before::HalfPart, 5, half + u' ' + half, gone, {}, 2});
    // Qt may send a hop again when the server closes first: not counted.
    row("redirect chain", {SaveRedirects, Before::Nothing, 0, u"-"_s});
    row("slow, progress lines", {SaveSlow, Before::Nothing, 0, {}, u"% "_s, {u"--progress"_s}});
    row("exists: kept",
        {SaveWhole, Before::Target, 0, {}, messages::kExistsAlready.toString().arg(QString())});
    row("exists: replaced", {SaveWhole, Before::Target, 0, {}, {}, {u"--force-overwrites"_s}});
    row("another save of it under way",
        {SaveWhole, Before::Lock, 5, {}, causes::text(causes::kBusy).arg(QString())});
    // With --json the path, the size saved or found and the cause are the object's.
    row("--json: kept, its size", {SaveWhole, Before::Target, 0, {}, {}, {u"--json"_s}});
    row("--json: web page",
        {SaveHtml, Before::Nothing, 5, {}, causes::text(causes::kNotAudio), {u"--json"_s}});
    const QString gaveUp = causes::text(causes::kGaveUp);
    const QString http500 = gaveUp.arg(3).arg(causes::text(causes::kHttpError).arg(500));
    const QString cutShort = gaveUp.arg(2).arg(QString());
    const QString noDisk = u".part: "_s + causes::text(causes::kDiskRefused);
    row("500 until the retries end",
        {SaveError, Before::Nothing, 5, u"  "_s, http500, {retries, u"2"_s}});
    Save shorter{SaveLonger, Before::Nothing, 5, fromEnd, cutShort, {retries, u"1"_s}};
    Save diskFull{SaveWhole, Before::Nothing, 5, {}, noDisk, {}, 1, 100'000};
    shorter.partKept = diskFull.partKept = true; // what they saved waits for a later run
    row("shorter than announced", shorter);
    row("disk full", diskFull);
    row("nothing tells the format", {SaveUntyped, Before::Nothing, 0, {}});
    // Windows' path rules, the same on every system: the template in the
    // folder, and where the file lands or why it is refused.
    const auto rule = [&row](const char *name, const QString &output, const QString &saved,
                             const QString &error = {}) {
        Save save{SaveWhole, Before::Nothing, error.isEmpty() ? 0 : 5};
        save.output = output, save.saved = saved, save.error = error;
        row(name, save);
    };
    rule("-o .", u"."_s, u"Save 900040.mp3"_s);
    rule("-o into a new folder", u"music/"_s, u"music/Save 900040.mp3"_s);
    rule("\\ separates folders", u"in\\{id}.{ext}"_s, u"in/900040.mp3"_s);
    const QString notAllowed = causes::text(causes::kNameNotAllowed);
    for (const char *name : {"nul.mp3", "Com1.x.mp3", "album.", "album ", "a:b"})
        rule(name, name + u"/{id}.{ext}"_s, {}, notAllowed.arg(QLatin1String(name)));
    const QString longPath = QString(150, u'a') + u'/' + QString(150, u'b') + u'/';
    rule("past 260 characters", longPath + u"{id}.{ext}"_s, longPath + u"900040.mp3"_s);
}

void TestCli::save()
{
    QFETCH(Save, save);
    const auto [track, before, status, ranges, error, options, resolves, sizeLimit, output, saved,
                partKept] = save;
    // The record names the folder as the program sees it, which under Wine
    // is not this test's; resuming within one run is "dropped halfway".
    if (windowsProgram() && before != Before::Nothing && before != Before::Target)
        QSKIP("no record of an earlier save can be put where the Windows program looks");
    QTemporaryDir folder; // the program's working folder
    const QString name = saved.isEmpty() ? u"%1.mp3"_s.arg(track) : saved;
    const QString target = folder.filePath(name);
    const QString record = velmora::resumeRecordPath(target);
    const QByteArray audio = m_fake.savedAudio(track);
    QLockFile lock(record + u".lock"_s);
    if (before == Before::Target) {
        QFile mine(target);
        QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
    } else if (before == Before::Lock) { // as the window or another run holds it
        QVERIFY(QDir().mkpath(QFileInfo(record).path()) && lock.tryLock());
    } else if (before != Before::Nothing) {
        // Another version's bytes differ, so taking them would show.
        QVERIFY(leavePart(target,
                          before == Before::OtherHalfPart ? QByteArray(audio.size() / 2, '\0')
                          : before == Before::LongerPart  ? audio + "more"
                                                          : audio.left(audio.size() / 2),
                          before == Before::HalfPartModified ? tracks::SavedModified
                          : before == Before::OtherHalfPart  ? "\"v0\""
                                                             : tracks::SavedETag));
    }
    const qsizetype seen = m_fake.received().size();
    const auto r = runCli(m_fake, options + QStringList{u"-o"_s, output, page(track)},
                          {.fileSizeLimit = sizeLimit, .folder = folder.path()});

    QCOMPARE(r.status, status);
    const bool json = options.contains(u"--json"_s);
    QVERIFY(!json || r.err.isEmpty());
    QString said = r.err.join(u'\n');
    QStringList printed;
    for (QString line : r.out) {
        if (json) {
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            QCOMPARE(object[u"bytes"_s], status == 0 ? QJsonValue(QFileInfo(target).size())
                                                     : QJsonValue(QJsonValue::Null));
            said += object[u"error"_s].toString();
            line = object[u"file"_s].toString();
        }
        printed << QDir::cleanPath(line.replace(u'\\', u'/')); // \ on Windows
    }
    QVERIFY2(said.contains(error), qPrintable(said));
    QCOMPARE(printed, status == 0 || json ? QStringList{name} : QStringList{});
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
    // The saved file alone, nothing half-written under its name; or the part
    // that a later run resumes, whose resume record goes with it.
    const QString fileName = QFileInfo(target).fileName();
    QCOMPARE(QFileInfo(target).dir().entryList(QDir::Files | QDir::Hidden),
             status == 0 ? QStringList{fileName}
             : partKept  ? QStringList{fileName + u".part"_s}
                         : QStringList{});
    if (!windowsProgram()) // whose records sit in Wine's profile, named from its own path
        QCOMPARE(QFileInfo::exists(record), partKept);
    if (status != 0)
        return;
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before == Before::Target && !options.contains(u"--force-overwrites"_s)
                                 ? "mine"
                                 : audio);
}

void TestCli::terminal()
{
    // A console shows the text as written, whatever its code page (437
    // under Wine here, whose console may draw a space as a cursor move).
    const QString text = u"《无地址的歌曲》"_s;
    // The progress line, redrawn in place, of a save resumed from half its
    // file: the rate is what this run took, never more than the fake's pace.
    QTemporaryDir folder;
    const QString target = folder.filePath(u"slow.mp3"_s);
    const QByteArray audio = m_fake.savedAudio(tracks::SaveSlow);
    QVERIFY(leavePart(target, audio.left(audio.size() / 2), tracks::SavedETag));
    const auto r =
        runCli(m_fake, {u"-o"_s, target, page(tracks::SaveSlow), text}, {.onTerminal = true});
    QCOMPARE(r.status, 3);
    const QString shown = r.out.join(u'\n');
    QVERIFY2(shown.contains(u'\'' + text + u'\''), qPrintable(shown));
    static const QRegularExpression rate(uR"(([0-9.]+)\s*([kM]?)B/s)"_s);
    qsizetype rates = 0;
    for (const QRegularExpressionMatch &m : rate.globalMatch(shown)) {
        const double unit = m.captured(2) == u"M"_s ? 1e6 : m.captured(2) == u"k"_s ? 1e3 : 1;
        QVERIFY2(m.captured(1).toDouble() * unit <= 1024.0 * 1000 / kTrickle.count(),
                 qPrintable(m.captured()));
        ++rates;
    }
    QVERIFY2(rates > 0, qPrintable(shown));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
