#pragma once

#include "resolve.h"

#include <QFile>
#include <QLockFile>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

namespace velmora {

// Limits and manners of one save. The defaults are the product's.
struct SaveOptions
{
    static constexpr std::chrono::seconds kIdleTimeout{30}; // no byte arrived
    static constexpr qint64 kMaxBytes = qint64(2) << 30;    // 2 GiB
    static constexpr int kRetries = 3;

    std::chrono::milliseconds idleTimeout = kIdleTimeout;
    qint64 maxBytes = kMaxBytes;
    int maxRedirects = FetchOptions::kMaxRedirects;
    // Resets, stalls and 5xx answers are tried again this often, after a
    // pause that starts here and doubles, plus up to half again at random.
    int retries = kRetries;
    std::chrono::milliseconds firstBackoff{1000};
    bool overwrite = false;
    // Where to resolve an expired address again; its TLS settings are used
    // for the audio as well.
    ResolveOptions resolver;
};

struct SaveResult
{
    enum class Failure {
        None,
        Exists,  // the target was there already and was left alone
        Name,    // a folder or file name of the target that Windows does not allow
        Busy,    // another save is writing the same file
        NotWeb,  // not an http or https address
        Network, // includes TLS, redirects and time-outs
        TooLarge,
        NotAudio,   // the server sent a web page
        Http,       // an HTTP error status other than the ones retried
        Gone,       // the server said the file is gone; the part file is removed
        Incomplete, // fewer bytes than the server announced
        Write,      // the disk refused: full, no permission, …
    };

    Failure failure = Failure::None;
    QString error; // readable cause
    QString file;  // the target, once known
    qint64 bytes = 0;

    bool ok() const { return failure == Failure::None; }
};

// A bounded, streaming download of an audio address to a file. It writes to
// "<target>.part" and renames that onto the target only when the file is
// whole, so nothing half-written carries the final name. An existing part
// file is resumed with a byte range, guarded by the ETag or Last-Modified
// kept in its resume record (resumeRecordPath()). An expired address
// (isExpiredAddressStatus()) resolves the track again once and goes on from
// the bytes saved; resets, stalls and 5xx answers are retried. Emits
// finished() once, then deletes itself later; destroying it first stops the
// transfer and keeps the part file.
class AudioSave : public QObject
{
    Q_OBJECT
public:
    // Names the target once the extension is known (from the address, the
    // Content-Type or the first bytes; savedFileExtension() when none tells).
    using Target = std::function<QString(const QString &extension)>;

    AudioSave(QNetworkAccessManager &manager, const QString &songUrl, const QString &trackId,
              Target target, const SaveOptions &options, QObject *parent = nullptr);
    ~AudioSave() override;

signals:
    // `saved` bytes are in the file of `total` (-1 while unknown); `received`
    // is what this save took from the network, less than `saved` when it
    // resumed a part file.
    void progress(qint64 saved, qint64 total, qint64 received);
    // After a reset, a stall or a 5xx, while it waits to try again: `attempt`
    // is the try to come (2, 3, …) of at most `attempts`.
    void retrying(int attempt, int attempts, const QString &cause);
    void finished(const velmora::SaveResult &result);

private:
    void start();
    bool decideTarget(const QString &extension);
    void request();
    void onHeaders();
    void onData();
    void onFinished();
    void resolveAgain(int status);
    void retry(const QString &cause);
    qint64 resumeOffset() const;
    bool write(QByteArrayView data);
    void fail(SaveResult::Failure failure, const QString &cause);
    void complete();
    void stop();

    QNetworkAccessManager &m_manager;
    QString m_trackId;
    Target m_targetFor;
    SaveOptions m_options;
    QUrl m_url;
    QString m_target;
    QFile m_part;
    QFile m_record;                    // see resumeRecordPath()
    std::unique_ptr<QLockFile> m_lock; // one writer per part file, across processes
    QByteArray m_validator;
    QByteArray m_pending; // bytes that arrived before the target was known
    QByteArray m_block;   // what each read takes from the reply, reused
    QPointer<QNetworkReply> m_reply;
    QTimer m_idleTimer;
    QTimer m_retryTimer;
    QString m_tlsErrors;
    qint64 m_offset = 0; // where this request starts in the file
    qint64 m_total = -1;
    qint64 m_received = 0;
    int m_attempts = 0;
    bool m_resolvedAgain = false;
    bool m_done = false;
};

// Where a save of `target` keeps what resuming its part file needs: the
// server's ETag or Last-Modified, and beside it (".lock") the lock that keeps
// a second writer out. They live in the user's cache, keyed by the part
// file's path, so that the target's folder holds the part file alone.
QString resumeRecordPath(const QString &target);

} // namespace velmora
