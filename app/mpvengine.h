#pragma once

#include "fetch.h"
#include "mpvhandle.h"
#include "mpvlog.h"
#include "playback.h"

#include <QList>
#include <QObject>
#include <QTemporaryFile>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>

struct mpv_event;

namespace velmora {

// The player's engine: one libmpv handle, set up for web audio only and
// nothing of mpv's own (no scripts, no video window). Media requests take
// the proxy the resolve would take, the program's user agent and the
// client's network time-out, and verify TLS. Events come from mpv's thread
// as one queued call on this object's thread, which drains them.
//
// Anything libmpv refuses is a failure with its cause: an option it cannot
// set leaves the engine unable to play (the ones that keep it to web audio
// and verified TLS included), and a command it refuses fails the address.
class MpvEngine : public QObject
{
    Q_OBJECT
public:
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

    PlayState state() const { return m_state; }
    PlayStatus status() const { return m_status; }
    qint64 position() const { return m_position; }
    qint64 duration() const { return m_duration; }
    bool isSeekable() const { return m_seekable; }
    int volume() const { return m_volume; }
    bool isMuted() const { return m_muted; }

signals:
    void stateChanged(velmora::PlayState state);
    void statusChanged(velmora::PlayStatus status);
    void positionChanged(qint64 ms);
    void durationChanged(qint64 ms);
    void seekableChanged(bool seekable);
    void volumeChanged(int percent);
    void mutedChanged(bool muted);
    // The address stopped playing; it has been unloaded. `details` is what
    // mpv said of it, in its words.
    void failed(velmora::PlayFailure failure, const QString &details);

private:
    struct Load
    {
        QByteArray url;
        QVariantMap options; // mpv's, for this address alone
    };
    struct End
    {
        int reason, error;
        qint64 position, duration; // when it ended: the drain clears them
    };

    // The window's own start first, at its lightest.
    static constexpr std::chrono::milliseconds kWarmUpAfter{1000};

    void start(); // mpv set up, once
    void warmUp();
    void drain();
    void handle(const mpv_event &event);
    void onLog(MpvLogLine line);
    void onEnded(const End &end);
    void sendLoad();
    void letGo();
    void tearDown(const QString &cause); // the handle gone; `cause` says why, if it matters
    void fail(PlayFailure failure, const QString &details);
    void refresh(); // state and status from what mpv said last
    void setProperty(const char *name, const QVariant &value);

    struct Setup
    {
        std::unique_ptr<MpvHandle> mpv; // null when it could not be had
        QString broken;                 // why not
        double cacheSecs = 0;           // mpv's read-ahead
    };
    static Setup setUp(std::chrono::milliseconds networkTimeout, const QString &caFile);

    std::future<Setup> m_setup; // until start() takes it
    std::unique_ptr<MpvHandle> m_mpv;
    QString m_broken; // why mpv cannot play, once it cannot
    std::atomic_bool m_wakeupPending = false;
    QTemporaryFile m_caFile; // the trusted CAs where they are not the system's

    // mpv's side. A new address is loaded only once mpv has let go of the
    // last one, so that every log line that arrives belongs to the address
    // it is read for: mpv hands out its log after its events.
    quint64 m_nextReply = 1;
    quint64 m_loadReply = 0; // of the loadfile on its way
    quint64 m_stopReply = 0; // of the stop on its way
    qint64 m_entry = 0;      // mpv's playlist entry of the last load, once known
    bool m_entryStarted = false;
    bool m_mpvHolds = false; // an entry of ours may be open in mpv
    std::optional<Load> m_pending;
    bool m_lostEvents = false;
    bool m_shutDown = false;
    double m_cacheSecs = 0; // mpv's read-ahead once an address plays
    bool m_cacheRaised = false;

    // The listener's side: the address asked for.
    quint64 m_generation = 0; // of the latest load or stop
    bool m_active = false;    // loading or loaded, until it ends or stops
    bool m_started = false;   // its entry is open
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
    QList<MpvLogLine> m_trouble; // what mpv warned of while the entry played
    std::optional<End> m_end;    // of the entry, until the log behind it is read
    PlayState m_state = PlayState::Stopped;
    PlayStatus m_status = PlayStatus::Idle;
};

} // namespace velmora
