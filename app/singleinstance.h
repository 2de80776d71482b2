#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

namespace velmora {

// One window per user. Of starts at the same moment, the one that takes a
// lock (held for this object's life) is the window and listens on a local
// socket private to the user; every other start hands its address (or
// nothing, to only raise the window) to it and ends. A lock or socket left
// behind by a crash is taken over.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Role {
        Window,     // this start: listening, unless the socket could not be had
        HandedOver, // to the window
        NoAnswer,   // the window holds the lock but does not listen
    };

    // The socket of this user: in the private runtime folder where there is
    // one, else a name with the user's in it.
    static QString socketName();

    // Hands `text` to a running window. False when none is listening.
    static bool handOver(const QString &text, const QString &name = socketName());

    explicit SingleInstance(const QString &name = socketName(), QObject *parent = nullptr);

    // Becomes the window, or hands `text` to the one there is: trying again
    // while it is still starting, and taking its place when it ended
    // meanwhile. Waits before the event loop runs, holding up nothing.
    Role start(const QString &text);

signals:
    // A later start's text, possibly empty.
    void received(const QString &text);

private:
    QString m_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};

} // namespace velmora
