// Everything the resolver side can answer, through both front ends: what the
// window shows and plays, and velmora-resolve's exit status and output. Prints
// one line per row and "faults survived: N/N".
#include "againstfake.h"
#include "application.h"
#include "form1.h"
#include "playerwidget.h"
#include "texts.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <cstdio>

using namespace velmora;
using namespace velmora::fake;
using namespace velmora::testing;
using namespace std::chrono_literals;

namespace {
enum class Server { Trusted, Foreign, RefusedPort, UnknownHost };
// What the window does: play, show but refuse to play, or one of the boxes.
enum class Expect { Play, Refused, NotFound, RequestError };
constexpr std::chrono::milliseconds kIdle = 700ms;
constexpr std::chrono::milliseconds kTotal = 2s;
} // namespace

Q_DECLARE_METATYPE(Server)
Q_DECLARE_METATYPE(Expect)

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void fault_data();
    void fault();

private:
    QString hostFor(Server server) const;
    QString windowOutcome(const QString &host, const QString &input, Expect expect,
                          const QString &songUrl, const QString &detail);

    FakeResolver m_trusted;
    FakeResolver m_foreign{CertificateKind::Foreign};
    quint16 m_closedPort = 0;
    int m_faults = 0;
    int m_survived = 0;
};

void TestFaults::initTestCase()
{
    installTranslations(*qApp);
    QVERIFY(m_trusted.start());
    QVERIFY(m_foreign.start());
    m_trusted.setTrickleInterval(100ms);
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    m_closedPort = closed.serverPort();
}

void TestFaults::cleanupTestCase()
{
    std::printf("faults survived: %d/%d\n", m_survived, m_faults);
    std::fflush(stdout);
    QCOMPARE(m_survived, m_faults);
}

QString TestFaults::hostFor(Server server) const
{
    switch (server) {
    case Server::Trusted:
        return m_trusted.resolverHost();
    case Server::Foreign:
        return m_foreign.resolverHost();
    case Server::RefusedPort:
        return QStringLiteral("127.0.0.1:%1").arg(m_closedPort);
    case Server::UnknownHost:
        break;
    }
    return QStringLiteral("no-such-host.invalid");
}

void TestFaults::fault_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<Server>("server");
    QTest::addColumn<Expect>("expect");
    QTest::addColumn<int>("cliStatus");
    QTest::addColumn<QString>("songUrl"); // or what the box's details must hold
    const auto row = [](const char *name, int track, Expect expect, int status,
                        const QString &urlOrDetail = {}, Server server = Server::Trusted) {
        QTest::newRow(name) << QStringLiteral("  %1  ").arg(playPage(track)) << server << expect
                            << status << urlOrDetail;
    };
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
        << Server::Trusted << E::Play << 0 << url(tracks::Demo);
    // Shown as the answer has them; only web addresses are played or printed.
    row("six characters", tracks::SixCharUrl, E::Refused, 5, QStringLiteral("ab.mp3"));
    row("number address", tracks::NumberUrl, E::Refused, 5, QStringLiteral("1234567"));
    row("file: address", tracks::FileUrl, E::Refused, 5, url(tracks::FileUrl));
    row("local path", tracks::LocalPath, E::Refused, 5, url(tracks::LocalPath));
    row("relative address", tracks::RelativeUrl, E::Refused, 5, url(tracks::RelativeUrl));
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
    row("refused port", tracks::Demo, E::RequestError, 5, {}, Server::RefusedPort);
    row("unknown host", tracks::Demo, E::RequestError, 5, {}, Server::UnknownHost);
    row("certificate from another CA", tracks::Demo, E::RequestError, 5, "TLS", Server::Foreign);
}

void TestFaults::fault()
{
    QFETCH(QString, input);
    QFETCH(Server, server);
    QFETCH(Expect, expect);
    QFETCH(int, cliStatus);
    QFETCH(QString, songUrl);
    const QString host = hostFor(server);
    ++m_faults;

    const QString detail = expect == Expect::RequestError ? songUrl : QString();
    const QString window = windowOutcome(host, input, expect, songUrl, detail);
    const CliRun cli = runCli(
        m_trusted, {QStringLiteral("--resolver"), QStringLiteral("https://") + host,
                    QStringLiteral("--timeout"), QString::number(kTotal.count() / 1000.0), input});
    const QStringList expectedOut = cliStatus == 0 ? QStringList{songUrl} : QStringList{};
    const bool cliOk = cli.status == cliStatus && cli.out == expectedOut &&
                       cli.err.size() == (cliStatus == 0 ? 0 : 1);
    std::printf("%-30s | window: %s | cli: exit %d %s\n", QTest::currentDataTag(),
                qPrintable(window.isEmpty() ? QStringLiteral("as expected") : window), cli.status,
                qPrintable(cli.err.join(u' ').section(QStringLiteral("': "), 1)));
    m_survived += window.isEmpty() && cliOk;
    QVERIFY2(window.isEmpty(), qPrintable(window));
    QCOMPARE(cli.status, cliStatus);
    QCOMPARE(cli.out, expectedOut);
    QCOMPARE(cli.err.size(), cliStatus == 0 ? 0 : 1);
}

// Empty when the window behaved; otherwise what went wrong.
QString TestFaults::windowOutcome(const QString &host, const QString &input, Expect expect,
                                  const QString &songUrl, const QString &detail)
{
    ResolveOptions options = fakeOptions(m_trusted, kIdle, kTotal);
    options.resolverHost = host;
    Form1 window(options);
    window.show();
    window.Text2->setText(QStringLiteral("earlier"));
    window.Text1->setText(input);
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    if (window.Command1->isEnabled() || window.cursor().shape() != Qt::BusyCursor)
        return QStringLiteral("button not disabled or no busy cursor during the request");
    if (window.Text1->text() != input)
        return QStringLiteral("the input was cut");

    if (expect == Expect::Play || expect == Expect::Refused) {
        if (!QTest::qWaitFor([&] { return window.Command1->isEnabled(); }, 10'000))
            return QStringLiteral("button stayed disabled");
        if (QApplication::activeModalWidget())
            return QStringLiteral("a box opened");
        // Exactly what the player was given, however long.
        if (window.Text2->text() != songUrl || window.W1->url() != songUrl)
            return QStringLiteral("shown or given another address");
        if (window.W1->volume() != 100)
            return QStringLiteral("volume not 100");
        if (expect == Expect::Refused)
            return window.W1->mediaPlayer()->source().isEmpty() &&
                           window.W1->statusText() == texts::cannotPlay(texts::kBadAudioAddress)
                       ? QString()
                       : QStringLiteral("a non-web address was opened");
        return QTest::qWaitFor([&] { return window.W1->mediaPlayer()->position() > 0; }, 10'000)
                   ? QString()
                   : QStringLiteral("never played");
    }

    if (!QTest::qWaitFor([] { return QApplication::activeModalWidget(); }, 10'000))
        return QStringLiteral("no message box");
    const bool enabledWhileOpen = window.Command1->isEnabled();
    const std::optional<Box> box = closeBox(0);
    if (!box)
        return QStringLiteral("no message box");
    const bool notFound = expect == Expect::NotFound;
    if (box->text != (notFound ? texts::kNotFound : texts::kRequestError) ||
        box->title != (notFound ? texts::kNotFoundTitle : texts::kRequestErrorTitle) ||
        box->icon != (notFound ? QMessageBox::Information : QMessageBox::Critical))
        return QStringLiteral("wrong message: ") + box->text;
    if (!box->detail.contains(detail))
        return QStringLiteral("details lack '%1': %2").arg(detail, box->detail);
    if (!readsChinese(box->detail) || !readsChinese(box->buttons.join(u' ')))
        return QStringLiteral("not Chinese: ") + box->detail + QStringLiteral(" | ") +
               box->buttons.join(u' ');
    if (!box->closedByEnter)
        return QStringLiteral("Enter did not close the box");
    if (enabledWhileOpen)
        return QStringLiteral("button enabled before the box was dismissed");
    if (!QTest::qWaitFor([&] { return window.Command1->isEnabled(); }, 5000))
        return QStringLiteral("button stayed disabled");
    if (window.Text2->text() != QLatin1String("earlier") ||
        window.W1->volume() != PlayerWidget::kInitialVolume)
        return QStringLiteral("the no-audio path changed the result or the volume");
    return window.cursor().shape() == Qt::ArrowCursor ? QString()
                                                      : QStringLiteral("busy cursor left");
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
