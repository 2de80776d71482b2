#include "messagebox.h"

#include <QLabel>

namespace velmora {

namespace {

// Beside the title on either side, as a centred title needs: the window's
// icon one way, up to three buttons the other.
constexpr int kTitleBarSide = 80;

} // namespace

QMessageBox *newMessageBox(QMessageBox::Icon icon, QStringView title, QStringView text,
                           QMessageBox::StandardButtons buttons, QWidget *parent)
{
    auto *box = new QMessageBox(icon, title.toString(), text.toString(), buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QFont bar = box->font(); // title bars draw it bold and larger than the text
    bar.setBold(true);
    bar.setPointSizeF(bar.pointSizeF() * 1.25);
    // The box takes its layout's least width as its own. On its text, which
    // stays when Qt lays the box out anew (as setDetailedText() does); the
    // name is the one Qt gives it for style sheets.
    if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
        label->setMinimumWidth(QFontMetrics(bar).horizontalAdvance(box->windowTitle()) +
                               2 * kTitleBarSide);
    return box;
}

} // namespace velmora
