#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace velmora {

namespace {

constexpr int kHandOverMs = 2000;
// How long a later start waits for the window that holds the lock to listen:
// that follows the lock at once, so only a window that hangs takes this long.
constexpr int kWindowStartMs = 10000;
constexpr unsigned long kRetryMs = 50;

// Beside the socket, in the user's own folder (socketName()): a file
// there, where a Windows pipe is none. For a socket named without a folder,
// the temporary folder.
QString lockName(const QString &socket)
{
    return QDir::isAbsolutePath(socket)
               ? socket + QStringLiteral(".lock")
               : QDir::temp().filePath(QFileInfo(socket).fileName() + QStringLiteral(".lock"));
}

} // namespace

QString SingleInstance::socketName()
{
    // The user's own folder for what lives as long as a session: the runtime
    // folder on Linux; on Windows, whose pipes are in no folder, the
    // temporary one, which is the user's own too, gives the pipe its name.
#ifdef Q_OS_WIN
    const QString folder = QDir::tempPath();
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
#endif
    if (!folder.isEmpty())
        return QDir(folder).filePath(QStringLiteral("velmora.socket"));
    return QStringLiteral("velmora-") + QDir::home().dirName();
}

bool SingleInstance::handOver(const QString &text, const QString &name)
{
    // Before the event loop runs, so waiting here holds up nothing.
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kHandOverMs))
        return false;
    socket.write(text.toUtf8() + '\n');
    return socket.waitForBytesWritten(kHandOverMs) || socket.bytesToWrite() == 0;
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_name(name), m_lock(lockName(name))
{
    // Held for as long as the window is open, not thought stale with age; a
    // crash's lock is known by its process being gone.
    m_lock.setStaleLockTime(0);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine())
                    emit received(QString::fromUtf8(socket->readLine()).chopped(1));
            });
        }
    });
}

SingleInstance::Role SingleInstance::start(const QString &text)
{
    const QDeadlineTimer deadline(kWindowStartMs);
    for (;;) {
        if (m_lock.tryLock(0)) {
            // Only the lock's holder listens: a socket there is a crash's.
            QLocalServer::removeServer(m_name);
            m_server->listen(m_name); // without it this window is simply not the shared one
            return Role::Window;
        }
        if (handOver(text, m_name))
            return Role::HandedOver;
        // No lock to be had at all (a folder not writable): nothing can be
        // shared, and a window is better than none.
        if (m_lock.error() != QLockFile::LockFailedError)
            return Role::Window;
        if (deadline.hasExpired())
            return Role::NoAnswer;
        QThread::msleep(kRetryMs); // the window is starting, or ending
    }
}

} // namespace velmora
