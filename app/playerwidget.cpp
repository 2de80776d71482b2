#include "playerwidget.h"

#include "answer.h"
#include "layout.h"
#include "playercontrols.h"
#include "texts.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QGuiApplication>

namespace velmora {

namespace {

QStringView causeOf(PlayFailure failure)
{
    switch (failure) {
    case PlayFailure::Network:
        return texts::kNetwork;
    case PlayFailure::Refused:
        return texts::kAccessDenied;
    case PlayFailure::Unreadable:
        return texts::kUnreadable;
    case PlayFailure::Unsupported:
        return texts::kUnsupported;
    case PlayFailure::NoSound:
        return texts::kNoSound;
    case PlayFailure::Other:
        break;
    }
    return texts::kOtherFailure;
}

} // namespace

PlayerWidget::PlayerWidget(const FetchOptions &network, QWidget *parent)
    : QWidget(parent), m_engine(new MpvEngine(network, this)), m_controls(new PlayerControls(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_controls);

    setVolume(kInitialVolume);
    m_controls->setVolume(volume());

    connect(m_engine, &MpvEngine::stateChanged, m_controls, &PlayerControls::setState);
    connect(m_engine, &MpvEngine::durationChanged, m_controls, &PlayerControls::setDuration);
    connect(m_engine, &MpvEngine::positionChanged, m_controls, &PlayerControls::setPosition);
    connect(m_engine, &MpvEngine::stateChanged, this, &PlayerWidget::updateStatus);
    connect(m_engine, &MpvEngine::statusChanged, this, &PlayerWidget::updateStatus);
    connect(m_engine, &MpvEngine::positionChanged, this, [this](qint64 position) {
        if (m_renewal == Renewal::Renewed && position > m_resumeAt)
            m_renewal = Renewal::None; // a later refusal is a new expiry
    });
    connect(m_engine, &MpvEngine::failed, this, &PlayerWidget::onFailed);
    connect(m_engine, &MpvEngine::volumeChanged, m_controls, &PlayerControls::setVolume);
    connect(m_engine, &MpvEngine::stateChanged, this, &PlayerWidget::stateChanged);
    connect(m_engine, &MpvEngine::durationChanged, this, &PlayerWidget::durationChanged);
    connect(m_engine, &MpvEngine::seekableChanged, this, &PlayerWidget::seekableChanged);
    connect(m_engine, &MpvEngine::volumeChanged, this, &PlayerWidget::volumeChanged);
    connect(m_engine, &MpvEngine::mutedChanged, m_controls, &PlayerControls::setMuted);

    connect(m_controls, &PlayerControls::play, this, &PlayerWidget::play);
    connect(m_controls, &PlayerControls::pause, this, &PlayerWidget::pause);
    connect(m_controls, &PlayerControls::stop, this, &PlayerWidget::stop);
    connect(m_controls, &PlayerControls::seek, this, &PlayerWidget::seek);
    connect(m_controls, &PlayerControls::changeVolume, this, &PlayerWidget::setVolume);
    connect(m_controls, &PlayerControls::changeMuting, m_engine, &MpvEngine::setMuted);
    connect(m_controls, &PlayerControls::copyAddress, this, &PlayerWidget::copyAddress);
    m_noticePasses.setSingleShot(true);
    m_noticePasses.setInterval(kPassingNotice);
    connect(&m_noticePasses, &QTimer::timeout, this, [this] { setNotice({}); });

    updateStatus();
}

void PlayerWidget::setUrl(const QString &url, const Track &track)
{
    takeUrl(url, track);
    if (url.isEmpty())
        m_engine->stop();
    else
        load();
    updateStatus();
}

void PlayerWidget::takeUrl(const QString &url, const Track &track)
{
    m_url = url;
    m_track = track;
    m_renewal = Renewal::None;
    m_resumeAt = 0;
    m_failure.clear();
    m_failureDetails.clear();
    m_notice.clear();
    m_controls->setHasAddress(!url.isEmpty());
    m_controls->setCanSave(webAudioUrl(url).has_value());
    emit urlChanged(url);
}

// The same address again starts afresh.
void PlayerWidget::load(qint64 startMs)
{
    if (m_engine->load(m_url, startMs))
        return;
    m_engine->stop();
    fail(texts::kBadAudioAddress, m_url);
}

void PlayerWidget::play()
{
    if (!webAudioUrl(m_url))
        return;
    setNotice({});
    if (!m_failure.isEmpty() || m_engine->state() == PlayState::Stopped) {
        // A retry, or from the start again: the stream was unloaded.
        m_failure.clear();
        m_failureDetails.clear();
        load();
    } else {
        m_engine->setPaused(false);
    }
    updateStatus();
}

void PlayerWidget::pause()
{
    setNotice({});
    m_engine->setPaused(true);
}

void PlayerWidget::stop()
{
    setNotice({});
    m_engine->stop();
}

void PlayerWidget::seek(qint64 ms)
{
    m_engine->seek(ms);
}

void PlayerWidget::renewUrl(const QString &url)
{
    if (m_renewal != Renewal::Asked)
        return; // too late: another address came meanwhile
    const QString expired = m_url;
    const qint64 resumeAt = m_resumeAt;
    if (url.isEmpty()) {
        m_renewal = Renewal::None;
        m_notice.clear();
        return fail(texts::kAccessDenied, expired);
    }
    takeUrl(url, m_track);
    m_renewal = Renewal::Renewed;
    m_resumeAt = resumeAt;
    load(resumeAt);
    updateStatus();
}

void PlayerWidget::setVolume(int percent)
{
    m_engine->setVolume(percent);
}

QString PlayerWidget::statusText() const
{
    return m_controls->statusText();
}

QSize PlayerWidget::sizeHint() const
{
    return layout::toPixels(layout::kPlayer).size(); // the strip across the bottom
}

void PlayerWidget::onFailed(PlayFailure failure, const QString &details)
{
    // A refused stream of an address that can be renewed: ask for a fresh
    // one, once, and go on from the same place.
    if (failure == PlayFailure::Refused && !m_track.id.isEmpty() && m_renewal == Renewal::None) {
        m_renewal = Renewal::Asked;
        m_resumeAt = m_engine->position();
        m_engine->stop();
        setNotice(texts::kRenewing.toString());
        emit renewalNeeded();
        return;
    }
    fail(causeOf(failure), details);
}

void PlayerWidget::copyAddress()
{
    QGuiApplication::clipboard()->setText(m_url);
}

void PlayerWidget::fail(QStringView cause, const QString &details)
{
    m_failure = texts::cannotPlay(cause);
    m_failureDetails = details;
    updateStatus();
}

void PlayerWidget::setPassingNotice(const QString &text, const QString &details)
{
    setNotice(text, details);
    m_noticePasses.start();
}

void PlayerWidget::setNotice(const QString &text, const QString &details)
{
    m_noticePasses.stop(); // a later notice stays as long as it says
    m_notice = text;
    m_noticeDetails = details;
    updateStatus();
}

void PlayerWidget::updateStatus()
{
    if (!m_notice.isEmpty())
        return m_controls->setStatusText(m_notice, m_noticeDetails);
    QString text = m_failure;
    if (text.isEmpty()) {
        switch (m_engine->status()) {
        case PlayStatus::Idle:
            text = m_url.isEmpty() ? texts::kReady.toString()
                                   : texts::holding(texts::kStopped, m_track.name);
            break;
        case PlayStatus::Loading:
        case PlayStatus::Buffering:
            text = texts::holding(texts::kBuffering, m_track.name);
            break;
        case PlayStatus::Ended:
            text = texts::holding(texts::kFinished, m_track.name);
            break;
        case PlayStatus::Loaded:
            text = texts::holding(m_engine->state() == PlayState::Paused ? texts::kPaused
                                                                         : texts::kPlaying,
                                  m_track.name);
            break;
        }
    }
    m_controls->setStatusText(text, m_failureDetails);
}

} // namespace velmora
