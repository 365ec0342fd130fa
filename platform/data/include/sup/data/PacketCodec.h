#pragma once

#include "sup/data/DataPacket.h"

#include <QByteArray>
#include <QByteArrayView>

#include <stdexcept>

class QCborStreamReader;
class QCborStreamWriter;

namespace sup::data {

// Raised for malformed or hostile packet bytes; the message (Portuguese) names the field and
// row where the decoder stopped.
class PacketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// CBOR wire form of a data packet (format version 1).
constexpr int kPacketFormatVersion = 1;

QByteArray encodePacket(const DataPacket& packet);
DataPacket decodePacket(QByteArrayView bytes); // throws PacketError

// The same, inside a larger CBOR stream (the server transport embeds packets in its messages).
void writePacket(QCborStreamWriter& writer, const DataPacket& packet);
DataPacket readPacket(QCborStreamReader& reader); // throws PacketError

} // namespace sup::data
