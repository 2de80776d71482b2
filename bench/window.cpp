// The window (Form1) driven by its button on the offscreen platform, one
// measure per run:
//
//   velmora-bench-window resolve [--runs N]
//       Click to result box filled, against the fake resolver in this
//       process, less the fake's own handling of each request. Beside it, a
//       bare Qt HTTPS GET of the same kind of signed request, less the same:
//       what any Qt client pays for the connection and TLS.
//   velmora-bench-window first-sound --resolver HOST:PORT [--cacert FILE]
//       One window against that resolver (trusted through the system's
//       store unless FILE is given), driven by bench/first_sound.py,
//       which hears the sound at the sound server: "ready" once shown; on
//       "click" on standard input it clicks 点击解析 and prints the
//       CLOCK_MONOTONIC time taken just before, then when each stage of the
//       player's start was reached; "stop" silences the player for another
//       click; "quit" or the end of the input ends it.
//   velmora-bench-window wait-cpu --resolver HOST:PORT --cacert FILE [--seconds S] [--runs N]
//       CPU time of this process while the resolver (another process, so
//       none of its work counts here) sits on the request.
//
// Figures go to standard output as "name value" lines; trouble goes to
// standard error with a non-zero exit status.
#include "fakeresolver.h"
#include "form1.h"
#include "playerwidget.h"
#include "resolvecommand.h"
#include "settings.h"
#include "stats.h"

#ifdef VELMORA_GLIBC_HEAP
#include "playbackmemory.h"
#endif

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

using namespace velmora;
using namespace velmora::bench;
using namespace std::chrono_literals;

namespace {

// Runs the event loop until `signal` arrives with `done()` true, or the time
// is up. False on time-out. Callers check `done()` themselves where it may
// already hold.
template <typename Sender, typename Signal>
bool Await(
    Sender *sender, Signal signal, std::chrono::milliseconds timeout,
    const std::function<bool()> &done = [] { return true; })
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.exit(0);
    });
    QTimer::singleShot(timeout, &loop, [&] { loop.exit(1); });
    return loop.exec() == 0;
}

std::unique_ptr<Form1> OpenWindow(const ResolveOptions &options, int trackId)
{
    auto window = std::make_unique<Form1>(options);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        Fail(QStringLiteral("the window was never exposed"));
    window->Text1->setText(
        QStringLiteral("http://%1/play/%2.html").arg(settings::kSiteHost).arg(trackId));
    return window;
}

double Ms(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

int RunResolve(int runs)
{
    fake::FakeResolver resolver;
    if (!resolver.start())
        Fail(QStringLiteral("the fake resolver cannot listen"));
    ResolveOptions options;
    options.resolverHost = resolver.resolverHost();
    options.fetch.ssl = fake::FakeResolver::clientSslConfiguration();
    const QString expected = resolver.songUrl(fake::tracks::Demo).toString();

    QElapsedTimer clock;
    clock.start();

    const auto bareGet = [&](int run) {
        // A manager of its own each time: a fresh connection, handshake and
        // all, as a Qt client's first request to a host pays.
        QNetworkAccessManager bare;
        // A nonce of its own each time, as the window makes.
        QNetworkRequest request(resolver.requestUrl(QString::number(fake::tracks::Demo),
                                                    QString::number(1000000000 + run)));
        request.setSslConfiguration(fake::FakeResolver::clientSslConfiguration());
        const int connectionsBefore = resolver.connections();
        const qint64 startedAt = clock.nsecsElapsed();
        const std::unique_ptr<QNetworkReply> reply(bare.get(request));
        if (!Await(reply.get(), &QNetworkReply::finished, 10s) ||
            reply->error() != QNetworkReply::NoError || !reply->readAll().contains("songURL"))
            Fail(QStringLiteral("bare request %1 failed: %2").arg(run).arg(reply->errorString()));
        const double total = Ms(clock.nsecsElapsed() - startedAt);
        if (resolver.connections() != connectionsBefore + 1)
            Fail(QStringLiteral("bare request %1 did not open one connection").arg(run));
        return total - Ms(resolver.received().last().handling.count());
    };

    std::vector<double> overhead, roundTrip, handling, anchor;
    int newConnections = 0;
    for (int run = 0; run < runs; ++run) {
        // Alternating which goes first keeps any order effect out of the ratio.
        if (run % 2 == 1)
            anchor.push_back(bareGet(run));

        // A fresh window each run, as a listener meets it: opened, left to
        // open its connection while the address is pasted, then clicked. The
        // first click is the one every listener makes; later clicks in one
        // window only reuse the connection this one leaves open.
        const int connectionsBefore = resolver.connections();
        const std::unique_ptr<Form1> window = OpenWindow(options, fake::tracks::Demo);
        // The fake takes a connection once its side of the handshake is done.
        if (!QTest::qWaitFor([&] { return resolver.connections() > connectionsBefore; }, 5000))
            Fail(QStringLiteral("window %1 opened no connection of its own").arg(run));
        // Less than a listener takes to paste an address and click.
        QTest::qWait(500);
        const int connectionsWarm = resolver.connections();

        MpvEngine *player = window->W1->engine();
        qint64 filledAt = -1;
        QObject::connect(window->Text2, &QLineEdit::textChanged, window.get(),
                         [&](const QString &text) {
                             if (!text.isEmpty() && filledAt < 0)
                                 filledAt = clock.nsecsElapsed();
                         });
        const qsizetype requestsBefore = resolver.received().size();

        const qint64 clickedAt = clock.nsecsElapsed();
        window->Command1->click();
        if (!Await(window->resolveCommand(), &ResolveCommand::finished, 10s))
            Fail(QStringLiteral("resolve %1 did not finish").arg(run));
        if (filledAt < 0 || window->Text2->text() != expected)
            Fail(QStringLiteral("resolve %1 gave '%2'").arg(run).arg(window->Text2->text()));
        if (resolver.received().size() != requestsBefore + 1 ||
            !resolver.received().last().signatureOk)
            Fail(QStringLiteral("resolve %1 did not make exactly one signed request").arg(run));
        newConnections += resolver.connections() - connectionsWarm;

        const double total = Ms(filledAt - clickedAt);
        const double server = Ms(resolver.received().last().handling.count());
        roundTrip.push_back(total);
        handling.push_back(server);
        overhead.push_back(total - server);

        // Let the player take up the answer before the window goes, so that
        // its start does not run into the next measure.
        bool failed = false;
        QObject::connect(player, &MpvEngine::failed, window.get(), [&failed] { failed = true; });
        const std::function<bool()> settled = [player, &failed] {
            return failed || player->status() == PlayStatus::Loaded ||
                   player->status() == PlayStatus::Ended;
        };
        if (!settled() && !Await(player, &MpvEngine::statusChanged, 5s, settled))
            std::fprintf(stderr, "velmora-bench-window: the player did not start on run %d\n", run);

        if (run % 2 == 0)
            anchor.push_back(bareGet(run));
    }
    Report("resolve_runs", double(runs));
    Report("resolve_overhead_median_ms", Median(overhead));
    Report("resolve_overhead_p90_ms", Quantile(overhead, 0.9));
    Report("resolve_overhead_first_ms", overhead.front());
    Report("resolve_roundtrip_median_ms", Median(roundTrip));
    Report("resolve_fake_handling_median_ms", Median(handling));
    Report("resolve_bare_get_median_ms", Median(anchor));
    // Connections the clicks opened beyond the windows' own warm ones: 0
    // when every click took the connection its window had opened.
    Report("resolve_new_connections", double(newConnections));
    return 0;
}

// The clock bench/first_sound.py reads as well (Python's time.monotonic()
// is CLOCK_MONOTONIC on Linux), so that the click and the sound it hears are
// on one time line across the two processes.
double MonotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void Say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// "mark STAGE SECONDS": when the window reached a stage after the click.
void Mark(const char *stage)
{
    Say(QStringLiteral("mark %1 %2").arg(QLatin1String(stage)).arg(MonotonicSeconds(), 0, 'f', 6));
}

// A click that ends in a message box plays nothing: says so as soon as the
// window opens one, rather than leave the script waiting for a sound.
class BoxWatch : public QObject
{
protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded) {
            // Added from its constructor: its texts come a moment later.
            const QPointer<QObject> child = static_cast<QChildEvent *>(event)->child();
            QTimer::singleShot(0, this, [child] {
                if (const auto *box = qobject_cast<const QMessageBox *>(child.data()))
                    Say(QStringLiteral("failed resolve: ") + box->text() + u' ' +
                        box->detailedText());
            });
        }
        return false;
    }
};

int RunFirstSound(const QString &host, const QString &caFile)
{
    ResolveOptions options;
    options.resolverHost = host;
    if (!caFile.isEmpty()) {
        QFile ca(caFile);
        if (!ca.open(QIODevice::ReadOnly))
            Fail(QStringLiteral("cannot read %1").arg(caFile));
        options.fetch.ssl = sslWithExtraCa(ca.readAll());
        if (!options.fetch.ssl)
            Fail(QStringLiteral("no PEM certificate in %1").arg(ca.fileName()));
    }

    const std::unique_ptr<Form1> window = OpenWindow(options, fake::tracks::Demo);
    MpvEngine *player = window->W1->engine();
    bool clicked = false;
    bool moved = false;
    QObject::connect(window->Text2, &QLineEdit::textChanged, window.get(),
                     [&](const QString &text) {
                         if (clicked && !text.isEmpty()) {
                             Mark("resolved");
                             Say(QStringLiteral("address ") + text);
                         }
                     });
    QObject::connect(player, &MpvEngine::statusChanged, window.get(), [&](PlayStatus status) {
        if (clicked && status == PlayStatus::Loading)
            Mark("loading");
        else if (clicked && status == PlayStatus::Loaded)
            Mark("loaded");
    });
    QObject::connect(player, &MpvEngine::positionChanged, window.get(), [&](qint64 position) {
        if (clicked && !moved && position > 0) {
            moved = true;
            Mark("position");
        }
    });
    QObject::connect(player, &MpvEngine::failed, window.get(), [](PlayFailure, const QString &why) {
        Say(QStringLiteral("failed player: ") + why);
    });
    BoxWatch boxes;
    window->installEventFilter(&boxes);

    // Commands come one per line; the end of the input ends the program, so
    // that it never outlives the script driving it.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, window.get(), [&] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, got);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QByteArray command = pending.left(end).trimmed();
            if (command == "click") {
                clicked = true;
                moved = false;
                const double at = MonotonicSeconds();
                window->Command1->click();
                Say(QStringLiteral("clicked %1").arg(at, 0, 'f', 6));
            } else if (command == "stop") {
                // Silence before another click in the same window.
                player->stop();
                Say(QStringLiteral("stopped"));
            } else if (command == "quit") {
                QCoreApplication::quit();
            }
        }
    });
    Say(QStringLiteral("ready"));
    return QCoreApplication::exec();
}

double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) {
        return double(t.tv_sec) * 1e3 + t.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

int RunWaitCpu(int runs, const QString &host, const QString &caFile, int seconds)
{
    QFile ca(caFile);
    if (!ca.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot read %1").arg(caFile));
    ResolveOptions options;
    options.resolverHost = host;
    options.fetch.ssl = sslWithExtraCa(ca.readAll());
    if (!options.fetch.ssl)
        Fail(QStringLiteral("no PEM certificate in %1").arg(ca.fileName()));

    std::vector<double> percent, cpu;
    for (int run = 0; run < runs; ++run) {
        const std::unique_ptr<Form1> window = OpenWindow(options, fake::tracks::Stall);
        const double cpuBefore = CpuMs();
        QElapsedTimer wall;
        wall.start();
        window->Command1->click();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::seconds(seconds), &loop, &QEventLoop::quit);
        loop.exec();
        const double used = CpuMs() - cpuBefore;
        const double elapsed = Ms(wall.nsecsElapsed());

        // Still waiting: no message box, nothing in the result box, the
        // request alive. Otherwise this measured something else.
        if (!window->findChildren<QMessageBox *>().isEmpty() || !window->Text2->text().isEmpty() ||
            !window->resolveCommand()->request())
            Fail(QStringLiteral("the request ended before %1 s; is the resolver at %2?")
                     .arg(seconds)
                     .arg(host));
        cpu.push_back(used);
        percent.push_back(100.0 * used / elapsed);
    }
    Report("wait_runs", double(runs));
    Report("wait_seconds", double(seconds));
    Report("wait_cpu_median_ms", Median(cpu));
    Report("wait_cpu_median_percent", Median(percent));
    Report("wait_cpu_max_percent", Quantile(percent, 1.0));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef VELMORA_GLIBC_HEAP
    velmora::keepPlaybackMemory(); // as the program does
#endif
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("measure"),
                                 QStringLiteral("resolve, first-sound or wait-cpu"));
    const QCommandLineOption runsOpt(QStringLiteral("runs"), QStringLiteral("Repetitions."),
                                     QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption resolverOpt(QStringLiteral("resolver"),
                                         QStringLiteral("HOST:PORT of a running resolver."),
                                         QStringLiteral("HOST"));
    const QCommandLineOption caOpt(QStringLiteral("cacert"), QStringLiteral("Its CA, PEM."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption secondsOpt(QStringLiteral("seconds"),
                                        QStringLiteral("How long to wait."), QStringLiteral("S"),
                                        QStringLiteral("5"));
    parser.addOptions({runsOpt, resolverOpt, caOpt, secondsOpt});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const int runs = parser.value(runsOpt).toInt();
    if (args.size() != 1 || runs < 1)
        parser.showHelp(2);
    const QString measure = args.first();
    if (measure == QLatin1String("resolve"))
        return RunResolve(runs);
    if (measure == QLatin1String("first-sound")) {
        if (!parser.isSet(resolverOpt))
            parser.showHelp(2);
        return RunFirstSound(parser.value(resolverOpt), parser.value(caOpt));
    }
    if (measure == QLatin1String("wait-cpu")) {
        const int seconds = parser.value(secondsOpt).toInt();
        if (!parser.isSet(resolverOpt) || !parser.isSet(caOpt) || seconds < 1)
            parser.showHelp(2);
        return RunWaitCpu(runs, parser.value(resolverOpt), parser.value(caOpt), seconds);
    }
    parser.showHelp(2);
}
