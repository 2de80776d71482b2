#pragma once

#include "resolve.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class QLineEdit;
class QNetworkAccessManager;
class QPushButton;
class QWidget;

namespace velmora {

class PlayerWidget;

// Message texts and titles, character for character.
namespace messages {
inline constexpr char kBadAddress[] = "输入的网址有误！";
inline constexpr char kBadAddressTitle[] = "地址不准确";
inline constexpr char kNotFound[] = "歌曲信息未找到!";
inline constexpr char kNotFoundTitle[] = "未找到歌曲";
inline constexpr char kRequestError[] = "数据请求错误!";
inline constexpr char kRequestErrorTitle[] = "数据错误";
} // namespace messages

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

    ResolveCommand(const Controls &controls, QNetworkAccessManager &network,
                   const ResolveOptions &options, QObject *parent);

    void run();
    bool isBusy() const { return m_busy; }

    // The request in flight, if any (tests read its address).
    TrackResolve *request() const { return m_request; }

signals:
    // After the last step of a click, whatever its outcome.
    void finished();

private:
    void onResolved(const Resolution &result);
    void play(const QString &songUrl);
    void showMessage(QMessageBox::Icon icon, const char *text, const char *title,
                     const QString &detail);
    void end();

    Controls m_controls;
    QNetworkAccessManager &m_network;
    ResolveOptions m_options;
    QPointer<TrackResolve> m_request;
    bool m_busy = false;
};

} // namespace velmora
