#pragma once

class QCoreApplication;

namespace velmora::cli {

// Parses the application's arguments, answers --help and --version, reports
// bad usage, or resolves the inputs in the application's event loop. Returns
// the exit status.
int runResolveCommand(QCoreApplication &app);

} // namespace velmora::cli
