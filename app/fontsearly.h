#pragma once

namespace velmora {

// Reads the system's font configuration on a thread of its own while the
// program starts: fontconfig parses some sixty files and every font cache
// before the first text can be laid out, and the window waits for that
// otherwise. Qt then finds it done. To be called first in main().
void loadFontConfigurationEarly();

} // namespace velmora
