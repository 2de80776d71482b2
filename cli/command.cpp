#include "command.h"

#include "messages.h"
#include "options.h"
#include "proxy.h"
#include "runner.h"
#include "settings.h"
#include "streams.h"

#include <QCoreApplication>

#include <cstdio>

namespace velmora::cli {

namespace {

void write(std::FILE *stream, const QString &text)
{
    writeText(stream, text.toUtf8());
}

} // namespace

int runResolveCommand(QCoreApplication &app)
{
    prepareStandardStreams();
    QCoreApplication::setApplicationName(QString::fromLatin1(kProgramName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(settings::kVersion));

    const ParsedArguments parsed = parseArguments(QCoreApplication::arguments());
    switch (parsed.action) {
    case ParsedArguments::Action::Help:
        write(stdout, parsed.help);
        return Resolved;
    case ParsedArguments::Action::Version:
        write(stdout, messages::kVersion.toString().arg(QLatin1String(kProgramName),
                                                        QLatin1String(settings::kVersion)));
        return Resolved;
    case ParsedArguments::Action::Fail:
        write(stderr, messages::kBadUsage.toString().arg(QLatin1String(kProgramName), parsed.error,
                                                         usageLine()));
        return BadUsage;
    case ParsedArguments::Action::Run:
        break;
    }

    if (parsed.options.proxy)
        QNetworkProxy::setApplicationProxy(*parsed.options.proxy);
    else
        useSystemProxies();
    Runner runner(parsed.options, stdout, stderr);
    QObject::connect(&runner, &Runner::finished, &app,
                     [](int status) { QCoreApplication::exit(status); });
    // Started from the loop, so that a run that ends at once still ends it.
    QMetaObject::invokeMethod(
        &runner, [&runner, &parsed] { runner.start(parsed.options.sources); },
        Qt::QueuedConnection);
    return QCoreApplication::exec();
}

} // namespace velmora::cli
