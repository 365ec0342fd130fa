#pragma once

#include "sup/contracts/AppServer.h"

#include <QString>
#include <QUrl>

#include <memory>

namespace sup::net {

using contracts::IAppServer;

// The HTTP client transport for `host` ("http://..." or "https://..."). Returns nullptr and sets
// `error` (Portuguese) when the address is not usable.
std::unique_ptr<IAppServer> makeHttpTransport(const QString& host, int port, const QString& module,
                                              int timeoutMs, QString* error);

// Base URL (scheme, host, port) of an application server address.
QUrl serverOrigin(const QString& host, int port, QString* error);

} // namespace sup::net
