#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace velmora {

// One window per user. The first start listens on a local socket private to
// the user; a later start hands its address (or nothing, to only raise the
// window) to it and ends. A socket left behind by a crash is taken over.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // The socket of this user: in the private runtime folder where there is
    // one, else a name with the user's in it.
    static QString socketName();

    // Hands `text` to a running window. False when none is listening.
    static bool handOver(const QString &text, const QString &name = socketName());

    explicit SingleInstance(QObject *parent = nullptr);

    // Starts listening. False when the socket cannot be had at all.
    bool listen(const QString &name = socketName());

signals:
    // A later start's text, possibly empty.
    void received(const QString &text);

private:
    QLocalServer *m_server = nullptr;
};

} // namespace velmora
