// The HTTP transport's message decoder on arbitrary bytes: a call body, an answer body and a
// sign-on body. Whatever decodes must encode again and decode to the same number of values.
#include "sup/contracts/MethodContract.h"
#include "sup/contracts/RpcWire.h"
#include "sup/data/PacketCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace rpc = sup::contracts::rpc;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const QVariantList args = rpc::decodeCall(bytes);
        const QVariantList again = rpc::decodeCall(rpc::encodeCall(args));
        if (again.size() != args.size()) {
            std::abort();
        }
    } catch (const rpc::WireError&) {
    } catch (const sup::data::PacketError&) {
    }
    try {
        const rpc::Answer a = rpc::decodeAnswer(bytes);
        const rpc::Answer b = rpc::decodeAnswer(rpc::encodeAnswer(a.result, a.refs));
        if (b.refs.size() != a.refs.size()) {
            std::abort();
        }
    } catch (const rpc::WireError&) {
    } catch (const sup::data::PacketError&) {
    }
    try {
        (void)rpc::decodeSignOn(bytes);
    } catch (const rpc::WireError&) {
    }
    // The server's reading: packets only where the method takes them, within the budget.
    namespace c = sup::contracts;
    for (const c::Method m : {c::Method::UpdItemPedidoOL, c::Method::GetParametroOL}) {
        try {
            (void)rpc::decodeCall(bytes, &c::specOf(m), rpc::callMemoryBudget(bytes.size()));
        } catch (const rpc::WireError&) {
        }
    }
    return 0;
}
