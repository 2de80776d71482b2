#pragma once

#include "playback.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace velmora {

// One line of libmpv's log: the module that wrote it ("ffmpeg", "cplayer",
// "ao/pulse", …) and its text, as libmpv hands them out.
struct MpvLogLine
{
    QString prefix;
    QString text;

    QString toString() const { return prefix + QStringLiteral(": ") + text; }
};

// The failure a log line names, if it names one: ffmpeg's HTTP statuses
// and socket and TLS errors, and a sound output that could not be opened.
// libmpv reports a refused or broken stream only in its log; its end codes
// say no more than "loading failed".
std::optional<PlayFailure> failureNamedIn(const MpvLogLine &line);

} // namespace velmora
