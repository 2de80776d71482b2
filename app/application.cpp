#include "application.h"

#include "form1.h"
#include "identity.h"
#ifdef Q_OS_WIN
#include "mediakeys.h"
#endif
#ifdef VELMORA_MPRIS
#include "mpris.h"
#endif
#include "proxy.h"
#include "settings.h"
#include "singleinstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <algorithm>

namespace velmora {

void describeApplication()
{
    // Windows keeps settings under the organization's name, and keeps none
    // without one.
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setOrganizationDomain(QStringLiteral("velmora.cn"));
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QApplication::setApplicationVersion(QString::fromLatin1(settings::kVersion));
    QApplication::setDesktopFileName(QStringLiteral(VELMORA_DESKTOP_ID));
}

void installTranslations(QCoreApplication &app)
{
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    // Qt's own catalogue comes with the program where no Qt is installed
    // (Windows), else from the Qt the program runs on.
    const QString builtIn = QStringLiteral(":/i18n");
    const struct
    {
        QString name;
        QStringList folders;
    } catalogues[] = {
        {QStringLiteral("qtbase"), {builtIn, QLibraryInfo::path(QLibraryInfo::TranslationsPath)}},
        {QStringLiteral("velmora"), {builtIn}},
    };
    for (const auto &[name, folders] : catalogues) {
        auto *translator = new QTranslator(&app);
        // A missing catalogue leaves those texts in English; nothing fails.
        if (std::any_of(folders.cbegin(), folders.cend(), [&](const QString &folder) {
                return translator->load(chinese, name, QStringLiteral("_"), folder);
            }))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}

int runWindow(QApplication &app)
{
    describeApplication();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Resolves a play-page address and plays the track. With an ADDRESS, a "
                       "window already open resolves it; otherwise a new one does."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("ADDRESS"),
                                 QStringLiteral("A play-page address, or text holding one."),
                                 QStringLiteral("[ADDRESS]"));
    parser.process(app);
    const QString address = parser.positionalArguments().join(u' ');
    SingleInstance instance;
    switch (instance.start(address)) {
    case SingleInstance::Role::Window:
        break;
    case SingleInstance::Role::HandedOver:
        return 0;
    case SingleInstance::Role::NoAnswer:
        qWarning("velmora: the window already open does not answer");
        return 1;
    }

    installTranslations(app);
    useSystemProxies();
    Form1 window(defaultResolveOptions());
    QObject::connect(&instance, &SingleInstance::received, &window, &Form1::openAddress);
#ifdef VELMORA_MPRIS
    (new Mpris(window.W1, &window))->publish(); // without a session bus there are no media keys
#endif
#ifdef Q_OS_WIN
    new MediaKeys(window.W1, &window);
#endif
    window.show();
    // At once: the request then opens the resolver's connection itself,
    // and the window's warm-up, still queued, finds it busy.
    if (!address.isEmpty())
        window.openAddress(address);
    return QApplication::exec();
}

} // namespace velmora
