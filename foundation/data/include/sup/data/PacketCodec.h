#pragma once

#include "sup/data/DataPacket.h"

#include <QByteArray>
#include <QByteArrayView>

#include <stdexcept>

class QCborStreamReader;
class QCborStreamWriter;

namespace sup::data {

// Raised for malformed or hostile packet bytes; the message (Portuguese) names the field and
// row where the decoder stopped. Also raised by the encoder for a packet that could not be read
// back (a text longer than its field's size).
class PacketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// CBOR wire form of a data packet (format version 1). The layout is described at the top of
// PacketCodec.cpp.
constexpr int kPacketFormatVersion = 1;

QByteArray encodePacket(const DataPacket& packet); // throws PacketError
DataPacket decodePacket(QByteArrayView bytes);     // throws PacketError

// The same, inside a larger CBOR stream (the server transport embeds packets in its messages).
// readPacket leaves the reader on the item after the packet.
void writePacket(QCborStreamWriter& writer, const DataPacket& packet); // throws PacketError
DataPacket readPacket(QCborStreamReader& reader);                      // throws PacketError

// Exact size in bytes of encodePacket(packet), without encoding it.
qsizetype encodedPacketSize(const DataPacket& packet);

} // namespace sup::data
