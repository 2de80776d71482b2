#include "mpvlog.h"

#include "answer.h"

#include <QRegularExpression>

namespace velmora {

std::optional<PlayFailure> failureNamedIn(const MpvLogLine &line)
{
    // Without a sound device mpv would play on in silence, the clock standing.
    if (line.text.startsWith(QLatin1String("Could not open/initialize audio device")))
        return PlayFailure::NoSound;
    if (line.prefix != QLatin1String("ffmpeg"))
        return std::nullopt;
    // ffmpeg names the protocol that failed first: "http: HTTP error 403
    // Forbidden", "tcp: Connection to tcp://… failed: …", "tls: …".
    static const QRegularExpression status(QStringLiteral(R"(^https?: HTTP error (\d{3}))"));
    if (const QRegularExpressionMatch match = status.match(line.text); match.hasMatch()) {
        const int code = match.captured(1).toInt();
        return isExpiredAddressStatus(code) ? PlayFailure::Refused : PlayFailure::Unreadable;
    }
    // A connection that could not be made, was dropped (and is retried:
    // "Will reconnect at …"), or whose peer could not be trusted.
    static const QRegularExpression network(
        QStringLiteral(R"(^(tcp|tls): |^https?: Will reconnect )"));
    if (network.match(line.text).hasMatch())
        return PlayFailure::Network;
    return std::nullopt;
}

} // namespace velmora
