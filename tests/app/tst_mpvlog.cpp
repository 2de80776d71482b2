#include "mpvlog.h"

#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<velmora::PlayFailure>)

class TestMpvLog : public QObject
{
    Q_OBJECT
private slots:
    void failureNamedIn_data();
    void failureNamedIn();
};

// Lines as libmpv 0.35 hands them out: the module, then ffmpeg's own
// "protocol: …" text.
void TestMpvLog::failureNamedIn_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<PlayFailure>>("failure");
    const auto row = [](const char *name, const char *prefix, const char *text,
                        std::optional<PlayFailure> failure) {
        QTest::newRow(name) << QString::fromUtf8(prefix) << QString::fromUtf8(text) << failure;
    };
    using enum PlayFailure;
    row("403", "ffmpeg", "http: HTTP error 403 Forbidden", Refused);
    row("401", "ffmpeg", "http: HTTP error 401 Unauthorized", Refused);
    row("410 over https", "ffmpeg", "https: HTTP error 410 Gone", Refused);
    row("404", "ffmpeg", "http: HTTP error 404 Not Found", Unreadable);
    row("500", "ffmpeg", "http: HTTP error 500 Internal Server Error", Unreadable);
    row("refused port", "ffmpeg", "tcp: Connection to tcp://127.0.0.1:1 failed: Connection refused",
        Network);
    row("unknown host", "ffmpeg",
        "tcp: Failed to resolve hostname no-such-host.invalid: Name or service not known", Network);
    row("untrusted certificate", "ffmpeg",
        "tls: The certificate is NOT trusted. The certificate issuer is unknown.", Network);
    row("dropped and retried", "ffmpeg",
        "http: Will reconnect at 24576 in 1 second(s), error=End of file.", Network);
    row("no sound device", "cplayer", "Could not open/initialize audio device -> no sound.",
        NoSound);
    row("mpv's summary", "cplayer", "Failed to open http://127.0.0.1:1/a.mp3.", std::nullopt);
    row("a seek the server cannot serve", "ffmpeg", "Seek failed (to 44, size 3528044)",
        std::nullopt);
    row("another module's words", "ytdl_hook", "tcp: Connection refused", std::nullopt);
}

void TestMpvLog::failureNamedIn()
{
    QFETCH(QString, prefix);
    QFETCH(QString, text);
    QFETCH(std::optional<PlayFailure>, failure);
    QCOMPARE(velmora::failureNamedIn({prefix, text}), failure);
}

QTEST_APPLESS_MAIN(TestMpvLog)
#include "tst_mpvlog.moc"
