#include "streams.h"

#include <QString>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace velmora::cli {

#ifdef Q_OS_WIN
namespace {

HANDLE consoleOf(std::FILE *stream)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) ? handle : nullptr;
}

} // namespace
#endif

void prepareStandardStreams()
{
#ifdef Q_OS_WIN
    for (std::FILE *stream : {stdout, stderr}) {
        _setmode(_fileno(stream), _O_BINARY);
        DWORD mode = 0;
        if (const HANDLE console = consoleOf(stream); console && GetConsoleMode(console, &mode))
            SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
#endif
}

bool isTerminal(std::FILE *stream)
{
#ifdef Q_OS_WIN
    return consoleOf(stream) != nullptr;
#else
    return isatty(fileno(stream));
#endif
}

void writeText(std::FILE *stream, QByteArrayView utf8)
{
#ifdef Q_OS_WIN
    // UTF-8 bytes would be read in the console's code page, which is
    // seldom UTF-8: Chinese names would show as other characters.
    if (const HANDLE console = consoleOf(stream)) {
        const QString text = QString::fromUtf8(utf8);
        DWORD written = 0;
        WriteConsoleW(console, text.utf16(), DWORD(text.size()), &written, nullptr);
        return;
    }
#endif
    std::fwrite(utf8.data(), 1, size_t(utf8.size()), stream);
    std::fflush(stream);
}

} // namespace velmora::cli
