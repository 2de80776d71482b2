#pragma once

#include <QByteArrayView>

#include <cstdio>

// How text reaches standard output and standard error, alike on every
// system: UTF-8, lines ending in "\n" alone (a script reading lines gets one
// address per line anywhere), and on a Windows console the text as such,
// whatever the console's code page.
namespace velmora::cli {

// Call once before writing. On Windows: no "\r" before each "\n", and
// escape sequences (the progress line's) for the console.
void prepareStandardStreams();

// True when `stream` is a terminal: a console on Windows.
bool isTerminal(std::FILE *stream);

// Writes the UTF-8 text and flushes it, so that a reader downstream sees it
// at once.
void writeText(std::FILE *stream, QByteArrayView utf8);

} // namespace velmora::cli
