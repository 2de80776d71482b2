#pragma once

#include <QNetworkProxy>
#include <QString>
#include <QUrl>

#include <optional>

// Which proxy the programs' requests take, decided once for all of them.
namespace velmora {

// Let every request ask the system which proxy to take (on Linux the
// http_proxy, https_proxy and no_proxy variables). Both programs start so.
void useSystemProxies();

// The proxy a request for `url` goes through, decided as for every request
// the programs make: the application's own (velmora-resolve --proxy), else
// the system's; never one for a loopback address. The player asks here too.
QNetworkProxy proxyFor(const QUrl &url);

// The proxy that a user names: http://host:port or socks5://host:port, or
// no proxy at all for the empty text. Nullopt, with `error` set, otherwise.
std::optional<QNetworkProxy> proxyFromAddress(const QString &address, QString *error);

} // namespace velmora
