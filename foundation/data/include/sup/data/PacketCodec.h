#pragma once

#include "sup/data/DataPacket.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>

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

// The memory the packets of one message may take once decoded, shared by every packet in it. A
// null or short text costs its field's declared width in memory, so a small message can ask for
// far more memory than it has bytes: a decoder with a budget refuses such a packet, with a
// PacketError, before it takes the memory.
class DecodeBudget {
public:
    explicit DecodeBudget(qint64 bytes)
        : limit_(bytes)
        , left_(bytes) {}
    void take(qint64 bytes); // throws PacketError once the budget is spent
    qint64 limit() const { return limit_; }
    qint64 left() const { return left_; }

private:
    qint64 limit_;
    qint64 left_;
};

// The same, inside a larger CBOR stream (the server transport embeds packets in its messages).
// readPacket leaves the reader on the item after the packet. `end` is the offset just past the
// message (-1 when unknown): the rows a packet declares must fit in the bytes before it.
void writePacket(QCborStreamWriter& writer, const DataPacket& packet); // throws PacketError
DataPacket readPacket(QCborStreamReader& reader, DecodeBudget* budget = nullptr,
                      qint64 end = -1); // throws PacketError

// Exact size in bytes of encodePacket(packet), without encoding it.
qsizetype encodedPacketSize(const DataPacket& packet);

// The device the CBOR writers write through: straight into a byte array sized beforehand,
// without QBuffer's bookkeeping per item, which costs as much as the encoding itself. The array
// doubles when the size given was short; finish() cuts it to what was written.
class ByteSink final : public QIODevice {
public:
    ByteSink(QByteArray& out, qsizetype expected);
    bool isSequential() const override { return true; }
    void finish();

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override;

private:
    QByteArray& out_;
    char* base_;
    qsizetype used_ = 0;
};

} // namespace sup::data
