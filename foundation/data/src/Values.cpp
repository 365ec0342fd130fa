#include "Values.h"

#include "sup/data/Format.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace sup::data::detail {

namespace {

[[noreturn]] void badValue(const QVariant& value, FieldType type) {
    throw std::invalid_argument(QStringLiteral("Valor \"%1\" não pode ser convertido para %2.")
                                    .arg(value.toString(), fieldTypeName(type))
                                    .toStdString());
}

constexpr quint64 kNullHash = 0x6A09E667F3BCC909ull;

quint64 fmix(quint64 k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ull;
    k ^= k >> 33;
    return k;
}

quint64 hashReal(double v) {
    if (v == 0.0) {
        v = 0.0; // -0.0 equals 0.0
    }
    quint64 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return fmix(bits ^ 0x3C6EF372FE94F82Bull);
}

// Hash of the normalised form of a text, folding ASCII letters without allocating.
quint64 hashText(QByteArrayView v, bool trim, bool fold) {
    if (trim) {
        v = trimBlanks(v);
    }
    if (!fold) {
        return hashBytes(v, 1);
    }
    char buf[256];
    if (v.size() <= qsizetype(sizeof buf) && isAscii(v)) {
        for (qsizetype i = 0; i < v.size(); ++i) {
            buf[i] = lowerAscii(v[i]);
        }
        return hashBytes(QByteArrayView(buf, v.size()), 1);
    }
    return hashBytes(foldCase(v), 1);
}

} // namespace

void assignVariant(Column& column, qsizetype row, const FieldDef& def, const QVariant& value) {
    if (value.typeId() == QMetaType::QString && def.type != FieldType::Text) {
        const QString t = value.toString();
        if (t.trimmed().isEmpty()) {
            column.setNull(row);
            return;
        }
        switch (def.type) {
        case FieldType::Double: {
            double v = 0;
            if (!parseNumber(t, &v)) {
                badValue(value, def.type);
            }
            column.setReal(row, v);
            return;
        }
        case FieldType::Integer: {
            bool ok = false;
            const qint64 v = t.trimmed().toLongLong(&ok);
            if (ok) {
                column.setInteger(row, v);
                return;
            }
            double x = 0;
            if (!parseNumber(t, &x) || !std::isfinite(x) || std::fabs(x) >= 9.2e18 ||
                x != std::trunc(x)) {
                badValue(value, def.type);
            }
            column.setInteger(row, qint64(x));
            return;
        }
        case FieldType::DateTime: {
            const QDateTime dt = parseDateTime(t);
            if (!dt.isValid()) {
                badValue(value, def.type);
            }
            column.setDateTimeMs(row, toStoredMs(dt));
            return;
        }
        default:
            break; // booleans: Column knows S/N, true/false, 1/0
        }
    }
    if (def.type == FieldType::Text && value.isValid() && !value.isNull()) {
        const int id = value.typeId();
        if (id == QMetaType::QDateTime || id == QMetaType::QDate) {
            badValue(value, def.type);
        }
        QString t = value.toString();
        if (def.size > 0 && t.size() > def.size) {
            t.truncate(def.size);
        }
        if (def.fixed && !t.isEmpty() && t.size() < def.size) {
            t = t.leftJustified(def.size, u' ');
        }
        column.setText(row, t);
        return;
    }
    column.setValue(row, value); // throws std::invalid_argument
}

QByteArray foldCase(QByteArrayView v) {
    if (isAscii(v)) {
        QByteArray out(v.data(), v.size());
        for (char& c : out) {
            c = lowerAscii(c);
        }
        return out;
    }
    return QString::fromUtf8(v).toCaseFolded().toUtf8();
}

KeyValue keyFromVariant(const FieldDef& def, const QVariant& value, bool caseInsensitive,
                        bool partial) {
    KeyValue k;
    k.type = def.type;
    k.trim = def.type == FieldType::Text && def.fixed;
    k.fold = def.type == FieldType::Text && caseInsensitive;
    k.partial = def.type == FieldType::Text && partial;
    if (!value.isValid() || value.isNull()) {
        k.null = def.type != FieldType::Text;
        return k;
    }
    if (def.type == FieldType::Integer &&
        (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)) {
        const double x = value.toDouble();
        if (x != std::trunc(x)) {
            k.impossible = true;
            return k;
        }
    }
    FieldDef plain = def;
    plain.fixed = false; // the key is compared without padding
    plain.size = 0;      // nor cut: a longer value simply matches nothing
    Column tmp(def.type, 0);
    tmp.resize(1);
    assignVariant(tmp, 0, plain, value);
    if (tmp.isNull(0)) {
        k.null = def.type != FieldType::Text;
        return k;
    }
    KeyValue c = keyFromCell(tmp, 0, def.type, k.trim, caseInsensitive);
    c.partial = k.partial;
    return c;
}

KeyValue keyFromCell(const Column& column, qsizetype row, FieldType type, bool trim,
                     bool caseInsensitive) {
    KeyValue k;
    k.type = type;
    k.trim = type == FieldType::Text && trim;
    k.fold = type == FieldType::Text && caseInsensitive;
    if (column.type() != type) {
        FieldDef def;
        def.type = type;
        KeyValue c = keyFromVariant(def, column.value(row), caseInsensitive, false);
        c.trim = k.trim;
        if (k.trim) {
            c.text = trimBlanks(c.text).toByteArray();
        }
        return c;
    }
    if (column.isNull(row)) {
        k.null = type != FieldType::Text;
        return k;
    }
    switch (type) {
    case FieldType::Text: {
        QByteArrayView v = column.utf8(row);
        if (k.trim) {
            v = trimBlanks(v);
        }
        k.text = k.fold ? foldCase(v) : v.toByteArray();
        k.textAscii = isAscii(k.text);
        break;
    }
    case FieldType::Integer:
        k.integer = column.integer(row);
        break;
    case FieldType::DateTime:
        k.integer = column.dateTimeMs(row);
        break;
    case FieldType::Double:
        k.real = column.real(row);
        break;
    case FieldType::Boolean:
        k.boolean = column.boolean(row);
        break;
    }
    return k;
}

bool cellMatches(const Column& column, qsizetype row, const KeyValue& key) {
    if (key.impossible) {
        return false;
    }
    if (key.type != FieldType::Text) {
        if (column.isNull(row) || key.null) {
            return column.isNull(row) && key.null;
        }
        switch (key.type) {
        case FieldType::Integer:
            return column.integer(row) == key.integer;
        case FieldType::DateTime:
            return column.dateTimeMs(row) == key.integer;
        case FieldType::Double:
            return column.real(row) == key.real;
        case FieldType::Boolean:
            return column.boolean(row) == key.boolean;
        case FieldType::Text:
            break;
        }
        return false;
    }
    QByteArrayView v = column.utf8(row); // a null text reads as empty
    if (key.trim) {
        v = trimBlanks(v);
    }
    const QByteArrayView k(key.text);
    if (!key.fold) {
        return key.partial ? v.startsWith(k) : v == k;
    }
    if (key.textAscii) {
        if (v.size() < k.size() || (!key.partial && v.size() != k.size())) {
            if (isAscii(v)) {
                return false;
            }
        } else {
            qsizetype i = 0;
            for (; i < k.size(); ++i) {
                const char c = v[i];
                if (static_cast<unsigned char>(c) >= 0x80) {
                    break;
                }
                if (lowerAscii(c) != k[i]) {
                    return false;
                }
            }
            if (i == k.size()) {
                return true;
            }
        }
    }
    const QByteArray f = foldCase(v);
    return key.partial ? f.startsWith(k) : f == k;
}

quint64 hashCell(const Column& column, qsizetype row, bool trim, bool caseInsensitive) {
    switch (column.type()) {
    case FieldType::Text:
        return hashText(column.utf8(row), trim, caseInsensitive);
    case FieldType::Integer:
        return column.isNull(row) ? kNullHash : fmix(quint64(column.integer(row)));
    case FieldType::DateTime:
        return column.isNull(row) ? kNullHash : fmix(quint64(column.dateTimeMs(row)));
    case FieldType::Double:
        return column.isNull(row) ? kNullHash : hashReal(column.real(row));
    case FieldType::Boolean:
        return column.isNull(row) ? kNullHash : fmix(column.boolean(row) ? 1 : 2);
    }
    return 0;
}

quint64 hashKey(const KeyValue& key) {
    if (key.type == FieldType::Text) {
        return hashBytes(key.text, 1); // already normalised
    }
    if (key.null) {
        return kNullHash;
    }
    switch (key.type) {
    case FieldType::Integer:
    case FieldType::DateTime:
        return fmix(quint64(key.integer));
    case FieldType::Double:
        return hashReal(key.real);
    case FieldType::Boolean:
        return fmix(key.boolean ? 1 : 2);
    case FieldType::Text:
        break;
    }
    return 0;
}

bool cellsMatch(const Column& a, qsizetype ra, bool trimA, const Column& b, qsizetype rb,
                bool trimB, bool caseInsensitive) {
    if (a.type() != FieldType::Text) {
        return a.cellEquals(ra, b, rb);
    }
    QByteArrayView va = a.utf8(ra);
    QByteArrayView vb = b.utf8(rb);
    if (trimA) {
        va = trimBlanks(va);
    }
    if (trimB) {
        vb = trimBlanks(vb);
    }
    if (!caseInsensitive) {
        return va == vb;
    }
    if (va.size() == vb.size()) {
        qsizetype i = 0;
        for (; i < va.size(); ++i) {
            const char x = va[i];
            const char y = vb[i];
            if (static_cast<unsigned char>(x) >= 0x80 || static_cast<unsigned char>(y) >= 0x80) {
                break;
            }
            if (lowerAscii(x) != lowerAscii(y)) {
                return false;
            }
        }
        if (i == va.size()) {
            return true;
        }
    } else if (isAscii(va) && isAscii(vb)) {
        return false;
    }
    return foldCase(va) == foldCase(vb);
}

QStringList splitFieldList(const QString& list) {
    QStringList out;
    for (const QString& part : list.split(u';')) {
        const QString name = part.trimmed();
        if (!name.isEmpty()) {
            out.append(name);
        }
    }
    return out;
}

} // namespace sup::data::detail
