#include "fontsearly.h"

#include <fontconfig/fontconfig.h>

#include <thread>

namespace velmora {

void loadFontConfigurationEarly()
{
    // fontconfig guards its one configuration itself; a start that ends
    // before the thread does (--help) leaves it to the process's end.
    std::thread([] { FcInit(); }).detach();
}

} // namespace velmora
