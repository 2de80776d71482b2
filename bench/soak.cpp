// One window resolving and playing again and again, as a listener going
// through a long list would, watching this process for what it keeps:
//
//   velmora-bench-soak --resolver HOST:PORT --cacert FILE --media BASE [--cycles N]
//       [--only resolve|player]
//
// Each cycle puts a play-page address in the input box, clicks 点击解析 and
// waits (on the window's and the player's signals) until the result box
// holds the expected audio address and the player is playing it; the cycles
// alternate two tracks of the resolver (another process, so that none of its
// memory counts here), an MP3 and a WAV. Resident memory, the heap in use
// and open file descriptors are sampled every cycle. --only resolve or
// --only player runs one half alone, to tell where growth comes from.
//
// Figures go to standard output as "name value" lines, progress and trouble
// to standard error.
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
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <vector>

using namespace velmora;
using namespace velmora::bench;
using namespace std::chrono_literals;

namespace {

// VmRSS, in MB (10^6 bytes) like the rest of the table.
double ResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot read /proc/self/status"));
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() * 1024.0 / 1e6;
    Fail(QStringLiteral("no VmRSS in /proc/self/status"));
}

// What malloc has handed out and not had back, in MB: growth here is memory
// held, growth of the resident set alone is the heap's own slack.
double HeapInUseMb()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1e6;
}

int OpenDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

struct SoakTrack
{
    int id;
    QString address; // what goes into the input box
    QString audio;   // what the result box must show
};

} // namespace

int main(int argc, char *argv[])
{
#ifdef VELMORA_GLIBC_HEAP
    velmora::keepPlaybackMemory(); // as the program does
#endif
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption resolverOpt(QStringLiteral("resolver"),
                                         QStringLiteral("HOST:PORT of a running resolver."),
                                         QStringLiteral("HOST"));
    const QCommandLineOption caOpt(QStringLiteral("cacert"), QStringLiteral("Its CA, PEM."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption mediaOpt(QStringLiteral("media"),
                                      QStringLiteral("Base address of its audio files."),
                                      QStringLiteral("URL"));
    // To tell where growth comes from: the resolve alone (the client on a
    // network manager of its own, nothing played) or the player alone (the
    // audio addresses set directly, nothing resolved).
    const QCommandLineOption onlyOpt(QStringLiteral("only"),
                                     QStringLiteral("resolve or player: that half alone."),
                                     QStringLiteral("HALF"));
    const QCommandLineOption cyclesOpt(QStringLiteral("cycles"), QStringLiteral("Cycles."),
                                       QStringLiteral("N"), QStringLiteral("1000"));
    parser.addOptions({resolverOpt, caOpt, mediaOpt, onlyOpt, cyclesOpt});
    parser.process(app);
    const int cycles = parser.value(cyclesOpt).toInt();
    const QString only = parser.value(onlyOpt);
    if (!QStringList{QString(), QStringLiteral("resolve"), QStringLiteral("player")}.contains(
            only) ||
        !parser.isSet(resolverOpt) || !parser.isSet(caOpt) || !parser.isSet(mediaOpt) ||
        cycles < 100)
        parser.showHelp(2);

    QFile ca(parser.value(caOpt));
    if (!ca.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot read %1").arg(ca.fileName()));
    ResolveOptions options;
    options.resolverHost = parser.value(resolverOpt);
    options.fetch.ssl = sslWithExtraCa(ca.readAll());
    if (!options.fetch.ssl)
        Fail(QStringLiteral("no PEM certificate in %1").arg(ca.fileName()));

    const QString media = parser.value(mediaOpt);
    const auto track = [&](int id, const char *file) {
        return SoakTrack{id,
                         QStringLiteral("http://%1/play/%2.html").arg(settings::kSiteHost).arg(id),
                         media + QStringLiteral("/media/") + QLatin1String(file)};
    };
    const SoakTrack tracks[] = {track(169309, "169309.mp3"), track(123456, "123456.wav")};

    Form1 window(options);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        Fail(QStringLiteral("the window was never exposed"));
    MpvEngine *player = window.W1->engine();
    QNetworkAccessManager network; // the resolve half's

    // What the current cycle has seen so far, from the signals themselves.
    bool finished = false, playing = false, buffered = false;
    QEventLoop *waiting = nullptr;
    const auto check = [&] {
        if (waiting && finished && playing && buffered)
            waiting->exit(0);
    };
    QObject::connect(window.resolveCommand(), &ResolveCommand::finished, &window, [&] {
        finished = true;
        check();
    });
    // One track replacing another plays on without a change of state, so
    // the state is read once the new track is loaded. A short tone may be
    // over before that look: its end counts too.
    QObject::connect(player, &MpvEngine::statusChanged, &window, [&](PlayStatus status) {
        if (status == PlayStatus::Loaded || status == PlayStatus::Ended) {
            buffered = true;
            playing = status == PlayStatus::Ended || player->state() == PlayState::Playing;
            check();
        }
    });
    QObject::connect(player, &MpvEngine::failed, &window, [](PlayFailure, const QString &why) {
        Fail(QStringLiteral("player: %1").arg(why));
    });

    std::vector<double> rss;
    std::vector<int> fds;
    std::vector<double> objects; // the window's QObjects, itself included
    std::vector<double> heap;
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const SoakTrack &now = tracks[cycle % 2];
        finished = playing = buffered = false;
        QString resolved; // by the resolve half alone
        if (only.isEmpty()) {
            window.Text1->setText(now.address);
            window.Command1->click();
        } else if (only == QLatin1String("player")) {
            finished = true;
            window.Text2->setText(now.audio);
            window.W1->setUrl(now.audio, {QString::number(now.id), {}});
        } else {
            playing = buffered = true;
            auto *request = new TrackResolve(network, QString::number(now.id), options, &window);
            QObject::connect(request, &TrackResolve::finished, &window,
                             [&](const Resolution &result) {
                                 resolved = result.songUrl;
                                 finished = true;
                                 check();
                             });
        }
        QEventLoop loop;
        waiting = &loop;
        // A timer of the cycle's own: QTimer::singleShot() would keep one
        // alive per cycle for the whole 15 s, and the soak would count them.
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, [&] { loop.exit(1); });
        limit.start(15s);
        check(); // all of it may have happened inside the click
        const bool inTime = finished && playing && buffered ? true : loop.exec() == 0;
        waiting = nullptr;
        if (!inTime)
            Fail(QStringLiteral("cycle %1 (track %2) not playing within 15 s: finished %3, "
                                "playing %4, buffered %5, result '%6'")
                     .arg(cycle)
                     .arg(now.id)
                     .arg(finished)
                     .arg(playing)
                     .arg(buffered)
                     .arg(window.Text2->text()));
        const QString gave = only == QLatin1String("resolve") ? resolved : window.Text2->text();
        if (gave != now.audio)
            Fail(QStringLiteral("cycle %1 gave '%2', not %3").arg(cycle).arg(gave, now.audio));
        if (!window.findChildren<QMessageBox *>().isEmpty())
            Fail(QStringLiteral("cycle %1 opened a message box").arg(cycle));
        rss.push_back(ResidentMb());
        fds.push_back(OpenDescriptors());
        objects.push_back(double(window.findChildren<QObject *>().size() + 1));
        heap.push_back(HeapInUseMb());
        if (cycle % 100 == 0)
            std::fprintf(stderr,
                         "velmora-bench-soak: cycle %d: %.1f MB resident, %.1f MB heap "
                         "in use, %d descriptors, %.0f objects, %.1f s\n",
                         cycle, rss.back(), heap.back(), fds.back(), objects.back(),
                         double(clock.elapsed()) / 1e3);
    }

    const auto at = [&](const auto &samples, int cycle) {
        return double(samples.at(cycle - 1));
    };
    Report("soak_cycles", double(cycles));
    Report("soak_seconds", double(clock.elapsed()) / 1e3);
    Report("soak_rss_first_mb", at(rss, 1));
    Report("soak_rss_100_mb", at(rss, 100));
    Report("soak_rss_last_mb", at(rss, cycles));
    Report("soak_rss_max_mb", *std::max_element(rss.begin(), rss.end()));
    // The count moves by a few from cycle to cycle (the player's streams
    // come and go): the most seen in the first and in the last hundred
    // cycles tell growth from that.
    Report("soak_fds_first", at(fds, 1));
    Report("soak_fds_max_to_100", double(*std::max_element(fds.begin(), fds.begin() + 100)));
    Report("soak_fds_max_last_100", double(*std::max_element(fds.end() - 100, fds.end())));
    Report("soak_fds_max", double(*std::max_element(fds.begin(), fds.end())));
    Report("soak_objects_100", at(objects, 100));
    Report("soak_objects_last", at(objects, cycles));
    Report("soak_heap_100_mb", at(heap, 100));
    Report("soak_heap_last_mb", at(heap, cycles));
    return 0;
}
