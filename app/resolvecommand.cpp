#include "resolvecommand.h"

#include "playerwidget.h"
#include "trackid.h"

#include <QLineEdit>
#include <QPushButton>

namespace velmora {

ResolveCommand::ResolveCommand(const Controls &controls, QNetworkAccessManager &network,
                               const ResolveOptions &options, QObject *parent)
    : QObject(parent), m_controls(controls), m_network(network), m_options(options)
{}

void ResolveCommand::run()
{
    if (m_busy)
        return;

    // Address check: nothing changes and no request is made for a bad one.
    if (GetTrackId(m_controls.input->text()).size() < kMinTrackIdLength) {
        m_busy = true;
        showMessage(QMessageBox::Critical, messages::kBadAddress, messages::kBadAddressTitle, {});
        return;
    }

    m_busy = true;
    m_controls.button->setEnabled(false);
    m_controls.window->setCursor(Qt::BusyCursor);
    const QString trackId = GetTrackId(m_controls.input->text());
    m_request = new TrackResolve(m_network, trackId, m_options, this);
    connect(m_request, &TrackResolve::finished, this, &ResolveCommand::onResolved);
}

void ResolveCommand::onResolved(const Resolution &result)
{
    m_controls.window->unsetCursor();
    switch (result.outcome) {
    case Resolution::Outcome::Play:
        play(result.songUrl);
        end();
        break;
    case Resolution::Outcome::NotFound:
        showMessage(QMessageBox::Information, messages::kNotFound, messages::kNotFoundTitle, {});
        break;
    case Resolution::Outcome::RequestError:
        showMessage(QMessageBox::Critical, messages::kRequestError, messages::kRequestErrorTitle,
                    result.error);
        break;
    }
}

void ResolveCommand::play(const QString &songUrl)
{
    m_controls.result->setText(songUrl);
    m_controls.player->setUrl(songUrl);
    m_controls.player->play();
    m_controls.player->setVolume(100);
}

void ResolveCommand::showMessage(QMessageBox::Icon icon, const char *text, const char *title,
                                 const QString &detail)
{
    // Opened, not exec()'d: the window's own event loop keeps running and
    // the rest of the click happens when the box is dismissed.
    auto *box = new QMessageBox(icon, QString::fromUtf8(title), QString::fromUtf8(text),
                                QMessageBox::Ok, m_controls.window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!detail.isEmpty())
        box->setDetailedText(detail);
    connect(box, &QMessageBox::finished, this, &ResolveCommand::end);
    box->open();
}

void ResolveCommand::end()
{
    m_busy = false;
    m_controls.button->setEnabled(true);
    emit finished();
}

} // namespace velmora
