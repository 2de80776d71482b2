#pragma once

#include "mpvengine.h"
#include "playback.h"

#include <QString>
#include <QTimer>
#include <QWidget>

namespace velmora {

class PlayerControls;

// The track behind an address a resolve gave: its id, and its name as a
// listener sees it (shownTrackName()). An address without an id was given
// by hand.
struct Track
{
    QString id;
    QString name;
};

// The embedded audio player: the engine and the strip of controls below.
// It starts with nothing loaded, volume 50, sound on, normal speed, each
// address played once, and plays an address as soon as it is given one.
// Failures never open a dialog; they go to the status line and the player
// stays usable.
class PlayerWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kInitialVolume = 50;

    // `network`: the time-out and trusted CAs of the window's requests,
    // which the player's media requests keep as well.
    explicit PlayerWidget(const FetchOptions &network = {}, QWidget *parent = nullptr);

    // Loads the address and plays it. An empty address unloads. Only web
    // addresses are opened (webAudioUrl()): anything else, a local file
    // included, unloads as well and is reported in the status line; url()
    // still returns it. A stream that fails is unloaded and reported the
    // same way.
    //
    // The address of a `track` a resolve gave, which the server refuses
    // later as expired (isExpiredAddressStatus(): signed addresses expire),
    // is not reported at once: renewalNeeded() asks for a fresh one, and
    // renewUrl() goes on with it.
    // The track's name is shown while it plays.
    void setUrl(const QString &url, const Track &track = {});

    // The fresh address for one that expired: plays on from where it
    // stopped. Empty when none could be had: the refusal is reported then.
    // Ignored unless renewalNeeded() asked for it and no other address has
    // been given since.
    void renewUrl(const QString &url);
    QString url() const { return m_url; }
    const Track &track() const { return m_track; }

    // What the buttons do, for whatever else drives the player (the
    // desktop's media controls). play() resumes after a pause, starts over
    // after a stop or the end, tries again after a failure, and does nothing
    // without an address.
    void play();
    void pause();
    void stop();
    void seek(qint64 ms);

    PlayState state() const { return m_engine->state(); }
    qint64 position() const { return m_engine->position(); }
    qint64 duration() const { return m_engine->duration(); }
    bool canSeek() const { return m_engine->isSeekable(); }

    // Percent, clamped to 0..100, on the engine's own curve.
    void setVolume(int percent);
    int volume() const { return m_engine->volume(); }
    bool isMuted() const { return m_engine->isMuted(); }

    QString statusText() const;

    // A message about something beside playback (a save), shown instead of
    // the playback status until the next address or the user's next play,
    // pause or stop. An empty text takes it away.
    void setNotice(const QString &text, const QString &details = {});
    QString notice() const { return m_notice; }
    // The same for an outcome (a save ended): it gives way to the playback
    // status after kPassingNotice, so as not to hide what plays for good.
    static constexpr std::chrono::seconds kPassingNotice{5};
    void setPassingNotice(const QString &text, const QString &details = {});

    QSize sizeHint() const override;

    MpvEngine *engine() const { return m_engine; }
    PlayerControls *controls() const { return m_controls; }

signals:
    void renewalNeeded();
    void urlChanged(const QString &url); // and with it the track
    void stateChanged(velmora::PlayState state);
    void durationChanged(qint64 ms);
    void seekableChanged(bool seekable);
    void volumeChanged(int percent);

private:
    void onFailed(PlayFailure failure, const QString &details);
    void takeUrl(const QString &url, const Track &track);
    void load(qint64 startMs = 0);
    void fail(QStringView cause, const QString &details);
    void copyAddress();
    void updateStatus();

    MpvEngine *m_engine = nullptr;
    PlayerControls *m_controls = nullptr;
    QString m_url;
    Track m_track;
    QString m_failure; // status text of the current address's failure
    QString m_failureDetails;
    enum class Renewal {
        None,
        Asked,   // renewalNeeded() is waiting for its answer
        Renewed, // until it has played on: were it refused too, that is reported
    } m_renewal = Renewal::None;
    qint64 m_resumeAt = 0; // ms, where a renewed address goes on
    QString m_notice;
    QString m_noticeDetails;
    QTimer m_noticePasses;
};

} // namespace velmora
