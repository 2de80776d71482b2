#pragma once

#include <QLocale>
#include <QString>

// How both programs show a save under way.
namespace velmora {

// "1.2 MB": sizes in decimal units, as download tools show them.
QString formatBytes(qint64 bytes, const QLocale &locale = QLocale());

// "37%  1.2 MB / 3.4 MB" of a save under way, or "1.2 MB" while the total is
// unknown (-1).
QString saveProgressText(qint64 saved, qint64 total, const QLocale &locale = QLocale());

} // namespace velmora
