#pragma once

// Order-item rows for the data-layer benchmarks: the 28 fields of the item record, a
// deterministic generator of believable values, and the plain-struct form of a row that the
// peers work on.

#include "sup/data/DataPacket.h"
#include "sup/data/Field.h"

#include <QByteArray>

#include <cstddef>
#include <vector>

namespace benchmark {
class State;
}

namespace bench {

// The item record's fields in their order (as the screens declare cdsItem).
sup::data::FieldDefs itemFields();

// Field positions used by the benchmarks.
enum ItemField {
    kCalc = 0,
    kAlterado = 1,
    kCdArvProd = 2,
    kCdProduto = 3,
    kNmProduto = 4,
    kQtProgEnPeol = 7,
    kNrPedExol = 8,
    kCdFilLanc = 9,
    kCdFilDest = 10,
    kDtProgEnPeol = 11,
    kCdMarca = 14,
};

inline constexpr const char* kItemKey =
    "CDFILDEST;CDFILLANC;NRPEDEXOL;DTPROGENPEOL;CDMARCA;CDPRODUTO";

// Bytes of one row with every value packed at its declared size: texts at their size in
// characters, doubles and date-times at 8 bytes.
std::size_t packedRowSize(const sup::data::FieldDefs& fields);

// One item row as a plain struct: texts in fixed arrays with a length each, a null bit per
// field. This is the "floor" representation of the peers.
struct ItemRow {
    char calc[1], alterado[1], cdarvprod[20], cdproduto[10], nmproduto[50], sgunidade[10],
        cdprodesto[10];
    double qtprogenpeol;
    char nrpedexol[10], cdfillanc[4], cdfildest[34];
    qint64 dtprogenpeol, dtprogembarq;
    char nmmarca[20], cdmarca[5], cdfiliopelog[4];
    double vrfatoconv;
    char idtipoexol[1], iditmpedolbloq[1];
    qint64 dtbloqitmpedol;
    double qtreservestol;
    char idutrespedexol[1], cdlotenvitol[10], iditemajuste[1], nrseqlogimpol[10],
        cdprodorigpedol[10];
    double cdrastritm, qtorigprodped;
    quint8 len[28]; // text lengths in bytes, by field
    quint32 nulls;  // bit per field

    bool isNull(int field) const { return (nulls >> field) & 1u; }
};

// Where each field lives in an ItemRow.
struct RowSlot {
    std::size_t offset;
    int size; // bytes for texts; 8 for numbers
    sup::data::FieldType type;
};
const std::vector<RowSlot>& itemSlots();
QByteArrayView textOf(const ItemRow& row, int field);

// `rows` item rows: order lines of 20 items each, spread over branches, brands and dates;
// every key is unique.
sup::data::DataPacket makeItems(int rows, bool oneOl = false);

// The same bytes streamed into structs with QCborStreamReader, trusting the layout and
// skipping the field definitions: the floor of any decoder of this format.
std::vector<ItemRow> decodeToStructs(const QByteArray& bytes);

// Everything one size of benchmark needs, built once.
struct Fixture {
    int rows = 0;
    sup::data::DataPacket packet;
    QByteArray bytes;
    std::vector<ItemRow> structs;
    std::vector<int> changed; // every tenth row (10%), in order
};
const Fixture& fixture(int rows);

// The floor of marking every item: a vector of rows and a log that keeps each changed row's
// original (the data benchmarks' peer of the working set's mark-all, shared with the screens').
void markAllFloor(benchmark::State& state);

} // namespace bench
