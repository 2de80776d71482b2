// Every fault the resolver side can throw at us, through both front ends:
// the window must end in the request-error message with its button enabled
// again, velmora-resolve in its documented exit status. Prints one line per
// fault and "faults survived: N/N".
#include "againstfake.h"
#include "application.h"
#include "form1.h"
#include "texts.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace velmora;
using namespace velmora::fake;
using namespace velmora::testing;
using namespace std::chrono_literals;

namespace {

enum class Server { Trusted, Foreign, RefusedPort, UnknownHost };

constexpr int kCliOtherFailure = 5;
constexpr std::chrono::milliseconds kIdle = 700ms;
constexpr std::chrono::milliseconds kTotal = 2s;

} // namespace

Q_DECLARE_METATYPE(Server)

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
    QString windowOutcome(const QString &host, int track);
    QString cliOutcome(const QString &host, int track, int *status);

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
    QTest::addColumn<Server>("server");
    QTest::addColumn<int>("track");
    const auto row = [](const char *name, int track, Server server = Server::Trusted) {
        QTest::newRow(name) << server << track;
    };
    row("500 with an HTML body", tracks::ServerError);
    row("404 with an HTML body", tracks::NotFoundPage);
    row("empty body", tracks::EmptyBody);
    row("truncated JSON", tracks::TruncatedJson);
    row("Rendata null", tracks::NullRendata);
    row("no Rendata", tracks::NoRendata);
    row("songURL null", tracks::NullUrl);
    row("songURL an object", tracks::ObjectUrl);
    row("songURL an array", tracks::ArrayUrl);
    row("stall", tracks::Stall);
    row("trickle", tracks::Trickle);
    row("body over the cap", tracks::Oversized);
    row("body inflating over the cap", tracks::DeflateBomb);
    row("closed mid-body", tracks::CutShort);
    row("redirect to http", tracks::InsecureRedirect);
    row("redirect loop", tracks::RedirectLoop);
    row("refused port", tracks::Demo, Server::RefusedPort);
    row("unknown host", tracks::Demo, Server::UnknownHost);
    row("certificate from another CA", tracks::Demo, Server::Foreign);
}

void TestFaults::fault()
{
    QFETCH(Server, server);
    QFETCH(int, track);
    const QString host = hostFor(server);
    ++m_faults;

    const QString window = windowOutcome(host, track);
    int status = -1;
    const QString cli = cliOutcome(host, track, &status);
    const bool survived = window.isEmpty() && status == kCliOtherFailure;
    std::printf("%-28s | window: %s | cli: %s\n", QTest::currentDataTag(),
                qPrintable(window.isEmpty()
                               ? QStringLiteral("request-error box, button enabled again")
                               : window),
                qPrintable(cli));
    m_survived += survived;
    QVERIFY2(window.isEmpty(), qPrintable(window));
    QCOMPARE(status, kCliOtherFailure);
}

// Empty when the window behaved; otherwise what went wrong.
QString TestFaults::windowOutcome(const QString &host, int track)
{
    ResolveOptions options = fakeOptions(m_trusted, kIdle, kTotal);
    options.resolverHost = host;
    Form1 window(options);
    window.show();
    window.Text1->setText(playPage(track));
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    if (window.Command1->isEnabled())
        return QStringLiteral("button not disabled during the request");
    if (!QTest::qWaitFor([] { return QApplication::activeModalWidget(); }, 10'000))
        return QStringLiteral("no message box");
    const bool enabledWhileOpen = window.Command1->isEnabled();
    const std::optional<Box> box = closeBox(0);
    if (!box)
        return QStringLiteral("no message box");
    if (box->text != texts::kRequestError)
        return QStringLiteral("wrong message: ") + box->text;
    if (!readsChinese(box->detail) || !readsChinese(box->buttons.join(u' ')))
        return QStringLiteral("not Chinese: ") + box->detail + QStringLiteral(" | ") +
               box->buttons.join(u' ');
    if (!box->closedByEnter)
        return QStringLiteral("Enter did not close the box");
    if (enabledWhileOpen)
        return QStringLiteral("button enabled before the box was dismissed");
    if (!QTest::qWaitFor([&] { return window.Command1->isEnabled(); }, 5000))
        return QStringLiteral("button stayed disabled");
    return {};
}

QString TestFaults::cliOutcome(const QString &host, int track, int *status)
{
    const CliRun run =
        runCli(m_trusted, {QStringLiteral("--resolver"), QStringLiteral("https://") + host,
                           QStringLiteral("--timeout"), QString::number(kTotal.count() / 1000.0),
                           playPage(track)});
    *status = run.status;
    return QStringLiteral("exit %1 (%2)")
        .arg(run.status)
        .arg(run.err.join(u' ').section(QStringLiteral("': "), 1));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
