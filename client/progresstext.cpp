#include "progresstext.h"

namespace velmora {

QString formatBytes(qint64 bytes, const QLocale &locale)
{
    return locale.formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString saveProgressText(qint64 saved, qint64 total, const QLocale &locale)
{
    if (total <= 0)
        return formatBytes(saved, locale);
    return QStringLiteral("%1%  %2 / %3")
        .arg(locale.toString(saved * 100 / total), formatBytes(saved, locale),
             formatBytes(total, locale));
}

} // namespace velmora
