#include "mpris.h"

#include "answer.h"
#include "form1.h"
#include "playerwidget.h"
#include "resolvecommand.h"
#include "texts.h"

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
    MpvEngine *engine = player()->engine();
    const auto announceStatus = [this] {
        announce(QLatin1String(kPlayerInterface),
                 {{QStringLiteral("PlaybackStatus"), playbackStatus()}});
    };
    const auto announceMetadata = [this] {
        announce(QLatin1String(kPlayerInterface), {{QStringLiteral("Metadata"), metadata()}});
    };
    connect(engine, &MpvEngine::stateChanged, this, announceStatus);
    connect(player(), &PlayerWidget::urlChanged, this, announceMetadata);
    connect(engine, &MpvEngine::durationChanged, this, announceMetadata);
    connect(engine, &MpvEngine::volumeChanged, this, [this, playerInterface] {
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
    if (const qint64 length = player()->engine()->duration(); length > 0)
        metadata.insert(QStringLiteral("mpris:length"), microseconds(length));
    if (!m_trackName.isEmpty())
        metadata.insert(QStringLiteral("xesam:title"), m_trackName);
    return metadata;
}

QString Mpris::playbackStatus() const
{
    switch (player()->engine()->state()) {
    case MpvEngine::State::Playing:
        return QStringLiteral("Playing");
    case MpvEngine::State::Paused:
        return QStringLiteral("Paused");
    case MpvEngine::State::Stopped:
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
    return microseconds(m_mpris->player()->engine()->position());
}

// After a stop as well: play starts the address over.
bool MprisPlayer::canPlay() const
{
    return webAudioUrl(m_mpris->player()->url()).has_value();
}

void MprisPlayer::Play()
{
    m_mpris->player()->play();
}

void MprisPlayer::Pause()
{
    m_mpris->player()->engine()->setPaused(true);
}

void MprisPlayer::PlayPause()
{
    if (m_mpris->player()->engine()->state() == MpvEngine::State::Playing)
        Pause();
    else
        Play();
}

void MprisPlayer::Stop()
{
    m_mpris->player()->engine()->stop();
}

void MprisPlayer::Seek(qlonglong offset)
{
    SetPosition({}, position() + offset);
}

void MprisPlayer::SetPosition(const QDBusObjectPath &, qlonglong position)
{
    MpvEngine *engine = m_mpris->player()->engine();
    const qint64 to = qBound<qint64>(0, position / 1000, engine->duration());
    engine->seek(to);
    emit Seeked(microseconds(to));
}

void MprisPlayer::OpenUri(const QString &uri)
{
    m_mpris->window()->openAddress(uri);
}

} // namespace velmora
