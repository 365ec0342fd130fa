// The packet codec: round trips of every field type and of deltas, packets inside larger
// streams, and the decoder's refusal of cut, malformed and hostile bytes with a clear error and
// bounded memory.

#include "MemoryProbe.h"

#include "sup/data/Column.h"
#include "sup/data/DataPacket.h"
#include "sup/data/PacketCodec.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

using namespace sup::data;
using namespace Qt::StringLiterals;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

FieldDefs allTypeFields() {
    FieldDefs f;
    f << FieldDef::text(u"FLAG"_s, 1, {}, true) // fixed text
      << FieldDef::text(u"NOME"_s, 10, u"Descrição"_s)
      << FieldDef::text(u"CURTO"_s, 3)   // accented texts overflow its 3-byte slot
      << FieldDef::text(u"LIVRE"_s, 0)   // unbounded
      << FieldDef::text(u"LONGO"_s, 300) // bounded but beyond the slot storage
      << FieldDef::integer(u"NUM"_s) << FieldDef::real(u"QTDE"_s, u"Qtde."_s, u"###,##0.000"_s)
      << FieldDef::boolean(u"ATIVO"_s) << FieldDef::dateTime(u"DATA"_s, u"Entrega"_s);
    return f;
}

enum Col { kFlag, kNome, kCurto, kLivre, kLongo, kNum, kQtde, kAtivo, kData };

qint64 msOf(int y, int m, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return toStoredMs(QDateTime(QDate(y, m, d), QTime(h, mi, s, ms)));
}

// Rows that reach every corner of every type; row 0 is all nulls, row 1 all empty/zero.
DataPacket extremePacket(bool compact = false) {
    DataPacketBuilder b(allTypeFields());
    const QString longText = QString(u"á"_s).repeated(300); // 600 bytes, 300 characters
    struct RowValues {
        QString flag, nome, curto, livre, longo;
        qint64 num;
        double qtde;
        bool ativo;
        qint64 data;
    };
    const RowValues rows[] = {
        {u""_s, u""_s, u""_s, u""_s, u""_s, 0, 0.0, false, 0},
        {u"S"_s, u"ação"_s, u"ção"_s, u"texto livre"_s, longText,
         std::numeric_limits<qint64>::max(), kInf, true, msOf(1, 1, 1)},
        {u"N"_s, u"Ünïcödé𝄞"_s, u"𝄞"_s, QString(u"x"_s).repeated(compact ? 3 : 70000), u"ab"_s,
         std::numeric_limits<qint64>::min(), -kInf, false, msOf(9999, 12, 31, 23, 59, 59, 999)},
        {u"M"_s, u"0123456789"_s, u"abc"_s, u"\u00e7\u00e3\u00f5"_s, u"x"_s, -1, kNaN, true,
         msOf(1899, 12, 30)},
        {u" "_s, u"é"_s.repeated(10), u"ãé"_s, u"\t\n\"'"_s, u""_s, 42, -0.0, false,
         msOf(1899, 12, 29, 23, 59, 59, 1)},
        {u"A"_s, u"x"_s, u"x"_s, u"x"_s, u"x"_s, 1, std::numeric_limits<double>::denorm_min(), true,
         msOf(2024, 2, 29, 12, 34, 56, 789)},
        {u"A"_s, u"x"_s, u"x"_s, u"x"_s, u"x"_s, 255, std::numeric_limits<double>::max(), true, -1},
        {u"A"_s, u"x"_s, u"x"_s, u"x"_s, u"x"_s, -256, std::numeric_limits<double>::lowest(), true,
         std::numeric_limits<qint64>::max()},
        {u"A"_s, u"x"_s, u"x"_s, u"x"_s, u"x"_s, 65536, 1234.5, true,
         std::numeric_limits<qint64>::min()},
    };
    b.appendRow({}); // all null
    for (const RowValues& r : rows) {
        const qsizetype row = b.column(0).size();
        for (int i = 0; i < allTypeFields().size(); ++i) {
            b.column(i).appendNull();
        }
        b.column(kFlag).setText(row, r.flag);
        b.column(kNome).setText(row, r.nome);
        b.column(kCurto).setText(row, r.curto);
        b.column(kLivre).setText(row, r.livre);
        b.column(kLongo).setText(row, r.longo);
        b.column(kNum).setInteger(row, r.num);
        b.column(kQtde).setReal(row, r.qtde);
        b.column(kAtivo).setBoolean(row, r.ativo);
        b.column(kData).setDateTimeMs(row, r.data);
    }
    return b.finish();
}

// Cell equality that tells -0.0 from 0.0 and NaN payloads apart: the bytes must come back.
bool sameCell(const Column& a, qsizetype ra, const Column& b, qsizetype rb) {
    if (a.isNull(ra) != b.isNull(rb)) {
        return false;
    }
    if (a.isNull(ra)) {
        return true;
    }
    switch (a.type()) {
    case FieldType::Text:
        return a.utf8(ra) == b.utf8(rb) && a.text(ra) == b.text(rb);
    case FieldType::Double: {
        const double x = a.real(ra);
        const double y = b.real(rb);
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case FieldType::Integer:
        return a.integer(ra) == b.integer(rb);
    case FieldType::DateTime:
        return a.dateTimeMs(ra) == b.dateTimeMs(rb);
    case FieldType::Boolean:
        return a.boolean(ra) == b.boolean(rb);
    }
    return false;
}

void verifySame(const DataPacket& a, const DataPacket& b) {
    QCOMPARE(b.fields(), a.fields());
    QCOMPARE(b.rowCount(), a.rowCount());
    QCOMPARE(b.isDelta(), a.isDelta());
    QCOMPARE(b.isNull(), a.isNull());
    for (int f = 0; f < a.fieldCount(); ++f) {
        QCOMPARE(b.column(f).type(), a.fields()[f].type);
        for (qsizetype r = 0; r < a.rowCount(); ++r) {
            if (!sameCell(a.column(f), r, b.column(f), r)) {
                QFAIL(qPrintable(u"campo %1, linha %2: %3 != %4"_s.arg(a.fields()[f].name)
                                     .arg(r)
                                     .arg(a.value(r, f).toString(), b.value(r, f).toString())));
            }
            if (a.isDelta() && !sameCell(a.loadedColumn(f), r, b.loadedColumn(f), r)) {
                QFAIL(qPrintable(
                    u"valor carregado: campo %1, linha %2"_s.arg(a.fields()[f].name).arg(r)));
            }
        }
    }
    if (a.isDelta()) {
        QCOMPARE(b.kinds(), a.kinds());
        QCOMPARE(b.deltaId(), a.deltaId());
    }
}

DataPacket sampleDelta(bool compact = false) {
    const FieldDefs defs = allTypeFields();
    std::vector<Column> cur, old;
    for (const FieldDef& f : defs) {
        cur.emplace_back(f);
        old.emplace_back(f);
    }
    const DataPacket src = extremePacket(compact);
    std::vector<RowKind> kinds;
    const RowKind cycle[] = {RowKind::Modified, RowKind::Inserted, RowKind::Deleted,
                             RowKind::Unmodified};
    for (qsizetype r = 0; r < src.rowCount(); ++r) {
        const RowKind k = cycle[r % 4];
        kinds.push_back(k);
        const qsizetype back = src.rowCount() - 1 - r;
        for (int f = 0; f < defs.size(); ++f) {
            cur[std::size_t(f)].appendCell(src.column(f), r);
            if (k == RowKind::Inserted) {
                old[std::size_t(f)].appendNull();
            } else {
                old[std::size_t(f)].appendCell(src.column(f), back);
            }
        }
    }
    return DataPacket::makeDelta(defs, std::move(cur), std::move(old), std::move(kinds),
                                 QUuid(u"{6f1c0a52-9a34-4f1e-8a77-0d2b6c3e9f10}"_s));
}

// Hand-written packets for the hostile cases. Each part can be replaced by raw CBOR.
struct Raw {
    QByteArray version = QByteArray("\x01", 1);
    QByteArray kind = QByteArray("\x00", 1);
    QByteArray fields; // default: one text(5) field "A" and one double "B"
    QByteArray count;  // default: 1
    QByteArray rows;   // default: [["abc", 1.5]]
    QByteArray extra;  // appended inside the map (key and value), map made indefinite
    bool indefiniteMap = false;

    Raw& withFields(QByteArray b) {
        fields = std::move(b);
        return *this;
    }
    Raw& withCount(QByteArray b) {
        count = std::move(b);
        return *this;
    }
    Raw& withRows(QByteArray b) {
        rows = std::move(b);
        return *this;
    }
};

QByteArray cbor(const std::function<void(QCborStreamWriter&)>& write) {
    QByteArray out;
    QCborStreamWriter w(&out);
    write(w);
    return out;
}

void writeDef(QCborStreamWriter& w, const QString& name, FieldType type, int size,
              const QString& skipKey = {}, const QString& extraKey = {}) {
    w.startMap();
    const auto key = [&](const char* k) {
        if (skipKey == QLatin1StringView(k)) {
            return false;
        }
        w.append(QLatin1StringView(k));
        return true;
    };
    if (key("name")) {
        w.append(name);
    }
    if (key("type")) {
        w.append(quint64(type));
    }
    if (key("size")) {
        w.append(quint64(size));
    }
    if (key("fixed")) {
        w.append(false);
    }
    for (const char* k : {"label", "displayFormat", "editFormat", "editMask"}) {
        if (key(k)) {
            w.append(QLatin1StringView(""));
        }
    }
    if (key("displayWidth")) {
        w.append(quint64(0));
    }
    if (key("visible")) {
        w.append(true);
    }
    if (key("update")) {
        w.append(quint64(0));
    }
    if (key("readOnly")) {
        w.append(false);
    }
    if (!extraKey.isEmpty()) {
        w.append(extraKey);
        w.append(true);
    }
    w.endMap();
}

QByteArray defaultFields() {
    return cbor([](QCborStreamWriter& w) {
        w.startArray(2);
        writeDef(w, u"A"_s, FieldType::Text, 5);
        writeDef(w, u"B"_s, FieldType::Double, 0);
        w.endArray();
    });
}

QByteArray build(Raw raw) {
    if (raw.fields.isEmpty()) {
        raw.fields = defaultFields();
    }
    if (raw.count.isEmpty()) {
        raw.count = QByteArray("\x01", 1);
    }
    if (raw.rows.isEmpty()) {
        raw.rows = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            w.startArray(2);
            w.append(QLatin1StringView("abc"));
            w.append(1.5);
            w.endArray();
            w.endArray();
        });
    }
    const auto key = [](const char* k) {
        return cbor([k](QCborStreamWriter& w) { w.append(QLatin1StringView(k)); });
    };
    QByteArray out;
    out +=
        raw.extra.isEmpty() && !raw.indefiniteMap ? QByteArray("\xa5", 1) : QByteArray("\xbf", 1);
    out += key("version") + raw.version + key("kind") + raw.kind + key("fields") + raw.fields +
           key("count") + raw.count + key("rows") + raw.rows + raw.extra;
    if (!raw.extra.isEmpty() || raw.indefiniteMap) {
        out += '\xff';
    }
    return out;
}

QByteArray rowsOf(const std::function<void(QCborStreamWriter&)>& cells, int rowCount = 1) {
    return cbor([&](QCborStreamWriter& w) {
        w.startArray(quint64(rowCount));
        for (int i = 0; i < rowCount; ++i) {
            cells(w);
        }
        w.endArray();
    });
}

// Decodes bytes that must be refused; returns the message.
QString refusal(const QByteArray& bytes) {
    try {
        (void)decodePacket(bytes);
    } catch (const PacketError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void roundTripEveryType();
    void roundTripFieldDefinitions();
    void nullAndEmptyPacketsStayApart();
    void emptyAndNullTextsStayApart();
    void roundTripDelta();
    void sizeIsExact();
    void embeddedInLargerStream();
    void readsIndefiniteLengthsAndNarrowFloats();
    void encoderRefusesTextLongerThanField();
    void everyCutIsRefused();
    void corruptedBytesNeverCrash();
    void hostile_data();
    void hostile();
    void hugeDeclaredLengthsAllocateNothing_data();
    void hugeDeclaredLengthsAllocateNothing();
    void deepNestingIsRefused();
    void integersInDoubleFields();
    void wideNullTextsStayWithinTheBudget();
    void messagesNameFieldAndRow();
    void decodedColumnsAreCompact();
};

void TestCodec::roundTripEveryType() {
    const DataPacket p = extremePacket();
    const DataPacket back = decodePacket(encodePacket(p));
    verifySame(p, back);
    // A few explicit checks of what the helpers compare.
    QVERIFY(std::signbit(back.column(kQtde).real(5)));
    QVERIFY(std::isnan(back.column(kQtde).real(4)));
    QCOMPARE(back.column(kQtde).real(6), std::numeric_limits<double>::denorm_min());
    QCOMPARE(back.column(kCurto).text(2), u"ção"_s);
    QCOMPARE(back.column(kNome).text(3), u"Ünïcödé𝄞"_s);
    QCOMPARE(back.column(kLongo).text(2).size(), 300);
    QCOMPARE(back.column(kLivre).text(3).size(), 70000);
    QCOMPARE(back.value(2, kData).toDateTime(), QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC));
    QCOMPARE(back.value(3, kData).toDateTime(),
             QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC));
    QCOMPARE(back.column(kNum).integer(3), std::numeric_limits<qint64>::min());
    QVERIFY(back == p);
}

void TestCodec::roundTripFieldDefinitions() {
    FieldDef f = FieldDef::text(u"CDFILDEST"_s, 34, u"Destino ção"_s, true);
    f.displayFormat = u"###,##0.000"_s;
    f.editFormat = u"0.00"_s;
    f.displayWidth = 34;
    f.visible = false;
    f.update = UpdateMode::None;
    f.editMask = u"9999999999;0; "_s;
    f.readOnly = true;
    FieldDef g = FieldDef::dateTime(u"DTPROGENPEOL"_s);
    FieldDefs defs{f, g, FieldDef::boolean(u"B"_s)};
    const DataPacket p(defs, {Column(defs[0]), Column(defs[1]), Column(defs[2])});
    const DataPacket back = decodePacket(encodePacket(p));
    QCOMPARE(back.fields(), defs);
    QCOMPARE(back.rowCount(), 0);
    QCOMPARE(back.indexOf(u"cdfildest"), 0);
}

void TestCodec::nullAndEmptyPacketsStayApart() {
    const DataPacket null;
    const DataPacket backNull = decodePacket(encodePacket(null));
    QVERIFY(backNull.isNull());
    QCOMPARE(backNull.rowCount(), 0);

    const FieldDefs defs{FieldDef::text(u"A"_s, 5)};
    const DataPacket empty(defs, {Column(defs[0])});
    const DataPacket backEmpty = decodePacket(encodePacket(empty));
    QVERIFY(!backEmpty.isNull());
    QCOMPARE(backEmpty.rowCount(), 0);
    QCOMPARE(backEmpty.fields(), defs);
    QVERIFY(encodePacket(null) != encodePacket(empty));
}

void TestCodec::emptyAndNullTextsStayApart() {
    const DataPacket back = decodePacket(encodePacket(extremePacket()));
    for (int f : {kFlag, kNome, kCurto, kLivre, kLongo}) {
        QVERIFY(back.column(f).isNull(0));
        QVERIFY(!back.value(0, f).isValid());
        QVERIFY(!back.column(f).isNull(1));
        const QVariant empty = back.value(1, f);
        QVERIFY(empty.isValid());
        QVERIFY(!empty.toString().isNull());
        QVERIFY(empty.toString().isEmpty());
    }
}

void TestCodec::roundTripDelta() {
    const DataPacket d = sampleDelta();
    const DataPacket back = decodePacket(encodePacket(d));
    QVERIFY(back.isDelta());
    verifySame(d, back);
    QCOMPARE(back.kind(1), RowKind::Inserted);
    QVERIFY(back.loadedColumn(kNome).isNull(1));
    QCOMPARE(back.loadedValue(0, kNum), d.loadedValue(0, kNum));
    QCOMPARE(back.deltaId(), QUuid(u"{6f1c0a52-9a34-4f1e-8a77-0d2b6c3e9f10}"_s));

    // An empty delta is still a delta and keeps its identifier.
    const FieldDefs defs{FieldDef::integer(u"N"_s)};
    const QUuid id = QUuid::createUuid();
    const DataPacket none =
        DataPacket::makeDelta(defs, {Column(defs[0])}, {Column(defs[0])}, {}, id);
    const DataPacket backNone = decodePacket(encodePacket(none));
    QVERIFY(backNone.isDelta());
    QCOMPARE(backNone.deltaId(), id);
    QCOMPARE(backNone.rowCount(), 0);
}

void TestCodec::sizeIsExact() {
    for (const DataPacket& p : {extremePacket(), sampleDelta(), DataPacket()}) {
        QCOMPARE(encodedPacketSize(p), encodePacket(p).size());
    }
}

void TestCodec::embeddedInLargerStream() {
    const DataPacket p = extremePacket();
    const DataPacket d = sampleDelta();
    QByteArray bytes;
    {
        QCborStreamWriter w(&bytes);
        w.startArray(4);
        w.append(u"GetItem"_s);
        writePacket(w, p);
        writePacket(w, d);
        w.append(qint64(42));
        w.endArray();
    }
    QCborStreamReader r(bytes);
    QVERIFY(r.enterContainer());
    QVERIFY(r.isString());
    r.next();
    verifySame(p, readPacket(r));
    verifySame(d, readPacket(r));
    QVERIFY(r.isUnsignedInteger());
    QCOMPARE(r.toInteger(), 42);
    r.next();
    QVERIFY(!r.hasNext());
    QVERIFY(r.leaveContainer());
    QCOMPARE(r.lastError(), QCborError::NoError);

    // decodePacket takes exactly one packet: trailing bytes are an error.
    QByteArray twice = encodePacket(p) + encodePacket(p);
    QVERIFY(refusal(twice).contains(u"após o fim do pacote"_s));
}

void TestCodec::readsIndefiniteLengthsAndNarrowFloats() {
    // Other CBOR writers may use indefinite lengths, chunked strings and narrower floats.
    Raw raw;
    raw.indefiniteMap = true;
    raw.fields = QByteArray("\x9f", 1) +
                 cbor([](QCborStreamWriter& w) { writeDef(w, u"A"_s, FieldType::Text, 5); }) +
                 cbor([](QCborStreamWriter& w) { writeDef(w, u"B"_s, FieldType::Double, 0); }) +
                 QByteArray("\xff", 1);
    raw.count = QByteArray("\x03", 1);
    // [_ [_ (_ "ab", "ç"), half 1.5 ], ["x", float 0.25], [null, null] ]
    raw.rows = QByteArray("\x9f"
                          "\x9f\x7f\x62"
                          "ab"
                          "\x62\xc3\xa7\xff\xf9\x3e\x00\xff"
                          "\x82\x61"
                          "x"
                          "\xfa\x3e\x80\x00\x00"
                          "\x82\xf6\xf6"
                          "\xff",
                          26);
    const DataPacket p = decodePacket(build(raw));
    QCOMPARE(p.rowCount(), 3);
    QCOMPARE(p.column(0).text(0), u"abç"_s);
    QCOMPARE(p.column(1).real(0), 1.5);
    QCOMPARE(p.column(1).real(1), 0.25);
    QVERIFY(p.column(0).isNull(2));
    QVERIFY(p.column(1).isNull(2));
}

void TestCodec::encoderRefusesTextLongerThanField() {
    const FieldDefs defs{FieldDef::text(u"CDMARCA"_s, 5), FieldDef::text(u"CURTO"_s, 3)};
    Column a(defs[0]);
    Column b(defs[1]);
    a.appendText(u"12345"_s);
    b.appendText(u"ção"_s); // 3 characters in 6 bytes: fits
    a.appendText(u"123456"_s);
    b.appendText(u"ab"_s);
    const DataPacket p(defs, {a, b});
    try {
        (void)encodePacket(p);
        QFAIL("a text longer than its field was written");
    } catch (const PacketError& e) {
        const QString m = QString::fromUtf8(e.what());
        QVERIFY2(m.contains(u"CDMARCA"_s) && m.contains(u"linha 2"_s), qPrintable(m));
    }
}

void TestCodec::everyCutIsRefused() {
    for (const DataPacket& p : {extremePacket(true), sampleDelta(true)}) {
        const QByteArray bytes = encodePacket(p);
        for (qsizetype n = 0; n < bytes.size(); ++n) {
            const QString m = refusal(bytes.left(n));
            if (m.isEmpty()) {
                QFAIL(qPrintable(
                    u"prefix of %1 of %2 bytes was accepted"_s.arg(n).arg(bytes.size())));
            }
        }
    }
}

void TestCodec::corruptedBytesNeverCrash() {
    // Every byte replaced by a few telling values: each decode either succeeds or throws
    // PacketError (the sanitizer build checks for memory errors on the way).
    const QByteArray bytes = encodePacket(sampleDelta(true));
    int refused = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        for (char c : {'\x00', '\xff', '\x1b', '\x7b', '\x9f', '\xf7'}) {
            QByteArray b = bytes;
            b[i] = c;
            try {
                (void)decodePacket(b);
            } catch (const PacketError&) {
                ++refused;
            }
        }
    }
    QVERIFY(refused > bytes.size());
}

void TestCodec::hostile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected"); // fragments of the message, "|"-separated

    const auto row = [](const std::function<void(QCborStreamWriter&)>& cells) {
        return rowsOf(cells);
    };
    const auto twoCells = [&](const std::function<void(QCborStreamWriter&)>& a,
                              const std::function<void(QCborStreamWriter&)>& b) {
        return row([&](QCborStreamWriter& w) {
            w.startArray(2);
            a(w);
            b(w);
            w.endArray();
        });
    };
    const auto text = [](const char* s) {
        return [s](QCborStreamWriter& w) {
            w.append(QLatin1StringView(s));
        };
    };
    const auto real = [](double v) {
        return [v](QCborStreamWriter& w) {
            w.append(v);
        };
    };
    // A single row [<cell A bytes>, 1.5] with raw bytes for cell A.
    const auto rawA = [](const QByteArray& cellA) {
        return QByteArray("\x81\x82", 2) + cellA + QByteArray("\xf9\x3e\x00", 3);
    };

    QTest::newRow("empty input") << QByteArray() << u"terminam antes do fim"_s;
    QTest::newRow("not a map") << QByteArray("\x80", 1) << u"esperado mapa|encontrado lista"_s;
    {
        Raw x;
        x.version = QByteArray("\x02", 1);
        QTest::newRow("unknown version") << build(x) << u"versão 2"_s;
        x.version = QByteArray("\x00", 1);
        QTest::newRow("version 0") << build(x) << u"versão 0"_s;
        x.version = QByteArray("\x61"
                               "1",
                               2);
        QTest::newRow("version as text") << build(x) << u"versão|encontrado texto"_s;
    }
    {
        Raw x;
        x.kind = QByteArray("\x02", 1);
        QTest::newRow("unknown kind") << build(x) << u"tipo de pacote 2 fora da faixa"_s;
    }
    {
        Raw x;
        x.extra = cbor([](QCborStreamWriter& w) {
            w.append(QLatin1StringView("colour"));
            w.append(1);
        });
        QTest::newRow("unknown key") << build(x) << u"chave \"colour\"|desconhecida"_s;
        x.extra = cbor([](QCborStreamWriter& w) {
            w.append(QLatin1StringView("count"));
            w.append(1);
        });
        QTest::newRow("duplicate key") << build(x) << u"chave \"count\"|repetida"_s;
        x.extra = cbor([](QCborStreamWriter& w) {
            w.append(QLatin1StringView("id"));
            w.append(QByteArray(16, 'x'));
        });
        QTest::newRow("id in a data packet") << build(x) << u"só existe em deltas"_s;
    }
    {
        // Keys out of order: "count" where "fields" belongs.
        QByteArray b = build(Raw{});
        const QByteArray fieldsKey("\x66"
                                   "fields",
                                   7);
        const QByteArray countKey("\x65"
                                  "count",
                                  6);
        const qsizetype at = b.indexOf(fieldsKey);
        QByteArray swapped = b.left(at) + countKey + QByteArray("\x01", 1) + fieldsKey;
        QTest::newRow("key out of order")
            << swapped << u"chave \"count\"|fora de ordem (esperada \"fields\")"_s;
    }
    QTest::newRow("missing keys") << QByteArray("\xa2\x67"
                                                "version\x01\x64"
                                                "kind\x00",
                                                16)
                                  << u"falta a chave \"fields\""_s;
    QTest::newRow("integer key") << QByteArray("\xa1\x01\x01", 3) << u"esperado chave de texto"_s;
    {
        Raw x;
        x.fields = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u"A"_s, FieldType::Text, 5, u"readOnly"_s);
            w.endArray();
        });
        QTest::newRow("field key missing")
            << build(x) << u"definição do campo 1|falta a chave \"readOnly\""_s;
        x.fields = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u"A"_s, FieldType::Text, 5, {}, u"colour"_s);
            w.endArray();
        });
        QTest::newRow("field key unknown") << build(x) << u"chave \"colour\"|desconhecida"_s;
        x.fields = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u"A"_s, FieldType::Text, 5, {}, u"name"_s);
            w.endArray();
        });
        QTest::newRow("field key repeated") << build(x) << u"chave \"name\"|repetida"_s;
        x.fields = cbor([](QCborStreamWriter& w) {
            w.startArray(2);
            writeDef(w, u"CdMarca"_s, FieldType::Text, 5);
            writeDef(w, u"CDMARCA"_s, FieldType::Text, 5);
            w.endArray();
        });
        QTest::newRow("field name repeated") << build(x) << u"campo \"CDMARCA\" repetido"_s;
        x.fields = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u""_s, FieldType::Text, 5);
            w.endArray();
        });
        QTest::newRow("field name empty") << build(x) << u"nome de campo vazio"_s;
        x.fields = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u"A"_s, FieldType(6), 5);
            w.endArray();
        });
        QTest::newRow("field type 6") << build(x) << u"tipo de campo 6 fora da faixa"_s;
        x.fields = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u"A"_s, FieldType(0), 5);
            w.endArray();
        });
        QTest::newRow("field type 0") << build(x) << u"tipo de campo 0"_s;
        x.fields = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u"A"_s, FieldType::Text, std::numeric_limits<int>::max());
            w.endArray();
        });
        x.count = QByteArray("\x00", 1);
        x.rows = QByteArray("\x80", 1);
        QTest::newRow("largest size is fine, no rows")
            << build(x) << QString(); // accepted: the size allocates nothing
    }
    {
        Raw x;
        x.fields = defaultFields();
        QByteArray f = x.fields;
        f.replace(QByteArray("\x66update\x00", 8), QByteArray("\x66update\x02", 8));
        x.fields = f;
        QTest::newRow("update mode 2") << build(x) << u"modo de atualização 2 fora da faixa"_s;
        x.fields = QByteArray("\xa0", 1);
        QTest::newRow("fields not a list") << build(x) << u"esperado lista de campos"_s;
        x.fields = QByteArray("\x81\x80", 2);
        QTest::newRow("field not a map") << build(x) << u"definição do campo 1|esperado mapa"_s;
    }
    // Cells of the wrong type.
    QTest::newRow("double in text")
        << build(Raw().withRows(twoCells(real(1.0), real(1.5)))) << u"campo \"A\"|esperado texto"_s;
    QTest::newRow("text in double")
        << build(Raw().withRows(twoCells(text("a"), text("1.5"))))
        << u"campo \"B\"|esperado número de ponto flutuante|encontrado texto"_s;
    // A whole number written as an integer is taken for a double only when exact.
    QTest::newRow("integer beyond 2^53 in double")
        << build(Raw().withRows(
               twoCells(text("a"), [](QCborStreamWriter& w) { w.append((quint64(1) << 53) + 1); })))
        << u"campo \"B\"|não cabe exato"_s;
    QTest::newRow("bytes in text") << build(Raw().withRows(rawA(QByteArray("\x41"
                                                                           "a",
                                                                           2))))
                                   << u"encontrado sequência de bytes"_s;
    QTest::newRow("tag in text") << build(Raw().withRows(rawA(QByteArray("\xc0\x61"
                                                                         "a",
                                                                         3))))
                                 << u"encontrado etiqueta CBOR"_s;
    QTest::newRow("undefined in text")
        << build(Raw().withRows(rawA(QByteArray("\xf7", 1)))) << u"encontrado indefinido"_s;
    QTest::newRow("array in text") << build(Raw().withRows(rawA(QByteArray("\x81\x61"
                                                                           "a",
                                                                           3))))
                                   << u"encontrado lista"_s;
    QTest::newRow("row is a map") << build(Raw().withRows(QByteArray("\x81\xa0", 2)))
                                  << u"linha 1|esperado lista (linha)|encontrado mapa"_s;
    // Texts.
    QTest::newRow("text longer than size")
        << build(Raw().withRows(twoCells(text("abcdef"), real(1))))
        << u"campo \"A\"|6 caracteres excede o tamanho 5"_s;
    QTest::newRow("text far longer than size")
        << build(Raw().withRows(twoCells(text("abcdefghijklmnopqrstuvwxyz"), real(1))))
        << u"campo \"A\"|excede o tamanho 5"_s;
    QTest::newRow("invalid UTF-8")
        << build(Raw().withRows(rawA(QByteArray("\x62\xff\xfe", 3)))) << u"UTF-8 inválido"_s;
    QTest::newRow("overlong UTF-8")
        << build(Raw().withRows(rawA(QByteArray("\x62\xc0\xaf", 3)))) << u"UTF-8 inválido"_s;
    QTest::newRow("surrogate in UTF-8")
        << build(Raw().withRows(rawA(QByteArray("\x63\xed\xa0\x80", 4)))) << u"UTF-8 inválido"_s;
    QTest::newRow("cut UTF-8 sequence") << build(Raw().withRows(rawA(QByteArray("\x62"
                                                                                "a\xc3",
                                                                                3))))
                                        << u"UTF-8 inválido"_s;
    QTest::newRow("past U+10FFFF")
        << build(Raw().withRows(rawA(QByteArray("\x64\xf4\x90\x80\x80", 5))))
        << u"UTF-8 inválido"_s;
    // Row width and count.
    QTest::newRow("row too narrow") << build(Raw().withRows(QByteArray("\x81\x81\x61"
                                                                       "a",
                                                                       4)))
                                    << u"linha 1|1 valores, esperados 2"_s;
    QTest::newRow("row too wide") << build(Raw().withRows(QByteArray("\x81\x83\x61"
                                                                     "a\xf6\xf6",
                                                                     6)))
                                  << u"linha 1|3 valores, esperados 2"_s;
    QTest::newRow("indefinite row too narrow") << build(Raw().withRows(QByteArray("\x81\x9f\x61"
                                                                                  "a\xff",
                                                                                  5)))
                                               << u"linha 1|esperados 2"_s;
    QTest::newRow("indefinite row too wide") << build(Raw().withRows(QByteArray("\x81\x9f\x61"
                                                                                "a\xf6\xf6\xff",
                                                                                7)))
                                             << u"linha 1|mais de 2 valores"_s;
    QTest::newRow("fewer rows than count")
        << build(Raw().withCount(QByteArray("\x02", 1))) << u"1 linhas, mas o pacote declara 2"_s;
    QTest::newRow("more rows than count")
        << build(Raw().withCount(QByteArray("\x00", 1))) << u"1 linhas, mas o pacote declara 0"_s;
    QTest::newRow("indefinite list, fewer rows") << build(Raw()
                                                              .withCount(QByteArray("\x02", 1))
                                                              .withRows(QByteArray("\x9f\x82\x61"
                                                                                   "a\xf6\xff",
                                                                                   7)))
                                                 << u"1 linhas, mas o pacote declara 2"_s;
    QTest::newRow("indefinite list, more rows")
        << build(Raw()
                     .withCount(QByteArray("\x01", 1))
                     .withRows(QByteArray("\x9f\x82\x61"
                                          "a\xf6\x82\xf6\xf6\xff",
                                          9)))
        << u"linha 2|mais linhas do que as 1 declaradas"_s;
    QTest::newRow("rows without fields")
        << build(Raw().withFields(QByteArray("\x80", 1)).withRows(QByteArray("\x81\x80", 2)))
        << u"sem campos não pode ter linhas"_s;
    // Integers out of the 64-bit range.
    {
        const QByteArray intDefs = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u"N"_s, FieldType::Integer, 0);
            w.endArray();
        });
        QTest::newRow("integer 2^63") << build(Raw().withFields(intDefs).withRows(QByteArray(
                                             "\x81\x81\x1b\x80\x00\x00\x00\x00\x00\x00\x00", 11)))
                                      << u"campo \"N\"|fora da faixa de 64 bits"_s;
        QTest::newRow("integer -2^64") << build(Raw().withFields(intDefs).withRows(QByteArray(
                                              "\x81\x81\x3b\xff\xff\xff\xff\xff\xff\xff\xff", 11)))
                                       << u"campo \"N\"|fora da faixa de 64 bits"_s;
        QTest::newRow("integer -2^63 - 1")
            << build(Raw().withFields(intDefs).withRows(
                   QByteArray("\x81\x81\x3b\x80\x00\x00\x00\x00\x00\x00\x00", 11)))
            << u"fora da faixa de 64 bits"_s;
        QTest::newRow("true in integer")
            << build(Raw().withFields(intDefs).withRows(QByteArray("\x81\x81\xf5", 3)))
            << u"esperado inteiro ou nulo|encontrado valor lógico"_s;
    }
    // Delta specifics.
    {
        const QByteArray deltaBytes = encodePacket(sampleDelta());
        QByteArray b = deltaBytes;
        const QByteArray idKey("\x62"
                               "id\x50",
                               4);
        const qsizetype at = b.indexOf(idKey);
        QByteArray shortId = b.left(at) +
                             QByteArray("\x62"
                                        "id\x4f",
                                        4) +
                             b.mid(at + 4, 15) + b.mid(at + 4 + 16);
        QTest::newRow("delta id of 15 bytes") << shortId << u"15 bytes, esperados 16"_s;
        QByteArray noId = b.left(at) + b.mid(at + 4 + 16);
        QTest::newRow("delta without id")
            << noId << u"chave \"fields\"|fora de ordem (esperada \"id\")"_s;
    }
    {
        const QByteArray oneDef = cbor([](QCborStreamWriter& w) {
            w.startArray(1);
            writeDef(w, u"N"_s, FieldType::Integer, 0);
            w.endArray();
        });
        const QByteArray idPart = cbor([](QCborStreamWriter& w) {
            w.append(QLatin1StringView("id"));
            w.append(QByteArray(16, '\x01'));
        });
        const auto delta = [&](const QByteArray& rows) {
            QByteArray out("\xa6", 1);
            out += cbor([](QCborStreamWriter& w) {
                w.append(QLatin1StringView("version"));
                w.append(1);
                w.append(QLatin1StringView("kind"));
                w.append(1);
            });
            out += idPart;
            out += cbor([](QCborStreamWriter& w) { w.append(QLatin1StringView("fields")); });
            out += oneDef;
            out += cbor([](QCborStreamWriter& w) {
                w.append(QLatin1StringView("count"));
                w.append(1);
                w.append(QLatin1StringView("rows"));
            });
            out += rows;
            return out;
        };
        QTest::newRow("delta row kind 4")
            << delta(QByteArray("\x81\x83\x04\x01\x01", 5)) << u"linha 1|tipo de alteração 4"_s;
        QTest::newRow("delta row without loaded values")
            << delta(QByteArray("\x81\x82\x01\x01", 4)) << u"2 valores, esperados 3"_s;
        QTest::newRow("delta loaded value of the wrong type")
            << delta(QByteArray("\x81\x83\x01\x01\x61"
                                "x",
                                6))
            << u"campo \"N\" (valor carregado)|encontrado texto"_s;
        QTest::newRow("delta row kind as text") << delta(QByteArray("\x81\x83\x61"
                                                                    "M\x01\x01",
                                                                    6))
                                                << u"tipo de alteração"_s;
        QTest::newRow("well-formed delta")
            << delta(QByteArray("\x81\x83\x01\x01\xf6", 5)) << QString();
    }
    QTest::newRow("trailing garbage")
        << build(Raw{}) + QByteArray("\x00", 1) << u"1 bytes após o fim do pacote"_s;
    QTest::newRow("well-formed") << build(Raw{}) << QString();
}

void TestCodec::hostile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    probe::AddressSpaceCap cap(256u << 20);
    probe::resetPeak();
    QString message;
    try {
        const DataPacket p = decodePacket(bytes);
        QVERIFY2(expected.isEmpty(), qPrintable(u"accepted; expected: "_s + expected));
    } catch (const PacketError& e) {
        message = QString::fromUtf8(e.what());
        QVERIFY2(!expected.isEmpty(), qPrintable(u"refused: "_s + message));
    }
    QVERIFY2(probe::peakBytes() < (1u << 20), qPrintable(QString::number(probe::peakBytes())));
    if (expected.isEmpty()) {
        return;
    }
    QVERIFY2(message.startsWith(u"Pacote de dados inválido: "_s), qPrintable(message));
    for (const QString& part : expected.split(u'|')) {
        QVERIFY2(message.contains(part), qPrintable(message + u" -- wanted: "_s + part));
    }
}

void TestCodec::hugeDeclaredLengthsAllocateNothing_data() {
    QTest::addColumn<QByteArray>("bytes");
    // Heads declaring 2^31 (4-byte argument) and 2^63 (8-byte argument) for each major type.
    const QByteArray arg31("\x80\x00\x00\x00", 4);
    const QByteArray arg63("\x80\x00\x00\x00\x00\x00\x00\x00", 8);
    const auto head = [](char major5, const QByteArray& arg) {
        const char extra = arg.size() == 4 ? 26 : 27;
        return QByteArray(1, char(quint8(major5) | quint8(extra))) + arg;
    };
    const char kText = '\x60', kBytes = '\x40', kArray = '\x80', kMap = '\xa0', kUint = '\x00';
    const QByteArray unboundedDefs = cbor([](QCborStreamWriter& w) {
        w.startArray(2);
        writeDef(w, u"A"_s, FieldType::Text, 0);
        writeDef(w, u"B"_s, FieldType::Double, 0);
        w.endArray();
    });
    const QByteArray bigDefs = cbor([](QCborStreamWriter& w) {
        w.startArray(2);
        writeDef(w, u"A"_s, FieldType::Text, std::numeric_limits<int>::max());
        writeDef(w, u"B"_s, FieldType::Double, 0);
        w.endArray();
    });
    for (const auto& [tag, arg] : {std::pair{"2^31", arg31}, std::pair{"2^63", arg63}}) {
        const auto row = [&](const char* what) {
            return u"%1 %2"_s.arg(QLatin1StringView(what), QLatin1StringView(tag));
        };
        const QByteArray cellRow = QByteArray("\x81\x82", 2) + head(kText, arg) + "abc";
        QTest::newRow(qPrintable(row("bounded text cell"))) << build(Raw().withRows(cellRow));
        QTest::newRow(qPrintable(row("unbounded text cell")))
            << build(Raw().withFields(unboundedDefs).withRows(cellRow));
        QTest::newRow(qPrintable(row("huge-size text cell")))
            << build(Raw().withFields(bigDefs).withRows(cellRow));
        QTest::newRow(qPrintable(row("row count"))) << build(Raw().withCount(head(kUint, arg)));
        QTest::newRow(qPrintable(row("rows list")))
            << build(Raw().withRows(head(kArray, arg) + QByteArray("\x82\x61"
                                                                   "a\xf6",
                                                                   4)));
        QTest::newRow(qPrintable(row("row")))
            << build(Raw().withRows(QByteArray("\x81", 1) + head(kArray, arg) +
                                    "\x61"
                                    "a"));
        QTest::newRow(qPrintable(row("fields list")))
            << build(Raw().withFields(head(kArray, arg) + QByteArray("\xa0", 1)));
        QTest::newRow(qPrintable(row("field definition map")))
            << build(Raw().withFields(QByteArray("\x81", 1) + head(kMap, arg)));
        QTest::newRow(qPrintable(row("field name")))
            << build(Raw().withFields(QByteArray("\x81\xa1\x64"
                                                 "name",
                                                 6) +
                                      head(kText, arg) + "ab"));
        QTest::newRow(qPrintable(row("packet map"))) << head(kMap, arg) + "\x67"
                                                                          "version\x01";
        QTest::newRow(qPrintable(row("key"))) << QByteArray("\xa5", 1) + head(kText, arg) + "ver";
        QTest::newRow(qPrintable(row("delta id"))) << QByteArray("\xa6\x67"
                                                                 "version\x01\x64"
                                                                 "kind\x01\x62"
                                                                 "id",
                                                                 19) +
                                                          head(kBytes, arg) + "0123";
    }
    // Count as large as allowed, with next to no bytes behind it.
    QTest::newRow("count 2^31-1") << build(Raw().withCount(QByteArray("\x1a\x7f\xff\xff\xff", 5)));
    // A delta whose rows list declares many rows (rows are wider in a delta).
    QTest::newRow("many null rows claimed")
        << build(Raw()
                     .withCount(QByteArray("\x1a\x00\x10\x00\x00", 5))
                     .withRows(QByteArray("\x9f\x82\xf6\xf6\xff", 5)));
}

void TestCodec::hugeDeclaredLengthsAllocateNothing() {
    QFETCH(QByteArray, bytes);
    probe::AddressSpaceCap cap(128u << 20);
    probe::resetPeak();
    try {
        (void)decodePacket(bytes);
        QFAIL("accepted");
    } catch (const PacketError& e) {
        QVERIFY(QByteArrayView(e.what()).startsWith("Pacote de dados inválido: "));
    }
    QVERIFY2(probe::peakBytes() < (1u << 20), qPrintable(QString::number(probe::peakBytes())));

    // The same inside a stream of unknown length.
    probe::resetPeak();
    QByteArray wrapped = QByteArray("\x81", 1) + bytes;
    QCborStreamReader r(wrapped);
    r.enterContainer();
    try {
        (void)readPacket(r);
        QFAIL("accepted");
    } catch (const PacketError&) {
    }
    QVERIFY2(probe::peakBytes() < (4u << 20), qPrintable(QString::number(probe::peakBytes())));
}

void TestCodec::integersInDoubleFields() {
    // Common CBOR writers give 3.0 as the integer 3: it is read as the double it stands for.
    const QByteArray bytes =
        build(Raw()
                  .withRows(cbor([](QCborStreamWriter& w) {
                      w.startArray(3);
                      for (qint64 v : {qint64(3), qint64(-2), qint64(1) << 53}) {
                          w.startArray(2);
                          w.append(QLatin1StringView("a"));
                          w.append(v);
                          w.endArray();
                      }
                      w.endArray();
                  }))
                  .withCount(QByteArray("\x03", 1)));
    const DataPacket p = decodePacket(bytes);
    QCOMPARE(p.rowCount(), 3);
    QCOMPARE(p.value(0, 1), QVariant(3.0));
    QCOMPARE(p.value(1, 1), QVariant(-2.0));
    QCOMPARE(p.value(2, 1), QVariant(9007199254740992.0));
}

void TestCodec::wideNullTextsStayWithinTheBudget() {
    // 200,000 null cells of a text(254) field: under 1 MB on the wire, about 50 MB once decoded.
    const qsizetype rows = 200000;
    const QByteArray bytes =
        build(Raw()
                  .withFields(cbor([](QCborStreamWriter& w) {
                      w.startArray(1);
                      writeDef(w, u"T"_s, FieldType::Text, 254);
                      w.endArray();
                  }))
                  .withCount(cbor([&](QCborStreamWriter& w) { w.append(quint64(rows)); }))
                  .withRows(cbor([&](QCborStreamWriter& w) {
                      w.startArray(quint64(rows));
                      for (qsizetype i = 0; i < rows; ++i) {
                          w.startArray(1);
                          w.append(nullptr);
                          w.endArray();
                      }
                      w.endArray();
                  })));
    QVERIFY(bytes.size() < 1000000);
    for (const bool knownEnd : {true, false}) {
        probe::resetPeak();
        QByteArray wrapped = QByteArray("\x81", 1) + bytes;
        QCborStreamReader r(wrapped);
        r.enterContainer();
        DecodeBudget budget(16 << 20);
        try {
            (void)readPacket(r, &budget, knownEnd ? wrapped.size() : -1);
            QFAIL("accepted");
        } catch (const PacketError& e) {
            QVERIFY2(QByteArrayView(e.what()).contains("limite de 16.0 MiB"), e.what());
        }
        // Growing storage holds the old block and the new one for a moment: twice the budget.
        QVERIFY2(probe::peakBytes() < (34u << 20), qPrintable(QString::number(probe::peakBytes())));
    }
    // A budget that holds them lets them through, and the same bytes without one too.
    QByteArray wrapped = QByteArray("\x81", 1) + bytes;
    QCborStreamReader r(wrapped);
    r.enterContainer();
    DecodeBudget enough(64 << 20);
    QCOMPARE(readPacket(r, &enough, wrapped.size()).rowCount(), rows);
    QVERIFY(enough.left() < enough.limit());
    QCOMPARE(decodePacket(bytes).rowCount(), rows);
}

void TestCodec::deepNestingIsRefused() {
    probe::AddressSpaceCap cap(128u << 20);
    // A cell that opens 100,000 arrays, and a packet that is nothing but nested maps.
    const QByteArray deep(100000, '\x81');
    QVERIFY(refusal(build(Raw().withRows(QByteArray("\x81\x82", 2) + deep + "\x01")))
                .contains(u"encontrado lista"_s));
    QVERIFY(refusal(QByteArray("\xa1\x67"
                               "version",
                               9) +
                    deep)
                .contains(u"versão"_s));
    QVERIFY(refusal(QByteArray(100000, '\xbf')).contains(u"chave de texto"_s));
}

void TestCodec::messagesNameFieldAndRow() {
    // Row 3 of a delta, loaded part of field QTDE holds a text.
    QByteArray bytes;
    {
        QCborStreamWriter w(&bytes);
        w.startMap(6);
        w.append(u"version"_s);
        w.append(1);
        w.append(u"kind"_s);
        w.append(1);
        w.append(u"id"_s);
        w.append(QByteArray(16, 'a'));
        w.append(u"fields"_s);
        w.startArray(1);
        writeDef(w, u"QTDE"_s, FieldType::Double, 0);
        w.endArray();
        w.append(u"count"_s);
        w.append(3);
        w.append(u"rows"_s);
        w.startArray(3);
        for (int i = 0; i < 3; ++i) {
            w.startArray(3);
            w.append(1);
            w.append(1.0);
            if (i == 2) {
                w.append(u"dois"_s);
            } else {
                w.append(2.0);
            }
            w.endArray();
        }
        w.endArray();
        w.endMap();
    }
    const QString m = refusal(bytes);
    QCOMPARE(m.left(m.indexOf(u" (byte"_s)),
             u"Pacote de dados inválido: linha 3, campo \"QTDE\" (valor carregado): esperado "
             "número de ponto flutuante ou nulo, encontrado texto"_s);
}

void TestCodec::decodedColumnsAreCompact() {
    // 10,000 rows of two short texts and a double: the decoder reserves once and does not
    // keep more than the rows need.
    const FieldDefs defs{FieldDef::text(u"A"_s, 10), FieldDef::text(u"B"_s, 4),
                         FieldDef::real(u"C"_s)};
    DataPacketBuilder b(defs);
    for (int i = 0; i < 10000; ++i) {
        b.appendRow({QString::number(i), u"ab"_s, i * 0.5});
    }
    const QByteArray bytes = encodePacket(b.finish());
    probe::resetPeak();
    const DataPacket p = decodePacket(bytes);
    const std::size_t peak = probe::peakBytes();
    QCOMPARE(p.rowCount(), 10000);
    // (11 + 5 + 8) slot bytes and 3 null flags per row.
    const std::size_t exact = 10000 * (11 + 5 + 8 + 3);
    QVERIFY2(peak < exact * 5 / 4 + 4096, qPrintable(u"%1 > %2"_s.arg(peak).arg(exact)));
    QVERIFY(std::size_t(p.memoryBytes()) < exact * 5 / 4 + 4096);
}

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
