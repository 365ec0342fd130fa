// Fuzz target: the packet decoder must refuse bad bytes with PacketError and nothing else, and
// whatever it accepts must survive a round trip through the encoder unchanged.

#include "sup/data/PacketCodec.h"

#include <QCborStreamReader>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace sup::data;

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "packet codec: %s\n", what);
    std::abort();
}

void roundTrip(const DataPacket& p) {
    const QByteArray again = encodePacket(p);
    if (encodedPacketSize(p) != again.size()) {
        broken("encodedPacketSize differs from the encoded size");
    }
    const DataPacket back = decodePacket(again);
    if (!(back == p) || back.isDelta() != p.isDelta() || back.deltaId() != p.deltaId()) {
        broken("a decoded packet did not come back equal from its own encoding");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    try {
        roundTrip(decodePacket(QByteArrayView(bytes, qsizetype(size))));
    } catch (const PacketError&) {
    }
    // The same bytes read from a stream of unknown length.
    QCborStreamReader reader(bytes, qsizetype(size));
    try {
        roundTrip(readPacket(reader));
    } catch (const PacketError&) {
    }
    return 0;
}
