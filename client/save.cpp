#include "save.h"

#include "causes.h"
#include "filefailure.h"
#include "filename.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <filesystem>

namespace velmora {

namespace {

// Enough of the start of a file to tell its format.
constexpr qsizetype kSniffBytes = 16;
// Reading ahead of the disk no further than this keeps memory flat; each
// read takes what has arrived, up to as much.
constexpr qint64 kReadBuffer = 1 << 20;

// Failures of the connection that a later attempt may not meet again.
bool isTransient(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // our own idle limit
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionClosedError:
        return true;
    default:
        return false;
    }
}

// "bytes 100-199/1000" -> 100, or -1.
qint64 rangeStart(const QByteArray &contentRange)
{
    const QByteArray value = contentRange.trimmed();
    if (!value.startsWith("bytes "))
        return -1;
    bool ok = false;
    const qint64 start = value.mid(6, value.indexOf('-') - 6).toLongLong(&ok);
    return ok ? start : -1;
}

// "bytes 100-199/1000" and "bytes */1000" -> 1000, or -1.
qint64 rangeTotal(const QByteArray &contentRange)
{
    bool ok = false;
    const qint64 total = contentRange.mid(contentRange.indexOf('/') + 1).trimmed().toLongLong(&ok);
    return ok && contentRange.contains('/') ? total : -1;
}

// std::filesystem takes a Windows path as it stands, which ends at 260
// characters; Qt's own calls use the long form, and so does this one.
std::filesystem::path fileSystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    return (native.startsWith(QLatin1String("\\\\"))
                ? QStringLiteral("\\\\?\\UNC\\") + native.mid(2)
                : QStringLiteral("\\\\?\\") + native)
        .toStdU16String();
#else
    return path.toStdU16String();
#endif
}

} // namespace

AudioSave::AudioSave(QNetworkAccessManager &manager, const QString &songUrl, const QString &trackId,
                     Target target, const SaveOptions &options, QObject *parent)
    : QObject(parent), m_manager(manager), m_trackId(trackId), m_targetFor(std::move(target)),
      m_options(options), m_url(webAudioUrl(songUrl).value_or(QUrl())),
      m_block(kReadBuffer, Qt::Uninitialized)
{
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(m_options.idleTimeout);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort(); // finishes as canceled, which is retried
    });
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &AudioSave::request);
    // From the event loop, so that the caller connects to the signals first.
    QMetaObject::invokeMethod(this, &AudioSave::start, Qt::QueuedConnection);
}

AudioSave::~AudioSave()
{
    stop();
}

void AudioSave::start()
{
    if (m_url.isEmpty())
        return fail(SaveResult::Failure::NotWeb, causes::text(causes::kNotWebAddress));
    const QString extension = audioExtension(m_url);
    if (!extension.isEmpty() && !decideTarget(extension))
        return;
    request();
}

// Fixes the target and finds the part file to resume. False when the save
// has ended already (the target exists).
bool AudioSave::decideTarget(const QString &extension)
{
    m_target = m_targetFor(savedFileExtension(extension));
    if (const QString name = nameWindowsRefuses(m_target); !name.isEmpty()) {
        fail(SaveResult::Failure::Name,
             causes::text(causes::kCannotWrite)
                 .arg(m_target, causes::text(causes::kNameNotAllowed).arg(name)));
        return false;
    }
    if (!m_options.overwrite && QFileInfo::exists(m_target)) {
        fail(SaveResult::Failure::Exists, causes::text(causes::kFileExists).arg(m_target));
        return false;
    }
    m_part.setFileName(m_target + QStringLiteral(".part"));
    // Folders in the name are made, as a template may name new ones.
    QDir().mkpath(QFileInfo(m_target).absolutePath());
    m_record.setFileName(resumeRecordPath(m_target));
    QDir().mkpath(QFileInfo(m_record).absolutePath());
    const QString lockFile = m_record.fileName() + QStringLiteral(".lock");
    m_lock = std::make_unique<QLockFile>(lockFile);
    m_lock->setStaleLockTime(0); // a save runs for as long as it needs
    if (!m_lock->tryLock()) {
        const bool held = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        if (held)
            fail(SaveResult::Failure::Busy, causes::text(causes::kBusy).arg(m_target));
        else
            fail(SaveResult::Failure::Write,
                 causes::text(causes::kCannotWrite).arg(lockFile, causes::text(causes::kNoFolder)));
        return false;
    }
    if (m_record.open(QIODevice::ReadOnly))
        m_validator = m_record.readAll().trimmed();
    m_record.close();
    m_offset = resumeOffset();
    return true;
}

void AudioSave::request()
{
    stop();
    QNetworkRequest request =
        boundedRequest(m_url, m_options.maxRedirects, m_options.resolver.fetch.ssl);
    // Byte ranges count in the file's own bytes.
    request.setRawHeader("Accept-Encoding", "identity");
    if (m_offset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_offset) + '-');
        request.setRawHeader("If-Range", m_validator);
    }
    m_pending.clear();
    m_total = -1;
    m_reply = m_manager.get(request);
    m_reply->setReadBufferSize(kReadBuffer);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &AudioSave::onHeaders);
    connect(m_reply, &QNetworkReply::readyRead, this, &AudioSave::onData);
    connect(m_reply, &QNetworkReply::finished, this, &AudioSave::onFinished);
    connect(m_reply, &QNetworkReply::redirected, this, [this] { m_idleTimer.start(); });
    connect(m_reply, &QNetworkReply::sslErrors, this,
            [this](const QList<QSslError> &errors) { m_tlsErrors = describeSslErrors(errors); });
    m_idleTimer.start();
}

void AudioSave::onHeaders()
{
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // Error statuses are taken up when their (short) answer has ended.
    if (status < 200 || status >= 300)
        return;
    const QByteArray type = m_reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    if (type.trimmed().toLower().startsWith("text/html"))
        return fail(SaveResult::Failure::NotAudio, causes::text(causes::kNotAudio));

    // A 206 goes on from the part; anything else is the whole file again.
    const bool resumed = status == 206 && m_offset > 0 &&
                         rangeStart(m_reply->rawHeader("Content-Range")) == m_offset;
    if (!resumed)
        m_offset = 0;
    const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    m_total = m_reply->hasRawHeader("Content-Length") ? m_offset + length : -1;
    if (m_total > m_options.maxBytes)
        return fail(SaveResult::Failure::TooLarge,
                    causes::text(causes::kFileTooLarge).arg(m_options.maxBytes));

    m_validator = m_reply->rawHeader("ETag");
    if (m_validator.isEmpty())
        m_validator = m_reply->rawHeader("Last-Modified");
    if (m_target.isEmpty()) {
        const QString extension = audioExtension(m_url, type);
        if (!extension.isEmpty() && !decideTarget(extension))
            return;
        if (m_offset > 0 && !resumed) // a part of this target waits: ask for the rest only
            return request();
    }
}

void AudioSave::onData()
{
    if (m_done || !m_reply)
        return;
    m_idleTimer.start();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    for (qint64 read; (read = m_reply->read(m_block.data(), m_block.size())) > 0;) {
        if (status < 200 || status >= 300)
            continue; // an error page is no part of the file
        QByteArrayView data(m_block.constData(), read);
        if (m_target.isEmpty()) {
            m_pending += data;
            if (m_pending.size() < kSniffBytes)
                continue;
            if (!decideTarget(audioExtension(m_url, {}, m_pending)))
                return;
            m_offset = 0; // the request asked for the whole file
            data = m_pending;
        }
        if (!write(data))
            return;
        m_pending.clear();
    }
    if (m_part.isOpen())
        emit progress(m_part.pos(), m_total, m_received);
}

bool AudioSave::write(QByteArrayView data)
{
    if (!m_part.isOpen()) {
        // Unbuffered: each block goes to the disk as it came, without a copy.
        const QIODevice::OpenMode mode =
            (m_offset > 0 ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate) |
            QIODevice::Unbuffered;
        if (!m_part.open(mode)) {
            fail(SaveResult::Failure::Write,
                 causes::text(causes::kCannotWrite)
                     .arg(m_part.fileName(), fileFailure(m_part, FileUse::Write)));
            return false;
        }
        if (!m_validator.isEmpty() && m_record.open(QIODevice::WriteOnly | QIODevice::Truncate))
            m_record.write(m_validator + '\n');
        else
            m_record.remove();
        m_record.close();
    }
    m_received += data.size();
    if (m_part.write(data.data(), data.size()) != data.size()) {
        fail(SaveResult::Failure::Write,
             causes::text(causes::kCannotWrite)
                 .arg(m_part.fileName(), fileFailure(m_part, FileUse::Write)));
        return false;
    }
    if (m_part.pos() > m_options.maxBytes) {
        fail(SaveResult::Failure::TooLarge,
             causes::text(causes::kFileTooLarge).arg(m_options.maxBytes));
        return false;
    }
    return true;
}

void AudioSave::onFinished()
{
    if (m_done || !m_reply)
        return;
    const QNetworkReply::NetworkError error = m_reply->error();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (isExpiredAddressStatus(status))
        return resolveAgain(status);
    if (status >= 500)
        return retry(causes::text(causes::kHttpError).arg(status));
    if (status == 416) { // the range starts at or past the end of the file
        // Of the part's own size: the part is the whole file, and only the
        // end of its transfer went missing (curl and yt-dlp take it so).
        if (m_offset > 0 && rangeTotal(m_reply->rawHeader("Content-Range")) == m_offset) {
            m_total = m_offset;
            return complete();
        }
        m_validator.clear(); // another file now: from its start, not from the part's end
        return retry(causes::text(causes::kHttpError).arg(status));
    }
    if (status >= 400)
        return fail(SaveResult::Failure::Http, causes::text(causes::kHttpError).arg(status));
    if (error != QNetworkReply::NoError) {
        const NetworkFailure why = describeNetworkError(*m_reply, m_tlsErrors);
        const QString cause =
            error == QNetworkReply::OperationCanceledError
                ? causes::text(causes::kIdleTimeout).arg(causes::seconds(m_options.idleTimeout))
                : why.cause;
        if (isTransient(error))
            return retry(cause);
        return fail(SaveResult::Failure::Network, cause);
    }
    onData();
    if (m_done)
        return;
    if (m_target.isEmpty() && !decideTarget(audioExtension(m_url, {}, m_pending)))
        return;
    if (!m_pending.isEmpty() && !write(std::exchange(m_pending, {})))
        return;
    complete();
}

void AudioSave::complete()
{
    if (!m_part.isOpen() && !write({}))
        return; // an empty file is a file too
    m_part.close();
    const qint64 size = m_part.size();
    if (m_total >= 0 && size != m_total)
        return fail(SaveResult::Failure::Incomplete,
                    causes::text(causes::kIncomplete).arg(size).arg(m_total));
    // Renamed onto the target in one step; an existing target is replaced
    // only when asked, and otherwise the rename refuses.
    std::error_code error;
    if (m_options.overwrite)
        std::filesystem::rename(fileSystemPath(m_part.fileName()), fileSystemPath(m_target), error);
    else if (!QFile::rename(m_part.fileName(), m_target))
        error = std::make_error_code(std::errc::file_exists);
    if (error)
        return fail(SaveResult::Failure::Write,
                    causes::text(causes::kCannotWrite)
                        .arg(m_target, fileFailure(QFile(m_target), FileUse::Write)));
    m_record.remove();
    m_done = true;
    stop();
    m_lock.reset();
    emit finished(SaveResult{SaveResult::Failure::None, {}, m_target, size});
    deleteLater();
}

void AudioSave::resolveAgain(int status)
{
    stop();
    if (m_resolvedAgain || m_trackId.isEmpty()) {
        if (status == 410) {
            if (!m_target.isEmpty()) {
                m_part.remove();
                m_record.remove();
            }
            return fail(SaveResult::Failure::Gone, causes::text(causes::kGone).arg(status));
        }
        return fail(SaveResult::Failure::Http, causes::text(causes::kHttpError).arg(status));
    }
    // Signed addresses expire: a fresh request gives a fresh one.
    m_resolvedAgain = true;
    auto *resolve = new TrackResolve(m_manager, m_trackId, m_options.resolver, this);
    connect(resolve, &TrackResolve::finished, this, [this, status](const Resolution &result) {
        const std::optional<QUrl> url = playableUrl(result);
        if (!url)
            return fail(
                SaveResult::Failure::Http,
                causes::text(causes::kHttpError).arg(status) + QStringLiteral("; ") +
                    (result.error.isEmpty() ? causes::text(causes::kNotWebAddress) : result.error));
        m_url = *url;
        m_offset = resumeOffset();
        request();
    });
}

void AudioSave::retry(const QString &cause)
{
    stop();
    if (m_attempts >= m_options.retries)
        return fail(SaveResult::Failure::Network,
                    causes::text(causes::kGaveUp).arg(m_attempts + 1).arg(cause));
    m_offset = resumeOffset();
    const auto pause = m_options.firstBackoff * (1 << m_attempts);
    ++m_attempts;
    m_retryTimer.start(pause + pause * QRandomGenerator::global()->bounded(50) / 100);
    emit retrying(m_attempts + 1, m_options.retries + 1, cause);
}

// Where the next request starts: after what is saved, when the part can be
// told apart from another version of the file by its validator; else at 0.
qint64 AudioSave::resumeOffset() const
{
    if (m_target.isEmpty() || m_validator.isEmpty())
        return 0;
    return QFileInfo(m_part.fileName()).size();
}

void AudioSave::fail(SaveResult::Failure failure, const QString &cause)
{
    if (m_done)
        return;
    m_done = true;
    stop();
    m_lock.reset();
    emit finished(SaveResult{failure, cause, m_target, 0});
    deleteLater();
}

void AudioSave::stop()
{
    m_idleTimer.stop();
    m_part.close();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply.clear();
    }
}

QString resumeRecordPath(const QString &target)
{
    const QFileInfo part(target + QStringLiteral(".part"));
    // The folder as the system knows it, so that two ways to one folder meet.
    const QString folder = QFileInfo(part.absolutePath()).canonicalFilePath();
    const QString key = (folder.isEmpty() ? part.absolutePath() : folder) + u'/' + part.fileName();
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        cache = QDir::tempPath();
    return cache + QStringLiteral("/velmora/saves/") +
           QString::fromLatin1(
               QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
}

} // namespace velmora
