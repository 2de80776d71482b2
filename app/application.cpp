#include "application.h"

#include "settings.h"

#include <QApplication>

namespace velmora {

void DescribeApplication()
{
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QApplication::setApplicationVersion(QString::fromLatin1(settings::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("cn.velmora.Velmora"));
}

ResolveOptions BuiltInResolveOptions()
{
    ResolveOptions options; // an empty host means the built-in one
    if (const QByteArray pem(settings::kExtraCaPem); !pem.isEmpty())
        options.fetch.ssl = SslWithExtraCa(pem);
    return options;
}

} // namespace velmora
