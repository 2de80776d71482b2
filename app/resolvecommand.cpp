#include "resolvecommand.h"

#include "controlchars.h"
#include "messagebox.h"
#include "playerwidget.h"
#include "request.h"
#include "texts.h"

#include <QLineEdit>
#include <QPushButton>

namespace velmora {

ResolveCommand::ResolveCommand(const Controls &controls, const ResolveOptions &options,
                               QObject *parent)
    : QObject(parent), m_controls(controls), m_options(options)
{
    connect(controls.player, &PlayerWidget::renewalNeeded, this, &ResolveCommand::renew);
    // The address the player has, as it is: controls in it are shown, not obeyed.
    connect(
        controls.player, &PlayerWidget::urlChanged, controls.result,
        [result = controls.result](const QString &url) { result->setText(escapeControls(url)); });
    // Once the window is up: the handshake takes nothing from its start.
    QMetaObject::invokeMethod(this, &ResolveCommand::warmUp, Qt::QueuedConnection);
}

void ResolveCommand::warmUp()
{
    // A warm-up while the last one or a request may still be connecting
    // would open a second connection; once connected, another costs nothing.
    if (m_busy || (m_warmedUp.isValid() && m_warmedUp.elapsed() < 250))
        return;
    m_warmedUp.start();
    velmora::warmUp(m_network, m_options);
}

void ResolveCommand::run()
{
    if (m_busy)
        return;
    m_busy = true;

    // Address check: nothing changes and no request is made for a bad one.
    const std::optional<QString> trackId = usableTrackId(m_controls.input->text());
    if (!trackId) {
        showMessage(QMessageBox::Critical, texts::kBadAddress, texts::kBadAddressTitle, {});
        return;
    }

    m_controls.button->setEnabled(false);
    m_controls.window->setCursor(Qt::BusyCursor);
    m_controls.player->setNotice(texts::kResolving.toString());
    m_trackId = *trackId;
    m_request = new TrackResolve(m_network, *trackId, m_options, this);
    connect(m_request, &TrackResolve::finished, this, &ResolveCommand::onResolved);
}

void ResolveCommand::open(const QString &text)
{
    m_controls.input->setText(text);
    cancel();
    run();
}

void ResolveCommand::cancel()
{
    if (!m_busy)
        return;
    delete m_request;
    if (m_box) {
        m_box->disconnect(this);
        m_box->close();
    }
    m_controls.window->unsetCursor();
    if (m_controls.player->notice() == texts::kResolving)
        m_controls.player->setNotice({});
    end();
}

void ResolveCommand::onResolved(const Resolution &result)
{
    m_controls.window->unsetCursor();
    if (m_controls.player->notice() == texts::kResolving) // nothing else has come meanwhile
        m_controls.player->setNotice({});
    switch (result.outcome) {
    case Resolution::Outcome::Play:
        play(result.songUrl, {m_trackId, shownTrackName(result.trackName)});
        end();
        break;
    case Resolution::Outcome::NotFound:
        showMessage(QMessageBox::Information, texts::kNotFound, texts::kNotFoundTitle, {});
        break;
    case Resolution::Outcome::RequestError:
        showMessage(QMessageBox::Critical, texts::kRequestError, texts::kRequestErrorTitle,
                    result.error);
        break;
    }
}

void ResolveCommand::play(const QString &songUrl, const Track &track)
{
    delete m_renewal; // of the address this one replaces
    m_controls.player->setUrl(songUrl, track);
    m_controls.player->play();
    m_controls.player->setVolume(100);
}

// The player's address expired: the same track, resolved again quietly.
void ResolveCommand::renew()
{
    delete m_renewal;
    m_renewal = new TrackResolve(m_network, m_controls.player->track().id, m_options, this);
    connect(m_renewal, &TrackResolve::finished, this, [this](const Resolution &result) {
        m_controls.player->renewUrl(playableUrl(result) ? result.songUrl : QString());
    });
}

void ResolveCommand::showMessage(QMessageBox::Icon icon, QStringView text, QStringView title,
                                 const QString &detail)
{
    // Opened, not exec()'d: the window's own event loop keeps running and
    // the rest of the click happens when the box is dismissed.
    QMessageBox *box = newMessageBox(icon, title, text, QMessageBox::Ok, m_controls.window);
    if (!detail.isEmpty())
        box->setDetailedText(escapeControls(detail));
    // A button clicked last (the details toggle) must not take Enter over:
    // Enter always closes the box.
    const QList<QPushButton *> buttons = box->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button != box->button(QMessageBox::Ok))
            button->setAutoDefault(false);
    }
    box->setDefaultButton(QMessageBox::Ok);
    connect(box, &QMessageBox::finished, this, &ResolveCommand::end);
    box->open();
    m_box = box;
}

void ResolveCommand::end()
{
    m_busy = false;
    m_controls.button->setEnabled(true);
    emit finished();
}

} // namespace velmora
