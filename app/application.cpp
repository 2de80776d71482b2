#include "application.h"

#include "form1.h"
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

namespace velmora {

void describeApplication()
{
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QApplication::setApplicationVersion(QString::fromLatin1(settings::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("cn.velmora.Velmora"));
}

void installTranslations(QCoreApplication &app)
{
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    const struct
    {
        QString name, folder;
    } catalogues[] = {
        {QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)},
        {QStringLiteral("velmora"), QStringLiteral(":/i18n")},
    };
    for (const auto &[name, folder] : catalogues) {
        auto *translator = new QTranslator(&app);
        // A missing catalogue leaves those texts in English; nothing fails.
        if (translator->load(chinese, name, QStringLiteral("_"), folder))
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
    window.show();
    // At once: the request then opens the resolver's connection itself,
    // and the window's warm-up, still queued, finds it busy.
    if (!address.isEmpty())
        window.openAddress(address);
    return QApplication::exec();
}

} // namespace velmora
