#pragma once

#include "resolve.h"

namespace velmora {

// Names the running application as the desktop entry and the version
// information know it. Call after the QApplication exists.
void DescribeApplication();

// Where the window program asks: the built-in resolver host, also trusting
// the built-in extra CA when the build has one.
ResolveOptions BuiltInResolveOptions();

} // namespace velmora
