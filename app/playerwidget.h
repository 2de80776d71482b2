#pragma once

#include "mpvengine.h"

#include <QString>
#include <QTimer>
#include <QWidget>

namespace velmora {

class PlayerControls;

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
    // A `renewable` address (one a resolve gave) that the server refuses
    // later (403, 410: signed addresses expire) is not reported at once:
    // renewalNeeded() asks for a fresh one, and renewUrl() goes on with it.
    // `trackName` names it in the status line while it plays.
    void setUrl(const QString &url, bool renewable = false, const QString &trackName = {});

    // The fresh address for one that expired: plays on from where it
    // stopped. Empty when none could be had: the refusal is reported then.
    // Ignored unless renewalNeeded() asked for it and no other address has
    // been given since.
    void renewUrl(const QString &url);
    QString url() const { return m_url; }

    // Plays the loaded address: resumes after a pause, starts over after a
    // stop or the end, tries again after a failure. Does nothing without an
    // address.
    void play();

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
    static constexpr std::chrono::milliseconds kPassingNotice = 5s;
    void setPassingNotice(const QString &text, const QString &details = {});

    QSize sizeHint() const override;

    MpvEngine *engine() const { return m_engine; }
    PlayerControls *controls() const { return m_controls; }

signals:
    void renewalNeeded();
    void urlChanged(const QString &url);

private:
    void onFailed(MpvEngine::Failure failure, const QString &details);
    void takeUrl(const QString &url, bool renewable, const QString &trackName);
    void load(qint64 startMs = 0);
    void fail(QStringView cause, const QString &details);
    void copyAddress();
    void updateStatus();

    MpvEngine *m_engine = nullptr;
    PlayerControls *m_controls = nullptr;
    QString m_url;
    QString m_trackName;
    QString m_failure; // status text of the current address's failure
    QString m_failureDetails;
    bool m_renewable = false;
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
