#include "Items.h"

#include "sup/contracts/record/OrderItem.h"

#include "sup/data/Column.h"
#include "sup/data/PacketCodec.h"

#include <QCborStreamReader>
#include <QDate>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

using namespace sup::data;
using namespace Qt::StringLiterals;

namespace bench {

FieldDefs itemFields() {
    return sup::contracts::orderItemFields();
}

std::size_t packedRowSize(const FieldDefs& fields) {
    std::size_t n = 0;
    for (const FieldDef& f : fields) {
        n += f.type == FieldType::Text ? std::size_t(f.size) : f.type == FieldType::Boolean ? 1 : 8;
    }
    return n;
}

const std::vector<RowSlot>& itemSlots() {
    static const std::vector<RowSlot> layout = [] {
        const FieldDefs defs = itemFields();
        const std::size_t offsets[] = {
            offsetof(ItemRow, calc),           offsetof(ItemRow, alterado),
            offsetof(ItemRow, cdarvprod),      offsetof(ItemRow, cdproduto),
            offsetof(ItemRow, nmproduto),      offsetof(ItemRow, sgunidade),
            offsetof(ItemRow, cdprodesto),     offsetof(ItemRow, qtprogenpeol),
            offsetof(ItemRow, nrpedexol),      offsetof(ItemRow, cdfillanc),
            offsetof(ItemRow, cdfildest),      offsetof(ItemRow, dtprogenpeol),
            offsetof(ItemRow, dtprogembarq),   offsetof(ItemRow, nmmarca),
            offsetof(ItemRow, cdmarca),        offsetof(ItemRow, cdfiliopelog),
            offsetof(ItemRow, vrfatoconv),     offsetof(ItemRow, idtipoexol),
            offsetof(ItemRow, iditmpedolbloq), offsetof(ItemRow, dtbloqitmpedol),
            offsetof(ItemRow, qtreservestol),  offsetof(ItemRow, idutrespedexol),
            offsetof(ItemRow, cdlotenvitol),   offsetof(ItemRow, iditemajuste),
            offsetof(ItemRow, nrseqlogimpol),  offsetof(ItemRow, cdprodorigpedol),
            offsetof(ItemRow, cdrastritm),     offsetof(ItemRow, qtorigprodped)};
        static_assert(std::size(offsets) == 28);
        std::vector<RowSlot> s;
        for (int i = 0; i < defs.size(); ++i) {
            const FieldDef& f = defs[i];
            s.push_back({offsets[i], f.type == FieldType::Text ? f.size : 8, f.type});
        }
        return s;
    }();
    return layout;
}

QByteArrayView textOf(const ItemRow& row, int field) {
    const RowSlot& s = itemSlots()[std::size_t(field)];
    return QByteArrayView(reinterpret_cast<const char*>(&row) + s.offset, row.len[field]);
}

namespace {

const char* const kProducts[] = {
    "ARROZ TIPO 1 5KG",          "AÇÚCAR CRISTAL 2KG",      "FEIJÃO CARIOCA 1KG",
    "ÓLEO DE SOJA 900ML",        "CAFÉ TORRADO MOÍDO 500G", "LEITE UHT INTEGRAL 1L",
    "MACARRÃO ESPAGUETE 500G",   "FARINHA DE TRIGO 1KG",    "SAL REFINADO 1KG",
    "BISCOITO MAISENA 400G",     "SABÃO EM PÓ 1KG",         "DETERGENTE LÍQUIDO 500ML",
    "PAPEL HIGIÊNICO 12 ROLOS",  "CREME DENTAL 90G",        "SHAMPOO ANTICASPA 200ML",
    "MOLHO DE TOMATE 340G",      "EXTRATO DE TOMATE 190G",  "MILHO VERDE LATA 200G",
    "ERVILHA EM CONSERVA 200G",  "ATUM SÓLIDO 170G",        "SARDINHA EM ÓLEO 125G",
    "ACHOCOLATADO EM PÓ 400G",   "MARGARINA COM SAL 500G",  "IOGURTE NATURAL 170G",
    "REFRIGERANTE COLA 2L",      "ÁGUA MINERAL 1,5L",       "SUCO DE LARANJA 1L",
    "CERVEJA PILSEN LATA 350ML", "VINAGRE DE ÁLCOOL 750ML", "AZEITE EXTRA VIRGEM 500ML"};
const char* const kBrands[] = {
    "NESTLÉ",  "UNILEVER",       "CAMIL",    "TIO JOÃO",  "PIRACANJUBA", "YPÊ",        "COLGATE",
    "QUERO",   "SADIA",          "PERDIGÃO", "SEARA",     "ITAMBÉ",      "DONA BENTA", "PILÃO",
    "MELITTA", "GOMES DA COSTA", "ADRIA",    "VITARELLA", "LIZA",        "SOYA"};
const char* const kCities[] = {"SÃO PAULO",       "CAMPINAS", "SANTOS",  "RIBEIRÃO PRETO",
                               "SOROCABA",        "JUNDIAÍ",  "BAURU",   "PIRACICABA",
                               "SÃO JOSÉ CAMPOS", "FRANCA",   "MARÍLIA", "ARAÇATUBA"};
const char* const kUnits[] = {"UN", "CX", "FD", "KG", "PCT", "DZ"};

} // namespace

DataPacket makeItems(int rows, bool oneOl) {
    DataPacketBuilder b(itemFields());
    b.reserve(rows);
    const FieldDefs defs = itemFields();
    for (int c = 0; c < defs.size(); ++c) {
        b.column(c).resize(rows);
    }
    const qint64 day0 = toStoredMs(QDate(2024, 1, 1));
    constexpr qint64 kDay = 86400000;
    char buf[64];
    const auto set = [&](int field, int row, const char* fmt, auto... args) {
        const int n = std::snprintf(buf, sizeof buf, fmt, args...);
        b.column(field).setUtf8(row, QByteArrayView(buf, n));
    };
    for (int r = 0; r < rows; ++r) {
        const int order = r / 20; // 20 lines per order
        const int line = r % 20;
        const int branch = 1 + order % 250;
        const int product = 100000 + (order * 37 + line * 101) % 60000;
        const int brand = (product / 7 + line) % int(std::size(kBrands));
        const bool blocked = r % 17 == 0;
        b.column(0).setUtf8(r, "N");
        b.column(1).setUtf8(r, "N");
        set(2, r, "%02d.%02d.%03d.%05d", product % 11, product % 23, product % 101, product);
        set(3, r, "%07d", product);
        set(4, r, "%s %d", kProducts[product % std::size(kProducts)], product % 97);
        b.column(5).setUtf8(r, kUnits[product % std::size(kUnits)]);
        set(6, r, "%07d", product);
        b.column(7).setReal(r, double(1 + (r * 7) % 480) * 0.5);
        set(8, r, "%08d", 10000000 + order);
        set(9, r, "%04d", 1 + branch % 9);
        set(10, r, "%04d - LOJA %d %s", branch, branch, kCities[branch % std::size(kCities)]);
        b.column(11).setDateTimeMs(r, day0 + (order % 120) * kDay);
        b.column(12).setDateTimeMs(r, day0 + (order % 120 - 2) * kDay + 8 * 3600000);
        b.column(13).setUtf8(r, kBrands[brand]);
        set(14, r, "%05d", 100 + brand);
        set(15, r, "%04d", oneOl ? 9001 : 9001 + order % 5);
        b.column(16).setReal(r, 1.0 / double(1 + product % 24));
        b.column(17).setUtf8(r, r % 5 == 0 ? "M" : "A");
        b.column(18).setUtf8(r, blocked ? "S" : "N");
        if (blocked) {
            b.column(19).setDateTimeMs(r, day0 - (r % 30) * kDay + 14 * 3600000 + r % 3600000);
        }
        b.column(20).setReal(r, r % 3 == 0 ? double(r % 50) : 0.0);
        b.column(21).setUtf8(r, branch % 4 == 0 ? "S" : "N");
        if (r % 9 == 0) {
            set(22, r, "L%07d", order / 10);
        }
        b.column(23).setUtf8(r, "N");
        set(24, r, "%010d", 500000000 + r);
        set(25, r, "%07d", product);
        b.column(26).setReal(r, double(7000000 + r));
        b.column(27).setReal(r, double(1 + (r * 7) % 480) * 0.5);
    }
    return b.finish();
}

std::vector<ItemRow> decodeToStructs(const QByteArray& bytes) {
    const std::vector<RowSlot>& layout = itemSlots();
    QCborStreamReader r(bytes);
    std::vector<ItemRow> out;
    r.enterContainer();
    while (r.hasNext()) {
        char key[16];
        const auto k = r.readStringChunk(key, sizeof key);
        r.readStringChunk(key, 0);
        const QByteArrayView name(key, k.data);
        if (name == "count") {
            out.reserve(std::size_t(r.toUnsignedInteger()));
            r.next();
        } else if (name != "rows") {
            r.next(); // version, kind, field definitions
        } else {
            r.enterContainer();
            while (r.hasNext()) {
                ItemRow& row = out.emplace_back();
                row.nulls = 0;
                r.enterContainer();
                for (std::size_t f = 0; f < layout.size(); ++f) {
                    const RowSlot& s = layout[f];
                    char* p = reinterpret_cast<char*>(&row) + s.offset;
                    if (r.isNull()) {
                        row.nulls |= 1u << f;
                        r.next();
                        continue;
                    }
                    switch (s.type) {
                    case FieldType::Text: {
                        const auto t = r.readStringChunk(p, s.size);
                        row.len[f] = quint8(t.data);
                        r.readStringChunk(p, 0);
                        break;
                    }
                    case FieldType::Double: {
                        const double v = r.toDouble();
                        std::memcpy(p, &v, 8);
                        r.next();
                        break;
                    }
                    default: {
                        const qint64 v = r.toInteger();
                        std::memcpy(p, &v, 8);
                        r.next();
                        break;
                    }
                    }
                }
                r.leaveContainer();
            }
            r.leaveContainer();
        }
    }
    r.leaveContainer();
    return out;
}

const Fixture& fixture(int rows) {
    static std::map<int, std::unique_ptr<Fixture>> cache;
    std::unique_ptr<Fixture>& slot = cache[rows];
    if (!slot) {
        auto f = std::make_unique<Fixture>();
        f->rows = rows;
        f->packet = makeItems(rows);
        f->bytes = encodePacket(f->packet);
        f->structs = decodeToStructs(f->bytes);
        if (int(f->structs.size()) != rows) {
            throw std::logic_error("decodeToStructs lost rows");
        }
        for (int r = 0; r < rows; r += 10) {
            f->changed.push_back(r);
        }
        slot = std::move(f);
    }
    return *slot;
}

// The floor: a vector of rows and a log that keeps each changed row's original.
void markAllFloor(benchmark::State& state) {
    const Fixture& f = fixture(int(state.range(0)));
    std::vector<ItemRow> rows;
    std::vector<std::pair<int, ItemRow>> log;
    for (auto _ : state) {
        state.PauseTiming();
        rows = f.structs;
        log.clear();
        log.shrink_to_fit();
        state.ResumeTiming();
        log.reserve(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            log.emplace_back(int(i), rows[i]);
            rows[i].calc[0] = 'S';
            rows[i].len[kCalc] = 1;
        }
        benchmark::DoNotOptimize(log.data());
    }
}

} // namespace bench
