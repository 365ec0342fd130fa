// Writes valid transport messages as seeds for fuzz_rpc: calls with every kind of argument,
// answers with packets, references and faults, and a sign-on.
#include "sup/contracts/RpcWire.h"
#include "sup/data/Column.h"
#include "sup/data/DataPacket.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    namespace rpc = sup::contracts::rpc;
    using sup::data::FieldDef;
    if (argc < 2) {
        std::fprintf(stderr, "uso: make_rpc_seeds PASTA\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(dir.path());
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };

    sup::data::DataPacketBuilder b({FieldDef::text(QStringLiteral("CDFILIAL"), 4),
                                    FieldDef::real(QStringLiteral("QTDE")),
                                    FieldDef::dateTime(QStringLiteral("DTENTREGA"))});
    b.appendRow({QStringLiteral("0001"), 12.5, QDate(2026, 3, 2)});
    b.appendRow({QStringLiteral("0012"), QVariant(), QVariant()});
    const QVariant packet = QVariant::fromValue(b.finish());

    bool ok = true;
    ok &= write("call_texts", rpc::encodeCall({QStringLiteral("0001"), QString(), 45000.0, true}));
    ok &= write(
        "call_dates",
        rpc::encodeCall({QDate(2026, 3, 2), QDateTime(QDate(2026, 1, 1), QTime(8, 30), Qt::UTC)}));
    ok &= write("call_packet", rpc::encodeCall({packet, QStringLiteral("DEMO")}));
    ok &= write("call_list", rpc::encodeCall({QVariantList{packet, QStringLiteral("S"), 3}}));
    ok &= write("answer_packet", rpc::encodeAnswer(packet, {{0, QStringLiteral("0001")}}));
    ok &= write("answer_list", rpc::encodeAnswer(QVariantList{packet, packet}));
    ok &= write("answer_fault",
                rpc::encodeAnswer(QVariant::fromValue(sup::contracts::ServerFault{
                    QStringLiteral("Item de Pedido já cadastrado."), QStringLiteral("conflict")})));
    ok &= write("signon", rpc::encodeSignOn({QStringLiteral("DEMO"), QStringLiteral("sup07700")}));
    // A sign-on carrying a packet, and a delta of null cells of a wide text field (a few bytes
    // each on the wire, their declared width each once decoded).
    ok &= write("signon_packet",
                rpc::encodeValue(QVariantMap{{QStringLiteral("v"), 1},
                                             {QStringLiteral("operator"), QStringLiteral("DEMO")},
                                             {QStringLiteral("password"), QStringLiteral("x")},
                                             {QStringLiteral("extra"), packet}}));
    {
        const sup::data::FieldDefs defs{FieldDef::text(QStringLiteral("NMLONGO"), 254)};
        std::vector<sup::data::Column> cur, old;
        cur.emplace_back(defs[0]);
        old.emplace_back(defs[0]);
        cur[0].resize(64);
        old[0].resize(64);
        const auto delta = sup::data::DataPacket::makeDelta(
            defs, std::move(cur), std::move(old),
            std::vector<sup::data::RowKind>(64, sup::data::RowKind::Modified));
        ok &= write("call_wide_delta",
                    rpc::encodeCall({QVariant::fromValue(delta), QStringLiteral("N"),
                                     QStringLiteral("N"), QStringLiteral("DEMO"), true,
                                     QStringLiteral("a"), QStringLiteral("b")}));
    }
    return ok ? 0 : 1;
}
