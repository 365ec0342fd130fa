#include "HttpTransport.h"

namespace sup::contracts::net {

std::unique_ptr<IAppServer> makeHttpTransport(const QString& host, int, const QString&, int,
                                              QString* error) {
    if (error)
        *error =
            QStringLiteral("O transporte HTTP para \"%1\" ainda não está disponível.").arg(host);
    return nullptr;
}

} // namespace sup::contracts::net
