#include "application.h"

#include "settings.h"

#include <QApplication>
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

} // namespace velmora
