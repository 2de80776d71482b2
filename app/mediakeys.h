#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>

class QWidget;

namespace velmora {

class PlayerWidget;

// The keyboard's media keys on the player while the window runs, in front
// or not, as the desktop's media controls are on Linux: Windows hands a key
// to the program that registered it as a hot key. Play/pause and stop do
// what the player's buttons do. A key another program holds already stays
// with it.
class MediaKeys : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    MediaKeys(PlayerWidget *player, QWidget *window);
    ~MediaKeys() override;

    // Whether Windows gave us the key.
    bool hasPlayPause() const;

protected:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    PlayerWidget *m_player;
    QWidget *m_window;
    QList<int> m_registered; // hot key ids, which are the keys' virtual-key codes
};

} // namespace velmora
