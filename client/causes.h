#pragma once

#include <QCoreApplication>
#include <QString>

#include <chrono>

// Why a resolve gave no audio address: every readable cause the client
// reports, in one block. They are English as written, which is what the
// command line prints; the window installs a translation of this context.
namespace velmora::causes {

inline constexpr char kContext[] = "velmora::causes";

// The fetch.
inline constexpr char kIdleTimeout[] =
    QT_TRANSLATE_NOOP("velmora::causes", "timed out: nothing received for %1 s");
inline constexpr char kTotalTimeout[] =
    QT_TRANSLATE_NOOP("velmora::causes", "timed out: no complete answer within %1 s");
inline constexpr char kTooLarge[] =
    QT_TRANSLATE_NOOP("velmora::causes", "answer too large: over %1 bytes");
inline constexpr char kConnectionRefused[] =
    QT_TRANSLATE_NOOP("velmora::causes", "connection refused");
inline constexpr char kProxyFailed[] = QT_TRANSLATE_NOOP("velmora::causes", "the proxy failed");
inline constexpr char kHostNotFound[] = QT_TRANSLATE_NOOP("velmora::causes", "host not found");
inline constexpr char kTimedOut[] = QT_TRANSLATE_NOOP("velmora::causes", "timed out");
inline constexpr char kTls[] = QT_TRANSLATE_NOOP("velmora::causes", "TLS handshake failed: %1");
inline constexpr char kRedirectRefused[] = QT_TRANSLATE_NOOP("velmora::causes", "redirect refused");
inline constexpr char kConnectionClosed[] =
    QT_TRANSLATE_NOOP("velmora::causes", "connection closed before the answer was complete");
inline constexpr char kRequestFailed[] = QT_TRANSLATE_NOOP("velmora::causes", "request failed");
// One of those, then the network's own words on it, where they add something.
inline constexpr char kWithDetail[] = QT_TRANSLATE_NOOP("velmora::causes", "%1 (%2)");

// The answer.
inline constexpr char kEmptyAnswer[] = QT_TRANSLATE_NOOP("velmora::causes", "the answer is empty");
inline constexpr char kNotJson[] =
    QT_TRANSLATE_NOOP("velmora::causes", "the answer is not JSON (%1 at offset %2)");
inline constexpr char kNoMembers[] =
    QT_TRANSLATE_NOOP("velmora::causes", "the answer has no members");
inline constexpr char kNoMember[] = QT_TRANSLATE_NOOP("velmora::causes", "the answer has no %1");
inline constexpr char kNoAudioAddress[] =
    QT_TRANSLATE_NOOP("velmora::causes", "the answer has no audio address (track name \"%1\")");
inline constexpr char kNothingUsable[] = QT_TRANSLATE_NOOP(
    "velmora::causes", "the answer has neither an audio address nor a track name");
inline constexpr char kHttpStatus[] = QT_TRANSLATE_NOOP("velmora::causes", "HTTP %1: %2");

// The save.
inline constexpr char kNotWebAddress[] =
    QT_TRANSLATE_NOOP("velmora::causes", "not an http or https address");
inline constexpr char kFileExists[] = QT_TRANSLATE_NOOP("velmora::causes", "%1 exists already");
inline constexpr char kBusy[] = QT_TRANSLATE_NOOP("velmora::causes", "another save is writing %1");
inline constexpr char kNotAudio[] =
    QT_TRANSLATE_NOOP("velmora::causes", "not audio: the server sent a web page");
inline constexpr char kFileTooLarge[] =
    QT_TRANSLATE_NOOP("velmora::causes", "file too large: over %1 bytes");
inline constexpr char kHttpError[] =
    QT_TRANSLATE_NOOP("velmora::causes", "the server answered HTTP %1");
inline constexpr char kGone[] = QT_TRANSLATE_NOOP("velmora::causes", "the file is gone (HTTP %1)");
inline constexpr char kIncomplete[] =
    QT_TRANSLATE_NOOP("velmora::causes", "incomplete: %1 of %2 bytes");
inline constexpr char kCannotWrite[] =
    QT_TRANSLATE_NOOP("velmora::causes", "could not write %1: %2");
inline constexpr char kNoFolder[] =
    QT_TRANSLATE_NOOP("velmora::causes", "the folder is missing or not writable");
inline constexpr char kGaveUp[] =
    QT_TRANSLATE_NOOP("velmora::causes", "gave up after %1 attempts: %2");
inline constexpr char kNameNotAllowed[] =
    QT_TRANSLATE_NOOP("velmora::causes", "'%1' is not a name Windows allows for a file or folder");

// Files, in the program's own words: the system's differ from one system
// and language to the next (see fileFailure()).
inline constexpr char kNoSuchFile[] = QT_TRANSLATE_NOOP("velmora::causes", "no such file");
inline constexpr char kIsFolder[] = QT_TRANSLATE_NOOP("velmora::causes", "it is a folder");
inline constexpr char kNotReadable[] =
    QT_TRANSLATE_NOOP("velmora::causes", "no permission to read it, or it is in use");
inline constexpr char kNotWritable[] =
    QT_TRANSLATE_NOOP("velmora::causes", "no permission to write it, or it is in use");
inline constexpr char kDiskRefused[] = QT_TRANSLATE_NOOP(
    "velmora::causes", "the disk took no more: it is full, or the file is over a size limit");

// One of the texts above in the application's language.
inline QString text(const char *cause)
{
    return QCoreApplication::translate(kContext, cause);
}

// A time limit as the causes give it: in seconds, with a fraction where it
// has one ("30", "0.7").
inline QString seconds(std::chrono::milliseconds limit)
{
    return QString::number(std::chrono::duration<double>(limit).count());
}

} // namespace velmora::causes
