#include "sup/contracts/ServerResult.h"

#include "sup/data/DataPacket.h"

namespace sup::contracts {

EServerError::EServerError(const ServerFault& fault)
    : std::runtime_error(fault.message.toStdString())
    , fault_(fault) {}

EServerError::EServerError(const QString& message, const QString& code)
    : EServerError(ServerFault{message, code}) {}

QVariant makeFault(const QString& message, const QString& code) {
    return QVariant::fromValue(ServerFault{message, code});
}

ServerFault faultOf(const QVariant& answer) {
    return isFault(answer) ? answer.value<ServerFault>() : ServerFault{};
}

static bool isScalar(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

QVariant CheckResultServ(const QVariant& answer, bool raiseError, int kind) {
    if (isFault(answer)) {
        if (raiseError)
            throw EServerError(answer.value<ServerFault>());
        return {};
    }
    if (kind == ResultScalar && !isScalar(answer)) {
        ServerFault f{QStringLiteral("O servidor não retornou o valor esperado."),
                      QStringLiteral("answer")};
        if (raiseError)
            throw EServerError(f);
        return {};
    }
    return answer;
}

bool resultAsBoolean(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString: {
        const QString t = value.toString().trimmed().toUpper();
        return t == u"S" || t == u"T" || t == u"TRUE" || t == u"1";
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    default:
        return false;
    }
}

} // namespace sup::contracts
