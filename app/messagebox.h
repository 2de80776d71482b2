#pragma once

#include <QMessageBox>
#include <QStringView>

namespace velmora {

// A message box of the window's, deleted once closed; the caller connects
// to it and open()s it, never exec()s. It is wide enough for its title:
// Qt leaves 50 px beside the title for the title bar's icon and buttons, and
// bars that draw the title larger and centre it cut it ("未找…曲").
QMessageBox *newMessageBox(QMessageBox::Icon icon, QStringView title, QStringView text,
                           QMessageBox::StandardButtons buttons, QWidget *parent);

} // namespace velmora
