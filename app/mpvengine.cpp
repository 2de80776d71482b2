#include "mpvengine.h"

#include "answer.h"
#include "settings.h"

#include <QRegularExpression>
#include <QSslCertificate>

#include <mpv/client.h>

#include <clocale>

namespace velmora {

namespace {

// Observed properties, by the reply id mpv hands back with each change.
enum Observed : quint64 { TimePos = 1, Duration, Pause, PausedForCache, Seekable };

constexpr char kProtocols[] = "http,https,tcp,tls,httpproxy";

qint64 toMs(double seconds)
{
    return qint64(seconds * 1000.0 + 0.5);
}

// What a line mpv logged while an address played says went wrong, if it
// names a cause: ffmpeg's HTTP and socket errors, in its words.
std::optional<MpvEngine::Failure> causeIn(const QString &line)
{
    static const QRegularExpression http(QStringLiteral(R"(HTTP error (\d{3}))"));
    static const QRegularExpression network(
        QStringLiteral("Connection refused|resolve hostname|timed out|Connection reset|"
                       "unreachable|No route to host|^tls: |^tcp: |certificate|proxy"),
        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch status = http.match(line); status.hasMatch()) {
        const int code = status.captured(1).toInt();
        return code == 401 || code == 403 || code == 410 ? MpvEngine::Failure::Refused
                                                         : MpvEngine::Failure::Unreadable;
    }
    if (network.match(line).hasMatch())
        return MpvEngine::Failure::Network;
    return std::nullopt;
}

} // namespace

MpvEngine::MpvEngine(const FetchOptions &network, QObject *parent)
    : QObject(parent), m_network(network)
{
    // Once the event loop runs: a window shows without waiting for it, and a
    // resolve already on its way has its handshake meanwhile.
    QMetaObject::invokeMethod(this, &MpvEngine::start, Qt::QueuedConnection);
}

void MpvEngine::start()
{
    if (m_mpv || m_startFailed)
        return;
    // mpv reads and writes numbers in the C locale only, and refuses to
    // start under another one; Qt sets the user's.
    std::setlocale(LC_NUMERIC, "C");
    m_mpv = mpv_create();
    m_startFailed = !m_mpv;
    if (!m_mpv)
        return;
    const FetchOptions &network = m_network;
    const auto option = [this](const char *name, const QString &value) {
        mpv_set_option_string(m_mpv, name, value.toUtf8().constData());
    };
    // Nothing of the machine's mpv set-up, and nothing but audio: the player
    // is ours, and its scripts would cost start-up time as well.
    for (const char *off :
         {"config", "load-scripts", "load-stats-overlay", "load-osd-console", "ytdl", "osc", "vid",
          "audio-display", "terminal", "input-default-bindings", "input-builtin-bindings",
          "input-vo-keyboard"})
        option(off, QStringLiteral("no"));
    option("idle", QStringLiteral("yes"));
    option("audio-client-name", QStringLiteral("velmora"));
    option("user-agent", userAgent());
    option("network-timeout", QString::number(double(network.idleTimeout.count()) / 1000.0));
    option("volume-max", QStringLiteral("100"));
    option("volume", QString::number(m_volume));
    option("mute", m_muted ? QStringLiteral("yes") : QStringLiteral("no"));
    // mpv trusts any certificate unless told otherwise.
    option("tls-verify", QStringLiteral("yes"));
    if (network.ssl && m_caFile.open()) {
        for (const QSslCertificate &ca : network.ssl->caCertificates())
            m_caFile.write(ca.toPem());
        m_caFile.flush();
        option("tls-ca-file", m_caFile.fileName());
    }
    // Below the program's own check of every address: a playlist, a
    // reference or a stream inside the answer's audio reaches nothing but
    // the web either.
    option("access-references", QStringLiteral("no"));
    option("load-unsafe-playlists", QStringLiteral("no"));
    for (const char *lavf : {"stream-lavf-o", "demuxer-lavf-o"}) {
        mpv_node value{};
        value.format = MPV_FORMAT_STRING;
        value.u.string = const_cast<char *>(kProtocols);
        char *key = const_cast<char *>("protocol_whitelist");
        mpv_node_list list{1, &value, &key};
        mpv_node map{};
        map.format = MPV_FORMAT_NODE_MAP;
        map.u.list = &list;
        mpv_set_option(m_mpv, lavf, MPV_FORMAT_NODE, &map);
    }
    if (mpv_initialize(m_mpv) < 0) {
        mpv_destroy(m_mpv);
        m_mpv = nullptr;
        m_startFailed = true;
        return;
    }
    mpv_request_log_messages(m_mpv, "warn");
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
    for (const auto &[id, name, format] : observed)
        mpv_observe_property(m_mpv, id, name, format);
    // On mpv's thread: only post the drain, once until it has run.
    mpv_set_wakeup_callback(
        m_mpv,
        [](void *context) {
            auto *self = static_cast<MpvEngine *>(context);
            if (!self->m_wakeupPending.exchange(true))
                QMetaObject::invokeMethod(self, &MpvEngine::drain, Qt::QueuedConnection);
        },
        this);
}

MpvEngine::~MpvEngine()
{
    if (!m_mpv)
        return;
    // Once this returns the callback cannot be running, and queued drains
    // go with this object.
    mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
    mpv_terminate_destroy(m_mpv);
}

bool MpvEngine::load(const QString &address, qint64 startMs)
{
    const std::optional<QUrl> url = webAudioUrl(address);
    if (!url)
        return false;
    start();
    if (!m_mpv) {
        emit failed(Failure::Other, QStringLiteral("libmpv could not be set up"));
        return true;
    }
    // ffmpeg takes the http_proxy variable when given no proxy, loopback
    // and all; anything but an http:// address makes it go direct.
    const QNetworkProxy proxy = proxyFor(*url);
    if (proxy.type() == QNetworkProxy::Socks5Proxy) {
        // ffmpeg speaks to HTTP proxies only, and going round the one the
        // listener set up is not an answer.
        emit failed(Failure::Network, QStringLiteral("the audio cannot go through a SOCKS proxy"));
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
    setProperty("http-proxy", through.isEmpty() ? QStringLiteral("direct") : through.toString());
    setProperty("pause", QStringLiteral("no"));
    const QByteArray target = url->toEncoded();
    const QByteArray start = "start=" + QByteArray::number(double(startMs) / 1000.0, 'f', 3);
    const char *command[] = {"loadfile", target.constData(), "replace", start.constData(), nullptr};
    m_entry = 0;
    m_end.reset();
    m_started = m_fileLoaded = m_ended = m_buffering = m_paused = m_seeking = false;
    m_active = true;
    m_position = startMs;
    mpv_command_async(m_mpv, ++m_request, command);
    refresh();
    return true;
}

void MpvEngine::stop()
{
    if (!m_mpv)
        return;
    ++m_request; // a load still on its way is not waited for
    m_entry = 0;
    m_end.reset();
    m_active = m_started = m_fileLoaded = m_ended = false;
    const char *command[] = {"stop", nullptr};
    mpv_command_async(m_mpv, 0, command);
    if (m_position != 0)
        emit positionChanged(m_position = 0);
    refresh();
}

void MpvEngine::setPaused(bool paused)
{
    setProperty("pause", paused ? QStringLiteral("yes") : QStringLiteral("no"));
}

void MpvEngine::seek(qint64 ms)
{
    if (!m_mpv || !m_started)
        return;
    const QByteArray to = QByteArray::number(double(qMax<qint64>(0, ms)) / 1000.0, 'f', 3);
    const char *command[] = {"seek", to.constData(), "absolute", nullptr};
    mpv_command_async(m_mpv, 0, command);
}

// Nothing but these two changes mpv's volume or muting (no keys, no
// scripts), so they are kept here rather than read back.
void MpvEngine::setVolume(int percent)
{
    percent = qBound(0, percent, 100);
    setProperty("volume", QString::number(percent));
    if (std::exchange(m_volume, percent) != percent)
        emit volumeChanged(percent);
}

void MpvEngine::setMuted(bool muted)
{
    setProperty("mute", muted ? QStringLiteral("yes") : QStringLiteral("no"));
    if (std::exchange(m_muted, muted) != muted)
        emit mutedChanged(muted);
}

QString MpvEngine::property(const char *name)
{
    start();
    char *value = m_mpv ? mpv_get_property_string(m_mpv, name) : nullptr;
    const QString text = QString::fromUtf8(value);
    mpv_free(value);
    return text;
}

void MpvEngine::setProperty(const char *name, const QString &value)
{
    if (!m_mpv)
        return;
    QByteArray text = value.toUtf8();
    char *data = text.data();
    mpv_set_property_async(m_mpv, 0, name, MPV_FORMAT_STRING, &data);
}

void MpvEngine::drain()
{
    m_wakeupPending = false;
    while (m_mpv) {
        const mpv_event *event = mpv_wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handle(*event);
    }
    // mpv hands out its queued events before the log lines written ahead
    // of them: what an end means is known once every line has been read.
    if (const std::optional<End> end = std::exchange(m_end, std::nullopt))
        onEnded(end->reason, end->error);
}

void MpvEngine::handle(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_COMMAND_REPLY:
        // Only the latest load's reply names the entry to follow.
        if (event.reply_userdata != m_request)
            break;
        if (event.error < 0)
            return fail(Failure::Other, QString::fromUtf8(mpv_error_string(event.error)));
        if (const mpv_node &result = static_cast<mpv_event_command *>(event.data)->result;
            result.format == MPV_FORMAT_NODE_MAP) {
            for (int i = 0; i < result.u.list->num; ++i)
                if (qstrcmp(result.u.list->keys[i], "playlist_entry_id") == 0)
                    m_entry = result.u.list->values[i].u.int64;
        }
        break;
    case MPV_EVENT_START_FILE:
        if (static_cast<mpv_event_start_file *>(event.data)->playlist_entry_id == m_entry &&
            m_entry != 0) {
            m_started = true;
            m_trouble.clear();
        }
        break;
    case MPV_EVENT_SEEK:
        m_seeking = true;
        break;
    case MPV_EVENT_FILE_LOADED:
        m_fileLoaded = m_started;
        refresh();
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<mpv_event_end_file *>(event.data);
        if (m_started && end->playlist_entry_id == m_entry)
            m_end = End{end->reason, end->error};
        break;
    }
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *message = static_cast<mpv_event_log_message *>(event.data);
        onLog(QString::fromUtf8(message->prefix), QString::fromUtf8(message->text).trimmed());
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
            if (const qint64 ms = has ? toMs(number) : 0; ms != m_duration)
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
            if (std::exchange(m_seekable, flag) != flag)
                emit seekableChanged(flag);
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
void MpvEngine::onLog(const QString &prefix, const QString &text)
{
    if (!m_started)
        return;
    const QString line = prefix + QStringLiteral(": ") + text;
    m_trouble.append(line);
    if (m_trouble.size() > 8)
        m_trouble.removeFirst();
    if (causeIn(text) == Failure::Refused)
        fail(Failure::Refused, line);
    // Without a sound device mpv plays on in silence, the clock standing.
    else if (text.startsWith(QLatin1String("Could not open/initialize audio device")))
        fail(Failure::NoSound, line);
}

void MpvEngine::onEnded(int reason, int error)
{
    // The cause mpv logged last, if any; it says more than the end's code.
    std::optional<Failure> logged;
    QString details;
    for (const QString &line : std::as_const(m_trouble)) {
        if (const std::optional<Failure> cause = causeIn(line)) {
            logged = cause;
            details = line;
        }
    }
    if (reason == MPV_END_FILE_REASON_ERROR) {
        if (details.isEmpty())
            details = QString::fromUtf8(mpv_error_string(error));
        if (error == MPV_ERROR_UNKNOWN_FORMAT)
            return fail(Failure::Unsupported, details);
        return fail(logged.value_or(error == MPV_ERROR_LOADING_FAILED ? Failure::Unreadable
                                                                      : Failure::Other),
                    details);
    }
    if (reason != MPV_END_FILE_REASON_EOF)
        return;
    // A stream that broke and could not be picked up again ends as if
    // finished, short of its length.
    if (logged && m_duration > 0 && m_position < m_duration - 1000)
        return fail(*logged, details);
    m_active = m_started = m_fileLoaded = false;
    m_entry = 0;
    m_ended = true;
    refresh();
}

void MpvEngine::fail(Failure failure, const QString &details)
{
    // Reported while the position still says where the stream stopped; a
    // caller that loads or stops meanwhile has decided what comes next.
    const quint64 request = m_request;
    emit failed(failure, details);
    if (request == m_request)
        stop();
}

void MpvEngine::refresh()
{
    const State state = !m_active ? State::Stopped : m_paused ? State::Paused : State::Playing;
    const Status status = !m_active       ? (m_ended ? Status::Ended : Status::Idle)
                          : !m_fileLoaded ? Status::Loading
                          : m_buffering   ? Status::Buffering
                                          : Status::Loaded;
    if (std::exchange(m_status, status) != status)
        emit statusChanged(status);
    if (std::exchange(m_state, state) != state)
        emit stateChanged(state);
}

} // namespace velmora
