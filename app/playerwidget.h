#pragma once

#include <QMediaPlayer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QAudioOutput;

namespace velmora {

class PlayerControls;

// The embedded audio player: a QMediaPlayer with its QAudioOutput and the
// strip of controls below. It starts with nothing loaded, auto-start on,
// volume 50, sound on, normal speed, each address played once. Failures
// never open a dialog; they go to the status line and the player stays
// usable.
class PlayerWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr bool kAutoStart = true;
    static constexpr int kInitialVolume = 50;

    explicit PlayerWidget(QWidget *parent = nullptr);

    // Loads the address and, with auto-start, plays it. An empty address
    // unloads. Only web addresses are opened (webAudioUrl()): anything else,
    // a local file included, unloads as well and is reported in the status
    // line; url() still returns it. A stream that fails is unloaded and
    // reported the same way.
    //
    // A `renewable` address (one a resolve gave) that the server refuses
    // later (403, 410: signed addresses expire) is not reported at once:
    // renewalNeeded() asks for a fresh one, and renewUrl() goes on with it.
    void setUrl(const QString &url, bool renewable = false);

    // The fresh address for one that expired: plays on from where it
    // stopped. Empty when none could be had: the refusal is reported then.
    void renewUrl(const QString &url);
    QString url() const { return m_url; }

    // Plays the loaded address: resumes after a pause, starts over after a
    // stop or the end, tries again after a failure. Does nothing without an
    // address.
    void play();

    // Percent, clamped to 0..100 and mapped linearly onto the audio output's
    // 0.0..1.0.
    void setVolume(int percent);
    int volume() const;
    bool isMuted() const;

    QString statusText() const;

    // A message about something beside playback (a save), shown instead of
    // the playback status until the next address or the user's next play,
    // pause or stop. An empty text takes it away.
    void setNotice(const QString &text, const QString &details = {});

    QSize sizeHint() const override;

    QMediaPlayer *mediaPlayer() const { return m_player; }

signals:
    void renewalNeeded();

public:
    QAudioOutput *audioOutput() const { return m_audio; }
    PlayerControls *controls() const { return m_controls; }

private:
    void onError(QMediaPlayer::Error error, const QString &details);
    void fail(QStringView cause, const QString &details);
    void copyAddress();
    void updateStatus();

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_audio = nullptr;
    PlayerControls *m_controls = nullptr;
    QString m_url;
    QUrl m_source;     // what m_url loads; empty when it loads nothing
    QString m_failure; // status text of the current address's failure
    QString m_failureDetails;
    bool m_renewable = false;
    bool m_renewing = false;
    qint64 m_resumeAt = 0;                   // ms, where a renewed address goes on
    QMetaObject::Connection m_pendingResume; // the seek there, once the new stream can
    QString m_notice;
    QString m_noticeDetails;
};

} // namespace velmora
