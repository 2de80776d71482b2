#include "mpris.h"

#include "form1.h"
#include "playerwidget.h"
#include "resolvecommand.h"
#include "texts.h"

#include <QAudioOutput>
#include <QDBusConnection>
#include <QDBusMessage>

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

Mpris::Mpris(Form1 *window) : QObject(window), m_window(window)
{
    new MprisRoot(this);
    auto *playerInterface = new MprisPlayer(this);
    QMediaPlayer *media = player()->mediaPlayer();
    const auto announceStatus = [this] {
        announce(QLatin1String(kPlayerInterface),
                 {{QStringLiteral("PlaybackStatus"), playbackStatus()}});
    };
    const auto announceMetadata = [this] {
        announce(QLatin1String(kPlayerInterface), {{QStringLiteral("Metadata"), metadata()}});
    };
    connect(media, &QMediaPlayer::playbackStateChanged, this, announceStatus);
    connect(media, &QMediaPlayer::sourceChanged, this, announceMetadata);
    connect(media, &QMediaPlayer::durationChanged, this, announceMetadata);
    connect(player()->audioOutput(), &QAudioOutput::volumeChanged, this, [this, playerInterface] {
        announce(QLatin1String(kPlayerInterface),
                 {{QStringLiteral("Volume"), playerInterface->volume()}});
    });
    connect(window->resolveCommand(), &ResolveCommand::played, this,
            [this, announceMetadata](const QString &trackId, const QString &trackName) {
                m_trackId = trackId;
                m_trackName = trackName;
                announceMetadata();
            });
}

bool Mpris::publish()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.registerObject(QLatin1String(kObjectPath), this) &&
           bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.velmora"));
}

PlayerWidget *Mpris::player() const
{
    return m_window->W1;
}

QVariantMap Mpris::metadata() const
{
    const QString url = player()->url();
    if (url.isEmpty())
        return {};
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(
             QDBusObjectPath(QStringLiteral("/cn/velmora/Track/") +
                             (m_trackId.isEmpty() ? QStringLiteral("0") : m_trackId)))},
        {QStringLiteral("xesam:url"), url},
    };
    if (const qint64 length = player()->mediaPlayer()->duration(); length > 0)
        metadata.insert(QStringLiteral("mpris:length"), microseconds(length));
    if (!m_trackName.isEmpty())
        metadata.insert(QStringLiteral("xesam:title"), m_trackName);
    return metadata;
}

QString Mpris::playbackStatus() const
{
    switch (player()->mediaPlayer()->playbackState()) {
    case QMediaPlayer::PlayingState:
        return QStringLiteral("Playing");
    case QMediaPlayer::PausedState:
        return QStringLiteral("Paused");
    case QMediaPlayer::StoppedState:
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
    return QStringLiteral("cn.velmora.Velmora");
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
    return microseconds(m_mpris->player()->mediaPlayer()->position());
}

bool MprisPlayer::canPlay() const
{
    return !m_mpris->player()->mediaPlayer()->source().isEmpty();
}

void MprisPlayer::Play()
{
    m_mpris->player()->play();
}

void MprisPlayer::Pause()
{
    m_mpris->player()->mediaPlayer()->pause();
}

void MprisPlayer::PlayPause()
{
    if (m_mpris->player()->mediaPlayer()->playbackState() == QMediaPlayer::PlayingState)
        Pause();
    else
        Play();
}

void MprisPlayer::Stop()
{
    m_mpris->player()->mediaPlayer()->stop();
}

void MprisPlayer::Seek(qlonglong offset)
{
    SetPosition({}, position() + offset);
}

void MprisPlayer::SetPosition(const QDBusObjectPath &, qlonglong position)
{
    QMediaPlayer *media = m_mpris->player()->mediaPlayer();
    media->setPosition(qBound<qint64>(0, position / 1000, media->duration()));
    emit Seeked(microseconds(media->position()));
}

void MprisPlayer::OpenUri(const QString &uri)
{
    m_mpris->window()->openAddress(uri);
}

} // namespace velmora
