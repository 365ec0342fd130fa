#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantList>

namespace sup::contracts {

// A failure reported by the application server (or by the transport on its way there).
// It travels as the answer of a call; CheckResultServ raises it as EServerError.
struct ServerFault {
    QString message; // Portuguese, shown to the user as it stands
    QString code;    // short machine-readable kind: "method", "args", "conflict", "duplicate",
                     // "network", "auth", "internal", ...
    bool operator==(const ServerFault&) const = default;
};

} // namespace sup::contracts

Q_DECLARE_METATYPE(sup::contracts::ServerFault)

namespace sup::contracts {

// One remote module of the application server. Arguments are positional QVariants (QString,
// double, QDate/QDateTime, int, bool, sup::data::DataPacket, QVariantList); by-reference
// arguments may be rewritten in `args` by the server. A failure is returned as a ServerFault
// inside the answer: implementations never throw.
class IAppServer {
public:
    virtual ~IAppServer() = default;
    virtual QVariant call(const QString& method, QVariantList& args) = 0;
};

inline bool isFault(const QVariant& answer) {
    return answer.metaType() == QMetaType::fromType<ServerFault>();
}

} // namespace sup::contracts
