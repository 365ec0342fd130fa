// Writes valid encoded packets to the folder given: the seeds from which the packet fuzzer
// starts, so that it reaches the rows rather than stopping at the first checks.

#include "sup/data/Column.h"
#include "sup/data/DataPacket.h"
#include "sup/data/PacketCodec.h"

#include <QCborStreamWriter>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <limits>

using namespace sup::data;
using namespace Qt::StringLiterals;

namespace {

FieldDefs allTypes() {
    FieldDef label = FieldDef::text(u"NMPRODUTO"_s, 50, u"Nome do Produto"_s);
    label.displayFormat = u"@"_s;
    label.editMask = u"9999;0; "_s;
    label.visible = false;
    label.update = UpdateMode::None;
    label.readOnly = true;
    return {FieldDef::text(u"CALC"_s, 1, {}, true),
            label,
            FieldDef::text(u"CURTO"_s, 3),
            FieldDef::text(u"LIVRE"_s, 0),
            FieldDef::text(u"LONGO"_s, 300),
            FieldDef::integer(u"N"_s),
            FieldDef::real(u"QTDE"_s, u"Qtde."_s),
            FieldDef::boolean(u"B"_s),
            FieldDef::dateTime(u"DT"_s)};
}

DataPacket rows(int n) {
    DataPacketBuilder b(allTypes());
    for (int r = 0; r < n; ++r) {
        if (r % 4 == 3) {
            b.appendRow({}); // all null
            continue;
        }
        b.appendRow({r % 2 ? u"S"_s : u"N"_s, u"AÇÚCAR CRISTAL %1"_s.arg(r), u"ção"_s.left(r % 4),
                     r % 3 ? u""_s : u"livre 𝄞"_s, u"á"_s.repeated(r * 7 % 300),
                     qlonglong(r % 2 ? std::numeric_limits<qint64>::min() : r * 1000003LL),
                     r % 2 ? -0.0 : 1234.5 * r, r % 2 == 0,
                     QDateTime(QDate(2024, 1 + r % 12, 1 + r % 28), QTime(r % 24, 0, 0, r))});
    }
    return b.finish();
}

DataPacket delta(const DataPacket& src) {
    std::vector<Column> cur, old;
    std::vector<RowKind> kinds;
    for (int f = 0; f < src.fieldCount(); ++f) {
        cur.emplace_back(src.fields()[f]);
        old.emplace_back(src.fields()[f]);
    }
    for (qsizetype r = 0; r < src.rowCount(); ++r) {
        const auto kind = RowKind(1 + r % 3);
        kinds.push_back(kind);
        for (int f = 0; f < src.fieldCount(); ++f) {
            cur[std::size_t(f)].appendCell(src.column(f), r);
            if (kind == RowKind::Inserted) {
                old[std::size_t(f)].appendNull();
            } else {
                old[std::size_t(f)].appendCell(src.column(f), src.rowCount() - 1 - r);
            }
        }
    }
    return DataPacket::makeDelta(src.fields(), std::move(cur), std::move(old), std::move(kinds));
}

bool write(const QDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_packet_seeds <folder>\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(u"."_s)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = write(dir, u"null.cbor"_s, encodePacket(DataPacket()));
    const FieldDefs one{FieldDef::text(u"CDFILIAL"_s, 4)};
    ok = ok && write(dir, u"empty.cbor"_s, encodePacket(DataPacket(one, {Column(one[0])})));
    for (int n : {1, 2, 5, 12}) {
        const DataPacket p = rows(n);
        ok = ok && write(dir, u"rows-%1.cbor"_s.arg(n), encodePacket(p));
        ok = ok && write(dir, u"delta-%1.cbor"_s.arg(n), encodePacket(delta(p)));
    }
    // The same content with indefinite lengths, as another CBOR writer might send it.
    QByteArray indefinite;
    {
        QCborStreamWriter w(&indefinite);
        w.startMap();
        w.append(u"version"_s);
        w.append(kPacketFormatVersion);
        w.append(u"kind"_s);
        w.append(0);
        w.append(u"fields"_s);
        w.startArray();
        writePacket(w, DataPacket()); // a nested packet is wrong here: a seed for that path
        w.endArray();
        w.endMap();
    }
    ok = ok && write(dir, u"nested.cbor"_s, indefinite);
    return ok ? 0 : 1;
}
