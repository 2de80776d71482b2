#pragma once

#include "fetch.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryFile>

#include <atomic>
#include <memory>
#include <optional>

struct mpv_handle;
struct mpv_event;

namespace velmora {

// The player's engine: one libmpv handle, set up for web audio only and
// nothing of mpv's own (no configuration files, scripts, video, terminal or
// key bindings). Media requests take the proxy the resolve would take, the
// program's user agent and the client's network time-out, and verify TLS.
// Events come from mpv's thread as one queued call on this object's thread,
// which drains them; nothing here waits.
class MpvEngine : public QObject
{
    Q_OBJECT
public:
    enum class State { Stopped, Playing, Paused };
    enum class Status {
        Idle,      // nothing loaded
        Loading,   // opening the address
        Buffering, // loaded, waiting for data
        Loaded,
        Ended, // played to the end
    };
    // Why an address stopped playing before its end. Refused is the
    // server's 401, 403 or 410: a signed address that expired, say.
    enum class Failure { Network, Refused, Unreadable, Unsupported, NoSound, Other };

    explicit MpvEngine(const FetchOptions &network = {}, QObject *parent = nullptr);
    ~MpvEngine() override;

    // Plays `address` from `startMs` on. Only a web address (webAudioUrl())
    // reaches mpv; anything else is refused here and returns false. mpv is
    // set up by then, if it was not yet.
    bool load(const QString &address, qint64 startMs = 0);
    void stop(); // unloads
    void setPaused(bool paused);
    void seek(qint64 ms);
    void setVolume(int percent); // 0..100 on mpv's own curve
    void setMuted(bool muted);

    State state() const { return m_state; }
    Status status() const { return m_status; }
    qint64 position() const { return m_position; }
    qint64 duration() const { return m_duration; }
    bool isSeekable() const { return m_seekable; }
    int volume() const { return m_volume; }
    bool isMuted() const { return m_muted; }

    // mpv's value of an option or property, for tests and diagnostics.
    QString property(const char *name);

signals:
    void stateChanged(velmora::MpvEngine::State state);
    void statusChanged(velmora::MpvEngine::Status status);
    void positionChanged(qint64 ms);
    void durationChanged(qint64 ms);
    void seekableChanged(bool seekable);
    void volumeChanged(int percent);
    void mutedChanged(bool muted);
    // The address stopped playing; it has been unloaded. `details` is what
    // mpv said of it, in its words.
    void failed(velmora::MpvEngine::Failure failure, const QString &details);

private:
    void start(); // mpv set up, once
    void drain();
    void handle(const mpv_event &event);
    void onLog(const QString &level, const QString &text);
    void onEnded(int reason, int error);
    void fail(Failure failure, const QString &details);
    void refresh(); // state and status from what mpv said last
    void setProperty(const char *name, const QString &value);

    FetchOptions m_network;
    mpv_handle *m_mpv = nullptr;
    bool m_startFailed = false;
    std::atomic_bool m_wakeupPending = false;
    QTemporaryFile m_caFile; // the trusted CAs where they are not the system's
    quint64 m_request = 0;   // of the latest load, to match its reply
    qint64 m_entry = 0;      // mpv's playlist entry of that load, once known
    bool m_active = false;   // loading or loaded, until it ends or stops
    bool m_started = false;  // that entry is open
    bool m_fileLoaded = false;
    bool m_seeking = false; // a seek started, and no position told since
    bool m_ended = false;
    bool m_paused = false;
    bool m_buffering = false;
    bool m_seekable = false;
    bool m_muted = false;
    int m_volume = 100;
    qint64 m_position = 0;
    qint64 m_duration = 0;
    QStringList m_trouble; // what mpv warned of while the entry played
    struct End
    {
        int reason, error;
    };
    std::optional<End> m_end; // of the entry, until the log behind it is read
    State m_state = State::Stopped;
    Status m_status = Status::Idle;
};

} // namespace velmora
