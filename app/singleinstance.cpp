#include "singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace velmora {

namespace {

constexpr int kHandOverMs = 2000;

} // namespace

QString SingleInstance::socketName()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(QStringLiteral("velmora.socket"));
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

SingleInstance::SingleInstance(QObject *parent) : QObject(parent)
{
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

bool SingleInstance::listen(const QString &name)
{
    if (m_server->listen(name))
        return true;
    // Nobody answered on it (handOver() tried first): a crash left it behind.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

} // namespace velmora
