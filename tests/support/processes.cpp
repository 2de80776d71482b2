#include "processes.h"

#include <QTcpSocket>

#include <sys/prctl.h>
#include <sys/resource.h>

#include <csignal>

namespace velmora::testing {

bool Tinyproxy::start()
{
    m_port = closedPort(); // free, for the proxy to take
    if (!m_port)
        return false;
    QFile config(m_dir.filePath(QStringLiteral("tinyproxy.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    // No ConnectPort line: CONNECT to any port, as the fake's is a free one.
    config.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nLogLevel Connect\n"
                                "LogFile \"%2\"\n")
                     .arg(m_port)
                     .arg(m_dir.filePath(QStringLiteral("log")))
                     .toUtf8());
    config.close();
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(QStringLiteral("tinyproxy"),
                    {QStringLiteral("-d"), QStringLiteral("-c"), config.fileName()});
    return m_process.waitForStarted() && QTest::qWaitFor([this] {
               QTcpSocket socket;
               socket.connectToHost(QHostAddress::LocalHost, m_port);
               return socket.waitForConnected(100);
           });
}

QString Tinyproxy::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

CliRun runCli(const fake::FakeResolver &fake, const QStringList &arguments,
              const CliSetting &setting)
{
    CliRun result;
    QProcess process;
    if (const qint64 size = setting.fileSizeLimit; size >= 0) {
        process.setChildProcessModifier([size] {
            const rlimit limit{rlim_t(size), rlim_t(size)};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_IGN); // a write past it fails instead of killing
        });
    }
    process.setWorkingDirectory(setting.folder);
    QSignalSpy finished(&process, &QProcess::finished);
    QStringList command{programUnderTest("VELMORA_RESOLVE"), QStringLiteral("--resolver"),
                        fake.resolverBase().toString(), QStringLiteral("--cacert"),
                        fake::FakeResolver::caFilePath()};
    command += arguments;
    if (setting.onTerminal) { // util-linux's script gives it one
        for (QString &word : command)
            word = u'\'' + word.replace(u'\'', QLatin1String("'\\''")) + u'\'';
        command = QStringList{QStringLiteral("script"), QStringLiteral("-qefc"), command.join(u' '),
                              QStringLiteral("/dev/null")};
    }
    process.start(command.takeFirst(), command);
    if (!process.waitForStarted())
        return result;
    process.write(setting.input);
    process.closeWriteChannel();
    if (setting.meanwhile)
        setting.meanwhile();
    if (finished.isEmpty() && !finished.wait(60000))
        return result; // the process's destructor kills it
    if (process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    QString out = QString::fromUtf8(process.readAllStandardOutput());
    if (setting.onTerminal)
        out.remove(QRegularExpression(QStringLiteral(R"(\x1b\[[0-9;?]*[A-Za-z]|\r)")));
    result.out = out.split(u'\n', Qt::SkipEmptyParts);
    result.err = QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    return result;
}

} // namespace velmora::testing
