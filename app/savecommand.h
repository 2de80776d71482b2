#pragma once

#include "save.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>

class QWidget;

namespace velmora {

class PlayerWidget;

// What the player's save button does: ask where (the platform's save
// dialog, in the music folder or wherever the last save went, with the
// track's name), then save the address the player has while playback goes
// on, with progress and the outcome in the player's status line. The same
// button cancels a save in flight; the part file stays for a later resume.
class SaveCommand : public QObject
{
    Q_OBJECT
public:
    SaveCommand(QWidget *window, PlayerWidget *player, const ResolveOptions &resolver,
                QObject *parent);

    void run();
    void cancel();
    bool isSaving() const { return m_save; }

signals:
    void finished(const velmora::SaveResult &result);

private:
    void start(const QString &file);
    void onFinished(const SaveResult &result);

    QWidget *m_window;
    PlayerWidget *m_player;
    ResolveOptions m_resolver;
    QString m_savingName; // of the save under way
    QNetworkAccessManager m_network;
    QPointer<AudioSave> m_save;
    QString m_try; // which try the save is on, once one failed
};

} // namespace velmora
