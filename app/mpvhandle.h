#pragma once

#include <QString>
#include <QVariant>

struct mpv_handle;

namespace velmora {

// What libmpv said to a call: its status, negative when it refused.
struct MpvResult
{
    int status = 0;

    bool ok() const { return status >= 0; }
    explicit operator bool() const { return ok(); }
    QString error() const; // libmpv's words for the status
};

// One libmpv handle, owned: created with the object, terminated with it.
// Every call reports libmpv's answer, so that nothing it refuses goes
// unnoticed. Values are given as Qt values (strings, numbers, flags, lists,
// maps of them) and handed to libmpv as its own nodes.
class MpvHandle
{
public:
    MpvHandle();
    ~MpvHandle();
    MpvHandle(const MpvHandle &) = delete;
    MpvHandle &operator=(const MpvHandle &) = delete;

    mpv_handle *get() const { return m_mpv; }
    explicit operator bool() const { return m_mpv != nullptr; }

    // Before initialize().
    MpvResult setOption(const char *name, const QVariant &value);
    MpvResult initialize();

    // Commands with named arguments ({"name": "loadfile", "url": …}), which
    // every libmpv version reads alike; the reply comes as an event with
    // `reply`. A refusal here means no reply will come.
    MpvResult command(const QVariantMap &command, quint64 reply);
    MpvResult setProperty(const char *name, const QVariant &value);

    // Terminates the core now, as the destructor would.
    void reset();

private:
    mpv_handle *m_mpv = nullptr;
};

} // namespace velmora
