// Everything the resolver side can answer, through the window: what it shows
// and plays. One table for what an answer comes to, another for what befalls
// a track while it plays. How velmora-resolve takes each kind of answer is in
// tests/cli.
#include "processes.h"
#include "application.h"
#include "form1.h"
#include "playerwidget.h"
#include "proxy.h"
#include "texts.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QToolButton>

#include <memory>

using namespace velmora;
using namespace velmora::fake;
using namespace velmora::testing;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {
// What the window makes of an answer: it plays the track, or shows what it
// may not play, or a box says why there is nothing.
enum class Outcome {
    Plays,
    NotOpened,  // not a web address: shown, refused before the engine
    Unplayable, // opened, and nothing in it may be played
    NotFound,
    RequestError,
};
// What befalls a playing track, and how it goes on: its address expires
// while stopped, paused or playing and is resolved again once, quietly;
// expires again after that and is reported; another track is resolved
// before the renewal comes back, and keeps playing; its connection drops and
// is picked up again; its server goes away for good, which is a network
// failure; or the listener seeks where a server that ignores byte ranges may
// not take it, and it plays on.
enum class Befalls {
    ExpiredStopped,
    ExpiredPaused,
    ExpiredPlaying,
    ExpiredTwice,
    Overtaken,
    Dropped,
    ServerGone,
    Seek
};
constexpr std::chrono::milliseconds kIdle = 700ms;
constexpr std::chrono::milliseconds kTotal = 2s;
} // namespace

Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(Befalls)

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void midTrack_data();
    void midTrack();

private:
    static void columns();
    QTestData &row(const char *name, int track, const QString &urlOrDetail = {},
                   const QString &host = {}, const QString &proxy = {});
    // The window's click on the row; null where the click went wrong.
    std::unique_ptr<Form1> click();

    Tinyproxy m_proxy;
    FakeResolver m_trusted;
    FakeResolver m_foreign{CertificateKind::Foreign};
    const quint16 m_closedPort = closedPort();
};

void TestFaults::initTestCase()
{
    installTranslations(*qApp);
    useSystemProxies();
    QVERIFY(m_proxy.start());
    QVERIFY(m_trusted.start());
    QVERIFY(m_foreign.start());
    m_trusted.setTrickleInterval(100ms);
    m_trusted.setAudio(tracks::Expiring, silentWav(30));
    m_trusted.setAudio(tracks::NoRanges, silentWav(30));
    m_trusted.setAudio(tracks::TestTone, silentWav(30));
    QVERIFY(m_closedPort);
}

void TestFaults::columns()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("host");    // of the resolver
    QTest::addColumn<QString>("songUrl"); // or what the box's details must hold
    QTest::addColumn<QString>("proxy");   // to go through, if any
}

QTestData &TestFaults::row(const char *name, int track, const QString &urlOrDetail,
                           const QString &host, const QString &proxy)
{
    return QTest::newRow(name) << u"  %1  "_s.arg(playPage(track))
                               << (host.isEmpty() ? m_trusted.resolverHost() : host) << urlOrDetail
                               << proxy;
}

std::unique_ptr<Form1> TestFaults::click()
{
    QFETCH(QString, input);
    QFETCH(QString, host);
    QFETCH(QString, proxy);

    // The window finds the proxy where the system keeps it.
    if (proxy.isEmpty())
        qunsetenv("https_proxy");
    else
        qputenv("https_proxy", proxy.toUtf8());
    ResolveOptions options = fakeOptions(m_trusted, kIdle, kTotal);
    options.resolverHost = host;
    auto window = std::make_unique<Form1>(options);
    window->show();
    window->Text2->setText(u"earlier"_s);
    window->Text1->setText(input);
    QTest::mouseClick(window->Command1, Qt::LeftButton);
    // While the request runs; the input not cut.
    if (window->Command1->isEnabled() || window->cursor().shape() != Qt::BusyCursor ||
        window->Text1->text() != input)
        return nullptr;
    return window;
}

void TestFaults::answers_data()
{
    columns();
    QTest::addColumn<Outcome>("outcome");
    using namespace tracks;
    using enum Outcome;
    const auto url = [this](int track) {
        return m_trusted.songUrl(track).toString();
    };
    row("one https redirect", Redirect, url(Demo)) << Plays;
    row("long address despite not_find", NotFindWithUrl, url(Demo)) << Plays;
    row("40,000-character address", LongUrl, url(LongUrl)) << Plays;
    // The last address of a long pasted text counts, up to the command line's 64 KiB.
    QTest::newRow("60,000-character text")
        << playPage(Unknown) + QString(60'000 - 2 * playPage(Demo).size(), u'x') + playPage(Demo)
        << m_trusted.resolverHost() << url(Demo) << QString() << Plays;
    // Resolve and media through the system's proxy alike, the media over https.
    const QString named = u"%1:%2"_s.arg(kTestHost).arg(m_trusted.resolverBase().port());
    row("through a proxy", Demo, u"https://%1/media/169309.mp3"_s.arg(named), named,
        m_proxy.address())
        << Plays;
    // Shown as the answer has it; only web addresses are played (which are,
    // tst_answer's webAudio table says).
    row("file: address", FileUrl, url(FileUrl)) << NotOpened;
    // A web address; the playlist in it names the local tone, which plays if opened.
    row("playlist of a local file", LocalPlaylist, url(LocalPlaylist)) << Unplayable;

    // A box says why there is nothing; its details hold the third column.
    row("unknown track", Unknown) << NotFound;
    row("five characters", FiveCharUrl, u"other"_s) << RequestError;
    row("NOT_FIND", UpperNotFind, u"NOT_FIND"_s) << RequestError;
    row("null name", NullName) << RequestError;
    row("500 with an HTML body", ServerError, u"HTTP 500"_s) << RequestError;
    row("404 with an HTML body", NotFoundPage, u"HTTP 404"_s) << RequestError;
    row("empty body", EmptyBody) << RequestError;
    row("truncated JSON", TruncatedJson) << RequestError;
    row("Rendata null", NullRendata, u"Rendata"_s) << RequestError;
    row("no Rendata", NoRendata, u"Rendata"_s) << RequestError;
    row("songURL null", NullUrl) << RequestError;
    row("songURL an object", ObjectUrl) << RequestError;
    row("songURL an array", ArrayUrl) << RequestError;
    row("stall", Stall) << RequestError;
    row("trickle", Trickle) << RequestError;
    row("body over the cap", Oversized, u"4194304"_s) << RequestError;
    row("body inflating over the cap", DeflateBomb, u"4194304"_s) << RequestError;
    row("closed mid-body", CutShort) << RequestError;
    row("redirect to http", InsecureRedirect) << RequestError;
    row("redirect loop", RedirectLoop) << RequestError;
    row("refused port", Demo, {}, u"127.0.0.1:%1"_s.arg(m_closedPort)) << RequestError;
    row("unknown host", Demo, {}, u"no-such-host.invalid"_s) << RequestError;
    row("dead proxy", Demo, u"代理"_s, named, u"http://127.0.0.1:%1"_s.arg(m_closedPort))
        << RequestError;
    row("certificate from another CA", Demo, u"TLS"_s, m_foreign.resolverHost()) << RequestError;
}

void TestFaults::answers()
{
    QFETCH(QString, host);
    QFETCH(QString, songUrl); // or what the box's details hold
    QFETCH(QString, proxy);
    QFETCH(Outcome, outcome);
    if (!proxy.isEmpty() && !testHostResolves())
        QSKIP("no namespace here to name the fake resolver in (see with-test-host.sh)");
    const auto seenByProxy = m_proxy.log().count(u"CONNECT "_s + host);
    const std::unique_ptr<Form1> window = click();
    QVERIFY(window);
    MpvEngine *engine = window->W1->engine();
    QSignalSpy positions(engine, &MpvEngine::positionChanged);
    if (outcome == Outcome::NotFound || outcome == Outcome::RequestError) {
        const bool notFound = outcome == Outcome::NotFound;
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget(), 10'000);
        const bool enabledWhileOpen = window->Command1->isEnabled();
        const std::optional<Box> box = closeBox(0);
        QVERIFY(box);
        QCOMPARE(box->text, (notFound ? texts::kNotFound : texts::kRequestError).toString());
        QCOMPARE(box->title,
                 (notFound ? texts::kNotFoundTitle : texts::kRequestErrorTitle).toString());
        QCOMPARE(box->icon, notFound ? QMessageBox::Information : QMessageBox::Critical);
        QVERIFY2(box->detail.contains(songUrl), qPrintable(box->detail));
        // Said once, not 连接被拒绝（连接被拒绝）.
        QVERIFY2(!box->detail.contains(QRegularExpression(u"(.+)（\\1）"_s)),
                 qPrintable(box->detail));
        const QString buttons = box->buttons.join(u' ');
        QVERIFY2(readsChinese(box->detail) && readsChinese(buttons),
                 qPrintable(box->detail + buttons));
        QVERIFY(box->closedByEnter);
        QVERIFY(!enabledWhileOpen); // not before the box is dismissed
        QTRY_VERIFY_WITH_TIMEOUT(window->Command1->isEnabled(), 5000);
        // The no-audio path leaves the result and the volume alone.
        QCOMPARE(window->Text2->text(), u"earlier"_s);
        QCOMPARE(window->W1->volume(), PlayerWidget::kInitialVolume);
        QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(window->Command1->isEnabled(), 10'000);
    QVERIFY(!QApplication::activeModalWidget());
    // Exactly what was shown and what the player was given, however long.
    QVERIFY(window->Text2->text() == songUrl && window->W1->url() == songUrl);
    QCOMPARE(window->W1->volume(), 100);
    switch (outcome) {
    case Outcome::Plays: // or has played: the tones are short, and a busy machine is slow
        QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 0 || engine->status() == PlayStatus::Ended,
                                 10'000);
        // The resolve and the player's request went through it.
        if (!proxy.isEmpty())
            QCOMPARE(m_proxy.log().count(u"CONNECT "_s + host), seenByProxy + 2);
        break;
    case Outcome::NotOpened:
        QVERIFY(engine->status() == PlayStatus::Idle &&
                window->W1->statusText() == texts::cannotPlay(texts::kBadAudioAddress));
        break;
    default: // Unplayable
        QTRY_VERIFY_WITH_TIMEOUT(window->W1->statusText().startsWith(texts::kCannotPlay), 10'000);
        for (const QList<QVariant> &position : std::as_const(positions))
            QCOMPARE(position[0].toLongLong(), 0);
    }
}

void TestFaults::midTrack_data()
{
    columns();
    QTest::addColumn<Befalls>("befalls");
    using namespace tracks;
    const QString expiring = m_trusted.mediaBase().toString() + u"/media/expiring/"_s;
    row("expired address", Expiring, expiring) << Befalls::ExpiredStopped;
    row("expired during a pause", Expiring, expiring) << Befalls::ExpiredPaused;
    row("expired while playing", Expiring, expiring) << Befalls::ExpiredPlaying;
    row("renewal overtaken by another track", Expiring, expiring) << Befalls::Overtaken;
    row("connection dropped", Expiring, expiring) << Befalls::Dropped;
    row("server gone", Expiring, expiring) << Befalls::ServerGone;
    row("seek without byte ranges", NoRanges, m_trusted.songUrl(NoRanges).toString())
        << Befalls::Seek;
    row("expired again after renewal", Expiring, expiring) << Befalls::ExpiredTwice;
}

void TestFaults::midTrack()
{
    QFETCH(QString, songUrl);
    QFETCH(Befalls, befalls);
    const std::unique_ptr<Form1> window = click();
    QVERIFY(window);
    PlayerWidget *player = window->W1;
    MpvEngine *engine = player->engine();
    const bool stop = befalls == Befalls::ExpiredStopped || befalls == Befalls::ExpiredTwice;
    QTRY_VERIFY_WITH_TIMEOUT(engine->position() > (stop ? 0 : 1500), 10'000);
    const QString first = window->Text2->text();
    const int resolves = m_trusted.resolvesOf(tracks::Expiring);
    const auto press = [&](const char *button) {
        QTest::mouseClick(player->findChild<QToolButton *>(QLatin1String(button)), Qt::LeftButton);
    };
    if (befalls == Befalls::ExpiredStopped || befalls == Befalls::ExpiredPaused ||
        befalls == Befalls::ExpiredTwice) {
        press(stop ? "stopButton" : "playButton"); // which pauses while playing
        QTRY_VERIFY(engine->state() != PlayState::Playing);
    }
    const qint64 left = engine->position();
    QSignalSpy positions(engine, &MpvEngine::positionChanged);
    switch (befalls) {
    case Befalls::Dropped:
        m_trusted.cutStreams();
        break;
    case Befalls::ServerGone:
        m_trusted.expireAddresses(false, true);
        break;
    case Befalls::Overtaken: {
        m_trusted.setStalled(tracks::Expiring);
        const auto unstall = qScopeGuard([this] { m_trusted.setStalled(tracks::Expiring, false); });
        m_trusted.expireAddresses();
        QTRY_VERIFY_WITH_TIMEOUT(m_trusted.resolvesOf(tracks::Expiring) > resolves, 10'000);
        window->Text1->setText(playPage(tracks::TestTone));
        QTest::mouseClick(window->Command1, Qt::LeftButton);
        const QString other = m_trusted.songUrl(tracks::TestTone).toString();
        QTRY_VERIFY_WITH_TIMEOUT(player->url() == other && engine->position() > 0, 10'000);
        // Long after the renewal would have come back or given up.
        QTRY_VERIFY_WITH_TIMEOUT(engine->position() > 2 * kIdle.count(), 10'000);
        QCOMPARE(player->url(), other);
        QCOMPARE(window->Text2->text(), other);
        QCOMPARE(player->statusText(), texts::playing(u"Test Tone"_s));
        return;
    }
    case Befalls::Seek: // far past what has arrived
        player->findChild<QSlider *>(u"positionSlider"_s)->setValue(25'000);
        break;
    default:
        m_trusted.expireAddresses(befalls == Befalls::ExpiredTwice);
        if (befalls != Befalls::ExpiredPlaying)
            press("playButton");
    }

    if (befalls == Befalls::ExpiredTwice) {
        QTRY_VERIFY_WITH_TIMEOUT(player->statusText().startsWith(texts::kCannotPlay), 10'000);
    } else if (befalls == Befalls::ServerGone) {
        // After ffmpeg's reconnects, some 11 s; the audio bought plays meanwhile.
        QTRY_COMPARE_WITH_TIMEOUT(player->statusText(), texts::cannotPlay(texts::kNetwork), 20'000);
        QCOMPARE(window->Text2->text(), first);
    } else if (befalls == Befalls::Dropped || befalls == Befalls::Seek) {
        // Plays on, the same address.
        QTRY_VERIFY_WITH_TIMEOUT(engine->position() > left + 1000, 10'000);
        QCOMPARE(window->Text2->text(), first);
        QVERIFY(player->statusText().startsWith(texts::kPlaying));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(window->Text2->text() != first && engine->position() > left,
                                 20'000);
    }
    // On from where it was left, not from the start: only the unloads in
    // between report a position before it.
    for (const QList<QVariant> &position : std::as_const(positions))
        QVERIFY(position[0].toLongLong() == 0 || position[0].toLongLong() >= left);
    QVERIFY(window->Text2->text().startsWith(songUrl) && player->url() == window->Text2->text());
    // Once, quietly, when it expired; not at all when it did not.
    const bool expired =
        befalls != Befalls::Dropped && befalls != Befalls::Seek && befalls != Befalls::ServerGone;
    QCOMPARE(m_trusted.resolvesOf(tracks::Expiring), resolves + expired);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
