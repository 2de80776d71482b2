#include "mpvengine.h"

#include "answer.h"
#ifdef VELMORA_GLIBC_HEAP
#include "playbackmemory.h"
#endif
#include "proxy.h"
#include "useragent.h"

#include <QSslCertificate>
#include <QTimer>

#include <mpv/client.h>

#include <clocale>
#include <cstring>

namespace velmora {

namespace {

// Observed properties, by the reply id mpv hands back with each change.
enum Observed : quint64 { TimePos = 1, Duration, Pause, PausedForCache, Seekable };

qint64 toMs(double seconds)
{
    return qint64(seconds * 1000.0 + 0.5);
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

// A silent MP3 in the address itself: eight MPEG-1 Layer III frames
// (128 kb/s, 44.1 kHz) with no sound in them.
QByteArray silentAddress()
{
    const QByteArray frame = QByteArray::fromHex("fffb9044") + QByteArray(413, '\0');
    return "hex://" + frame.repeated(8).toHex();
}

QString refused(const char *what, const MpvResult &result)
{
    return QStringLiteral("libmpv refused %1: %2").arg(QLatin1String(what), result.error());
}

} // namespace

MpvEngine::MpvEngine(const FetchOptions &network, QObject *parent) : QObject(parent)
{
    QString caFile;
    if (network.ssl && m_caFile.open()) {
        for (const QSslCertificate &ca : network.ssl->caCertificates())
            m_caFile.write(ca.toPem());
        if (m_caFile.flush())
            caFile = m_caFile.fileName();
    }
    if (network.ssl && caFile.isEmpty())
        m_broken = QStringLiteral("the trusted certificates could not be written for libmpv");
    else
        m_setup = std::async(std::launch::async, setUp, network.idleTimeout, caFile);
    // Once the event loop runs: a window shows without waiting for it, and a
    // resolve already on its way has its handshake meanwhile.
    QMetaObject::invokeMethod(this, &MpvEngine::start, Qt::QueuedConnection);
    // mpv pays a lot for the first address it opens: its MP3 decoder's
    // tables, the sound server's connection, and the 10 MiB probe buffer
    // that every address takes and zeroes, which the heap keeps (see
    // keepPlaybackMemory()). A silent address opened and closed once the
    // window has started, while the listener has yet to ask for one, pays
    // them before the click.
    QTimer::singleShot(kWarmUpAfter, this, &MpvEngine::warmUp);
}

void MpvEngine::warmUp()
{
    start();
    if (!m_mpv || m_generation != 0 || m_mpvHolds)
        return; // too late: an address came first
    m_pending = Load{silentAddress(),
                     {{QStringLiteral("pause"), QStringLiteral("yes")},
                      {QStringLiteral("mute"), QStringLiteral("yes")}}};
    sendLoad();
}

// libmpv made, set up and started: on a thread of its own while the window
// is made, as it takes a while.
MpvEngine::Setup MpvEngine::setUp(std::chrono::milliseconds networkTimeout, const QString &caFile)
{
    Setup setup;
    if (qstrcmp(std::setlocale(LC_NUMERIC, nullptr), "C") != 0) {
        setup.broken = QStringLiteral("libmpv needs the C locale for numbers (LC_NUMERIC)");
        return setup;
    }
    auto mpv = std::make_unique<MpvHandle>();
    if (!*mpv) {
        setup.broken = QStringLiteral("libmpv could not be created");
        return setup;
    }
    // Below the program's own check of every address: a playlist, a
    // reference or a stream inside the audio reaches nothing but the web.
    const QVariantMap webOnly{
        {QStringLiteral("protocol_whitelist"), QStringLiteral("http,https,tcp,tls,httpproxy")}};
    enum Kind {
        Required, // failing to set it, the engine refuses to play
        Feature,  // turns off a part of mpv that a build may not have at all
    };
    const struct
    {
        const char *name;
        QVariant value;
        Kind kind;
    } options[] = {
        // mpv trusts any certificate unless told otherwise.
        {"tls-verify", true, Required},
        {"access-references", false, Required},
        // mpv's default, and what keeps a playlist from naming local files.
        {"load-unsafe-playlists", false, Required},
        {"stream-lavf-o", webOnly, Required},
        {"demuxer-lavf-o", webOnly, Required},
        // No scripts: none of the machine's, and none of mpv's own (the
        // stats page, the console, the youtube-dl hook that would run a
        // program for an address).
        {"load-scripts", false, Feature},
        {"load-stats-overlay", false, Feature},
        {"load-osd-console", false, Feature},
        {"ytdl", false, Feature},
        {"load-auto-profiles", false, Feature},
        // mpv 0.38 on: a console and three more scripts of its own.
        {"load-console", false, Feature},
        {"load-select", false, Feature},
        {"load-positioning", false, Feature},
        {"load-commands", false, Feature},
        // Audio only: a cover picture in an MP3 would open a video window.
        {"vid", QStringLiteral("no"), Required},
        // No packets read ahead to learn the streams, which mpv 0.38 on then
        // seeks back for: a server that answers a range with the whole file
        // cannot go back, and the track played nothing.
        {"demuxer-lavf-probe-info", QStringLiteral("no"), Required},
        {"audio-client-name", QStringLiteral("velmora"), Required},
        {"user-agent", userAgent(), Required},
        // The client's own limit, where mpv's is a minute.
        {"network-timeout", double(networkTimeout.count()) / 1000.0, Required},
        // The volume bar's 100 is full volume, without mpv's amplification.
        {"volume-max", 100, Required},
    };
    for (const auto &[name, value, kind] : options) {
        const MpvResult set = mpv->setOption(name, value);
        if (!set && !(kind == Feature && set.status == MPV_ERROR_OPTION_NOT_FOUND)) {
            setup.broken = QStringLiteral("libmpv refused the option %1: %2")
                               .arg(QLatin1String(name), set.error());
            return setup;
        }
    }
    if (!caFile.isEmpty()) {
        if (const MpvResult set = mpv->setOption("tls-ca-file", caFile); !set) {
            setup.broken = refused("the option tls-ca-file", set);
            return setup;
        }
    }
    if (const MpvResult ready = mpv->initialize(); !ready) {
        setup.broken = refused("to start", ready);
        return setup;
    }
    const struct
    {
        Observed id;
        const char *name;
        mpv_format format;
    } observed[] = {{TimePos, "time-pos", MPV_FORMAT_DOUBLE},
                    {Duration, "duration", MPV_FORMAT_DOUBLE},
                    {Pause, "pause", MPV_FORMAT_FLAG},
                    {PausedForCache, "paused-for-cache", MPV_FORMAT_FLAG},
                    {Seekable, "seekable", MPV_FORMAT_FLAG}};
    for (const auto &[id, name, format] : observed) {
        if (mpv_observe_property(mpv->get(), id, name, format) < 0) {
            setup.broken = QStringLiteral("libmpv cannot report %1").arg(QLatin1String(name));
            return setup;
        }
    }
    if (mpv_request_log_messages(mpv->get(), "warn") < 0) {
        setup.broken = QStringLiteral("libmpv cannot hand out its log");
        return setup;
    }
    if (mpv_get_property(mpv->get(), "cache-secs", MPV_FORMAT_DOUBLE, &setup.cacheSecs) < 0) {
        setup.broken = QStringLiteral("libmpv cannot report cache-secs");
        return setup;
    }
    setup.mpv = std::move(mpv);
    return setup;
}

void MpvEngine::start()
{
    if (!m_setup.valid())
        return; // taken already
    Setup setup = m_setup.get();
    m_mpv = std::move(setup.mpv);
    m_broken = setup.broken;
    m_cacheSecs = setup.cacheSecs;
    if (!m_mpv)
        return;
    // As the player set them meanwhile.
    setProperty("volume", m_volume);
    setProperty("mute", m_muted);
    // On mpv's thread: only post the drain, once until it has run.
    mpv_set_wakeup_callback(
        m_mpv->get(),
        [](void *context) {
            auto *self = static_cast<MpvEngine *>(context);
            if (!self->m_wakeupPending.exchange(true))
                QMetaObject::invokeMethod(self, &MpvEngine::drain, Qt::QueuedConnection);
        },
        this);
    // What mpv said before it could wake this object up.
    m_wakeupPending = true;
    QMetaObject::invokeMethod(this, &MpvEngine::drain, Qt::QueuedConnection);
}

MpvEngine::~MpvEngine()
{
    start(); // the setup's thread done, its handle taken to be ended here
    tearDown({});
}

// Once this returns the wakeup callback cannot be running, and queued
// drains find no handle.
void MpvEngine::tearDown(const QString &cause)
{
    if (m_broken.isEmpty())
        m_broken = cause;
    if (!m_mpv)
        return;
    mpv_set_wakeup_callback(m_mpv->get(), nullptr, nullptr);
    m_mpv.reset();
    m_mpvHolds = false;
    m_pending.reset();
}

bool MpvEngine::load(const QString &address, qint64 startMs)
{
    const std::optional<QUrl> url = webAudioUrl(address);
    if (!url)
        return false;
    start();
    ++m_generation;
    if (!m_mpv) {
        emit failed(PlayFailure::Other, m_broken);
        return true;
    }
    // ffmpeg takes the http_proxy variable when given no proxy, loopback
    // and all; "direct" makes it go direct.
    const QNetworkProxy proxy = proxyFor(*url);
    if (proxy.type() == QNetworkProxy::Socks5Proxy) {
        // ffmpeg speaks to HTTP proxies only, and going round the one the
        // listener set up is not an answer.
        emit failed(PlayFailure::Network,
                    QStringLiteral("the audio cannot go through a SOCKS proxy"));
        return true;
    }
    QUrl through;
    if (proxy.type() == QNetworkProxy::HttpProxy) {
        through.setScheme(QStringLiteral("http"));
        through.setHost(proxy.hostName());
        through.setPort(proxy.port());
        through.setUserName(proxy.user());
        through.setPassword(proxy.password());
    }
    m_end.reset();
    m_trouble.clear();
    m_started = m_fileLoaded = m_ended = m_buffering = m_paused = m_seeking = false;
    m_active = true;
    m_position = qMax<qint64>(0, startMs);
    QVariantMap options{
        {QStringLiteral("http-proxy"),
         through.isEmpty() ? QStringLiteral("direct") : through.toString()},
        // Only so far ahead until it plays: the whole track read at full
        // speed would hold up its start. mpv's own read-ahead follows.
        {QStringLiteral("cache-secs"), QStringLiteral("2")},
    };
    // Only when asked: a start of 0 would still seek, and a server that
    // answers ranges with the whole file would then be played from where
    // mpv's first read had got to.
    if (m_position > 0)
        options.insert(QStringLiteral("start"), seconds(m_position));
    m_pending = Load{url->toEncoded(), options};
    m_cacheRaised = false;
    setProperty("pause", false);
    if (!m_pending) // refused, and reported
        return true;
    if (m_mpvHolds)
        letGo();
    else
        sendLoad();
    refresh();
    return true;
}

void MpvEngine::sendLoad()
{
    const Load load = *std::exchange(m_pending, std::nullopt);
    const quint64 reply = m_nextReply++;
    const MpvResult sent = m_mpv->command({{QStringLiteral("name"), QStringLiteral("loadfile")},
                                           {QStringLiteral("url"), QString::fromLatin1(load.url)},
                                           {QStringLiteral("flags"), QStringLiteral("replace")},
                                           {QStringLiteral("options"), load.options}},
                                          reply);
    if (!sent)
        return fail(PlayFailure::Other, refused("to load the address", sent));
    m_loadReply = reply;
    m_stopReply = 0; // the stop before it has done its part
    m_entry = 0;
    m_entryStarted = false;
    m_mpvHolds = true;
}

// Asks mpv to close what it holds; the pending load follows once it has.
void MpvEngine::letGo()
{
    if (m_stopReply != 0 || !m_mpv)
        return;
    const quint64 reply = m_nextReply++;
    if (const MpvResult sent =
            m_mpv->command({{QStringLiteral("name"), QStringLiteral("stop")}}, reply);
        !sent)
        return tearDown(refused("to stop", sent));
    m_stopReply = reply;
}

void MpvEngine::stop()
{
    ++m_generation; // a load still on its way is not waited for
    m_pending.reset();
    m_end.reset();
    m_active = m_started = m_fileLoaded = m_ended = false;
    if (m_mpvHolds)
        letGo();
    if (m_position != 0)
        emit positionChanged(m_position = 0);
    refresh();
}

void MpvEngine::setPaused(bool paused)
{
    setProperty("pause", paused);
}

void MpvEngine::seek(qint64 ms)
{
    if (!m_mpv || !m_started)
        return;
    const MpvResult sent = m_mpv->command({{QStringLiteral("name"), QStringLiteral("seek")},
                                           {QStringLiteral("target"), seconds(qMax<qint64>(0, ms))},
                                           {QStringLiteral("flags"), QStringLiteral("absolute")}},
                                          0);
    if (!sent)
        fail(PlayFailure::Other, refused("to seek", sent));
}

// Nothing but these two changes mpv's volume or muting (no keys, no
// scripts), so they are kept here rather than read back.
void MpvEngine::setVolume(int percent)
{
    percent = qBound(0, percent, 100);
    setProperty("volume", percent);
    if (std::exchange(m_volume, percent) != percent)
        emit volumeChanged(percent);
}

void MpvEngine::setMuted(bool muted)
{
    setProperty("mute", muted);
    if (std::exchange(m_muted, muted) != muted)
        emit mutedChanged(muted);
}

void MpvEngine::setProperty(const char *name, const QVariant &value)
{
    if (!m_mpv)
        return;
    if (const MpvResult set = m_mpv->setProperty(name, value); !set && m_active)
        fail(PlayFailure::Other,
             QStringLiteral("libmpv refused to set %1: %2").arg(QLatin1String(name), set.error()));
}

void MpvEngine::drain()
{
    m_wakeupPending = false;
    while (m_mpv && !m_shutDown) {
        const mpv_event *event = mpv_wait_event(m_mpv->get(), 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handle(*event);
    }
    if (std::exchange(m_shutDown, false)) {
        // Someone ended mpv's core; the handle is of no more use.
        tearDown(QStringLiteral("libmpv shut down"));
        if (m_active)
            fail(PlayFailure::Other, m_broken);
        return;
    }
    if (!m_mpv)
        return;
    if (std::exchange(m_lostEvents, false)) {
        // What ended or started meanwhile is unknown: what mpv holds now is.
        int idle = 0;
        mpv_get_property(m_mpv->get(), "idle-active", MPV_FORMAT_FLAG, &idle);
        if (idle) {
            m_mpvHolds = m_entryStarted = false;
            m_loadReply = m_stopReply = m_entry = 0;
        }
        if (m_active)
            fail(PlayFailure::Other, QStringLiteral("libmpv dropped events"));
    }
    // mpv hands out its queued events before the log lines written ahead
    // of them: what an end means is known once every line has been read.
    if (const std::optional<End> end = std::exchange(m_end, std::nullopt))
        onEnded(*end);
    if (m_pending && !m_mpvHolds)
        sendLoad();
}

void MpvEngine::handle(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_SHUTDOWN:
        m_shutDown = true;
        break;
    case MPV_EVENT_QUEUE_OVERFLOW:
        m_lostEvents = true;
        break;
    case MPV_EVENT_COMMAND_REPLY:
        if (event.reply_userdata == m_loadReply) {
            m_loadReply = 0;
            if (event.error < 0) {
                m_mpvHolds = false;
                if (m_active && !m_pending)
                    fail(PlayFailure::Other, refused("to load the address", {event.error}));
                break;
            }
            const mpv_node &result = static_cast<mpv_event_command *>(event.data)->result;
            if (result.format == MPV_FORMAT_NODE_MAP) {
                for (int i = 0; i < result.u.list->num; ++i)
                    if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0)
                        m_entry = result.u.list->values[i].u.int64;
            }
        } else if (event.reply_userdata == m_stopReply) {
            m_stopReply = 0;
            // An entry that had not started by then never will.
            if (!m_entryStarted)
                m_mpvHolds = false;
        }
        break;
    case MPV_EVENT_START_FILE:
        if (m_entry != 0 &&
            static_cast<mpv_event_start_file *>(event.data)->playlist_entry_id == m_entry) {
            m_entryStarted = true;
            m_started = m_active && !m_pending;
        }
        break;
    case MPV_EVENT_SEEK:
        m_seeking = true;
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (!m_started && m_entryStarted) {
            letGo(); // the silent warm-up, or an address nobody wants any more
#ifdef VELMORA_GLIBC_HEAP
            touchPlaybackMemory();
#endif
        } else if (m_started && !std::exchange(m_cacheRaised, true)) {
            setProperty("cache-secs", m_cacheSecs);
        }
        break;
    case MPV_EVENT_FILE_LOADED:
        m_fileLoaded = m_started;
        refresh();
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<mpv_event_end_file *>(event.data);
        if (m_entry == 0 || end->playlist_entry_id != m_entry)
            break;
        m_entry = 0;
        m_entryStarted = m_mpvHolds = false;
        if (m_started)
            m_end = End{end->reason, end->error, m_position, m_duration};
        break;
    }
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *message = static_cast<mpv_event_log_message *>(event.data);
        onLog({QString::fromUtf8(message->prefix), QString::fromUtf8(message->text).trimmed()});
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<mpv_event_property *>(event.data);
        const bool has = property->format != MPV_FORMAT_NONE && property->data;
        const double number = has && property->format == MPV_FORMAT_DOUBLE
                                  ? *static_cast<double *>(property->data)
                                  : 0.0;
        const bool flag =
            has && property->format == MPV_FORMAT_FLAG && *static_cast<int *>(property->data) != 0;
        switch (event.reply_userdata) {
        case TimePos: {
            // Gone when unloaded; the position then stays where stop() put
            // it. A stream that breaks can make mpv say 0 for a moment: only
            // a seek takes playback back. (mpv hands out the seek's event
            // before the position it changed.)
            const qint64 ms = toMs(number);
            if (has && m_started && ms != m_position && (ms > m_position || m_seeking)) {
                m_seeking = false;
                emit positionChanged(m_position = ms);
            }
            break;
        }
        case Duration:
            if (const qint64 ms = has && m_started ? toMs(number) : 0; ms != m_duration)
                emit durationChanged(m_duration = ms);
            break;
        case Pause:
            m_paused = flag;
            refresh();
            break;
        case PausedForCache:
            m_buffering = flag;
            refresh();
            break;
        case Seekable:
            if (std::exchange(m_seekable, flag && m_started) != (flag && m_started))
                emit seekableChanged(m_seekable);
            break;
        }
        break;
    }
    default:
        break;
    }
}

// mpv reports a refused or broken stream only in its log: a reconnect that
// the server answers with 403 is retried quietly for seconds before the
// track ends early, as if finished. The log names the cause at once.
void MpvEngine::onLog(MpvLogLine line)
{
    if (!m_started)
        return;
    const std::optional<PlayFailure> failure = failureNamedIn(line);
    m_trouble.append(std::move(line));
    if (m_trouble.size() > 8)
        m_trouble.removeFirst();
    if (failure == PlayFailure::Refused || failure == PlayFailure::NoSound)
        fail(*failure, m_trouble.last().toString());
}

void MpvEngine::onEnded(const End &end)
{
    // The cause mpv logged last, if any; it says more than the end's code.
    std::optional<PlayFailure> logged;
    QString details;
    for (const MpvLogLine &line : std::as_const(m_trouble)) {
        if (const std::optional<PlayFailure> cause = failureNamedIn(line)) {
            logged = cause;
            details = line.toString();
        }
    }
    if (end.reason == MPV_END_FILE_REASON_ERROR) {
        if (details.isEmpty())
            details = QString::fromUtf8(mpv_error_string(end.error));
        if (end.error == MPV_ERROR_UNKNOWN_FORMAT)
            return fail(PlayFailure::Unsupported, details);
        return fail(logged.value_or(end.error == MPV_ERROR_LOADING_FAILED ? PlayFailure::Unreadable
                                                                          : PlayFailure::Other),
                    details);
    }
    if (end.reason != MPV_END_FILE_REASON_EOF)
        return;
    // A stream that broke and could not be picked up again ends as if
    // finished, short of its length.
    if (logged && end.duration > 0 && end.position < end.duration - 1000)
        return fail(*logged, details);
    m_active = m_started = m_fileLoaded = false;
    m_ended = true;
    refresh();
}

void MpvEngine::fail(PlayFailure failure, const QString &details)
{
    // Reported while the position still says where the stream stopped; a
    // caller that loads or stops meanwhile has decided what comes next.
    const quint64 generation = m_generation;
    emit failed(failure, details);
    if (generation == m_generation)
        stop();
}

void MpvEngine::refresh()
{
    const PlayState state = !m_active  ? PlayState::Stopped
                            : m_paused ? PlayState::Paused
                                       : PlayState::Playing;
    const PlayStatus status = !m_active       ? (m_ended ? PlayStatus::Ended : PlayStatus::Idle)
                              : !m_fileLoaded ? PlayStatus::Loading
                              : m_buffering   ? PlayStatus::Buffering
                                              : PlayStatus::Loaded;
    if (std::exchange(m_status, status) != status)
        emit statusChanged(status);
    if (std::exchange(m_state, state) != state)
        emit stateChanged(state);
}

} // namespace velmora
