#pragma once

#include "save.h"

#include <QNetworkProxy>
#include <QString>
#include <QStringList>

namespace velmora::cli {

inline constexpr char kProgramName[] = "velmora-resolve";

// Exit statuses. When one run meets several kinds, the highest wins.
enum ExitStatus : int {
    Resolved = 0,      // every input gave an audio address
    BadUsage = 2,      // unknown option, bad value, unusable CA file
    NoPlayPage = 3,    // an input holds no play-page address
    TrackUnknown = 4,  // the service answered "not_find"
    RequestFailed = 5, // network, TLS, time-out, answer without a usable address
};

inline constexpr int kDefaultJobs = 4;
inline constexpr int kMaxJobs = 64;
inline constexpr double kMaxTimeoutSeconds = 86400;
inline constexpr int kMaxRetries = 100;
inline constexpr char kDefaultOutput[] = "{name}.{ext}";
// Longest input (an argument or a line of standard input) taken, in UTF-8
// bytes: a longer one is refused, and named by its first kShownOfLongInput
// characters. Standard input is never read further into memory than this.
inline constexpr qsizetype kMaxInputBytes = 64 * 1024;
inline constexpr qsizetype kShownOfLongInput = 64;

struct Options
{
    ResolveOptions resolve = defaultResolveOptions(); // host, time limits and trust
    int jobs = kDefaultJobs;
    bool json = false;
    // Save each audio file to this template ({name}, {id}, {ext}) instead of
    // only printing its address.
    std::optional<QString> output;
    SaveOptions save;                   // its resolver is `resolve`
    bool progress = false;              // plain progress lines even when not on a terminal
    std::optional<QNetworkProxy> proxy; // nullopt: the system's
    QStringList sources;                // addresses, in order; "-" stands for standard input
};

struct ParsedArguments
{
    enum class Action { Run, Help, Version, Fail };

    Action action = Action::Fail;
    Options options; // for Run
    QString error;   // for Fail: what was wrong, in one line
    QString help;    // the full --help text
};

// Reads the command line (program name first). Reads the --cacert file, since
// an unusable one is bad usage as well.
ParsedArguments parseArguments(const QStringList &arguments);

// "Usage: velmora-resolve [OPTIONS] [ADDRESS...]"
QString usageLine();

// "host[:port]" of an https://host[:port] base address; nullopt for anything
// else (another scheme, a path, a query, user info).
std::optional<QString> resolverHostOf(const QString &baseAddress);

} // namespace velmora::cli
