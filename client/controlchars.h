#pragma once

#include <QString>

// Characters that act without being seen, and how the programs show them.
namespace velmora {

// C0 controls, DEL and C1 controls.
bool isControl(char32_t c);

// The bidirectional embeddings, overrides and isolates (U+202A–U+202E,
// U+2066–U+2069): invisible, they reorder what follows them, so that
// ".../gnp.mp3" with a right-to-left override before "gnp" reads
// ".../3pm.png".
bool isBidiControl(char32_t c);

// `text` with each of those percent-encoded ("%0A", "%E2%80%AE": its UTF-8
// bytes), so that what came from the network can neither split a line, nor
// steer a terminal, nor reorder what is shown. Both programs show addresses,
// names and causes through it; what they open and save stays as it came.
QString escapeControls(const QString &text);

} // namespace velmora
