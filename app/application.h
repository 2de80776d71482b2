#pragma once

class QApplication;
class QCoreApplication;

namespace velmora {

// Names the running application as the desktop entry and the version
// information know it. Call after the QApplication exists.
void describeApplication();

// Qt's own texts (buttons, dialogs, network errors) and the client's causes
// in Simplified Chinese, whatever the machine's locale: the window is a
// Chinese program. The command line does not call this and stays English.
void installTranslations(QCoreApplication &app);

// The window program: answers --help and --version, hands an address on
// the command line to a window already running (and ends), or opens the
// window, resolving that address in it. Returns the exit status.
int runWindow(QApplication &app);

} // namespace velmora
