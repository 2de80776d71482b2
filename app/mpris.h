#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

namespace velmora {

class Form1;
class PlayerWidget;

// The window on the desktop's media controls (MPRIS on D-Bus): media keys,
// the panel's player applet and tools such as playerctl reach the player
// through it. It only translates: the player does what its buttons do, and
// the window raises, closes and opens addresses.
class Mpris : public QObject
{
    Q_OBJECT
public:
    Mpris(PlayerWidget *player, Form1 *window);

    // Publishes org.mpris.MediaPlayer2.velmora on the session bus. False
    // when there is no session bus or the name is taken.
    bool publish();

    Form1 *window() const { return m_window; }
    PlayerWidget *player() const { return m_player; }
    QVariantMap metadata() const;
    QString playbackStatus() const;

    // Emits org.freedesktop.DBus.Properties.PropertiesChanged.
    void announce(const QString &interface, const QVariantMap &changed);

private:
    PlayerWidget *m_player;
    Form1 *m_window;
};

class MprisRoot : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    explicit MprisRoot(Mpris *mpris);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const;
    QString desktopEntry() const;
    QStringList supportedUriSchemes() const
    {
        return {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("velmora")};
    }
    QStringList supportedMimeTypes() const { return {}; }

public slots:
    void Raise();
    void Quit();

private:
    Mpris *m_mpris;
};

class MprisPlayer : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPlay)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit MprisPlayer(Mpris *mpris);

    QString playbackStatus() const { return m_mpris->playbackStatus(); }
    double rate() const { return 1.0; }
    void setRate(double) {} // normal speed only
    QVariantMap metadata() const { return m_mpris->metadata(); }
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const;
    bool no() const { return false; }
    bool yes() const { return true; }
    bool canPlay() const;
    bool canSeek() const;

public slots:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next() {}
    void Previous() {}
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath &trackId, qlonglong position);
    void OpenUri(const QString &uri);

signals:
    void Seeked(qlonglong position);

private:
    Mpris *m_mpris;
};

} // namespace velmora
