#include "playerwidget.h"

#include "answer.h"
#include "playercontrols.h"
#include "texts.h"

#include <QAudioOutput>
#include <QBoxLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QRegularExpression>

namespace velmora {

namespace {

QStringView causeOf(QMediaPlayer::Error error)
{
    switch (error) {
    case QMediaPlayer::ResourceError:
        return texts::kUnreadable;
    case QMediaPlayer::FormatError:
        return texts::kUnsupported;
    case QMediaPlayer::NetworkError:
        return texts::kNetwork;
    case QMediaPlayer::AccessDeniedError:
        return texts::kAccessDenied;
    case QMediaPlayer::NoError:
        break;
    }
    return texts::kOtherFailure;
}

// The server refused the stream (403, 410). The backend reports it as an
// access or resource error, and names the HTTP reason in its message.
bool isRefusal(QMediaPlayer::Error error, const QString &details)
{
    static const QRegularExpression reason(QStringLiteral(R"(\b(403|410|forbidden|gone)\b)"),
                                           QRegularExpression::CaseInsensitiveOption);
    return error == QMediaPlayer::AccessDeniedError ||
           (error == QMediaPlayer::ResourceError && reason.match(details).hasMatch());
}

} // namespace

PlayerWidget::PlayerWidget(QWidget *parent) : QWidget(parent)
{
    // GStreamer (the Linux backend) ranks libav's MP3 decoder first, and
    // loading it with its ninety libraries holds the first track back by
    // some 70 ms; mpg123's decoder plays MP3 as well and loads at once. Set
    // before the first player starts GStreamer; a ranking the user chose stays.
    if (qEnvironmentVariableIsEmpty("GST_PLUGIN_FEATURE_RANK"))
        qputenv("GST_PLUGIN_FEATURE_RANK", "mpg123audiodec:MAX");
    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(this);
    m_player->setAudioOutput(m_audio);
    m_controls = new PlayerControls(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_controls);

    m_player->setLoops(QMediaPlayer::Once);
    m_player->setPlaybackRate(1.0);
    m_audio->setMuted(false);
    setVolume(kInitialVolume);
    m_controls->setVolume(volume());
    m_controls->setMuted(isMuted());

    connect(m_player, &QMediaPlayer::playbackStateChanged, m_controls, &PlayerControls::setState);
    connect(m_player, &QMediaPlayer::durationChanged, m_controls, &PlayerControls::setDuration);
    connect(m_player, &QMediaPlayer::positionChanged, m_controls, &PlayerControls::setPosition);
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &PlayerWidget::updateStatus);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &PlayerWidget::updateStatus);
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 position) {
        if (position > 0)
            m_renewing = false; // a later refusal is a new expiry
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this, &PlayerWidget::onError);
    connect(m_audio, &QAudioOutput::volumeChanged, this,
            [this] { m_controls->setVolume(volume()); });
    connect(m_audio, &QAudioOutput::mutedChanged, m_controls, &PlayerControls::setMuted);

    connect(m_controls, &PlayerControls::play, this, &PlayerWidget::play);
    connect(m_controls, &PlayerControls::pause, m_player, &QMediaPlayer::pause);
    connect(m_controls, &PlayerControls::stop, m_player, &QMediaPlayer::stop);
    connect(m_controls, &PlayerControls::seek, m_player, &QMediaPlayer::setPosition);
    connect(m_controls, &PlayerControls::changeVolume, this, &PlayerWidget::setVolume);
    connect(m_controls, &PlayerControls::changeMuting, m_audio, &QAudioOutput::setMuted);
    connect(m_controls, &PlayerControls::copyAddress, this, &PlayerWidget::copyAddress);
    for (const auto intent : {&PlayerControls::play, &PlayerControls::pause, &PlayerControls::stop})
        connect(m_controls, intent, this, [this] { setNotice({}); });

    updateStatus();
}

void PlayerWidget::setUrl(const QString &url, bool renewable)
{
    m_url = url;
    m_renewable = renewable;
    m_renewing = false;
    disconnect(m_pendingResume); // it was meant for the address before
    m_failure.clear();
    m_failureDetails.clear();
    m_notice.clear();
    m_controls->setHasAddress(!url.isEmpty());

    m_source = webAudioUrl(url).value_or(QUrl());
    m_controls->setCanSave(!m_source.isEmpty());
    // Always unload first: the same address again loads afresh, and nothing
    // the previous stream still reports can reach the new one.
    m_player->setSource(QUrl());
    if (m_source.isEmpty()) {
        if (url.isEmpty())
            updateStatus();
        else
            fail(texts::kBadAudioAddress, url);
        return;
    }
    m_player->setSource(m_source);
    if (kAutoStart)
        m_player->play();
    updateStatus();
}

void PlayerWidget::play()
{
    if (m_source.isEmpty())
        return;
    if (!m_failure.isEmpty()) {
        // A retry; the failed stream was unloaded.
        m_failure.clear();
        m_failureDetails.clear();
        m_player->setSource(m_source);
    } else if (m_player->playbackState() == QMediaPlayer::StoppedState) {
        // From the start again. Loading afresh rather than seeking back
        // works with servers that cannot serve byte ranges as well.
        m_player->setSource(QUrl());
        m_player->setSource(m_source);
    }
    m_player->play();
    updateStatus();
}

void PlayerWidget::renewUrl(const QString &url)
{
    const QString expired = m_url;
    const qint64 resumeAt = m_resumeAt;
    if (url.isEmpty()) {
        m_renewing = false;
        m_notice.clear();
        return fail(texts::kAccessDenied, expired);
    }
    setUrl(url, true);
    // Until the new address has played: were it refused too, that is
    // reported, not renewed again and again.
    m_renewing = true;
    // Once the new stream can seek: earlier, the backend drops the request.
    if (resumeAt > 0)
        m_pendingResume = connect(m_player, &QMediaPlayer::seekableChanged, this,
                                  [this, resumeAt](bool seekable) {
                                      if (!seekable)
                                          return;
                                      disconnect(m_pendingResume);
                                      m_player->setPosition(resumeAt);
                                  });
}

void PlayerWidget::setVolume(int percent)
{
    m_audio->setVolume(float(qBound(0, percent, 100)) / 100.0f);
}

int PlayerWidget::volume() const
{
    return qRound(m_audio->volume() * 100.0f);
}

bool PlayerWidget::isMuted() const
{
    return m_audio->isMuted();
}

QString PlayerWidget::statusText() const
{
    return m_controls->statusText();
}

QSize PlayerWidget::sizeHint() const
{
    return {391, 55}; // the strip across the bottom of the window
}

void PlayerWidget::onError(QMediaPlayer::Error error, const QString &details)
{
    // The first error names the cause; the backend's follow-up errors only
    // restate that the stream broke down.
    if (error == QMediaPlayer::NoError || !m_failure.isEmpty())
        return;
    // A refused stream of an address that can be renewed: ask for a fresh
    // one, once, and go on from the same place.
    if (isRefusal(error, details) && m_renewable && !m_renewing) {
        m_renewing = true;
        m_resumeAt = m_player->position();
        m_player->setSource(QUrl());
        setNotice(texts::kRenewing.toString());
        emit renewalNeeded();
        return;
    }
    fail(causeOf(error), details);
    // The backend stays "playing" after an error. Unloading stops it and
    // drops what the broken stream still has to say, which would otherwise
    // reach us after the next address is set.
    m_player->setSource(QUrl());
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

void PlayerWidget::setNotice(const QString &text, const QString &details)
{
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
        switch (m_player->mediaStatus()) {
        case QMediaPlayer::NoMedia:
            text = texts::kReady.toString();
            break;
        case QMediaPlayer::LoadingMedia:
        case QMediaPlayer::BufferingMedia:
        case QMediaPlayer::StalledMedia:
            text = texts::kBuffering.toString();
            break;
        case QMediaPlayer::EndOfMedia:
            text = texts::kFinished.toString();
            break;
        case QMediaPlayer::InvalidMedia:
            text = texts::cannotPlay(texts::kUnsupported);
            break;
        case QMediaPlayer::LoadedMedia:
        case QMediaPlayer::BufferedMedia:
            switch (m_player->playbackState()) {
            case QMediaPlayer::PlayingState:
                text = texts::kPlaying.toString();
                break;
            case QMediaPlayer::PausedState:
                text = texts::kPaused.toString();
                break;
            case QMediaPlayer::StoppedState:
                text = texts::kStopped.toString();
                break;
            }
            break;
        }
    }
    m_controls->setStatusText(text, m_failureDetails);
}

} // namespace velmora
