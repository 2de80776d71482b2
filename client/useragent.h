#pragma once

#include "settings.h"

#include <QString>

namespace velmora {

// How the programs name themselves to the servers they fetch from:
// "velmora/1.02".
inline QString userAgent()
{
    return QStringLiteral("velmora/") + QLatin1String(settings::kVersion);
}

} // namespace velmora
