#include "playercontrols.h"

#include "controlchars.h"
#include "messagebox.h"
#include "texts.h"

#include <QAction>
#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleFactory>
#include <QTextDocument>
#include <QToolButton>

#include <limits>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

QToolButton *makeButton(QWidget *parent, const QString &name, QStyle::StandardPixmap icon,
                        QStringView toolTip)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setIconSize({16, 16});
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(toolTip.toString());
    button->setAccessibleName(toolTip.toString()); // it shows an icon only
    return button;
}

// A click on the position bar jumps there, as in every player, rather than
// moving a page toward it as Qt's styles do.
class JumpingSliderStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The position bar counts seconds: what a screen reader says of it, and
// the steps of its arrow keys.
int toSeconds(qint64 ms)
{
    return int(qBound(qint64(0), ms / 1000, qint64(std::numeric_limits<int>::max())));
}

} // namespace

// Made once each: a new icon for every change of state would leave new
// pixmaps in Qt's cache every time, and a long session grows by them.
const QIcon &PlayerControls::icon(QStyle::StandardPixmap which)
{
    auto found = m_icons.find(which);
    if (found == m_icons.end())
        found = m_icons.insert(which, style()->standardIcon(which));
    return *found;
}

QString formatPlayTime(qint64 ms)
{
    const qlonglong seconds = qMax<qint64>(0, ms) / 1000;
    const qlonglong h = seconds / 3600;
    const qlonglong m = seconds / 60 % 60;
    const qlonglong s = seconds % 60;
    if (h > 0)
        return u"%1:%2:%3"_s.arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return u"%1:%2"_s.arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

PlayerControls::PlayerControls(QWidget *parent) : QWidget(parent)
{
    m_playButton = makeButton(this, u"playButton"_s, QStyle::SP_MediaPlay, texts::kPlay);
    m_stopButton = makeButton(this, u"stopButton"_s, QStyle::SP_MediaStop, texts::kStop);
    m_stopButton->setEnabled(false);
    m_muteButton = makeButton(this, u"muteButton"_s, QStyle::SP_MediaVolume, texts::kMute);
    m_saveButton = makeButton(this, u"saveButton"_s, QStyle::SP_DialogSaveButton, texts::kSave);

    m_positionSlider = new QSlider(Qt::Horizontal, this);
    m_positionSlider->setObjectName(u"positionSlider"_s);
    m_positionSlider->setToolTip(texts::kPosition.toString());
    m_positionSlider->setAccessibleName(texts::kPosition.toString());
    m_positionSlider->setRange(0, 0);
    m_positionSlider->setEnabled(false);
    // After the bar, so that it is gone before its style.
    auto *jumping = new JumpingSliderStyle(QStyleFactory::create(style()->name()));
    jumping->setParent(this);
    m_positionSlider->setStyle(jumping);

    m_timeLabel = new QLabel(this);
    m_timeLabel->setObjectName(u"timeLabel"_s);

    m_volumeSlider = new QSlider(Qt::Horizontal, this);
    m_volumeSlider->setObjectName(u"volumeSlider"_s);
    m_volumeSlider->setToolTip(texts::kVolume.toString());
    m_volumeSlider->setAccessibleName(texts::kVolume.toString());
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setFixedWidth(90);

    // Long causes must not widen the strip: the line is cut to its width,
    // and the tooltip keeps the whole text. What came from the network
    // (names, addresses) is never taken for markup.
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(u"statusLabel"_s);
    m_statusLabel->setAccessibleName(texts::kStatusName.toString());
    m_statusLabel->setTextFormat(Qt::PlainText);
    m_statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_statusLabel->installEventFilter(this);

    auto *transport = new QHBoxLayout;
    transport->setSpacing(2);
    transport->addWidget(m_playButton);
    transport->addWidget(m_stopButton);
    transport->addWidget(m_positionSlider, 1);
    transport->addWidget(m_timeLabel);
    transport->addWidget(m_saveButton);

    auto *sound = new QHBoxLayout;
    sound->setSpacing(2);
    sound->addWidget(m_muteButton);
    sound->addWidget(m_volumeSlider);
    sound->addSpacing(6);
    sound->addWidget(m_statusLabel, 1);

    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(2, 1, 2, 1);
    rows->setSpacing(1);
    rows->addLayout(transport);
    rows->addLayout(sound);

    connect(m_playButton, &QToolButton::clicked, this, &PlayerControls::onPlayClicked);
    connect(m_stopButton, &QToolButton::clicked, this, &PlayerControls::stop);
    connect(m_muteButton, &QToolButton::clicked, this, [this] { emit changeMuting(!m_muted); });
    connect(m_volumeSlider, &QSlider::valueChanged, this, &PlayerControls::changeVolume);
    connect(m_positionSlider, &QSlider::valueChanged, this, &PlayerControls::onPositionEdited);
    // A click has sought already, on the press; a drag seeks where it ends.
    connect(m_positionSlider, &QSlider::sliderPressed, this,
            [this] { m_pressedAt = m_positionSlider->value(); });
    connect(m_positionSlider, &QSlider::sliderReleased, this, [this] {
        if (m_positionSlider->value() != m_pressedAt)
            emit seek(qint64(m_positionSlider->value()) * 1000);
    });

    // The context menu says what the buttons do, plus copying the address.
    const auto menuAction = [this](QStringView text, const QString &name) {
        auto *action = new QAction(text.toString(), this);
        action->setObjectName(name);
        addAction(action);
        return action;
    };
    m_playAction = menuAction(texts::kPlay, u"playAction"_s);
    m_stopAction = menuAction(texts::kStop, u"stopAction"_s);
    m_stopAction->setEnabled(false);
    m_muteAction = menuAction(texts::kMute, u"muteAction"_s);
    m_muteAction->setCheckable(true);
    m_copyAction = menuAction(texts::kCopyAddress, u"copyAction"_s);
    m_copyAction->setEnabled(false);
    m_saveAction = menuAction(texts::kSaveMenu, u"saveAction"_s);
    setCanSave(false);
    m_detailsAction = menuAction(texts::kShowDetails, u"detailsAction"_s);
    m_detailsAction->setEnabled(false);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_playAction, &QAction::triggered, this, &PlayerControls::onPlayClicked);
    connect(m_stopAction, &QAction::triggered, this, &PlayerControls::stop);
    connect(m_muteAction, &QAction::triggered, this, &PlayerControls::changeMuting);
    connect(m_copyAction, &QAction::triggered, this, &PlayerControls::copyAddress);
    connect(m_detailsAction, &QAction::triggered, this, &PlayerControls::showDetails);
    const auto saveOrCancel = [this] {
        if (m_saving)
            emit cancelSave();
        else
            emit save();
    };
    connect(m_saveAction, &QAction::triggered, this, saveOrCancel);
    connect(m_saveButton, &QToolButton::clicked, this, saveOrCancel);

    updateTimeLabel(0);
}

int PlayerControls::volume() const
{
    return m_volumeSlider->value();
}

QString PlayerControls::statusText() const
{
    return m_statusText;
}

void PlayerControls::setState(PlayState state)
{
    m_state = state;
    const bool playing = state == PlayState::Playing;
    m_playButton->setIcon(icon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    const QString playText = (playing ? texts::kPause : texts::kPlay).toString();
    m_playButton->setToolTip(playText);
    m_playButton->setAccessibleName(playText);
    m_playAction->setText(playText);
    m_stopButton->setEnabled(state != PlayState::Stopped);
    m_stopAction->setEnabled(state != PlayState::Stopped);
}

void PlayerControls::setDuration(qint64 ms)
{
    m_duration = qMax<qint64>(0, ms);
    {
        const QSignalBlocker blocker(m_positionSlider);
        m_positionSlider->setRange(0, toSeconds(m_duration));
    }
    m_positionSlider->setEnabled(m_duration > 0);
    updateTimeLabel(qint64(m_positionSlider->value()) * 1000);
}

void PlayerControls::setPosition(qint64 ms)
{
    if (m_positionSlider->isSliderDown())
        return;
    {
        const QSignalBlocker blocker(m_positionSlider);
        m_positionSlider->setValue(toSeconds(ms));
    }
    updateTimeLabel(ms);
}

void PlayerControls::setVolume(int percent)
{
    const QSignalBlocker blocker(m_volumeSlider);
    m_volumeSlider->setValue(percent);
}

void PlayerControls::setMuted(bool muted)
{
    m_muted = muted;
    m_muteButton->setIcon(icon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
    m_muteButton->setToolTip((muted ? texts::kUnmute : texts::kMute).toString());
    m_muteButton->setAccessibleName(m_muteButton->toolTip());
    m_muteAction->setChecked(muted);
}

void PlayerControls::setHasAddress(bool hasAddress)
{
    m_copyAction->setEnabled(hasAddress);
}

void PlayerControls::setCanSave(bool canSave)
{
    m_saveButton->setEnabled(canSave || m_saving);
    m_saveAction->setEnabled(canSave || m_saving);
}

void PlayerControls::setSaving(bool saving)
{
    m_saving = saving;
    m_saveButton->setIcon(
        icon(saving ? QStyle::SP_DialogCancelButton : QStyle::SP_DialogSaveButton));
    m_saveButton->setToolTip((saving ? texts::kCancelSave : texts::kSave).toString());
    m_saveButton->setAccessibleName(m_saveButton->toolTip());
    m_saveAction->setText((saving ? texts::kCancelSave : texts::kSaveMenu).toString());
    if (saving)
        setCanSave(true);
}

void PlayerControls::setStatusText(const QString &text, const QString &details)
{
    // Names, addresses and causes came from the network: their controls shown, not obeyed.
    m_statusText = escapeControls(text);
    m_statusDetails = details == text ? QString() : escapeControls(details);
    // What the screen shows, whole and in Chinese. The details are the
    // server's or the engine's words, in English: asked for, not in the way.
    m_statusLabel->setToolTip(Qt::convertFromPlainText(m_statusText));
    m_statusLabel->setAccessibleDescription(m_statusText);
    m_detailsAction->setEnabled(!m_statusDetails.isEmpty());
    elideStatus();
}

void PlayerControls::showDetails()
{
    QMessageBox *box = newMessageBox(QMessageBox::Information, texts::kDetailsTitle, m_statusText,
                                     QMessageBox::Ok, window());
    box->setDetailedText(m_statusDetails);
    box->open();
}

void PlayerControls::elideStatus()
{
    m_statusLabel->setText(m_statusLabel->fontMetrics().elidedText(
        m_statusText, Qt::ElideRight, m_statusLabel->contentsRect().width()));
}

bool PlayerControls::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_statusLabel && event->type() == QEvent::Resize)
        elideStatus();
    return QWidget::eventFilter(watched, event);
}

void PlayerControls::onPlayClicked()
{
    if (m_state == PlayState::Playing)
        emit pause();
    else
        emit play();
}

// Only user actions get here: the setters block the slider's signals.
void PlayerControls::onPositionEdited(int seconds)
{
    if (m_positionSlider->isSliderDown())
        updateTimeLabel(qint64(seconds) * 1000); // seek once, on release
    else
        emit seek(qint64(seconds) * 1000);
}

void PlayerControls::updateTimeLabel(qint64 positionMs)
{
    const QString played = formatPlayTime(positionMs), length = formatPlayTime(m_duration);
    m_timeLabel->setText(played + u" / "_s + length);
    m_timeLabel->setAccessibleName(texts::playTime(played, length));
}

} // namespace velmora
