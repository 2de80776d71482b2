#pragma once

#include "playback.h"

#include <QHash>
#include <QIcon>
#include <QStyle>
#include <QWidget>

class QAction;
class QLabel;
class QSlider;
class QToolButton;

namespace velmora {

// The player strip's buttons, bars, status line and context menu. It only
// shows what it is told through the setters and reports what the user wants
// through the intent signals; it never touches a media player itself.
class PlayerControls : public QWidget
{
    Q_OBJECT
public:
    explicit PlayerControls(QWidget *parent = nullptr);

    int volume() const;
    bool isMuted() const { return m_muted; }
    QString statusText() const;

public slots:
    void setState(velmora::PlayState state);
    void setDuration(qint64 ms);
    // Ignored while the user holds the position bar, so that playback does
    // not pull the handle away from under the mouse.
    void setPosition(qint64 ms);
    void setVolume(int percent);
    void setMuted(bool muted);
    // The whole text stays readable in the tooltip; the details (an
    // engine's or a server's words) behind 显示详情 in the context menu.
    void setStatusText(const QString &text, const QString &details = {});
    // Whether there is an audio address to copy, and one to save.
    void setHasAddress(bool hasAddress);
    void setCanSave(bool canSave);
    // While a save runs, its button and menu entry cancel it.
    void setSaving(bool saving);

signals:
    void play();
    void pause();
    void stop();
    void seek(qint64 ms);
    void changeVolume(int percent);
    void changeMuting(bool muted);
    void copyAddress();
    void save();
    void cancelSave();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const QIcon &icon(QStyle::StandardPixmap which);
    void onPlayClicked();
    void onPositionEdited(int seconds);
    void showDetails();
    void elideStatus();
    void updateTimeLabel(qint64 positionMs);

    PlayState m_state = PlayState::Stopped;
    qint64 m_duration = 0;
    bool m_muted = false;

    QToolButton *m_playButton = nullptr;
    QToolButton *m_stopButton = nullptr;
    QSlider *m_positionSlider = nullptr;
    QLabel *m_timeLabel = nullptr;
    QToolButton *m_muteButton = nullptr;
    QToolButton *m_saveButton = nullptr;
    QSlider *m_volumeSlider = nullptr;
    QLabel *m_statusLabel = nullptr;
    QAction *m_playAction = nullptr;
    QAction *m_stopAction = nullptr;
    QAction *m_muteAction = nullptr;
    QAction *m_copyAction = nullptr;
    QAction *m_saveAction = nullptr;
    QAction *m_detailsAction = nullptr;
    bool m_saving = false;
    int m_pressedAt = -1; // the position bar's value when the mouse went down on it
    QString m_statusText; // whole; the label may show it cut
    QString m_statusDetails;
    QHash<int, QIcon> m_icons; // by QStyle::StandardPixmap
};

// "m:ss", or "h:mm:ss" from one hour on.
QString formatPlayTime(qint64 ms);

} // namespace velmora
