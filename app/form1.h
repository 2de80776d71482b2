#pragma once

#include "resolve.h"

#include <QNetworkAccessManager>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class PlayerWidget;
class ResolveCommand;

// Window texts, character for character.
namespace texts {
inline constexpr char kTitle[] = "Velmora音乐网链接解析";
inline constexpr char kPrompt[] = "请输入音乐试听地址：";
inline constexpr char kExamplePrefix[] = "示例链接：";
inline constexpr char kResolveButton[] = "点击解析";
inline constexpr char kSpareButton[] = "Command2";
inline constexpr char kDesignedFontFace[] = "微软雅黑";
} // namespace texts

// The program's only window: the address box, the resolve button, the
// result box and the player. All it does on its own is wire the button to
// the resolve command.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // `resolver` says where the resolve command asks; the program passes
    // the built-in settings, tests a local resolver.
    explicit Form1(const ResolveOptions &resolver, QWidget *parent = nullptr);
    ~Form1() override;

    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *Command1 = nullptr;
    QLineEdit *Text2 = nullptr;
    PlayerWidget *W1 = nullptr;
    QPushButton *Command2 = nullptr;

    ResolveCommand *resolveCommand() const { return m_command; }

private:
    QNetworkAccessManager m_network;
    ResolveCommand *m_command = nullptr;
};

// The example play-page address shown under the input box.
QString ExamplePlayPageAddress();

} // namespace velmora
