#include "mpris.h"

#include "answer.h"
#include "form1.h"
#include "playerwidget.h"
#include "texts.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>

namespace velmora {

namespace {

constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
constexpr char kRootInterface[] = "org.mpris.MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

qlonglong microseconds(qint64 ms)
{
    return ms * 1000;
}

} // namespace

Mpris::Mpris(PlayerWidget *player, Form1 *window)
    : QObject(window), m_player(player), m_window(window)
{
    new MprisRoot(this);
    auto *playerInterface = new MprisPlayer(this);
    const QString interface = QLatin1String(kPlayerInterface);
    connect(player, &PlayerWidget::stateChanged, this, [this, interface] {
        announce(interface, {{QStringLiteral("PlaybackStatus"), playbackStatus()}});
    });
    const auto announceMetadata = [this, interface] {
        announce(interface, {{QStringLiteral("Metadata"), metadata()}});
    };
    connect(player, &PlayerWidget::urlChanged, this, announceMetadata);
    connect(player, &PlayerWidget::durationChanged, this, announceMetadata);
    connect(player, &PlayerWidget::seekableChanged, this, [this, interface](bool seekable) {
        announce(interface, {{QStringLiteral("CanSeek"), seekable}});
    });
    connect(player, &PlayerWidget::volumeChanged, this, [this, interface, playerInterface] {
        announce(interface, {{QStringLiteral("Volume"), playerInterface->volume()}});
    });
}

bool Mpris::publish()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.registerObject(QLatin1String(kObjectPath), this) &&
           bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.velmora"));
}

QVariantMap Mpris::metadata() const
{
    const QString url = m_player->url();
    if (url.isEmpty())
        return {};
    const Track &track = m_player->track();
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(
             QDBusObjectPath(QStringLiteral("/cn/velmora/Track/") +
                             (track.id.isEmpty() ? QStringLiteral("0") : track.id)))},
        {QStringLiteral("xesam:url"), url},
    };
    if (const qint64 length = m_player->duration(); length > 0)
        metadata.insert(QStringLiteral("mpris:length"), microseconds(length));
    if (!track.name.isEmpty())
        metadata.insert(QStringLiteral("xesam:title"), track.name);
    return metadata;
}

QString Mpris::playbackStatus() const
{
    switch (m_player->state()) {
    case PlayState::Playing:
        return QStringLiteral("Playing");
    case PlayState::Paused:
        return QStringLiteral("Paused");
    case PlayState::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

void Mpris::announce(const QString &interface, const QVariantMap &changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

MprisRoot::MprisRoot(Mpris *mpris) : QDBusAbstractAdaptor(mpris), m_mpris(mpris) {}

QString MprisRoot::identity() const
{
    return texts::kTitle.toString();
}

QString MprisRoot::desktopEntry() const
{
    return QGuiApplication::desktopFileName();
}

void MprisRoot::Raise()
{
    m_mpris->window()->openAddress({});
}

void MprisRoot::Quit()
{
    m_mpris->window()->close();
}

MprisPlayer::MprisPlayer(Mpris *mpris) : QDBusAbstractAdaptor(mpris), m_mpris(mpris) {}

double MprisPlayer::volume() const
{
    return m_mpris->player()->volume() / 100.0;
}

void MprisPlayer::setVolume(double volume)
{
    m_mpris->player()->setVolume(qRound(qBound(0.0, volume, 1.0) * 100));
}

qlonglong MprisPlayer::position() const
{
    return microseconds(m_mpris->player()->position());
}

// After a stop as well: play starts the address over.
bool MprisPlayer::canPlay() const
{
    return webAudioUrl(m_mpris->player()->url()).has_value();
}

bool MprisPlayer::canSeek() const
{
    return m_mpris->player()->canSeek();
}

void MprisPlayer::Play()
{
    m_mpris->player()->play();
}

void MprisPlayer::Pause()
{
    m_mpris->player()->pause();
}

void MprisPlayer::PlayPause()
{
    if (m_mpris->player()->state() == PlayState::Playing)
        Pause();
    else
        Play();
}

void MprisPlayer::Stop()
{
    m_mpris->player()->stop();
}

void MprisPlayer::Seek(qlonglong offset)
{
    SetPosition({}, position() + offset);
}

void MprisPlayer::SetPosition(const QDBusObjectPath &, qlonglong position)
{
    PlayerWidget *player = m_mpris->player();
    const qint64 to = qBound<qint64>(0, position / 1000, player->duration());
    player->seek(to);
    emit Seeked(microseconds(to));
}

void MprisPlayer::OpenUri(const QString &uri)
{
    m_mpris->window()->openAddress(uri);
}

} // namespace velmora
