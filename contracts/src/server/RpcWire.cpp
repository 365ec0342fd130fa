#include "sup/contracts/RpcWire.h"

#include "sup/contracts/SelectedItems.h"
#include "sup/data/DataPacket.h"
#include "sup/data/PacketCodec.h"

#include <QBitArray>
#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QDate>
#include <QDateTime>

#include <cstdio>

namespace sup::contracts::rpc {

namespace {

// A date-time travels as its wall-clock reading, "yyyy-MM-ddTHH:mm:ss.zzz", without a zone:
// the order dates of the system are naive wall-clock values. It is read back as the same
// reading in UTC, so that no time-zone rule shifts it or finds it missing (a midnight skipped by
// a daylight-saving change is a date like any other).
QString wallClockText(const QDateTime& dt) {
    if (!dt.isValid())
        return {};
    const QDate d = dt.date();
    const QTime t = dt.time();
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", d.year(),
                                d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
    return QString::fromLatin1(buf, n);
}

QDateTime wallClockOf(QStringView t) {
    // yyyy-MM-ddTHH:mm:ss.zzz
    if (t.size() != 23 || t[4] != u'-' || t[7] != u'-' || t[10] != u'T' || t[13] != u':' ||
        t[16] != u':' || t[19] != u'.')
        return {};
    bool ok = true;
    auto number = [&](qsizetype from, qsizetype count) {
        int v = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            const char16_t c = t[i].unicode();
            if (c < u'0' || c > u'9')
                ok = false;
            v = v * 10 + int(c - u'0');
        }
        return v;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    if (!ok || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

constexpr quint64 kTagFullDate = 1004;

QString typeName(const QVariant& v) {
    return QString::fromLatin1(v.typeName() ? v.typeName() : "inválido");
}

void writeValue(QCborStreamWriter& w, const QVariant& v, int depth);

// The selected items as their nested lists, straight from their columns: texts as they are
// stored, other values as the variants they read as.
void writeSelectedItems(QCborStreamWriter& w, const SelectedItems& items, int depth) {
    if (items.isEmpty()) {
        w.startArray(0);
        w.endArray();
        return;
    }
    w.startArray(SelectedItems::kAttributes);
    for (int a = 0; a < SelectedItems::kAttributes; ++a) {
        const data::Column& c = items.column(a);
        w.startArray(quint64(items.count()));
        const bool text = c.type() == data::FieldType::Text;
        for (qsizetype i = 0; i < items.count(); ++i) {
            if (text && !c.isNull(i)) {
                const QByteArrayView utf8 = c.utf8(i);
                w.appendTextString(utf8.data(), utf8.size());
            } else {
                writeValue(w, c.value(i), depth + 2);
            }
        }
        w.endArray();
    }
    w.endArray();
}

void writeValue(QCborStreamWriter& w, const QVariant& v, int depth) {
    if (depth > kMaxDepth)
        throw WireError(QStringLiteral("Valor aninhado demais para o transporte."));
    if (!v.isValid()) {
        w.append(nullptr);
        return;
    }
    if (v.metaType() == QMetaType::fromType<data::DataPacket>()) {
        w.append(QCborTag(kTagPacket));
        try {
            data::writePacket(w, v.value<data::DataPacket>());
        } catch (const data::PacketError& e) {
            throw WireError(QString::fromUtf8(e.what()));
        }
        return;
    }
    if (v.metaType() == QMetaType::fromType<SelectedItems>()) {
        writeSelectedItems(w, v.value<SelectedItems>(), depth);
        return;
    }
    if (v.metaType() == QMetaType::fromType<ServerFault>()) {
        const ServerFault f = v.value<ServerFault>();
        w.append(QCborTag(kTagFault));
        w.startArray(2);
        w.append(f.message);
        w.append(f.code);
        w.endArray();
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        w.append(v.toBool());
        return;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::LongLong:
        w.append(qint64(v.toLongLong()));
        return;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULongLong:
        w.append(quint64(v.toULongLong()));
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        w.append(v.toDouble());
        return;
    case QMetaType::QString:
        w.append(v.toString());
        return;
    case QMetaType::QByteArray:
        w.append(v.toByteArray());
        return;
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        w.append(QCborTag(kTagFullDate));
        w.append(d.isValid() ? d.toString(Qt::ISODate) : QString());
        return;
    }
    case QMetaType::QDateTime: {
        w.append(QCborTag(kTagDateTime));
        w.append(wallClockText(v.toDateTime()));
        return;
    }
    case QMetaType::QVariantList: {
        const QVariantList l = v.toList();
        w.startArray(quint64(l.size()));
        for (const QVariant& e : l)
            writeValue(w, e, depth + 1);
        w.endArray();
        return;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap m = v.toMap();
        w.startMap(quint64(m.size()));
        for (auto it = m.begin(); it != m.end(); ++it) {
            w.append(it.key());
            writeValue(w, it.value(), depth + 1);
        }
        w.endMap();
        return;
    }
    case QMetaType::Nullptr:
        w.append(nullptr);
        return;
    default:
        throw WireError(
            QStringLiteral("Tipo de valor não suportado pelo transporte: %1.").arg(typeName(v)));
    }
}

class Reader {
public:
    explicit Reader(QByteArrayView bytes)
        : size_(bytes.size())
        , r_(bytes.toByteArray()) {}

    // Where data packets may stand: nowhere (a sign-on), or only as the call arguments whose
    // positions `packetArgs` marks, within `budget`. Without a policy (answers a client reads)
    // anywhere.
    void limitPackets(const QBitArray* packetArgs, data::DecodeBudget* budget) {
        limited_ = true;
        packetArgs_ = packetArgs;
        budget_ = budget;
    }

    [[noreturn]] void fail(const QString& what) const {
        throw WireError(QStringLiteral("Mensagem malformada do transporte: %1.").arg(what));
    }

    void check() {
        if (r_.lastError() != QCborError::NoError)
            fail(r_.lastError().toString());
    }

    QString readText() {
        if (!r_.isString())
            fail(QStringLiteral("esperava um texto"));
        QString out;
        auto chunk = r_.readString();
        while (chunk.status == QCborStreamReader::Ok) {
            out += chunk.data;
            chunk = r_.readString();
        }
        if (chunk.status == QCborStreamReader::Error)
            fail(QStringLiteral("texto inválido"));
        return out;
    }

    QByteArray readBytes() {
        QByteArray out;
        auto chunk = r_.readByteArray();
        while (chunk.status == QCborStreamReader::Ok) {
            out += chunk.data;
            chunk = r_.readByteArray();
        }
        if (chunk.status == QCborStreamReader::Error)
            fail(QStringLiteral("bytes inválidos"));
        return out;
    }

    QVariant readValue(int depth) {
        if (depth > kMaxDepth)
            fail(QStringLiteral("valores aninhados demais"));
        if (++values_ > kMaxValues + size_ / 4)
            fail(QStringLiteral("valores demais"));
        check();
        switch (r_.type()) {
        case QCborStreamReader::UnsignedInteger: {
            const quint64 u = r_.toUnsignedInteger();
            r_.next();
            if (u <= quint64(std::numeric_limits<int>::max()))
                return int(u);
            if (u <= quint64(std::numeric_limits<qint64>::max()))
                return qlonglong(u);
            return qulonglong(u);
        }
        case QCborStreamReader::NegativeInteger: {
            const quint64 n = quint64(r_.toNegativeInteger());
            r_.next();
            if (n == 0 || n > quint64(std::numeric_limits<qint64>::max()))
                fail(QStringLiteral("inteiro fora do intervalo"));
            const qint64 v = -qint64(n - 1) - 1;
            if (v >= std::numeric_limits<int>::min())
                return int(v);
            return qlonglong(v);
        }
        case QCborStreamReader::SimpleType: {
            const auto s = r_.toSimpleType();
            r_.next();
            switch (s) {
            case QCborSimpleType::False:
                return false;
            case QCborSimpleType::True:
                return true;
            case QCborSimpleType::Null:
            case QCborSimpleType::Undefined:
                return {};
            default:
                fail(QStringLiteral("valor simples desconhecido"));
            }
        }
        case QCborStreamReader::Float16: {
            const double d = double(r_.toFloat16());
            r_.next();
            return d;
        }
        case QCborStreamReader::Float: {
            const double d = double(r_.toFloat());
            r_.next();
            return d;
        }
        case QCborStreamReader::Double: {
            const double d = r_.toDouble();
            r_.next();
            return d;
        }
        case QCborStreamReader::String:
            return readText();
        case QCborStreamReader::ByteArray:
            return readBytes();
        case QCborStreamReader::Array: {
            if (!r_.enterContainer())
                fail(QStringLiteral("lista inválida"));
            QVariantList l;
            const bool args = depth == 1 && readingArgs_;
            while (r_.hasNext()) {
                if (args)
                    argIndex_ = int(l.size());
                l.append(readValue(depth + 1));
            }
            if (args)
                argIndex_ = -1;
            check();
            if (!r_.leaveContainer())
                fail(QStringLiteral("lista incompleta"));
            return l;
        }
        case QCborStreamReader::Map: {
            if (!r_.enterContainer())
                fail(QStringLiteral("mapa inválido"));
            QVariantMap m;
            while (r_.hasNext()) {
                const QString key = readText();
                readingArgs_ = depth == 0 && key == u"args";
                m.insert(key, readValue(depth + 1));
                readingArgs_ = false;
            }
            check();
            if (!r_.leaveContainer())
                fail(QStringLiteral("mapa incompleto"));
            return m;
        }
        case QCborStreamReader::Tag: {
            const quint64 tag = quint64(r_.toTag());
            r_.next();
            check();
            if (tag == kTagFullDate) {
                const QString t = readText();
                if (t.isEmpty())
                    return QDate();
                const QDate d = QDate::fromString(t, Qt::ISODate);
                if (!d.isValid())
                    fail(QStringLiteral("data inválida"));
                return d;
            }
            if (tag == kTagDateTime) {
                const QString t = readText();
                if (t.isEmpty())
                    return QDateTime();
                const QDateTime dt = wallClockOf(t);
                if (!dt.isValid())
                    fail(QStringLiteral("data e hora inválidas"));
                return dt;
            }
            if (tag == kTagPacket) {
                // Refused before a byte of it is decoded where no packet may stand.
                if (limited_ &&
                    (depth != 2 || argIndex_ < 0 || !packetArgs_ ||
                     argIndex_ >= packetArgs_->size() || !packetArgs_->testBit(argIndex_)))
                    fail(argIndex_ >= 0 && depth == 2
                             ? QStringLiteral("o argumento %1 não aceita pacote de dados")
                                   .arg(argIndex_ + 1)
                             : QStringLiteral("pacote de dados onde não cabe um"));
                try {
                    return QVariant::fromValue(data::readPacket(r_, budget_, size_));
                } catch (const data::PacketError& e) {
                    throw WireError(QString::fromUtf8(e.what()));
                }
            }
            if (tag == kTagFault) {
                if (!r_.isArray() || !r_.enterContainer())
                    fail(QStringLiteral("falha sem corpo"));
                ServerFault f;
                if (r_.hasNext())
                    f.message = readText();
                if (r_.hasNext())
                    f.code = readText();
                if (r_.hasNext() || !r_.leaveContainer())
                    fail(QStringLiteral("falha com campos demais"));
                return QVariant::fromValue(f);
            }
            fail(QStringLiteral("marca desconhecida %1").arg(tag));
        }
        default:
            fail(QStringLiteral("tipo inesperado"));
        }
    }

    QVariantMap readTop() {
        if (!r_.isMap())
            fail(QStringLiteral("esperava um mapa"));
        const QVariant v = readValue(0);
        if (r_.lastError() != QCborError::NoError && r_.lastError() != QCborError::EndOfFile)
            fail(r_.lastError().toString());
        if (r_.type() != QCborStreamReader::Invalid || r_.currentOffset() < size_)
            fail(QStringLiteral("dados após o fim da mensagem"));
        const QVariantMap m = v.toMap();
        if (m.value(QStringLiteral("v")).toInt() != kWireVersion)
            fail(QStringLiteral("versão %1 não suportada")
                     .arg(m.value(QStringLiteral("v")).toString()));
        return m;
    }

    QCborStreamReader& stream() { return r_; }

private:
    qsizetype size_;
    QCborStreamReader r_;
    qsizetype values_ = 0;
    bool limited_ = false;
    const QBitArray* packetArgs_ = nullptr;
    data::DecodeBudget* budget_ = nullptr;
    bool readingArgs_ = false;
    int argIndex_ = -1;
};

// The bytes the packets in a value take on the wire, so that a message is written into one
// buffer sized beforehand instead of one grown and copied as it fills.
qsizetype packetBytes(const QVariant& v, int depth) {
    if (depth > kMaxDepth)
        return 0;
    if (v.metaType() == QMetaType::fromType<data::DataPacket>())
        return data::encodedPacketSize(v.value<data::DataPacket>());
    qsizetype n = 0;
    if (v.typeId() == QMetaType::QVariantList) {
        for (const QVariant& e : v.toList())
            n += packetBytes(e, depth + 1);
    } else if (v.typeId() == QMetaType::QVariantMap) {
        for (const QVariant& e : v.toMap())
            n += packetBytes(e, depth + 1);
    }
    return n;
}

QByteArray encodeMap(const QVariantMap& m) {
    QByteArray out;
    data::ByteSink sink(out, packetBytes(m, 0) + 4096);
    {
        QCborStreamWriter w(&sink);
        writeValue(w, m, 0);
    }
    sink.finish();
    return out;
}

QString textField(const Reader& r, const QVariantMap& m, const char* key, bool required = true) {
    const QVariant v = m.value(QString::fromLatin1(key));
    if (!v.isValid()) {
        if (required)
            r.fail(QStringLiteral("falta o campo %1").arg(QString::fromLatin1(key)));
        return {};
    }
    if (v.typeId() != QMetaType::QString)
        r.fail(QStringLiteral("o campo %1 deve ser um texto").arg(QString::fromLatin1(key)));
    return v.toString();
}

QVariantList readCall(Reader& r) {
    const QVariantMap m = r.readTop();
    const QVariant args = m.value(QStringLiteral("args"));
    if (args.typeId() != QMetaType::QVariantList)
        r.fail(QStringLiteral("falta a lista de argumentos"));
    return args.toList();
}

} // namespace

QByteArray encodeValue(const QVariant& value) {
    QByteArray out;
    QCborStreamWriter w(&out);
    writeValue(w, value, 0);
    return out;
}

QVariant decodeValue(QByteArrayView bytes) {
    Reader r(bytes);
    const QVariant v = r.readValue(0);
    if (r.stream().lastError() != QCborError::NoError &&
        r.stream().lastError() != QCborError::EndOfFile)
        r.fail(r.stream().lastError().toString());
    return v;
}

QByteArray encodeCall(const QVariantList& args) {
    return encodeMap({{QStringLiteral("v"), kWireVersion}, {QStringLiteral("args"), args}});
}

QVariantList decodeCall(QByteArrayView body) {
    Reader r(body);
    return readCall(r);
}

QVariantList decodeCall(QByteArrayView body, const MethodSpec* def, qint64 memoryBudget) {
    Reader r(body);
    QBitArray packetArgs;
    if (def) {
        packetArgs.resize(def->args.size());
        for (qsizetype i = 0; i < def->args.size(); ++i)
            packetArgs.setBit(i, def->args[i].type == ArgType::Packet ||
                                     def->args[i].type == ArgType::Delta);
    }
    data::DecodeBudget budget(memoryBudget);
    r.limitPackets(&packetArgs, &budget);
    return readCall(r);
}

qint64 callMemoryBudget(qsizetype bodyBytes) {
    return 16LL * 1024 * 1024 + 16LL * bodyBytes;
}

QByteArray encodeAnswer(const QVariant& result, const QMap<int, QVariant>& refs) {
    QVariantMap m{{QStringLiteral("v"), kWireVersion}};
    if (isFault(result)) {
        const ServerFault f = result.value<ServerFault>();
        m.insert(QStringLiteral("fault"), QVariantMap{{QStringLiteral("message"), f.message},
                                                      {QStringLiteral("code"), f.code}});
    } else {
        m.insert(QStringLiteral("result"), result);
        QVariantMap r;
        for (auto it = refs.begin(); it != refs.end(); ++it)
            r.insert(QString::number(it.key()), it.value());
        if (!r.isEmpty())
            m.insert(QStringLiteral("refs"), r);
    }
    return encodeMap(m);
}

Answer decodeAnswer(QByteArrayView body) {
    Reader r(body);
    const QVariantMap m = r.readTop();
    Answer a;
    if (m.contains(QStringLiteral("fault"))) {
        const QVariantMap f = m.value(QStringLiteral("fault")).toMap();
        a.result = QVariant::fromValue(
            ServerFault{textField(r, f, "message"), textField(r, f, "code", false)});
        return a;
    }
    a.result = m.value(QStringLiteral("result"));
    const QVariant refs = m.value(QStringLiteral("refs"));
    if (refs.isValid()) {
        if (refs.typeId() != QMetaType::QVariantMap)
            r.fail(QStringLiteral("argumentos de retorno inválidos"));
        const QVariantMap rm = refs.toMap();
        for (auto it = rm.begin(); it != rm.end(); ++it) {
            bool ok = false;
            const int i = it.key().toInt(&ok);
            if (!ok || i < 0 || i > 1000)
                r.fail(QStringLiteral("posição de argumento inválida"));
            a.refs.insert(i, it.value());
        }
    }
    return a;
}

QByteArray encodeSignOn(const SignOn& s) {
    return encodeMap({{QStringLiteral("v"), kWireVersion},
                      {QStringLiteral("operator"), s.operatorCode},
                      {QStringLiteral("password"), s.password}});
}

SignOn decodeSignOn(QByteArrayView body) {
    Reader r(body);
    r.limitPackets(nullptr, nullptr); // a sign-on carries no packet
    const QVariantMap m = r.readTop();
    return SignOn{textField(r, m, "operator"), textField(r, m, "password")};
}

QByteArray encodeSession(const Session& s) {
    return encodeMap({{QStringLiteral("v"), kWireVersion},
                      {QStringLiteral("token"), s.token},
                      {QStringLiteral("expiresIn"), s.expiresIn},
                      {QStringLiteral("branch"), s.branch},
                      {QStringLiteral("branchBound"), s.branchBound}});
}

Session decodeSession(QByteArrayView body) {
    Reader r(body);
    const QVariantMap m = r.readTop();
    Session s;
    s.token = textField(r, m, "token");
    s.expiresIn = m.value(QStringLiteral("expiresIn")).toInt();
    s.branch = textField(r, m, "branch", false);
    s.branchBound = m.value(QStringLiteral("branchBound")).toBool();
    return s;
}

} // namespace sup::contracts::rpc
