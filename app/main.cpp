#include "form1.h"
#include "settings.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QApplication::setApplicationVersion(QString::fromLatin1(velmora::settings::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("cn.velmora.Velmora"));

    velmora::ResolveOptions resolver; // the built-in host
    if (const QByteArray pem(velmora::settings::kExtraCaPem); !pem.isEmpty())
        resolver.fetch.ssl = velmora::SslWithExtraCa(pem);

    velmora::Form1 window(resolver);
    window.show();
    return app.exec();
}
