#pragma once

// The wire form of server calls over HTTP (POST /rpc/<module>/<method>), shared by the client
// transport and the server. Bodies are CBOR maps:
//   call:    {"v": 1, "args": [value...]}
//   answer:  {"v": 1, "result": value, "refs": {index: value}}   by-reference arguments written
//            {"v": 1, "fault": {"message": text, "code": text}}   by the server, by position
//   sign-on: {"v": 1, "operator": text, "password": text}
//            -> {"v": 1, "token": text, "expiresIn": seconds, "branch": text, "branchBound": bool}
// Values: null, bool, integers, doubles, texts, byte strings, arrays (QVariantList), maps with
// text keys (QVariantMap), and tagged values: dates (tag 1004, "yyyy-MM-dd"), naive date-times
// (kTagDateTime, "yyyy-MM-ddTHH:mm:ss.zzz"), data packets and deltas (kTagPacket, the packet
// codec's form) and server faults (kTagFault, [message, code]).
// The decoder checks every type and bound and throws WireError (Portuguese) on bad input.

#include "sup/contracts/AppServer.h"
#include "sup/contracts/MethodContract.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <stdexcept>

namespace sup::contracts::rpc {

constexpr int kWireVersion = 1;
constexpr quint64 kTagDateTime = 0x53550001;
constexpr quint64 kTagPacket = 0x53550002;
constexpr quint64 kTagFault = 0x53550003;
// Bounds of the decoder (the transport limits the body to 32 MiB besides). A message holds at
// most kMaxValues values plus one per 4 bytes of it: the array of a large selection (15 values
// an item, several bytes each) passes, a flood of one-byte values does not.
constexpr int kMaxDepth = 16;
constexpr qsizetype kMaxValues = 1000000;

class WireError : public std::runtime_error {
public:
    explicit WireError(const QString& message)
        : std::runtime_error(message.toStdString())
        , message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

QByteArray encodeCall(const QVariantList& args); // throws WireError for an unsupported value
QVariantList decodeCall(QByteArrayView body);    // throws WireError
// The server's reading of a call to `def` (nullptr: an unknown method): a data packet is
// refused, before it is decoded, anywhere but as an argument the contract types as a packet or
// delta, and the packets together may take at most `memoryBudget` bytes once decoded.
QVariantList decodeCall(QByteArrayView body, const MethodSpec* def, qint64 memoryBudget);
// The memory a call of `bodyBytes` may take once decoded: 16 MiB plus 16 times its size.
qint64 callMemoryBudget(qsizetype bodyBytes);

struct Answer {
    QVariant result; // a ServerFault when the server answered a fault
    QMap<int, QVariant> refs;
};
QByteArray encodeAnswer(const QVariant& result, const QMap<int, QVariant>& refs = {});
Answer decodeAnswer(QByteArrayView body);

struct SignOn {
    QString operatorCode;
    QString password;
};
QByteArray encodeSignOn(const SignOn& s);
SignOn decodeSignOn(QByteArrayView body);

struct Session {
    QString token;
    int expiresIn = 0;
    QString branch;
    bool branchBound = false;
};
QByteArray encodeSession(const Session& s);
Session decodeSession(QByteArrayView body);

// One value alone (for tests and tools).
QByteArray encodeValue(const QVariant& value);
QVariant decodeValue(QByteArrayView bytes);

} // namespace sup::contracts::rpc
