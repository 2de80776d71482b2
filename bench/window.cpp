// The window (Form1) driven by its button on the offscreen platform, one
// measure per run:
//
//   velmora-bench-window resolve [--runs N]
//       Click to result box filled, against the fake resolver in this
//       process, less the fake's own handling of each request. Beside it, a
//       bare Qt HTTPS GET of the same kind of signed request, less the same:
//       what any Qt client pays for the connection and TLS.
//   velmora-bench-window first-audio --mp3 FILE --mpv PATH --mpv-script LUA [--runs N]
//       Click to the player's position moving, for FILE served by the fake;
//       beside it, mpv started cold on the same address, start to its first
//       position. The two alternate, so both see the same machine state.
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

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

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

[[noreturn]] void Fail(const QString &why)
{
    std::fprintf(stderr, "velmora-bench-window: %s\n", qPrintable(why));
    std::exit(1);
}

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

    const std::unique_ptr<Form1> window = OpenWindow(options, fake::tracks::Demo);
    const QString expected = resolver.songUrl(fake::tracks::Demo).toString();
    QMediaPlayer *player = window->W1->mediaPlayer();

    QElapsedTimer clock;
    clock.start();
    qint64 filledAt = -1;
    QObject::connect(window->Text2, &QLineEdit::textChanged, window.get(),
                     [&](const QString &text) {
                         if (!text.isEmpty() && filledAt < 0)
                             filledAt = clock.nsecsElapsed();
                     });

    QNetworkAccessManager bare;
    const auto bareGet = [&](int run) {
        // A nonce of its own each time, as the window makes.
        QNetworkRequest request(resolver.requestUrl(QString::number(fake::tracks::Demo),
                                                    QString::number(1000000000 + run)));
        request.setSslConfiguration(fake::FakeResolver::clientSslConfiguration());
        const qint64 startedAt = clock.nsecsElapsed();
        const std::unique_ptr<QNetworkReply> reply(bare.get(request));
        if (!Await(reply.get(), &QNetworkReply::finished, 10s) ||
            reply->error() != QNetworkReply::NoError || !reply->readAll().contains("songURL"))
            Fail(QStringLiteral("bare request %1 failed: %2").arg(run).arg(reply->errorString()));
        const double total = Ms(clock.nsecsElapsed() - startedAt);
        return total - Ms(resolver.received().last().handling.count());
    };

    std::vector<double> overhead, roundTrip, handling, anchor;
    for (int run = 0; run < runs; ++run) {
        // Alternating which goes first keeps any order effect out of the ratio.
        if (run % 2 == 1)
            anchor.push_back(bareGet(run));

        window->Text2->clear(); // the same address again would not count as a change
        filledAt = -1;
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

        const double total = Ms(filledAt - clickedAt);
        const double server = Ms(resolver.received().last().handling.count());
        roundTrip.push_back(total);
        handling.push_back(server);
        overhead.push_back(total - server);

        // Let the player take up the answer before the next click, as between
        // a listener's clicks, so that its start does not run into the next
        // measure.
        const auto settled = [player] {
            const auto status = player->mediaStatus();
            return status == QMediaPlayer::BufferedMedia || status == QMediaPlayer::EndOfMedia ||
                   status == QMediaPlayer::InvalidMedia;
        };
        if (!settled() && !Await(player, &QMediaPlayer::mediaStatusChanged, 5s, settled))
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
    return 0;
}

int RunFirstAudio(int runs, const QString &mp3Path, const QString &mpvPath,
                  const QString &mpvScript)
{
    QFile mp3(mp3Path);
    if (!mp3.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot read %1").arg(mp3Path));

    fake::FakeResolver resolver;
    if (!resolver.start())
        Fail(QStringLiteral("the fake resolver cannot listen"));
    resolver.setAudio(fake::tracks::Demo, mp3.readAll());
    ResolveOptions options;
    options.resolverHost = resolver.resolverHost();
    options.fetch.ssl = fake::FakeResolver::clientSslConfiguration();
    const QString audio = resolver.songUrl(fake::tracks::Demo).toString();

    QElapsedTimer clock;
    clock.start();
    std::vector<double> ours, mpv;
    for (int run = 0; run < runs; ++run) {
        {
            // A fresh window each time: its first click, as a listener's.
            const std::unique_ptr<Form1> window = OpenWindow(options, fake::tracks::Demo);
            QMediaPlayer *player = window->W1->mediaPlayer();
            const qint64 clickedAt = clock.nsecsElapsed();
            window->Command1->click();
            if (!Await(player, &QMediaPlayer::positionChanged, 20s,
                       [player] { return player->position() > 0; }))
                Fail(QStringLiteral("our player did not advance on run %1 (status '%2')")
                         .arg(run)
                         .arg(window->W1->statusText()));
            ours.push_back(Ms(clock.nsecsElapsed() - clickedAt));
            if (window->Text2->text() != audio)
                Fail(QStringLiteral("the window played '%1'").arg(window->Text2->text()));
        }
        {
            QProcess process;
            QByteArray output; // mpv's status line goes to standard error, kept for trouble
            const auto reported = [&] {
                output += process.readAllStandardOutput();
                return output.contains("first-audio ");
            };
            const qint64 startedAt = clock.nsecsElapsed();
            process.start(mpvPath, {QStringLiteral("--no-config"), QStringLiteral("--ao=null"),
                                    QStringLiteral("--script=") + mpvScript, audio});
            if (!Await(&process, &QProcess::readyReadStandardOutput, 20s, reported))
                Fail(QStringLiteral("mpv did not report a position on run %1: %2")
                         .arg(run)
                         .arg(QString::fromLocal8Bit(output + process.readAllStandardError())));
            mpv.push_back(Ms(clock.nsecsElapsed() - startedAt));
            // The script quits mpv; it must not outlive the run either way.
            if (!process.waitForFinished(5000))
                process.kill();
            process.waitForFinished(5000);
        }
    }
    Report("first_audio_runs", double(runs));
    Report("first_audio_ours_median_ms", Median(ours));
    Report("first_audio_mpv_median_ms", Median(mpv));
    Report("first_audio_ours_max_ms", Quantile(ours, 1.0));
    Report("first_audio_mpv_max_ms", Quantile(mpv, 1.0));
    return 0;
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
    QString error;
    options.fetch.ssl = sslWithExtraCa(ca.readAll(), &error);
    if (!options.fetch.ssl)
        Fail(error);

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
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("measure"),
                                 QStringLiteral("resolve, first-audio or wait-cpu"));
    const QCommandLineOption runsOpt(QStringLiteral("runs"), QStringLiteral("Repetitions."),
                                     QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption mp3Opt(QStringLiteral("mp3"), QStringLiteral("Audio to play."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption mpvOpt(QStringLiteral("mpv"), QStringLiteral("The mpv program."),
                                    QStringLiteral("PATH"), QStringLiteral("mpv"));
    const QCommandLineOption scriptOpt(QStringLiteral("mpv-script"),
                                       QStringLiteral("Lua script that reports mpv's position."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption resolverOpt(QStringLiteral("resolver"),
                                         QStringLiteral("HOST:PORT of a running resolver."),
                                         QStringLiteral("HOST"));
    const QCommandLineOption caOpt(QStringLiteral("cacert"), QStringLiteral("Its CA, PEM."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption secondsOpt(QStringLiteral("seconds"),
                                        QStringLiteral("How long to wait."), QStringLiteral("S"),
                                        QStringLiteral("5"));
    parser.addOptions({runsOpt, mp3Opt, mpvOpt, scriptOpt, resolverOpt, caOpt, secondsOpt});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const int runs = parser.value(runsOpt).toInt();
    if (args.size() != 1 || runs < 1)
        parser.showHelp(2);
    const QString measure = args.first();
    if (measure == QLatin1String("resolve"))
        return RunResolve(runs);
    if (measure == QLatin1String("first-audio")) {
        if (!parser.isSet(mp3Opt) || !parser.isSet(scriptOpt))
            parser.showHelp(2);
        return RunFirstAudio(runs, parser.value(mp3Opt), parser.value(mpvOpt),
                             parser.value(scriptOpt));
    }
    if (measure == QLatin1String("wait-cpu")) {
        const int seconds = parser.value(secondsOpt).toInt();
        if (!parser.isSet(resolverOpt) || !parser.isSet(caOpt) || seconds < 1)
            parser.showHelp(2);
        return RunWaitCpu(runs, parser.value(resolverOpt), parser.value(caOpt), seconds);
    }
    parser.showHelp(2);
}
