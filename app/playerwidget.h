#pragma once

#include <QMediaPlayer>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <QWidget>

class QAudioOutput;

namespace velmora {

class PlayerControls;

// The texts of the player's status line.
namespace playerstatus {
inline constexpr QStringView kReady = u"就绪";
inline constexpr QStringView kBuffering = u"正在缓冲…";
inline constexpr QStringView kPlaying = u"正在播放";
inline constexpr QStringView kPaused = u"已暂停";
inline constexpr QStringView kStopped = u"已停止";
inline constexpr QStringView kFinished = u"播放完毕";

// A failure reads "无法播放：" followed by one of the causes below.
inline constexpr QStringView kCannotPlay = u"无法播放：";
inline constexpr QStringView kBadAddress = u"地址无效";
inline constexpr QStringView kUnreadable = u"无法读取音频";
inline constexpr QStringView kUnsupported = u"格式不支持";
inline constexpr QStringView kNetwork = u"网络错误";
inline constexpr QStringView kAccessDenied = u"没有访问权限";
inline constexpr QStringView kOther = u"播放出错";

QString cannotPlay(QStringView cause);
} // namespace playerstatus

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
    // unloads. An address the player cannot take (no scheme, no host) unloads
    // as well and is reported in the status line; url() still returns it.
    // A stream that fails is unloaded and reported the same way.
    void setUrl(const QString &url);
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

    QSize sizeHint() const override;

    QMediaPlayer *mediaPlayer() const { return m_player; }
    QAudioOutput *audioOutput() const { return m_audio; }
    PlayerControls *controls() const { return m_controls; }

private:
    void onError(QMediaPlayer::Error error, const QString &details);
    void fail(QStringView cause, const QString &details);
    void updateStatus();

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_audio = nullptr;
    PlayerControls *m_controls = nullptr;
    QString m_url;
    QUrl m_source;     // what m_url loads; empty when it loads nothing
    QString m_failure; // status text of the current address's failure
    QString m_failureDetails;
};

} // namespace velmora
