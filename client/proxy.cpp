#include "proxy.h"

namespace velmora {

void useSystemProxies()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

QNetworkProxy proxyFor(const QUrl &url)
{
    return QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url)).value(0);
}

std::optional<QNetworkProxy> proxyFromAddress(const QString &address, QString *error)
{
    if (address.isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0 ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("socks5"))) {
        *error = QStringLiteral("a proxy is http://host:port or socks5://host:port, not '%1'")
                     .arg(address);
        return std::nullopt;
    }
    return QNetworkProxy(scheme == QLatin1String("http") ? QNetworkProxy::HttpProxy
                                                         : QNetworkProxy::Socks5Proxy,
                         url.host(), quint16(url.port()), url.userName(), url.password());
}

} // namespace velmora
