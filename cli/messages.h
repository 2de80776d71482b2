#pragma once

#include <QStringView>

// What velmora-resolve says on its own account, in one block: English, as
// its output is read by scripts and its documentation is English. The causes
// it passes on come from the client (causes.h); the help texts stand beside
// their options in options.cpp.
namespace velmora::cli::messages {

// About one input, on standard error or in --json's "error".
inline constexpr QStringView kAboutInput = u"%1: '%2': %3";
inline constexpr QStringView kNoPlayPage = u"no play-page address";
inline constexpr QStringView kInputTooLong = u"longer than %1 bytes; not read";
inline constexpr QStringView kTrackNotFound = u"track not found";
inline constexpr QStringView kRequestFailed = u"request failed: %1";
inline constexpr QStringView kNoUsableAnswer = u"no usable answer";
inline constexpr QStringView kSaveFailed = u"save failed: %1";
inline constexpr QStringView kExistsAlready = u"%1 exists already; not saved again";

// About the command line itself.
inline constexpr QStringView kUsage = u"Usage: %1 [OPTIONS] [ADDRESS...]";
inline constexpr QStringView kBadUsage = u"%1: %2\n%3\nTry '%1 --help' for more information.\n";
inline constexpr QStringView kVersion = u"%1 %2\n";
inline constexpr QStringView kCannotReadCa = u"cannot read the CA file '%1': %2";
inline constexpr QStringView kNoPemInCa = u"the CA file '%1' holds no PEM certificate";
inline constexpr QStringView kBadResolver = u"--resolver wants https://host[:port], not '%1'";
inline constexpr QStringView kBadTimeout =
    u"--timeout wants a positive number of seconds up to %1, not '%2'";
inline constexpr QStringView kBadJobs = u"-j wants a whole number from 1 to %1, not '%2'";
inline constexpr QStringView kEmptyOutput = u"-o wants a file name template, not an empty one";
inline constexpr QStringView kBadRetries = u"--retries wants a whole number from 0 to %1, not '%2'";
inline constexpr QStringView kBadProxy = u"--proxy: %1";

} // namespace velmora::cli::messages
