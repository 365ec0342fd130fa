// Wire form of data packets and deltas: CBOR (RFC 8949), format version 1.
//
// A packet is one map with text keys, in this order:
//
//   "version"  unsigned integer: the format version, 1
//   "kind"     unsigned integer: 0 data packet, 1 delta
//   "id"       deltas only: byte string of 16 bytes, the delta's identifier (RFC 4122 order)
//   "fields"   array of field definitions; each is a map with exactly these twelve keys, in
//              any order:
//                "name"          text, not empty, unique ignoring letter case
//                "type"          unsigned 1..5 (FieldType)
//                "size"          unsigned, at most 2^31 - 1 (text: maximum characters, 0 none)
//                "fixed"         boolean
//                "label", "displayFormat", "editFormat", "editMask"   text
//                "displayWidth"  unsigned, at most 2^31 - 1
//                "visible", "readOnly"  boolean
//                "update"        unsigned 0..1 (UpdateMode)
//   "count"    unsigned integer: the number of rows (at most 2^31 - 1; none without fields)
//   "rows"     array of exactly `count` rows, each an array:
//                data packet: one cell per field, in field order
//                delta:       [kind, current cells..., loaded cells...], kind unsigned 0..3
//                             (RowKind); the loaded cells of an inserted row are null
//
// A cell is null for a null value; otherwise, by the field's type:
//   text       text string of at most `size` characters (code points) when size > 0
//   integer    integer in the 64-bit signed range
//   double     floating point (written as double precision; half and single are read too)
//   boolean    true or false
//   date-time  integer: milliseconds since 1899-12-30 00:00, naive local time (the stored form)
//
// The fixed key order lets the reader decode rows in one pass straight into typed columns.
// Writers produce definite lengths; the reader also takes indefinite-length arrays, maps and
// strings. Nothing else is accepted: no tags, no other simple values, no nesting beyond the
// layout, no unknown or repeated keys, no bytes after the packet (decodePacket).
//
// The reader never trusts a length for memory. A row count or a container length that the
// remaining bytes cannot hold is refused at once; row storage is taken up front only as far as
// twice the remaining bytes and otherwise (always, inside a stream of unknown size) grows as
// rows actually arrive. Bounded texts are read into a stack buffer of four bytes per character
// of the field plus one, so a longer text is refused without being copied; unbounded texts are
// checked against the remaining bytes before they are read.

#include "sup/data/PacketCodec.h"

#include "ColumnData.h"
#include "Utf8.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <limits>

namespace sup::data {

namespace {

constexpr quint64 kMaxCount = std::numeric_limits<int>::max(); // rows, sizes and widths
constexpr quint64 kMaxFields = 4096;
constexpr qsizetype kMaxDefText = 4096; // characters of a name, label, format or mask
// Memory reserved at once for the rows of a packet inside a stream of unknown size; more is
// added as rows arrive.
constexpr qsizetype kBlindReserveBytes = 64 * 1024;
constexpr qsizetype kMinReserveRows = 16;

using Reader = QCborStreamReader;

// ---------------------------------------------------------------------------------------------
// Writing

void writeKey(QCborStreamWriter& w, QLatin1StringView key) {
    w.append(key);
}

void writeText(QCborStreamWriter& w, const QString& s) {
    w.append(QStringView(s));
}

void writeFieldDef(QCborStreamWriter& w, const FieldDef& f) {
    w.startMap(12);
    writeKey(w, QLatin1StringView("name"));
    writeText(w, f.name);
    writeKey(w, QLatin1StringView("type"));
    w.append(quint64(f.type));
    writeKey(w, QLatin1StringView("size"));
    w.append(quint64(std::max(f.size, 0)));
    writeKey(w, QLatin1StringView("fixed"));
    w.append(f.fixed);
    writeKey(w, QLatin1StringView("label"));
    writeText(w, f.label);
    writeKey(w, QLatin1StringView("displayFormat"));
    writeText(w, f.displayFormat);
    writeKey(w, QLatin1StringView("editFormat"));
    writeText(w, f.editFormat);
    writeKey(w, QLatin1StringView("displayWidth"));
    w.append(quint64(std::max(f.displayWidth, 0)));
    writeKey(w, QLatin1StringView("visible"));
    w.append(f.visible);
    writeKey(w, QLatin1StringView("update"));
    w.append(quint64(f.update));
    writeKey(w, QLatin1StringView("editMask"));
    writeText(w, f.editMask);
    writeKey(w, QLatin1StringView("readOnly"));
    w.append(f.readOnly);
    w.endMap();
}

QByteArrayView textAt(const ColumnData& c, qsizetype row) {
    if (c.slot > 0) {
        const char* s = c.slotAt(row);
        const auto len = quint8(s[0]);
        if (len == kOverflow) {
            const auto it = c.overflow.constFind(row);
            return it == c.overflow.cend() ? QByteArrayView() : QByteArrayView(*it);
        }
        return QByteArrayView(s + 1, len);
    }
    return QByteArrayView(c.strings[std::size_t(row)]);
}

[[noreturn]] void failEncode(const FieldDef& f, qsizetype row, qsizetype chars) {
    throw PacketError(
        QStringLiteral("Pacote de dados não pode ser gravado: linha %1, campo \"%2\": texto com "
                       "%3 caracteres excede o tamanho %4 do campo.")
            .arg(QString::number(row + 1), f.name, QString::number(chars), QString::number(f.size))
            .toStdString());
}

void writeCell(QCborStreamWriter& w, const ColumnData& c, const FieldDef& f, qsizetype row) {
    if (c.nulls[std::size_t(row)]) {
        w.appendNull();
        return;
    }
    switch (c.type) {
    case FieldType::Text: {
        const QByteArrayView t = textAt(c, row);
        // A text is never longer in characters than in bytes, so only long ones are counted.
        if (c.textSize > 0 && t.size() > c.textSize) {
            const qsizetype chars = utf8CodePoints(t.data(), t.size());
            if (chars > c.textSize) {
                failEncode(f, row, chars);
            }
        }
        w.appendTextString(t.data(), t.size());
        return;
    }
    case FieldType::Double:
        w.append(c.reals[std::size_t(row)]);
        return;
    case FieldType::Integer:
    case FieldType::DateTime:
        w.append(c.ints[std::size_t(row)]);
        return;
    case FieldType::Boolean:
        w.append(c.bools[std::size_t(row)] != 0);
        return;
    }
}

// Bytes of a CBOR head carrying the argument `n`.
qsizetype headSize(quint64 n) {
    return n < 24 ? 1 : n <= 0xff ? 2 : n <= 0xffff ? 3 : n <= 0xffffffffULL ? 5 : 9;
}

qsizetype intSize(qint64 v) {
    return headSize(v < 0 ? quint64(-(v + 1)) : quint64(v));
}

qsizetype textSize(const QString& s) {
    const qsizetype n = s.toUtf8().size();
    return headSize(quint64(n)) + n;
}

qsizetype keySize(qsizetype len) {
    return 1 + len;
} // keys are shorter than 24 bytes

qsizetype fieldDefSize(const FieldDef& f) {
    qsizetype n = 1; // map head
    n += keySize(4) + textSize(f.name);
    n += keySize(4) + headSize(quint64(f.type));
    n += keySize(4) + headSize(quint64(std::max(f.size, 0)));
    n += keySize(5) + 1;
    n += keySize(5) + textSize(f.label);
    n += keySize(13) + textSize(f.displayFormat);
    n += keySize(10) + textSize(f.editFormat);
    n += keySize(12) + headSize(quint64(std::max(f.displayWidth, 0)));
    n += keySize(7) + 1;
    n += keySize(6) + headSize(quint64(f.update));
    n += keySize(8) + textSize(f.editMask);
    n += keySize(8) + 1;
    return n;
}

inline void prefetchCell(const ColumnData& c, qsizetype row) {
    const auto r = std::size_t(row);
    if ((r & 63) == 0) {
        __builtin_prefetch(c.nulls.data() + r);
    }
    switch (c.type) {
    case FieldType::Text:
        if (c.slot > 0) {
            __builtin_prefetch(c.slotAt(row));
        } else {
            __builtin_prefetch(c.strings.data() + r);
        }
        break;
    case FieldType::Double:
        __builtin_prefetch(c.reals.data() + r);
        break;
    case FieldType::Integer:
    case FieldType::DateTime:
        __builtin_prefetch(c.ints.data() + r);
        break;
    case FieldType::Boolean:
        break;
    }
}

qsizetype columnCellsSize(const ColumnData& c) {
    qsizetype n = 0;
    const qsizetype rows = c.rows;
    switch (c.type) {
    case FieldType::Text:
        for (qsizetype r = 0; r < rows; ++r) {
            if (c.nulls[std::size_t(r)]) {
                n += 1;
            } else {
                const qsizetype len = textAt(c, r).size();
                n += headSize(quint64(len)) + len;
            }
        }
        break;
    case FieldType::Double:
        for (qsizetype r = 0; r < rows; ++r) {
            n += c.nulls[std::size_t(r)] ? 1 : 9;
        }
        break;
    case FieldType::Integer:
    case FieldType::DateTime:
        for (qsizetype r = 0; r < rows; ++r) {
            n += c.nulls[std::size_t(r)] ? 1 : intSize(c.ints[std::size_t(r)]);
        }
        break;
    case FieldType::Boolean:
        n += rows;
        break;
    }
    return n;
}

// ---------------------------------------------------------------------------------------------
// Reading

QString typeName(const Reader& r) {
    switch (r.type()) {
    case Reader::UnsignedInteger:
    case Reader::NegativeInteger:
        return QStringLiteral("inteiro");
    case Reader::ByteArray:
        return QStringLiteral("sequência de bytes");
    case Reader::String:
        return QStringLiteral("texto");
    case Reader::Array:
        return QStringLiteral("lista");
    case Reader::Map:
        return QStringLiteral("mapa");
    case Reader::Tag:
        return QStringLiteral("etiqueta CBOR");
    case Reader::SimpleType:
        if (r.isBool()) {
            return QStringLiteral("valor lógico");
        }
        if (r.isNull()) {
            return QStringLiteral("nulo");
        }
        if (r.isUndefined()) {
            return QStringLiteral("indefinido");
        }
        return QStringLiteral("valor simples");
    case Reader::Float16:
    case Reader::Float:
    case Reader::Double:
        return QStringLiteral("número de ponto flutuante");
    case Reader::Invalid:
        break;
    }
    return QStringLiteral("fim dos dados");
}

// The twelve keys of a field definition, in writing order.
constexpr std::array<const char*, 12> kDefKeys = {
    "name",       "type",         "size",    "fixed",  "label",    "displayFormat",
    "editFormat", "displayWidth", "visible", "update", "editMask", "readOnly"};

// The top-level keys, in their required order.
enum TopKey { kVersion, kKind, kId, kFields, kCount, kRows, kTopKeys };
constexpr std::array<const char*, kTopKeys> kTopNames = {"version", "kind",  "id",
                                                         "fields",  "count", "rows"};

struct Container {
    bool known;
    quint64 length;
};

// How a column's cells are read.
enum class CellKind : quint8 { SlotText, FreeText, Real, Int, Bool };

class Decoder {
public:
    Decoder(Reader& r, qint64 end, DecodeBudget* budget = nullptr)
        : r_(r)
        , end_(end)
        , budget_(budget) {}

    DataPacket packet();

private:
    // Context for messages.
    enum class Part : quint8 { Header, FieldDef, Row };
    Part part_ = Part::Header;
    QString key_;       // header key or field-definition key being read
    int defIndex_ = -1; // field definition being read (0-based)
    qsizetype row_ = -1;
    int cell_ = -1; // cell of the row being read: fields, then (deltas) their loaded values

    Reader& r_;
    qint64 end_; // offset just past the packet's last possible byte; -1 when unknown
    DecodeBudget* budget_;
    FieldDefs defs_;

    [[noreturn]] void fail(const QString& problem) const;
    [[noreturn]] void failReader();
    [[noreturn]] void wrongType(const QString& expected) const;
    QString location() const;

    qint64 remaining() const {
        return end_ < 0 ? -1 : std::max<qint64>(0, end_ - r_.currentOffset());
    }
    void expectValue() {
        if (r_.type() == Reader::Invalid) {
            failReader();
        }
    }
    Container enter(Reader::Type type, const QString& expected);
    bool hasMore(const Container& c, quint64 index) const {
        return c.known ? index < c.length : r_.hasNext();
    }
    void leave();
    quint64 readUnsigned(quint64 max, const QString& what);
    bool readBool();
    QString readDefText();
    // Reads a text or byte string of at most `capacity` bytes into `buf`; returns its length.
    qsizetype readShortString(char* buf, qsizetype capacity, const QString& tooLong);
    QByteArray readKey();
    void readUuid(QUuid& id);
    FieldDef readFieldDef();
    void readFields();
    void readRows(quint64 count, bool delta, std::vector<Column>& current,
                  std::vector<Column>& loaded, std::vector<RowKind>& kinds);
    void readCell(ColumnData& c, CellKind kind, qsizetype row);
    void readSlotText(ColumnData& c, qsizetype row);
    void readFreeText(ColumnData& c, qsizetype row);
    qint64 readInt64();
};

QString Decoder::location() const {
    switch (part_) {
    case Part::Header:
        return key_.isEmpty() ? QStringLiteral("cabeçalho")
                              : QStringLiteral("chave \"%1\"").arg(key_);
    case Part::FieldDef: {
        QString s = QStringLiteral("definição do campo %1").arg(defIndex_ + 1);
        if (!key_.isEmpty()) {
            s += QStringLiteral(", chave \"%1\"").arg(key_);
        }
        return s;
    }
    case Part::Row:
        if (cell_ < 0) {
            return QStringLiteral("linha %1").arg(row_ + 1);
        }
        return QStringLiteral("linha %1, campo \"%2\"%3")
            .arg(row_ + 1)
            .arg(defs_[cell_ % defs_.size()].name,
                 cell_ >= defs_.size() ? QStringLiteral(" (valor carregado)") : QString());
    }
    return {};
}

void Decoder::fail(const QString& problem) const {
    // One substitution pass: names taken from the packet may themselves contain "%1".
    throw PacketError(QStringLiteral("Pacote de dados inválido: %1: %2 (byte %3).")
                          .arg(location(), problem, QString::number(r_.currentOffset()))
                          .toStdString());
}

void Decoder::failReader() {
    const QCborError e = r_.lastError();
    switch (e.c) {
    case QCborError::NoError:
    case QCborError::EndOfFile:
        fail(QStringLiteral("os dados terminam antes do fim do pacote"));
    case QCborError::GarbageAtEnd:
        fail(QStringLiteral("há dados após o fim do pacote"));
    case QCborError::UnexpectedBreak:
        fail(QStringLiteral("marca de fim de lista fora de lugar"));
    case QCborError::UnknownType:
    case QCborError::IllegalType:
    case QCborError::UnsupportedType:
        fail(QStringLiteral("tipo CBOR inválido"));
    case QCborError::IllegalNumber:
        fail(QStringLiteral("número CBOR mal formado"));
    case QCborError::IllegalSimpleType:
        fail(QStringLiteral("valor simples CBOR inválido"));
    case QCborError::InvalidUtf8String:
        fail(QStringLiteral("texto com UTF-8 inválido"));
    case QCborError::DataTooLarge:
        fail(QStringLiteral("tamanho declarado grande demais"));
    case QCborError::NestingTooDeep:
        fail(QStringLiteral("aninhamento profundo demais"));
    default:
        fail(QStringLiteral("CBOR mal formado (%1)").arg(e.toString()));
    }
}

void Decoder::wrongType(const QString& expected) const {
    fail(QStringLiteral("esperado %1, encontrado %2").arg(expected, typeName(r_)));
}

Container Decoder::enter(Reader::Type type, const QString& expected) {
    expectValue();
    if (r_.type() != type) {
        wrongType(expected);
    }
    Container c{r_.isLengthKnown(), 0};
    if (c.known) {
        c.length = r_.length();
        // Every entry takes at least one byte (two for a map's key and value).
        const qint64 left = remaining();
        const quint64 perEntry = type == Reader::Map ? 2 : 1;
        if (left >= 0 && c.length > quint64(left) / perEntry) {
            fail(QStringLiteral("%1 declara %2 elementos, mais do que cabem nos %3 bytes "
                                "restantes")
                     .arg(expected)
                     .arg(c.length)
                     .arg(left));
        }
    }
    if (!r_.enterContainer()) {
        failReader();
    }
    return c;
}

void Decoder::leave() {
    if (r_.hasNext()) {
        fail(QStringLiteral("elementos a mais"));
    }
    if (!r_.leaveContainer()) {
        failReader();
    }
}

quint64 Decoder::readUnsigned(quint64 max, const QString& what) {
    expectValue();
    if (!r_.isUnsignedInteger()) {
        wrongType(QStringLiteral("inteiro não negativo (%1)").arg(what));
    }
    const quint64 v = r_.toUnsignedInteger();
    if (v > max) {
        fail(QStringLiteral("%1 %2 fora da faixa (0 a %3)").arg(what).arg(v).arg(max));
    }
    r_.next();
    return v;
}

bool Decoder::readBool() {
    expectValue();
    if (!r_.isBool()) {
        wrongType(QStringLiteral("valor lógico"));
    }
    const bool v = r_.isTrue();
    r_.next();
    return v;
}

QString Decoder::readDefText() {
    expectValue();
    if (!r_.isString()) {
        wrongType(QStringLiteral("texto"));
    }
    QString out;
    for (;;) {
        const qsizetype chunk = r_.currentStringChunkSize();
        if (chunk < 0) {
            failReader();
        }
        if (chunk > 4 * kMaxDefText) {
            fail(QStringLiteral("texto com mais de %1 caracteres").arg(kMaxDefText));
        }
        auto res = r_.readString();
        if (res.status == Reader::Error) {
            failReader();
        }
        if (res.status == Reader::EndOfString) {
            break;
        }
        out += res.data;
        if (out.size() > kMaxDefText) {
            fail(QStringLiteral("texto com mais de %1 caracteres").arg(kMaxDefText));
        }
    }
    return out;
}

qsizetype Decoder::readShortString(char* buf, qsizetype capacity, const QString& tooLong) {
    qsizetype total = 0;
    for (;;) {
        const qsizetype chunk = r_.currentStringChunkSize();
        if (chunk < 0) {
            failReader();
        }
        if (chunk > capacity - total) {
            fail(tooLong);
        }
        const auto res = r_.readStringChunk(buf + total, chunk);
        if (res.status == Reader::Error) {
            failReader();
        }
        if (res.status == Reader::EndOfString) {
            return total;
        }
        total += res.data;
    }
}

QByteArray Decoder::readKey() {
    expectValue();
    if (!r_.isString()) {
        wrongType(QStringLiteral("chave de texto"));
    }
    char buf[32];
    const qsizetype total = readShortString(buf, sizeof buf, QStringLiteral("chave desconhecida"));
    if (utf8CodePoints(buf, total) < 0) {
        fail(QStringLiteral("chave com UTF-8 inválido"));
    }
    return QByteArray(buf, total);
}

void Decoder::readUuid(QUuid& id) {
    expectValue();
    if (!r_.isByteArray()) {
        wrongType(QStringLiteral("sequência de 16 bytes"));
    }
    char buf[16];
    const qsizetype total =
        readShortString(buf, sizeof buf, QStringLiteral("identificador com mais de 16 bytes"));
    if (total != 16) {
        fail(QStringLiteral("identificador com %1 bytes, esperados 16").arg(total));
    }
    id = QUuid::fromRfc4122(QByteArrayView(buf, 16));
}

FieldDef Decoder::readFieldDef() {
    const Container c = enter(Reader::Map, QStringLiteral("mapa (definição de campo)"));
    FieldDef f;
    std::array<bool, kDefKeys.size()> seen{};
    quint64 i = 0;
    for (; hasMore(c, i); ++i) {
        key_.clear();
        const QByteArray key = readKey();
        key_ = QString::fromUtf8(key);
        const auto it =
            std::find_if(kDefKeys.begin(), kDefKeys.end(), [&](const char* k) { return key == k; });
        if (it == kDefKeys.end()) {
            fail(QStringLiteral("chave desconhecida"));
        }
        const auto k = std::size_t(it - kDefKeys.begin());
        if (seen[k]) {
            fail(QStringLiteral("chave repetida"));
        }
        seen[k] = true;
        switch (k) {
        case 0:
            f.name = readDefText();
            if (f.name.isEmpty()) {
                fail(QStringLiteral("nome de campo vazio"));
            }
            break;
        case 1:
            f.type = FieldType(readUnsigned(5, QStringLiteral("tipo de campo")));
            if (f.type == FieldType(0)) {
                fail(QStringLiteral("tipo de campo 0 desconhecido"));
            }
            break;
        case 2:
            f.size = int(readUnsigned(kMaxCount, QStringLiteral("tamanho")));
            break;
        case 3:
            f.fixed = readBool();
            break;
        case 4:
            f.label = readDefText();
            break;
        case 5:
            f.displayFormat = readDefText();
            break;
        case 6:
            f.editFormat = readDefText();
            break;
        case 7:
            f.displayWidth = int(readUnsigned(kMaxCount, QStringLiteral("largura")));
            break;
        case 8:
            f.visible = readBool();
            break;
        case 9:
            f.update = UpdateMode(readUnsigned(1, QStringLiteral("modo de atualização")));
            break;
        case 10:
            f.editMask = readDefText();
            break;
        case 11:
            f.readOnly = readBool();
            break;
        }
    }
    key_.clear();
    for (std::size_t k = 0; k < kDefKeys.size(); ++k) {
        if (!seen[k]) {
            fail(QStringLiteral("falta a chave \"%1\"").arg(QLatin1StringView(kDefKeys[k])));
        }
    }
    leave();
    return f;
}

void Decoder::readFields() {
    const Container c = enter(Reader::Array, QStringLiteral("lista de campos"));
    if (c.known && c.length > kMaxFields) {
        fail(QStringLiteral("%1 campos, mais do que o limite de %2").arg(c.length).arg(kMaxFields));
    }
    part_ = Part::FieldDef;
    for (quint64 i = 0; hasMore(c, i); ++i) {
        if (i >= kMaxFields) {
            fail(QStringLiteral("mais campos do que o limite de %1").arg(kMaxFields));
        }
        defIndex_ = int(i);
        key_.clear();
        FieldDef f = readFieldDef();
        if (indexOfField(defs_, f.name) >= 0) {
            fail(QStringLiteral("campo \"%1\" repetido").arg(f.name));
        }
        defs_.append(std::move(f));
    }
    part_ = Part::Header;
    key_ = QStringLiteral("fields");
    leave();
}

qint64 Decoder::readInt64() {
    if (r_.isUnsignedInteger()) {
        const quint64 v = r_.toUnsignedInteger();
        if (v > quint64(std::numeric_limits<qint64>::max())) {
            fail(QStringLiteral("inteiro %1 fora da faixa de 64 bits").arg(v));
        }
        return qint64(v);
    }
    // CBOR holds -1 - n; the reader gives n + 1 (0 when n + 1 wraps past 2^64 - 1).
    const auto m = quint64(r_.toNegativeInteger());
    if (m == 0 || m > quint64(1) << 63) {
        fail(QStringLiteral("inteiro negativo fora da faixa de 64 bits"));
    }
    return m == quint64(1) << 63 ? std::numeric_limits<qint64>::min() : -qint64(m);
}

void Decoder::readSlotText(ColumnData& c, qsizetype row) {
    // A text of `textSize` characters takes up to four bytes per character in UTF-8. Each chunk
    // is read with room for one byte more than that: the reader copies at most the room it is
    // given and skips the rest, so a full buffer means a text too long.
    char buf[4 * kMaxSlotText + 1];
    const qsizetype maxBytes = 4 * qsizetype(c.textSize);
    qsizetype total = 0;
    auto res = r_.readStringChunk(buf, maxBytes + 1);
    // A definite-length string is one chunk and then its end: the common case.
    while (res.status == Reader::Ok) {
        total += res.data;
        if (total > maxBytes) {
            fail(QStringLiteral("texto de mais de %1 bytes excede o tamanho %2 do campo")
                     .arg(maxBytes)
                     .arg(c.textSize));
        }
        res = r_.readStringChunk(buf + total, maxBytes + 1 - total);
    }
    if (res.status == Reader::Error) {
        failReader();
    }
    const qsizetype chars = isAscii(buf, total) ? total : utf8CodePoints(buf, total);
    if (chars < 0) {
        fail(QStringLiteral("texto com UTF-8 inválido"));
    }
    if (chars > c.textSize) {
        fail(QStringLiteral("texto com %1 caracteres excede o tamanho %2 do campo")
                 .arg(chars)
                 .arg(c.textSize));
    }
    char* const slot = c.slotAt(row);
    if (total > c.slot - 1) {
        slot[0] = char(kOverflow);
        c.overflow.insert(row, QByteArray(buf, total));
    } else {
        slot[0] = char(quint8(total));
        copySmall(slot + 1, buf, total);
    }
    c.nulls[std::size_t(row)] = 0;
}

void Decoder::readFreeText(ColumnData& c, qsizetype row) {
    // Unbounded and very long texts: the reader checks each chunk against the data at hand
    // before it allocates, and validates the UTF-8.
    QString text;
    qsizetype chars = 0;
    for (;;) {
        const qsizetype chunk = r_.currentStringChunkSize();
        if (chunk < 0) {
            failReader();
        }
        const qint64 left = remaining();
        if (left >= 0 && chunk > left) {
            failReader();
        }
        // A chunk of n bytes holds at least n / 4 characters.
        if (c.textSize > 0 && chunk / 4 > qsizetype(c.textSize) - chars) {
            fail(QStringLiteral("texto excede o tamanho %1 do campo").arg(c.textSize));
        }
        auto res = r_.readString();
        if (res.status == Reader::Error) {
            failReader();
        }
        if (res.status == Reader::EndOfString) {
            break;
        }
        chars += res.data.size() - std::count_if(res.data.cbegin(), res.data.cend(),
                                                 [](QChar ch) { return ch.isLowSurrogate(); });
        if (c.textSize > 0 && chars > c.textSize) {
            fail(QStringLiteral("texto com %1 caracteres excede o tamanho %2 do campo")
                     .arg(chars)
                     .arg(c.textSize));
        }
        text += res.data;
    }
    c.strings[std::size_t(row)] = text.isEmpty() ? QByteArray() : text.toUtf8();
    c.nulls[std::size_t(row)] = 0;
}

inline void Decoder::readCell(ColumnData& c, CellKind kind, qsizetype row) {
    const Reader::Type t = r_.type();
    if (t == Reader::SimpleType && r_.isNull()) {
        r_.next(); // the row was created null
        return;
    }
    switch (kind) {
    case CellKind::SlotText:
        if (t != Reader::String) {
            break;
        }
        readSlotText(c, row);
        return;
    case CellKind::FreeText:
        if (t != Reader::String) {
            break;
        }
        readFreeText(c, row);
        return;
    case CellKind::Real: {
        double v;
        if (t == Reader::Double) {
            v = r_.toDouble();
        } else if (t == Reader::Float) {
            v = double(r_.toFloat());
        } else if (t == Reader::Float16) {
            v = double(float(r_.toFloat16()));
        } else if (t == Reader::UnsignedInteger || t == Reader::NegativeInteger) {
            // Common CBOR writers give a whole double as an integer; taken when exact.
            constexpr quint64 kExact = quint64(1) << 53;
            // A negative integer holds its magnitude (0 stands for 2^64).
            const quint64 magnitude = t == Reader::UnsignedInteger
                                          ? r_.toUnsignedInteger()
                                          : quint64(r_.toNegativeInteger());
            if (magnitude > kExact || (t == Reader::NegativeInteger && magnitude == 0)) {
                fail(QStringLiteral("inteiro %1%2 não cabe exato num número de ponto flutuante")
                         .arg(t == Reader::NegativeInteger ? QStringLiteral("-") : QString())
                         .arg(magnitude));
            }
            v = t == Reader::UnsignedInteger ? double(magnitude) : -double(magnitude);
        } else {
            break;
        }
        c.reals[std::size_t(row)] = v;
        c.nulls[std::size_t(row)] = 0;
        r_.next();
        return;
    }
    case CellKind::Int:
        if (t != Reader::UnsignedInteger && t != Reader::NegativeInteger) {
            break;
        }
        c.ints[std::size_t(row)] = readInt64();
        c.nulls[std::size_t(row)] = 0;
        r_.next();
        return;
    case CellKind::Bool:
        if (t != Reader::SimpleType || !r_.isBool()) {
            break;
        }
        c.bools[std::size_t(row)] = r_.isTrue() ? 1 : 0;
        c.nulls[std::size_t(row)] = 0;
        r_.next();
        return;
    }
    expectValue();
    switch (c.type) {
    case FieldType::Text:
        wrongType(QStringLiteral("texto ou nulo"));
    case FieldType::Double:
        wrongType(QStringLiteral("número de ponto flutuante ou nulo"));
    case FieldType::Integer:
        wrongType(QStringLiteral("inteiro ou nulo"));
    case FieldType::DateTime:
        wrongType(QStringLiteral("data e hora (inteiro de milissegundos) ou nulo"));
    case FieldType::Boolean:
        wrongType(QStringLiteral("valor lógico ou nulo"));
    }
    wrongType(QStringLiteral("valor"));
}

void Decoder::readRows(quint64 count, bool delta, std::vector<Column>& current,
                       std::vector<Column>& loaded, std::vector<RowKind>& kinds) {
    const int width = int(defs_.size());
    const quint64 rowWidth = quint64(delta ? 1 + 2 * width : width);

    std::vector<ColumnData*> cols;
    std::vector<CellKind> cellKinds;
    const auto addColumns = [&](std::vector<Column>& into) {
        into.reserve(std::size_t(width));
        for (const FieldDef& f : std::as_const(defs_)) {
            into.emplace_back(f);
        }
    };
    addColumns(current);
    if (delta) {
        addColumns(loaded);
    }
    for (Column& col : current) {
        cols.push_back(&ColumnAccess::data(col));
    }
    for (Column& col : loaded) {
        cols.push_back(&ColumnAccess::data(col));
    }
    for (const ColumnData* c : cols) {
        switch (c->type) {
        case FieldType::Text:
            cellKinds.push_back(c->slot > 0 ? CellKind::SlotText : CellKind::FreeText);
            break;
        case FieldType::Double:
            cellKinds.push_back(CellKind::Real);
            break;
        case FieldType::Integer:
        case FieldType::DateTime:
            cellKinds.push_back(CellKind::Int);
            break;
        case FieldType::Boolean:
            cellKinds.push_back(CellKind::Bool);
            break;
        }
    }

    key_ = QStringLiteral("rows");
    const Container list = enter(Reader::Array, QStringLiteral("lista de linhas"));
    if (list.known && list.length != count) {
        fail(QStringLiteral("a lista tem %1 linhas, mas o pacote declara %2")
                 .arg(list.length)
                 .arg(count));
    }

    // Storage for the declared rows is taken at once only as far as it stays within twice the
    // bytes at hand (a sound packet needs about as much memory as it has bytes); beyond that,
    // and inside a stream of unknown size, it grows as rows actually arrive.
    qsizetype rowBytes = 0;
    for (const ColumnData* c : cols) {
        rowBytes += 1 + (c->type == FieldType::Text
                             ? (c->slot > 0 ? c->slot : qsizetype(sizeof(QByteArray)))
                         : c->type == FieldType::Boolean ? 1
                                                         : 8);
    }
    if (delta) {
        rowBytes += qsizetype(sizeof(RowKind));
    }
    rowBytes = std::max<qsizetype>(rowBytes, 1);
    const qsizetype blind = std::max(kMinReserveRows, kBlindReserveBytes / rowBytes);
    qsizetype initial = std::min(qsizetype(count), blind);
    if (end_ >= 0) {
        initial = std::max(initial, std::min(qsizetype(count), 2 * remaining() / rowBytes));
    }
    qsizetype allocated = 0;
    const auto grow = [&](qsizetype rows) {
        if (budget_) {
            budget_->take((rows - allocated) * rowBytes);
        }
        for (ColumnData* c : cols) {
            c->resize(rows);
        }
        if (delta) {
            kinds.resize(std::size_t(rows), RowKind::Unmodified);
        }
        allocated = rows;
    };
    grow(initial);

    part_ = Part::Row;
    const std::size_t ncols = cols.size();
    quint64 row = 0;
    for (; hasMore(list, row); ++row) {
        row_ = qsizetype(row);
        cell_ = -1;
        if (row >= count) {
            fail(QStringLiteral("há mais linhas do que as %1 declaradas").arg(count));
        }
        if (qsizetype(row) == allocated) {
            grow(std::min(qsizetype(count), std::max(allocated * 2, blind)));
        }
        expectValue();
        if (!r_.isArray()) {
            wrongType(QStringLiteral("lista (linha)"));
        }
        const bool known = r_.isLengthKnown();
        if (known && r_.length() != rowWidth) {
            fail(QStringLiteral("a linha tem %1 valores, esperados %2")
                     .arg(r_.length())
                     .arg(rowWidth));
        }
        if (!r_.enterContainer()) {
            failReader();
        }
        if (delta) {
            if (!known && !r_.hasNext()) {
                fail(QStringLiteral("a linha tem 0 valores, esperados %1").arg(rowWidth));
            }
            expectValue();
            if (!r_.isUnsignedInteger()) {
                wrongType(QStringLiteral("tipo de alteração da linha (0 a 3)"));
            }
            const quint64 k = r_.toUnsignedInteger();
            if (k > 3) {
                fail(QStringLiteral("tipo de alteração %1 desconhecido (0 a 3)").arg(k));
            }
            kinds[std::size_t(row)] = RowKind(k);
            r_.next();
        }
        for (std::size_t i = 0; i < ncols; ++i) {
            if (!known && !r_.hasNext()) {
                cell_ = -1;
                fail(QStringLiteral("a linha tem %1 valores, esperados %2")
                         .arg(qulonglong(i) + (delta ? 1 : 0))
                         .arg(rowWidth));
            }
            cell_ = int(i);
            readCell(*cols[i], cellKinds[i], qsizetype(row));
        }
        cell_ = -1;
        if (!known && r_.hasNext()) {
            fail(QStringLiteral("a linha tem mais de %1 valores").arg(rowWidth));
        }
        if (!r_.leaveContainer()) {
            failReader();
        }
    }
    if (row != count) {
        row_ = -1;
        part_ = Part::Header;
        fail(QStringLiteral("a lista tem %1 linhas, mas o pacote declara %2").arg(row).arg(count));
    }
    part_ = Part::Header;
    row_ = -1;
    if (!r_.leaveContainer()) {
        failReader();
    }
}

DataPacket Decoder::packet() {
    const Container top = enter(Reader::Map, QStringLiteral("mapa (pacote de dados)"));
    std::array<bool, kTopKeys> seen{};
    quint64 entry = 0;
    // Reads the next key, which must be `want`.
    // Reads the next key, which must be `want` (kTopKeys: none may follow).
    const auto nextKey = [&](TopKey want, bool delta) {
        key_.clear();
        if (!hasMore(top, entry)) {
            if (want == kTopKeys) {
                return;
            }
            fail(QStringLiteral("falta a chave \"%1\"").arg(QLatin1StringView(kTopNames[want])));
        }
        const QByteArray key = readKey();
        ++entry;
        key_ = QString::fromUtf8(key);
        const auto it = std::find_if(kTopNames.begin(), kTopNames.end(),
                                     [&](const char* k) { return key == k; });
        if (it == kTopNames.end()) {
            fail(QStringLiteral("chave desconhecida"));
        }
        const auto k = TopKey(it - kTopNames.begin());
        if (seen[k]) {
            fail(QStringLiteral("chave repetida"));
        }
        if (k == kId && !delta && want > kId) { // the kind is known from here on
            fail(QStringLiteral("a chave \"id\" só existe em deltas"));
        }
        if (k != want) {
            fail(want == kTopKeys ? QStringLiteral("chave fora de ordem")
                                  : QStringLiteral("chave fora de ordem (esperada \"%1\")")
                                        .arg(QLatin1StringView(kTopNames[want])));
        }
        seen[k] = true;
    };

    nextKey(kVersion, false);
    {
        expectValue();
        if (!r_.isUnsignedInteger()) {
            wrongType(QStringLiteral("versão do formato"));
        }
        const quint64 v = r_.toUnsignedInteger();
        if (v != quint64(kPacketFormatVersion)) {
            fail(QStringLiteral("versão %1 do formato não suportada (esta versão lê a %2)")
                     .arg(v)
                     .arg(kPacketFormatVersion));
        }
        r_.next();
    }
    nextKey(kKind, false);
    const bool delta = readUnsigned(1, QStringLiteral("tipo de pacote")) == 1;
    QUuid id;
    if (delta) {
        nextKey(kId, true);
        readUuid(id);
    }
    nextKey(kFields, delta);
    readFields();
    nextKey(kCount, delta);
    const quint64 count = readUnsigned(kMaxCount, QStringLiteral("número de linhas"));
    if (defs_.isEmpty() && count > 0) {
        fail(QStringLiteral("pacote sem campos não pode ter linhas"));
    }
    // Each row takes at least its array head and one byte per value.
    const quint64 minRowBytes = 1 + quint64(delta ? 1 + 2 * defs_.size() : defs_.size());
    const qint64 left = remaining();
    if (left >= 0 && count > quint64(left) / minRowBytes) {
        fail(QStringLiteral("o pacote declara %1 linhas, mais do que cabem nos %2 bytes "
                            "restantes")
                 .arg(count)
                 .arg(left));
    }
    nextKey(kRows, delta);
    std::vector<Column> current;
    std::vector<Column> loaded;
    std::vector<RowKind> kinds;
    readRows(count, delta, current, loaded, kinds);

    key_.clear();
    nextKey(kTopKeys, delta);
    if (!r_.leaveContainer()) {
        failReader();
    }
    if (delta) {
        return DataPacket::makeDelta(defs_, std::move(current), std::move(loaded), std::move(kinds),
                                     id);
    }
    return DataPacket(defs_, std::move(current));
}

} // namespace

qsizetype encodedPacketSize(const DataPacket& packet) {
    const bool delta = packet.isDelta();
    const FieldDefs& defs = packet.fields();
    const qsizetype rows = packet.rowCount();
    const int width = packet.fieldCount();
    qsizetype n = 1; // map head
    n += keySize(7) + 1;
    n += keySize(4) + 1;
    if (delta) {
        n += keySize(2) + 1 + 16;
    }
    n += keySize(6) + headSize(quint64(defs.size()));
    for (const FieldDef& f : defs) {
        n += fieldDefSize(f);
    }
    n += keySize(5) + headSize(quint64(rows));
    n += keySize(4) + headSize(quint64(rows));
    const quint64 rowWidth = quint64(delta ? 1 + 2 * width : width);
    n += rows * headSize(rowWidth);
    for (int i = 0; i < width; ++i) {
        n += columnCellsSize(ColumnAccess::data(packet.column(i)));
        if (delta) {
            n += columnCellsSize(ColumnAccess::data(packet.loadedColumn(i)));
        }
    }
    if (delta) {
        n += rows; // kinds 0..3
    }
    return n;
}

void writePacket(QCborStreamWriter& w, const DataPacket& packet) {
    const bool delta = packet.isDelta();
    const FieldDefs& defs = packet.fields();
    const qsizetype rows = packet.rowCount();
    const int width = packet.fieldCount();

    w.startMap(delta ? 6 : 5);
    writeKey(w, QLatin1StringView("version"));
    w.append(quint64(kPacketFormatVersion));
    writeKey(w, QLatin1StringView("kind"));
    w.append(quint64(delta ? 1 : 0));
    if (delta) {
        writeKey(w, QLatin1StringView("id"));
        w.append(packet.deltaId().toRfc4122());
    }
    writeKey(w, QLatin1StringView("fields"));
    w.startArray(quint64(defs.size()));
    for (const FieldDef& f : defs) {
        writeFieldDef(w, f);
    }
    w.endArray();
    writeKey(w, QLatin1StringView("count"));
    w.append(quint64(rows));
    writeKey(w, QLatin1StringView("rows"));
    w.startArray(quint64(rows));

    std::vector<const ColumnData*> cur;
    std::vector<const ColumnData*> old;
    for (int i = 0; i < width; ++i) {
        cur.push_back(&ColumnAccess::data(packet.column(i)));
        if (delta) {
            old.push_back(&ColumnAccess::data(packet.loadedColumn(i)));
        }
    }
    const std::vector<RowKind>& kinds = packet.kinds();
    const quint64 rowWidth = quint64(delta ? 1 + 2 * width : width);
    // Rows are written across every column; fetching each column's cell a few rows ahead keeps
    // the reads from waiting on memory once the columns no longer fit in the cache.
    constexpr qsizetype kAhead = 8;
    for (qsizetype r = 0; r < rows; ++r) {
        if (r + kAhead < rows) {
            for (const ColumnData* c : cur) {
                prefetchCell(*c, r + kAhead);
            }
            for (const ColumnData* c : old) {
                prefetchCell(*c, r + kAhead);
            }
        }
        w.startArray(rowWidth);
        if (delta) {
            w.append(quint64(kinds[std::size_t(r)]));
        }
        for (int i = 0; i < width; ++i) {
            writeCell(w, *cur[std::size_t(i)], defs[i], r);
        }
        for (int i = 0; i < int(old.size()); ++i) {
            writeCell(w, *old[std::size_t(i)], defs[i], r);
        }
        w.endArray();
    }
    w.endArray();
    w.endMap();
}

ByteSink::ByteSink(QByteArray& out, qsizetype expected)
    : out_(out) {
    out_.resize(qMax<qsizetype>(expected, 64));
    base_ = out_.data();
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void ByteSink::finish() {
    close();
    out_.truncate(used_);
}

qint64 ByteSink::writeData(const char* data, qint64 len) {
    if (len <= 0) {
        return 0; // empty texts arrive as (nullptr, 0)
    }
    if (used_ + len > out_.size()) {
        out_.resize(std::max(used_ + len, 2 * out_.size()));
        base_ = out_.data();
    }
    std::memcpy(base_ + used_, data, std::size_t(len));
    used_ += len;
    return len;
}

QByteArray encodePacket(const DataPacket& packet) {
    QByteArray out;
    ByteSink sink(out, encodedPacketSize(packet));
    {
        QCborStreamWriter w(&sink);
        writePacket(w, packet);
    }
    sink.finish();
    return out;
}

void DecodeBudget::take(qint64 bytes) {
    if (bytes <= 0) {
        return;
    }
    if (bytes > left_) {
        left_ = 0;
        throw PacketError(
            QStringLiteral("Pacote de dados recusado: decodificado, ele ocuparia mais memória do "
                           "que o limite de %1 MiB desta mensagem.")
                .arg(double(limit_) / (1024.0 * 1024.0), 0, 'f', 1)
                .toStdString());
    }
    left_ -= bytes;
}

DataPacket readPacket(QCborStreamReader& reader, DecodeBudget* budget, qint64 end) {
    Decoder d(reader, end, budget);
    return d.packet();
}

DataPacket decodePacket(QByteArrayView bytes) {
    QCborStreamReader reader(bytes.data(), bytes.size());
    Decoder d(reader, bytes.size());
    DataPacket p = d.packet();
    if (reader.lastError() != QCborError::NoError) {
        throw PacketError(QStringLiteral("Pacote de dados inválido: %1 (byte %2).")
                              .arg(reader.lastError().toString())
                              .arg(reader.currentOffset())
                              .toStdString());
    }
    if (reader.currentOffset() != bytes.size()) {
        throw PacketError(
            QStringLiteral("Pacote de dados inválido: há %1 bytes após o fim do pacote (byte %2).")
                .arg(bytes.size() - reader.currentOffset())
                .arg(reader.currentOffset())
                .toStdString());
    }
    return p;
}

} // namespace sup::data
