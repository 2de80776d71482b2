#include "progress.h"

#include "progresstext.h"
#include "streams.h"

#include <QString>

namespace velmora::cli {

ProgressLine::ProgressLine(std::FILE *stream, Mode mode) : m_stream(stream), m_mode(mode)
{
    m_started.start();
}

void ProgressLine::show(qint64 saved, qint64 total, qint64 received)
{
    const qint64 now = m_started.elapsed();
    const qint64 interval = m_mode == Mode::Plain ? 1000 : 100;
    if (m_mode == Mode::Off || (m_lastShown >= 0 && now - m_lastShown < interval))
        return;
    m_lastShown = now;
    const double rate = now > 0 ? double(received) * 1000.0 / double(now) : 0;
    // English, as everything the command prints.
    const QLocale english = QLocale::c();
    QString line = saveProgressText(saved, total, english) +
                   QStringLiteral("  %1/s").arg(formatBytes(qint64(rate), english));
    if (total > 0 && rate > 0) {
        const qint64 left = qint64(double(total - saved) / rate);
        line +=
            QStringLiteral("  %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    const QByteArray bytes = line.toUtf8();
    writeText(m_stream, m_mode == Mode::Terminal ? "\r\x1b[K" + bytes : bytes + '\n');
    m_onScreen = m_mode == Mode::Terminal;
}

void ProgressLine::clear()
{
    if (!m_onScreen)
        return;
    writeText(m_stream, "\r\x1b[K");
    m_onScreen = false;
}

} // namespace velmora::cli
