#pragma once

#include "identity.h"
#include "settings.h"

#include <QString>
#include <QStringView>

// Everything the window says, character for character, in one place. The
// window is a Chinese program whatever the machine's locale, so these are
// written in Chinese rather than translated.
namespace velmora::texts {

// The window.
inline constexpr QStringView kTitle = u"" VELMORA_TITLE;
inline constexpr QStringView kPrompt = u"请输入音乐试听地址：";
inline constexpr QStringView kExamplePrefix = u"示例链接：";
// The play page shown after kExamplePrefix, on the site the program is built for.
inline QString examplePlayPageAddress()
{
    return QStringLiteral("http://%1/play/169309.html").arg(QString::fromUtf8(settings::kSiteHost));
}
inline constexpr QStringView kResolveButton = u"点击解析";
inline constexpr QStringView kSpareButton = u"Command2";
inline constexpr QStringView kDesignedFontFace = u"微软雅黑";

// The message boxes: text, then title.
inline constexpr QStringView kBadAddress = u"输入的网址有误！";
inline constexpr QStringView kBadAddressTitle = u"地址不准确";
inline constexpr QStringView kNotFound = u"歌曲信息未找到!";
inline constexpr QStringView kNotFoundTitle = u"未找到歌曲";
inline constexpr QStringView kRequestError = u"数据请求错误!";
inline constexpr QStringView kRequestErrorTitle = u"数据错误";

// The player's status line. A failure reads kCannotPlay and one of the causes.
inline constexpr QStringView kReady = u"就绪";
inline constexpr QStringView kBuffering = u"正在缓冲";
inline constexpr QStringView kResolving = u"正在解析…";
inline constexpr QStringView kPlaying = u"正在播放";
inline constexpr QStringView kUnnamedTrack = u"未命名歌曲";
inline constexpr QStringView kPaused = u"已暂停";
inline constexpr QStringView kStopped = u"已停止";
inline constexpr QStringView kFinished = u"播放完毕";
inline constexpr QStringView kRenewing = u"正在重新获取地址…";
inline constexpr QStringView kCannotPlay = u"无法播放：";
inline constexpr QStringView kBadAudioAddress = u"地址无效";
inline constexpr QStringView kUnreadable = u"无法读取音频";
inline constexpr QStringView kUnsupported = u"格式不支持";
inline constexpr QStringView kNetwork = u"网络错误";
inline constexpr QStringView kAccessDenied = u"没有访问权限";
inline constexpr QStringView kNoSound = u"没有可用的音频输出设备";
inline constexpr QStringView kOtherFailure = u"播放出错";

// The player's buttons, bars and context menu.
inline constexpr QStringView kPlay = u"播放";
inline constexpr QStringView kPause = u"暂停";
inline constexpr QStringView kStop = u"停止";
inline constexpr QStringView kMute = u"静音";
inline constexpr QStringView kUnmute = u"取消静音";
inline constexpr QStringView kPosition = u"播放进度";
inline constexpr QStringView kVolume = u"音量";
inline constexpr QStringView kCopyAddress = u"复制音频地址";
inline constexpr QStringView kSave = u"保存音频";
inline constexpr QStringView kSaveMenu = u"保存音频…";
inline constexpr QStringView kCancelSave = u"取消保存";
inline constexpr QStringView kShowDetails = u"显示详情";
inline constexpr QStringView kDetailsTitle = u"播放状态详情";

// Saving, in the player's status line.
inline constexpr QStringView kSaving = u"正在保存";
inline constexpr QStringView kSaved = u"已保存：";
inline constexpr QStringView kSaveCanceled = u"已取消保存";
inline constexpr QStringView kSaveWaiting = u"正在保存，稍后重试";

// What screen readers say of the controls that show no text of their own,
// and what some of them are for.
inline constexpr QStringView kInputName = u"音乐试听地址";
inline constexpr QStringView kInputDescription = u"粘贴试听页面的地址，然后点击解析";
inline constexpr QStringView kResolveDescription = u"解析地址并播放歌曲";
inline constexpr QStringView kResultName = u"音频地址";
inline constexpr QStringView kResultDescription = u"解析得到的音频直链，可以复制";
inline constexpr QStringView kSpareName = u"备用按钮";
inline constexpr QStringView kPlayerName = u"播放器";
inline constexpr QStringView kStatusName = u"播放状态";

// Closing the window while a save runs: text, then title.
inline constexpr QStringView kCloseWhileSaving =
    u"正在保存音频。现在关闭，下次保存这首歌曲时会从中断的地方继续。\n确定要关闭吗？";
inline constexpr QStringView kCloseWhileSavingTitle = u"正在保存";

inline QString cannotPlay(QStringView cause)
{
    return kCannotPlay.toString().append(cause);
}

// A playback state with the track the player holds, "已暂停：Velmora Demo":
// after a resolve that found nothing the old track stays, and 播放 plays it.
inline QString holding(QStringView state, const QString &trackName)
{
    return state.toString() + u'：' + (trackName.isEmpty() ? kUnnamedTrack.toString() : trackName);
}

inline QString playing(const QString &trackName)
{
    return holding(kPlaying, trackName);
}

// A save that failed, naming its track, which may no longer be the one that
// plays: "保存《Velmora Demo》失败：…".
inline QString saveFailed(const QString &trackName, const QString &cause)
{
    return QStringLiteral("保存《%1》失败：%2")
        .arg(trackName.isEmpty() ? kUnnamedTrack.toString() : trackName, cause);
}

// Which try a save is on: "（第 2/4 次）".
inline QString saveTry(int attempt, int attempts)
{
    return QStringLiteral("（第 %1/%2 次）").arg(attempt).arg(attempts);
}

// The time label as a screen reader says it: "已播放 0:01，共 0:20".
inline QString playTime(const QString &played, const QString &length)
{
    return QStringLiteral("已播放 %1，共 %2").arg(played, length);
}

} // namespace velmora::texts
