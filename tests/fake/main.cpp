// Runs the fake resolver for demos and benchmarks until killed.
#include "fakeresolver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <csignal>
#include <cstdlib>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Local stand-in for the resolver service (https) and its media (http)."_s);
    parser.addHelpOption();
    parser.addOptions(
        {{u"port"_s, u"HTTPS resolver port (default: a free one)."_s, u"N"_s, u"0"_s},
         {u"media-port"_s, u"HTTP media port (default: a free one)."_s, u"N"_s, u"0"_s},
         {u"audio"_s, u"Serve FILE as the example track's audio (benchmarks)."_s, u"FILE"_s}});
    parser.process(app);
    // Nothing to save on the way out, so ending at once is a clean end.
    for (const int number : {SIGINT, SIGTERM})
        std::signal(number, [](int) { std::_Exit(0); });

    bool portOk = false;
    bool mediaPortOk = false;
    const quint16 port = parser.value(u"port"_s).toUShort(&portOk);
    const quint16 mediaPort = parser.value(u"media-port"_s).toUShort(&mediaPortOk);
    velmora::fake::FakeResolver resolver;
    if (parser.isSet(u"audio"_s)) {
        QFile audio(parser.value(u"audio"_s));
        if (!audio.open(QIODevice::ReadOnly))
            qFatal("fake-resolver: cannot read %s", qPrintable(audio.fileName()));
        resolver.setAudio(velmora::fake::tracks::Demo, audio.readAll());
    }
    if (!portOk || !mediaPortOk || !resolver.start(port, mediaPort)) {
        qCritical("fake-resolver: cannot listen on the requested ports (0 to 65535, 0 for any)");
        return 1;
    }
    QTextStream(stdout) << "resolver: " << resolver.resolverBase().toString()
                        << "\nmedia: " << resolver.mediaBase().toString()
                        << "\nca: " << resolver.caFilePath() << Qt::endl;
    return app.exec();
}
