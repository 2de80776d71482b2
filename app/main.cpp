#include "application.h"
#ifdef VELMORA_EARLY_FONTS
#include "fontsearly.h"
#endif
#ifdef VELMORA_GLIBC_HEAP
#include "playbackmemory.h"
#endif

#include <QApplication>

int main(int argc, char *argv[])
{
#ifdef VELMORA_GLIBC_HEAP
    velmora::keepPlaybackMemory();
#endif
#ifdef VELMORA_EARLY_FONTS
    velmora::loadFontConfigurationEarly();
#endif
    QApplication app(argc, argv);
    return velmora::runWindow(app);
}
