#include "options.h"

#include "filefailure.h"
#include "messages.h"
#include "proxy.h"
#include "settings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QUrl>

#include <cmath>

namespace velmora::cli {

namespace {

constexpr char kDescription[] =
    "Turns play-page addresses into direct audio addresses through the resolver\n"
    "service. Each ADDRESS may be any text that holds a play-page address (the\n"
    "last one in it counts). With no ADDRESS, or for '-', addresses are read from\n"
    "standard input, one per line; blank lines are skipped. An input longer than\n"
    "%1 KiB is refused.";

constexpr char kEpilogue[] =
    "\nOutput:\n"
    "  One audio address per input, in input order, on standard output; errors\n"
    "  go to standard error and name the input. With --json, one JSON object per\n"
    "  input on standard output, with the members input, id, url, name and error\n"
    "  (and file and bytes with --output). With --output, the path of each saved\n"
    "  file instead of its address; progress goes to standard error when it is a\n"
    "  terminal, or with --progress.\n"
    "\nExit status:\n"
    "  %2  every input resolved\n"
    "  %3  bad usage: unknown option, bad value, unreadable or invalid CA file\n"
    "  %4  an input holds no play-page address, or is longer than %1 KiB\n"
    "  %5  the service does not know a track (\"not_find\")\n"
    "  %6  any other failure: network, TLS, time-out, answer without a usable\n"
    "     http or https audio address, a save that failed\n"
    "  When a run meets several of these, the highest status wins.\n";

std::optional<QSslConfiguration> trustWithCaFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = messages::kCannotReadCa.toString().arg(path, fileFailure(file, FileUse::Read));
        return std::nullopt;
    }
    const QByteArray pem = file.readAll();
    // A demo build's own CA stays trusted next to the given one, so the file
    // is checked on its own: that CA must not make up for it.
    if (QSslCertificate::fromData(pem, QSsl::Pem).isEmpty()) {
        *error = messages::kNoPemInCa.toString().arg(path);
        return std::nullopt;
    }
    return sslWithExtraCa(QByteArray(settings::kExtraCaPem) + '\n' + pem);
}

} // namespace

QString usageLine()
{
    return messages::kUsage.toString().arg(QLatin1String(kProgramName));
}

std::optional<QString> resolverHostOf(const QString &baseAddress)
{
    const QUrl url(baseAddress, QUrl::StrictMode);
    const bool bare = url.path().isEmpty() || url.path() == QLatin1String("/");
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || !bare || url.hasQuery() || url.hasFragment())
        return std::nullopt;
    QString host = url.host(QUrl::FullyEncoded);
    if (host.contains(u':'))
        host = u'[' + host + u']'; // IPv6
    if (url.port() != -1)
        host += u':' + QString::number(url.port());
    return host;
}

ParsedArguments parseArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription).arg(kMaxInputBytes / 1024));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Write one JSON object per input instead."));
    const QCommandLineOption resolver(
        QStringLiteral("resolver"),
        QStringLiteral("Base address of a compatible resolver service, https://host[:port] "
                       "(default: https://%1).")
            .arg(settings::kResolverHost),
        QStringLiteral("URL"));
    const QCommandLineOption cacert(
        QStringLiteral("cacert"),
        QStringLiteral("Also trust the CA certificate(s) in FILE (PEM), besides the system's."),
        QStringLiteral("FILE"));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral("Time limit of each whole request, a positive number up to %1 "
                       "(default: %2).")
            .arg(kMaxTimeoutSeconds)
            .arg(std::chrono::duration<double>(FetchOptions::kTotalTimeout).count()),
        QStringLiteral("SECONDS"));
    const QCommandLineOption jobs(
        QStringLiteral("j"),
        QStringLiteral("At most N requests at once, 1 to %1 (default: %2); the output keeps the "
                       "input order.")
            .arg(kMaxJobs)
            .arg(kDefaultJobs),
        QStringLiteral("N"));
    const QCommandLineOption output(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Save each audio file as TEMPLATE, with the fields {name}, {id} and {ext}; "
                       "a folder gets %1 in it. Prints the file's path instead of the address. "
                       "An existing file is kept and counts as saved.")
            .arg(QLatin1String(kDefaultOutput)),
        QStringLiteral("TEMPLATE"));
    const QCommandLineOption force(QStringLiteral("force-overwrites"),
                                   QStringLiteral("Replace files that exist already."));
    const QCommandLineOption retries(
        QStringLiteral("retries"),
        QStringLiteral("Try a save again up to N times after a reset, a stall or a server error "
                       "(default: %1).")
            .arg(SaveOptions::kRetries),
        QStringLiteral("N"));
    const QCommandLineOption progress(
        QStringLiteral("progress"),
        QStringLiteral("Write plain progress lines to standard error, at most one a second, "
                       "even when it is not a terminal."));
    const QCommandLineOption proxy(
        QStringLiteral("proxy"),
        QStringLiteral("Go through this proxy, http://host:port or socks5://host:port; empty for "
                       "none (default: the system's, such as http_proxy, https_proxy, no_proxy)."),
        QStringLiteral("URL"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({json, resolver, cacert, timeout, jobs, output, force, retries, progress,
                       proxy, help, version});
    parser.addPositionalArgument(
        QStringLiteral("ADDRESS"),
        QStringLiteral("A play-page address, or text holding one; '-' for standard input."),
        QStringLiteral("[ADDRESS...]"));

    ParsedArguments result;
    // Qt's first line names the program by the path it was started with.
    const QString qtHelp = parser.helpText();
    const auto number = [](int n) {
        return QString::number(n);
    };
    result.help = usageLine() + qtHelp.mid(qtHelp.indexOf(u'\n')) +
                  QString::fromLatin1(kEpilogue).arg(
                      number(kMaxInputBytes / 1024), number(Resolved), number(BadUsage),
                      number(NoPlayPage), number(TrackUnknown), number(RequestFailed));
    const auto fail = [&result](const QString &error) {
        result.action = ParsedArguments::Action::Fail;
        result.error = error;
        return result;
    };

    // Not process(): it exits with status 1 on its own.
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        result.action = ParsedArguments::Action::Help;
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedArguments::Action::Version;
        return result;
    }

    Options &options = result.options;
    options.json = parser.isSet(json);

    if (parser.isSet(resolver)) {
        const std::optional<QString> host = resolverHostOf(parser.value(resolver));
        if (!host)
            return fail(messages::kBadResolver.toString().arg(parser.value(resolver)));
        options.resolve.resolverHost = *host;
    }

    if (parser.isSet(timeout)) {
        bool ok = false;
        const double seconds = parser.value(timeout).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > kMaxTimeoutSeconds)
            return fail(messages::kBadTimeout.toString()
                            .arg(kMaxTimeoutSeconds)
                            .arg(parser.value(timeout)));
        // Rounded up, so that a tiny limit never becomes none. The idle limit
        // stays as it is: it only matters where it is the shorter one.
        options.resolve.fetch.totalTimeout =
            std::chrono::milliseconds{qint64(std::ceil(seconds * 1000))};
    }

    if (parser.isSet(jobs)) {
        bool ok = false;
        options.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.jobs < 1 || options.jobs > kMaxJobs)
            return fail(messages::kBadJobs.toString().arg(kMaxJobs).arg(parser.value(jobs)));
    }

    if (parser.isSet(cacert)) {
        QString error;
        options.resolve.fetch.ssl = trustWithCaFile(parser.value(cacert), &error);
        if (!options.resolve.fetch.ssl)
            return fail(error);
    }

    if (parser.isSet(output)) {
        // \ separates folders on every system, so that a template means the same everywhere.
        options.output = parser.value(output).replace(u'\\', u'/');
        if (options.output->isEmpty())
            return fail(messages::kEmptyOutput.toString());
        if (options.output->endsWith(u'/') || QFileInfo(*options.output).isDir())
            options.output = QDir(*options.output).filePath(QLatin1String(kDefaultOutput));
    }
    options.save.overwrite = parser.isSet(force);
    options.progress = parser.isSet(progress);
    if (parser.isSet(retries)) {
        bool ok = false;
        options.save.retries = parser.value(retries).toInt(&ok);
        if (!ok || options.save.retries < 0 || options.save.retries > kMaxRetries)
            return fail(
                messages::kBadRetries.toString().arg(kMaxRetries).arg(parser.value(retries)));
    }
    if (parser.isSet(proxy)) {
        QString error;
        options.proxy = proxyFromAddress(parser.value(proxy), &error);
        if (!options.proxy)
            return fail(messages::kBadProxy.toString().arg(error));
    }
    options.save.resolver = options.resolve;

    options.sources = parser.positionalArguments();
    if (options.sources.isEmpty())
        options.sources = {QStringLiteral("-")};
    result.action = ParsedArguments::Action::Run;
    return result;
}

} // namespace velmora::cli
