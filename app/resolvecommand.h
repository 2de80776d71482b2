#pragma once

#include "resolve.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QStringView>

class QLineEdit;
class QPushButton;
class QWidget;

namespace velmora {

class PlayerWidget;
struct Track;

// What a click on the resolve button does: check the address, ask the
// resolver, then play the audio address or say why there is none. It runs
// asynchronously: run() starts the request and returns; the rest happens
// when the answer arrives, and the button is enabled again at the very end
// (after any message box is dismissed).
class ResolveCommand : public QObject
{
    Q_OBJECT
public:
    struct Controls
    {
        QWidget *window;
        QLineEdit *input;
        QPushButton *button;
        QLineEdit *result;
        PlayerWidget *player;
    };

    ResolveCommand(const Controls &controls, const ResolveOptions &options, QObject *parent);

    void run();
    bool isBusy() const { return m_busy; }

    // An address from outside the window (the command line, a later start,
    // a drop): it goes into the input box and is resolved as a click would,
    // in place of a click still under way, whose answer is never shown.
    void open(const QString &text);

    // Drops the click under way, if any: its request is aborted and its
    // answer, or the box it opened, goes unseen. The button is enabled.
    void cancel();

    // Opens the connection to the resolver ahead of a click. The window does
    // it at start and whenever the address is edited, so that a connection
    // the server closed while idle is open again before the click.
    void warmUp();

    // The request in flight, if any (tests read its address).
    TrackResolve *request() const { return m_request; }

signals:
    // After the last step of a click, whatever its outcome.
    void finished();

private:
    void onResolved(const Resolution &result);
    void play(const QString &songUrl, const Track &track);
    void showMessage(QMessageBox::Icon icon, QStringView text, QStringView title,
                     const QString &detail);
    void end();
    void renew();

    Controls m_controls;
    ResolveOptions m_options;
    // Declared after nothing that outlives it: the request in flight is a
    // child, destroyed after this member, and a reply dropped with its
    // manager emits nothing.
    QNetworkAccessManager m_network;
    QPointer<TrackResolve> m_request;
    QPointer<TrackResolve> m_renewal; // of the player's expired address
    QString m_trackId;                // of the request in flight
    bool m_busy = false;
    QPointer<QMessageBox> m_box; // of the click under way
    QElapsedTimer m_warmedUp;
};

} // namespace velmora
