// Runs the fake resolver for demos and benchmarks until killed.
#include "fakeresolver.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>

// Nothing to save on the way out, so ending at once is a clean end.
extern "C" void quitNow(int)
{
    std::_Exit(0);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fake-resolver"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local stand-in for the resolver service (https) and its media (http)."));
    parser.addHelpOption();
    parser.addOptions(
        {{QStringLiteral("port"), QStringLiteral("HTTPS resolver port (default: a free one)."),
          QStringLiteral("N")},
         {QStringLiteral("media-port"), QStringLiteral("HTTP media port (default: a free one)."),
          QStringLiteral("N")}});
    parser.process(app);
    const auto port = [&parser](const QString &option) {
        bool ok = false;
        const uint port = parser.value(option).toUInt(&ok);
        if (parser.isSet(option) && (!ok || port > 65535)) {
            std::fprintf(stderr, "fake-resolver: bad port '%s'\n",
                         qPrintable(parser.value(option)));
            std::exit(2);
        }
        return quint16(port);
    };

    std::signal(SIGINT, quitNow);
    std::signal(SIGTERM, quitNow);

    velmora::fake::FakeResolver resolver;
    if (!resolver.start(port(QStringLiteral("port")), port(QStringLiteral("media-port")))) {
        std::fprintf(stderr, "fake-resolver: cannot listen on the requested ports\n");
        return 1;
    }
    std::printf("resolver: %s\nmedia: %s\nca: %s\n", qPrintable(resolver.resolverBase().toString()),
                qPrintable(resolver.mediaBase().toString()),
                qPrintable(velmora::fake::FakeResolver::caFilePath()));
    std::fflush(stdout);
    return app.exec();
}
