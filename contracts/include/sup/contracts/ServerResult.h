#pragma once

#include "sup/contracts/AppServer.h"

#include <QString>
#include <QVariant>

#include <stdexcept>

namespace sup::contracts {

// A failure reported by the application server (or by the transport on the way there),
// raised by CheckResultServ. what() is the UTF-8 form of the message.
class EServerError : public std::runtime_error {
public:
    explicit EServerError(const ServerFault& fault);
    EServerError(const QString& message, const QString& code);

    const QString& message() const { return fault_.message; }
    const QString& code() const { return fault_.code; }
    const ServerFault& fault() const { return fault_; }

private:
    ServerFault fault_;
};

// What the caller expects of the answer of a server call.
enum ResultKind : int {
    ResultPayload = 0, // any payload: a data packet, a list of packets, a text, or nothing
    ResultScalar = 1,  // one boolean-like value: a bool, an "S"/"N" text or a number
};

// Checks the answer of IAppServer::call.
//  - A ServerFault in the answer: raises EServerError with the server's message when
//    `raiseError` is true; otherwise returns an invalid QVariant.
//  - kind 0 (ResultPayload): returns the answer as it stands.
//  - kind 1 (ResultScalar): the answer must be a bool, a text or a number (an empty answer or a
//    packet is a fault: "O servidor não retornou o valor esperado."); returns it unchanged, so the
//    caller reads it with toBool() or toString().
QVariant CheckResultServ(const QVariant& answer, bool raiseError, int kind);

// The common reading of a kind-1 answer as a boolean: true, a non-zero number, or the texts
// "S", "T", "TRUE", "1" (letter case ignored); everything else is false.
bool resultAsBoolean(const QVariant& value);

// A fault value to return from a server or transport.
QVariant makeFault(const QString& message, const QString& code);
// The fault held by an answer (empty when the answer is not a fault).
ServerFault faultOf(const QVariant& answer);

} // namespace sup::contracts
