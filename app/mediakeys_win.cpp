#include "mediakeys.h"

#include "playerwidget.h"

#include <QCoreApplication>
#include <QWidget>

#include <windows.h>

namespace velmora {

MediaKeys::MediaKeys(PlayerWidget *player, QWidget *window)
    : QObject(window), m_player(player), m_window(window)
{
    const auto hwnd = reinterpret_cast<HWND>(window->winId());
    for (const int key : {VK_MEDIA_PLAY_PAUSE, VK_MEDIA_STOP}) {
        if (RegisterHotKey(hwnd, key, MOD_NOREPEAT, UINT(key)))
            m_registered << key;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

MediaKeys::~MediaKeys()
{
    const auto hwnd = reinterpret_cast<HWND>(m_window->winId());
    for (const int key : std::as_const(m_registered))
        UnregisterHotKey(hwnd, key);
}

bool MediaKeys::hasPlayPause() const
{
    return m_registered.contains(VK_MEDIA_PLAY_PAUSE);
}

bool MediaKeys::nativeEventFilter(const QByteArray &, void *message, qintptr *)
{
    const auto *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_HOTKEY || !m_registered.contains(int(msg->wParam)))
        return false;
    if (msg->wParam == VK_MEDIA_STOP)
        m_player->stop();
    else if (m_player->state() == PlayState::Playing)
        m_player->pause();
    else
        m_player->play();
    return true;
}

} // namespace velmora
