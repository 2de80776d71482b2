// Everything the resolver side can answer, through both front ends: what the
// window shows and plays, and velmora-resolve's exit status and output. Prints
// one line per row and "faults survived: N/N".
#include "againstfake.h"
#include "application.h"
#include "form1.h"
#include "playerwidget.h"
#include "texts.h"

#include "fetch.h"
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QToolButton>

#include <cstdio>

using namespace velmora;
using namespace velmora::fake;
using namespace velmora::testing;
using namespace std::chrono_literals;

namespace {
// What the window does: play, show but refuse to play, or one of the boxes;
// or play until the address expires while stopped, paused or playing, then
// resolve it again once, quietly, and play on or, refused again, say so.
enum class Expect {
    Play,
    Refused,
    NotFound,
    RequestError,
    Renewed,
    RenewedPaused,
    RenewedPlaying,
    RenewedRefused
};
constexpr std::chrono::milliseconds kIdle = 700ms;
constexpr std::chrono::milliseconds kTotal = 2s;
} // namespace

Q_DECLARE_METATYPE(Expect)

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void fault_data();
    void fault();

private:
    Tinyproxy m_proxy;
    FakeResolver m_trusted;
    FakeResolver m_foreign{CertificateKind::Foreign};
    int m_faults = 0;
    int m_survived = 0;
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
}

void TestFaults::cleanup()
{
    ++m_faults;
    m_survived += !QTest::currentTestFailed();
    std::printf("%-30s | %s\n", QTest::currentDataTag(),
                QTest::currentTestFailed() ? "FAILED" : "survived");
}

void TestFaults::cleanupTestCase()
{
    std::printf("faults survived: %d/%d\n", m_survived, m_faults);
    std::fflush(stdout);
    QCOMPARE(m_survived, m_faults);
}

void TestFaults::fault_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("host"); // of the resolver
    QTest::addColumn<Expect>("expect");
    QTest::addColumn<int>("cliStatus");
    QTest::addColumn<QString>("songUrl"); // or what the box's details must hold
    QTest::addColumn<QString>("proxy");   // to go through, if any
    const auto row = [this](const char *name, int track, Expect expect, int status,
                            const QString &urlOrDetail = {}, const QString &host = {},
                            const QString &proxy = {}) {
        QTest::newRow(name) << QStringLiteral("  %1  ").arg(playPage(track))
                            << (host.isEmpty() ? m_trusted.resolverHost() : host) << expect
                            << status << urlOrDetail << proxy;
    };
    QTcpServer closed; // gone, with its port, before the rows run
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const auto url = [this](int track) {
        return m_trusted.songUrl(track).toString();
    };
    using E = Expect;
    row("example track", tracks::Demo, E::Play, 0, url(tracks::Demo));
    row("two-digit id", tracks::TwoDigit, E::Play, 0, url(tracks::TwoDigit));
    row("one https redirect", tracks::Redirect, E::Play, 0, url(tracks::Demo));
    row("long address despite not_find", tracks::NotFindWithUrl, E::Play, 0, url(tracks::Demo));
    row("40,000-character address", tracks::LongUrl, E::Play, 0, url(tracks::LongUrl));
    // The last address of a long pasted text counts, past any length limit.
    QTest::newRow("100,000-character text")
        << playPage(tracks::Unknown) + QString(100'000 - 2 * playPage(tracks::Demo).size(), u'x') +
               playPage(tracks::Demo)
        << m_trusted.resolverHost() << E::Play << 0 << url(tracks::Demo) << QString();
    // Shown as the answer has them; only web addresses are played or printed.
    row("six characters", tracks::SixCharUrl, E::Refused, 5, QStringLiteral("ab.mp3"));
    row("number address", tracks::NumberUrl, E::Refused, 5, QStringLiteral("1234567"));
    row("file: address", tracks::FileUrl, E::Refused, 5, url(tracks::FileUrl));
    row("local path", tracks::LocalPath, E::Refused, 5, url(tracks::LocalPath));
    row("relative address", tracks::RelativeUrl, E::Refused, 5, url(tracks::RelativeUrl));
    // Expiring's addresses differ from resolve to resolve: only the start is known.
    const QString expiring = m_trusted.mediaBase().toString() + QStringLiteral("/media/expiring/");
    row("expired address", tracks::Expiring, E::Renewed, 0, expiring);
    row("expired during a pause", tracks::Expiring, E::RenewedPaused, 0, expiring);
    row("expired while playing", tracks::Expiring, E::RenewedPlaying, 0, expiring);
    row("expired again after renewal", tracks::Expiring, E::RenewedRefused, 0, expiring);
    row("unknown track", tracks::Unknown, E::NotFound, 4);
    row("five characters", tracks::FiveCharUrl, E::RequestError, 5, QStringLiteral("other"));
    row("NOT_FIND", tracks::UpperNotFind, E::RequestError, 5, QStringLiteral("NOT_FIND"));
    row("null name", tracks::NullName, E::RequestError, 5);
    row("500 with an HTML body", tracks::ServerError, E::RequestError, 5, "HTTP 500");
    row("404 with an HTML body", tracks::NotFoundPage, E::RequestError, 5, "HTTP 404");
    row("empty body", tracks::EmptyBody, E::RequestError, 5);
    row("truncated JSON", tracks::TruncatedJson, E::RequestError, 5);
    row("Rendata null", tracks::NullRendata, E::RequestError, 5, "Rendata");
    row("no Rendata", tracks::NoRendata, E::RequestError, 5, "Rendata");
    row("songURL null", tracks::NullUrl, E::RequestError, 5);
    row("songURL an object", tracks::ObjectUrl, E::RequestError, 5);
    row("songURL an array", tracks::ArrayUrl, E::RequestError, 5);
    row("stall", tracks::Stall, E::RequestError, 5);
    row("trickle", tracks::Trickle, E::RequestError, 5);
    row("body over the cap", tracks::Oversized, E::RequestError, 5, "4194304");
    row("body inflating over the cap", tracks::DeflateBomb, E::RequestError, 5, "4194304");
    row("closed mid-body", tracks::CutShort, E::RequestError, 5);
    row("redirect to http", tracks::InsecureRedirect, E::RequestError, 5);
    row("redirect loop", tracks::RedirectLoop, E::RequestError, 5);
    row("refused port", tracks::Demo, E::RequestError, 5, {},
        QStringLiteral("127.0.0.1:%1").arg(closed.serverPort()));
    row("unknown host", tracks::Demo, E::RequestError, 5, {},
        QStringLiteral("no-such-host.invalid"));
    const QString named =
        QStringLiteral("%1:%2").arg(kTestHost).arg(m_trusted.resolverBase().port());
    row("through a proxy", tracks::Demo, E::Play, 0, url(tracks::Demo), named, m_proxy.address());
    row("dead proxy", tracks::Demo, E::RequestError, 5, QStringLiteral("代理"), named,
        QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    row("certificate from another CA", tracks::Demo, E::RequestError, 5, "TLS",
        m_foreign.resolverHost());
}

void TestFaults::fault()
{
    QFETCH(QString, input);
    QFETCH(QString, host);
    QFETCH(Expect, expect);
    QFETCH(int, cliStatus);
    QFETCH(QString, songUrl);
    QFETCH(QString, proxy);
    if (!proxy.isEmpty() && !testHostResolves())
        QSKIP("no namespace here to name the fake resolver in (see with-test-host.sh)");

    // The command line is told the proxy; the window finds it where the
    // system keeps it.
    const QStringList proxyOption{QStringLiteral("--proxy"), proxy};
    if (proxy.isEmpty())
        qunsetenv("https_proxy");
    else
        qputenv("https_proxy", proxy.toUtf8());
    const auto seenByProxy = m_proxy.log().count(QStringLiteral("CONNECT ") + host);
    const CliRun cli = runCli(
        m_trusted,
        QStringList{QStringLiteral("--resolver"), QStringLiteral("https://") + host,
                    QStringLiteral("--timeout"), QString::number(kTotal.count() / 1000.0), input} +
            (proxy.isEmpty() ? QStringList() : proxyOption));
    QCOMPARE(cli.status, cliStatus);
    const bool renews = expect >= Expect::Renewed;
    if (renews)
        QVERIFY(cli.out.size() == 1 && cli.out[0].startsWith(songUrl));
    else
        QCOMPARE(cli.out, cliStatus == 0 ? QStringList{songUrl} : QStringList{});
    QCOMPARE(cli.err.size(), cliStatus == 0 ? 0 : 1);

    ResolveOptions options = fakeOptions(m_trusted, kIdle, kTotal);
    options.resolverHost = host;
    Form1 window(options);
    window.show();
    window.Text2->setText(QStringLiteral("earlier"));
    window.Text1->setText(input);
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    QVERIFY(!window.Command1->isEnabled()); // while the request runs
    QCOMPARE(window.cursor().shape(), Qt::BusyCursor);
    QVERIFY(window.Text1->text() == input); // not cut

    if (renews) {
        const bool stop = expect == Expect::Renewed || expect == Expect::RenewedRefused;
        MpvEngine *player = window.W1->engine();
        QTRY_VERIFY_WITH_TIMEOUT(player->position() > (stop ? 0 : 1500), 10'000);
        const QString first = window.Text2->text();
        const int resolves = m_trusted.resolvesOf(tracks::Expiring);
        const auto press = [&](const char *button) {
            QTest::mouseClick(window.W1->findChild<QToolButton *>(QLatin1String(button)),
                              Qt::LeftButton);
        };
        if (expect != Expect::RenewedPlaying) {
            press(stop ? "stopButton" : "playButton"); // which pauses while playing
            QTRY_VERIFY(player->state() != MpvEngine::State::Playing);
        }
        const qint64 left = player->position();
        QSignalSpy positions(player, &MpvEngine::positionChanged);
        m_trusted.expireAddresses(expect == Expect::RenewedRefused);
        if (expect != Expect::RenewedPlaying)
            press("playButton");
        if (expect == Expect::RenewedRefused)
            QTRY_VERIFY_WITH_TIMEOUT(window.W1->statusText().startsWith(texts::kCannotPlay),
                                     10'000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(window.Text2->text() != first && player->position() > left,
                                     20'000);
        // On from where it was left, not from the start: only the unloads in
        // between report a position before it.
        for (const QList<QVariant> &position : positions)
            QVERIFY(position[0].toLongLong() == 0 || position[0].toLongLong() >= left);
        QVERIFY(window.Text2->text().startsWith(songUrl) &&
                window.W1->url() == window.Text2->text());
        QCOMPARE(m_trusted.resolvesOf(tracks::Expiring), resolves + 1); // once, quietly
        QVERIFY(!QApplication::activeModalWidget());
        return;
    }
    if (expect == Expect::Play || expect == Expect::Refused) {
        QTRY_VERIFY_WITH_TIMEOUT(window.Command1->isEnabled(), 10'000);
        QVERIFY(!QApplication::activeModalWidget());
        // Exactly what was shown and what the player was given, however long.
        QVERIFY(window.Text2->text() == songUrl && window.W1->url() == songUrl);
        QCOMPARE(window.W1->volume(), 100);
        if (!proxy.isEmpty()) // both front ends went through it
            QCOMPARE(m_proxy.log().count(QStringLiteral("CONNECT ") + host), seenByProxy + 2);
        if (expect == Expect::Play)
            QTRY_VERIFY_WITH_TIMEOUT(window.W1->engine()->position() > 0, 10'000);
        else // a non-web address is never opened
            QVERIFY(window.W1->engine()->status() == MpvEngine::Status::Idle &&
                    window.W1->statusText() == texts::cannotPlay(texts::kBadAudioAddress));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget(), 10'000);
    const bool enabledWhileOpen = window.Command1->isEnabled();
    const std::optional<Box> box = closeBox(0);
    QVERIFY(box);
    const bool notFound = expect == Expect::NotFound;
    QCOMPARE(box->text, (notFound ? texts::kNotFound : texts::kRequestError).toString());
    QCOMPARE(box->title, (notFound ? texts::kNotFoundTitle : texts::kRequestErrorTitle).toString());
    QCOMPARE(box->icon, notFound ? QMessageBox::Information : QMessageBox::Critical);
    QVERIFY2(box->detail.contains(songUrl), qPrintable(box->detail));
    const QString buttons = box->buttons.join(u' ');
    QVERIFY2(readsChinese(box->detail) && readsChinese(buttons), qPrintable(box->detail + buttons));
    QVERIFY(box->closedByEnter);
    QVERIFY(!enabledWhileOpen); // not before the box is dismissed
    QTRY_VERIFY_WITH_TIMEOUT(window.Command1->isEnabled(), 5000);
    // The no-audio path leaves the result and the volume alone.
    QCOMPARE(window.Text2->text(), QStringLiteral("earlier"));
    QCOMPARE(window.W1->volume(), PlayerWidget::kInitialVolume);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
