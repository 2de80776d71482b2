#pragma once

#include <QElapsedTimer>

#include <cstdio>

namespace velmora::cli {

// The progress of the saves on standard error: one line redrawn in place on
// a terminal, plain lines at most once a second for a wrapper that asked for
// them, or nothing.
class ProgressLine
{
public:
    enum class Mode { Off, Terminal, Plain };

    ProgressLine(std::FILE *stream, Mode mode);

    // Bytes saved so far of all saves in flight, of `total` (-1 when one is
    // unknown), and what the run has received so far: the rate is that over
    // the time since the line was made, so that neither bytes a save resumed
    // from nor the end of another save skews it.
    void show(qint64 saved, qint64 total, qint64 received);
    // Takes a redrawn line away before other output.
    void clear();

private:
    std::FILE *m_stream;
    Mode m_mode;
    QElapsedTimer m_started;
    qint64 m_lastShown = -1; // ms since start
    bool m_onScreen = false;
};

} // namespace velmora::cli
