#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantList>

class QBitArray;

namespace sup::contracts {

struct MethodSpec;

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
//
// The screens call through the typed calls of ServerCalls.h, which reach invoke() with the
// method's contract and the caller's by-reference flags; call() is the untyped road of the
// transports and tools.
class IAppServer {
public:
    virtual ~IAppServer() = default;
    virtual QVariant call(const QString& method, QVariantList& args) = 0;
    // A call checked against the method contract. `byRef` marks the arguments the caller
    // passes by reference. By default the same as call(def.name, args).
    virtual QVariant invoke(const MethodSpec& def, QVariantList& args, const QBitArray& byRef);
};

inline bool isFault(const QVariant& answer) {
    return answer.metaType() == QMetaType::fromType<ServerFault>();
}

} // namespace sup::contracts
