#pragma once

#include "resolve.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class PlayerWidget;
class ResolveCommand;
class SaveCommand;

// The program's only window: the address box, the resolve button, the
// result box and the player. The resolve and the save are commands of their
// own; the window wires them to its controls and takes addresses from
// links, drops and the clipboard.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // `resolver` says where the resolve command asks; the program passes
    // the built-in settings, tests a local resolver.
    explicit Form1(const ResolveOptions &resolver, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *Command1 = nullptr;
    QLineEdit *Text2 = nullptr;
    PlayerWidget *W1 = nullptr;
    QPushButton *Command2 = nullptr;

    // Brings the window to the front and resolves `text` as a click would;
    // with no text it only comes to the front. `text` may also be a link a
    // browser hands over: velmora:<address> or velmora://<address>, the
    // address as it stands or percent-encoded. Control characters are left
    // out of the input.
    void openAddress(const QString &text);

    ResolveCommand *resolveCommand() const { return m_command; }
    SaveCommand *saveCommand() const { return m_save; }

protected:
    // Asks first while a save runs: closing stops it.
    void closeEvent(QCloseEvent *event) override;
    // A link dropped anywhere on the window is resolved.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    ResolveCommand *m_command = nullptr;
    SaveCommand *m_save = nullptr;
};

} // namespace velmora
