#pragma once

#include "sup/contracts/AppServer.h"

#include <QString>

#include <functional>
#include <memory>

namespace sup::contracts {

// Creates the in-process server interface of one remote module ("Sup07700.rdmAltPedidosOL",
// "Sup.rdmSuprimentos"). The shell (over its local database) and the tests register one; the
// connection of an empty host uses it and never sees the server itself. Returns nullptr for an
// unknown module.
using InProcessFactory = std::function<std::unique_ptr<IAppServer>(const QString& module)>;
void setInProcessFactory(InProcessFactory factory);
bool hasInProcessFactory();
// A copy of the registered factory (empty when none is).
InProcessFactory inProcessFactory();

} // namespace sup::contracts
