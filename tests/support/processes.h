#pragma once

// The programs the Linux tests run beside the one under test: the real
// velmora-resolve (or what VELMORA_RESOLVE names) against the fake, and
// Debian's tinyproxy. They end with the test process.
#include "againstfake.h"

#include <QProcess>
#include <QTemporaryDir>

#include <functional>

namespace velmora::testing {

// Debian's tinyproxy on a free loopback port, with a log of what it carried.
// It stops with this object, or with the test process.
class Tinyproxy
{
public:
    bool start();
    QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString log() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

struct CliRun
{
    int status = -1; // -1: crashed or never ended
    QStringList out; // lines
    QStringList err;
};

struct CliSetting
{
    QByteArray input = {};     // standard input
    qint64 fileSizeLimit = -1; // bytes: the disk refuses larger files, as a full one
    // On a pseudo-terminal, whose text, both streams without the terminal's
    // control sequences, comes in `out`.
    bool onTerminal = false;
    QString folder = {}; // the working folder, if not this process's
    // Runs once the program has started, for a test that steers the fake
    // while the program waits on it.
    std::function<void()> meanwhile = {};
};

// Runs velmora-resolve (VELMORA_RESOLVE) against `fake`, trusting its CA;
// later options win. The fake answers from this process, so the wait spins
// the event loop.
CliRun runCli(const fake::FakeResolver &fake, const QStringList &arguments,
              const CliSetting &setting = {});

} // namespace velmora::testing
