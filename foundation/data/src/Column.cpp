#include "sup/data/Column.h"
#include "sup/data/Format.h"

#include "ColumnData.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace sup::data {

namespace {

constexpr qint64 kMsPerDay = 86400000;

// Julian day of 1899-12-30, day 0 of the stored date-times.
const qint64 kJulianDayZero = QDate(1899, 12, 30).toJulianDay();

bool isAscii(QStringView s) {
    for (QChar c : s) {
        if (c.unicode() >= 0x80) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void badConversion(const QVariant& value, FieldType type) {
    throw std::invalid_argument(QStringLiteral("Valor \"%1\" não pode ser convertido para %2.")
                                    .arg(value.toString(), fieldTypeName(type))
                                    .toStdString());
}

double parseNumber(const QString& text, bool* ok) {
    const QString t = text.trimmed();
    double v = QLocale::c().toDouble(t, ok);
    if (!*ok) {
        QLocale br(QLocale::Portuguese, QLocale::Brazil);
        v = br.toDouble(t, ok);
    }
    return v;
}

} // namespace

qint64 toStoredMs(const QDate& value) {
    if (!value.isValid()) {
        return 0;
    }
    // QDate reaches far beyond what 64-bit milliseconds hold; clamp rather than overflow.
    constexpr qint64 kMaxDays = std::numeric_limits<qint64>::max() / kMsPerDay - 1;
    const qint64 days = std::clamp(value.toJulianDay() - kJulianDayZero, -kMaxDays, kMaxDays);
    return days * kMsPerDay;
}

qint64 toStoredMs(const QDateTime& value) {
    if (!value.isValid()) {
        return 0;
    }
    return toStoredMs(value.date()) + value.time().msecsSinceStartOfDay();
}

QDateTime fromStoredMs(qint64 ms) {
    qint64 days = ms / kMsPerDay;
    qint64 rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    // Naive wall-clock values: kept in UTC so that no time-zone rule shifts them.
    return QDateTime(QDate::fromJulianDay(kJulianDayZero + days),
                     QTime::fromMSecsSinceStartOfDay(int(rest)), Qt::UTC);
}

Column::Column()
    : Column(FieldType::Text, 0) {}

Column::Column(FieldType type, int textSize)
    : d(new ColumnData) {
    d->type = type;
    d->textSize = type == FieldType::Text ? textSize : 0;
    d->slot =
        (type == FieldType::Text && textSize > 0 && textSize <= kMaxSlotText) ? textSize + 1 : 0;
}

Column::Column(const Column&) = default;
Column::Column(Column&&) noexcept = default;
Column& Column::operator=(const Column&) = default;
Column& Column::operator=(Column&&) noexcept = default;
Column::~Column() = default;

FieldType Column::type() const {
    return d->type;
}
int Column::textSize() const {
    return d->textSize;
}
qsizetype Column::size() const {
    return d->rows;
}
void Column::reserve(qsizetype rows) {
    d->reserve(rows);
}
void Column::resize(qsizetype rows) {
    d->resize(rows);
}
void Column::clear() {
    d->resize(0);
}

bool Column::isNull(qsizetype row) const {
    return d->nulls[std::size_t(row)] != 0;
}

void Column::setNull(qsizetype row) {
    ColumnData& c = *d;
    if (c.type == FieldType::Text) {
        c.writeUtf8(row, nullptr, 0);
    }
    c.nulls[std::size_t(row)] = 1;
}

const char* Column::textSlots() const {
    return d->slot > 0 ? d->bytes.data() : nullptr;
}

int Column::textSlotSize() const {
    return d->type == FieldType::Text ? d->slot : 0;
}

QByteArrayView Column::utf8(qsizetype row) const {
    const ColumnData& c = *d;
    if (c.type != FieldType::Text) {
        return {};
    }
    if (c.slot > 0) {
        const char* s = c.bytes.data() + std::size_t(row) * std::size_t(c.slot);
        const auto len = quint8(s[0]);
        if (len == kOverflow) {
            auto it = c.overflow.constFind(row);
            return it == c.overflow.cend() ? QByteArrayView() : QByteArrayView(*it);
        }
        return QByteArrayView(s + 1, len);
    }
    return QByteArrayView(c.strings[std::size_t(row)]);
}

QString Column::text(qsizetype row) const {
    if (isNull(row)) {
        return {};
    }
    const QByteArrayView v = utf8(row);
    return v.isEmpty() ? QString(u""_s) : QString::fromUtf8(v.data(), v.size());
}

double Column::real(qsizetype row) const {
    const ColumnData& c = *d;
    switch (c.type) {
    case FieldType::Double:
        return c.reals[std::size_t(row)];
    case FieldType::Integer:
        return double(c.ints[std::size_t(row)]);
    case FieldType::Boolean:
        return c.bools[std::size_t(row)];
    default:
        return 0.0;
    }
}

qint64 Column::integer(qsizetype row) const {
    const ColumnData& c = *d;
    switch (c.type) {
    case FieldType::Integer:
    case FieldType::DateTime:
        return c.ints[std::size_t(row)];
    case FieldType::Double:
        return qint64(c.reals[std::size_t(row)]);
    case FieldType::Boolean:
        return c.bools[std::size_t(row)];
    default:
        return 0;
    }
}

bool Column::boolean(qsizetype row) const {
    return d->type == FieldType::Boolean ? d->bools[std::size_t(row)] != 0 : integer(row) != 0;
}

qint64 Column::dateTimeMs(qsizetype row) const {
    return d->type == FieldType::DateTime ? d->ints[std::size_t(row)] : 0;
}

void Column::setText(qsizetype row, QStringView value) {
    ColumnData& c = *d;
    if (c.slot > 0 && value.size() <= c.slot - 1 && isAscii(value)) {
        char* s = c.bytes.data() + std::size_t(row) * std::size_t(c.slot);
        if (quint8(s[0]) == kOverflow) {
            c.overflow.remove(row);
        }
        s[0] = char(quint8(value.size()));
        for (qsizetype i = 0; i < value.size(); ++i) {
            s[1 + i] = char(value[i].unicode());
        }
        c.nulls[std::size_t(row)] = 0;
        return;
    }
    const QByteArray u = value.toUtf8();
    c.writeUtf8(row, u.constData(), u.size());
}

void Column::setUtf8(qsizetype row, QByteArrayView utf8) {
    d->writeUtf8(row, utf8.data(), utf8.size());
}

void Column::setReal(qsizetype row, double value) {
    ColumnData& c = *d;
    c.reals[std::size_t(row)] = value;
    c.nulls[std::size_t(row)] = 0;
}

void Column::setInteger(qsizetype row, qint64 value) {
    ColumnData& c = *d;
    c.ints[std::size_t(row)] = value;
    c.nulls[std::size_t(row)] = 0;
}

void Column::setBoolean(qsizetype row, bool value) {
    ColumnData& c = *d;
    c.bools[std::size_t(row)] = value ? 1 : 0;
    c.nulls[std::size_t(row)] = 0;
}

void Column::setDateTimeMs(qsizetype row, qint64 ms) {
    ColumnData& c = *d;
    c.ints[std::size_t(row)] = ms;
    c.nulls[std::size_t(row)] = 0;
}

qsizetype Column::appendNull() {
    ColumnData& c = *d;
    const qsizetype row = c.rows;
    c.nulls.push_back(1);
    switch (c.type) {
    case FieldType::Text:
        if (c.slot > 0) {
            c.bytes.insert(c.bytes.end(), std::size_t(c.slot), char(0));
        } else {
            c.strings.emplace_back();
        }
        break;
    case FieldType::Double:
        c.reals.push_back(0.0);
        break;
    case FieldType::Integer:
    case FieldType::DateTime:
        c.ints.push_back(0);
        break;
    case FieldType::Boolean:
        c.bools.push_back(0);
        break;
    }
    c.rows = row + 1;
    return row;
}

qsizetype Column::appendText(QStringView value) {
    const qsizetype row = appendNull();
    setText(row, value);
    return row;
}

// The appends of a value of the column's own type write the row once (a packet of a hundred
// thousand rows is built from the database this way, cell by cell); any other goes through a
// null row and the setter.
qsizetype Column::appendUtf8(QByteArrayView utf8) {
    ColumnData& c = *d;
    if (c.type != FieldType::Text) {
        const qsizetype row = appendNull();
        setUtf8(row, utf8);
        return row;
    }
    const qsizetype row = c.rows;
    const qsizetype n = utf8.size();
    if (c.slot > 0) {
        const std::size_t at = c.bytes.size();
        c.bytes.resize(at + std::size_t(c.slot));
        char* s = c.bytes.data() + at;
        if (n <= c.slot - 1) {
            s[0] = char(quint8(n));
            if (n > 0)
                std::memcpy(s + 1, utf8.data(), std::size_t(n));
        } else {
            s[0] = char(kOverflow);
            c.overflow.insert(row, utf8.toByteArray());
        }
    } else {
        c.strings.emplace_back(n > 0 ? utf8.toByteArray() : QByteArray());
    }
    c.nulls.push_back(0);
    c.rows = row + 1;
    return row;
}

qsizetype Column::appendReal(double value) {
    ColumnData& c = *d;
    if (c.type != FieldType::Double) {
        const qsizetype row = appendNull();
        setReal(row, value);
        return row;
    }
    c.reals.push_back(value);
    c.nulls.push_back(0);
    return c.rows++;
}

qsizetype Column::appendInteger(qint64 value) {
    ColumnData& c = *d;
    if (c.type != FieldType::Integer) {
        const qsizetype row = appendNull();
        setInteger(row, value);
        return row;
    }
    c.ints.push_back(value);
    c.nulls.push_back(0);
    return c.rows++;
}

qsizetype Column::appendBoolean(bool value) {
    ColumnData& c = *d;
    if (c.type != FieldType::Boolean) {
        const qsizetype row = appendNull();
        setBoolean(row, value);
        return row;
    }
    c.bools.push_back(value ? 1 : 0);
    c.nulls.push_back(0);
    return c.rows++;
}

qsizetype Column::appendDateTimeMs(qint64 ms) {
    ColumnData& c = *d;
    if (c.type != FieldType::DateTime) {
        const qsizetype row = appendNull();
        setDateTimeMs(row, ms);
        return row;
    }
    c.ints.push_back(ms);
    c.nulls.push_back(0);
    return c.rows++;
}

QVariant Column::value(qsizetype row) const {
    if (isNull(row)) {
        return {};
    }
    switch (d->type) {
    case FieldType::Text:
        return text(row);
    case FieldType::Integer:
        return QVariant::fromValue<qlonglong>(integer(row));
    case FieldType::Double:
        return real(row);
    case FieldType::Boolean:
        return boolean(row);
    case FieldType::DateTime:
        return fromStoredMs(dateTimeMs(row));
    }
    return {};
}

void Column::setValue(qsizetype row, const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        setNull(row);
        return;
    }
    const int id = value.typeId();
    switch (d->type) {
    case FieldType::Text:
        if (id == QMetaType::QDateTime || id == QMetaType::QDate) {
            badConversion(value, d->type);
        }
        setText(row, value.toString());
        return;
    case FieldType::Integer: {
        bool ok = false;
        qint64 v = 0;
        if (id == QMetaType::Double || id == QMetaType::Float) {
            const double x = value.toDouble();
            ok = std::isfinite(x) && std::fabs(x) < 9.2e18;
            v = ok ? qint64(std::llround(x)) : 0;
        } else if (id == QMetaType::QString) {
            v = value.toString().trimmed().toLongLong(&ok);
        } else if (id == QMetaType::Bool) {
            v = value.toBool() ? 1 : 0;
            ok = true;
        } else {
            v = value.toLongLong(&ok);
        }
        if (!ok) {
            badConversion(value, d->type);
        }
        setInteger(row, v);
        return;
    }
    case FieldType::Double: {
        bool ok = false;
        const double v =
            id == QMetaType::QString ? parseNumber(value.toString(), &ok) : value.toDouble(&ok);
        if (!ok || id == QMetaType::QDateTime || id == QMetaType::QDate) {
            badConversion(value, d->type);
        }
        setReal(row, v);
        return;
    }
    case FieldType::Boolean: {
        if (id == QMetaType::QString) {
            const QString t = value.toString().trimmed().toUpper();
            if (t == u"S" || t == u"T" || t == u"TRUE" || t == u"1") {
                setBoolean(row, true);
            } else if (t == u"N" || t == u"F" || t == u"FALSE" || t == u"0") {
                setBoolean(row, false);
            } else {
                badConversion(value, d->type);
            }
            return;
        }
        if (!value.canConvert<bool>()) {
            badConversion(value, d->type);
        }
        setBoolean(row, value.toBool());
        return;
    }
    case FieldType::DateTime: {
        if (id == QMetaType::QDateTime) {
            const QDateTime dt = value.toDateTime();
            if (!dt.isValid()) {
                setNull(row);
            } else {
                setDateTimeMs(row, toStoredMs(dt));
            }
            return;
        }
        if (id == QMetaType::QDate) {
            const QDate dt = value.toDate();
            if (!dt.isValid()) {
                setNull(row);
            } else {
                setDateTimeMs(row, toStoredMs(dt));
            }
            return;
        }
        if (id == QMetaType::QString) {
            const QString t = value.toString().trimmed();
            if (t.isEmpty()) {
                setNull(row);
                return;
            }
            // Parsed as a wall-clock value: no time-zone rule may move it.
            const QDateTime dt = sup::data::parseDateTime(t);
            if (!dt.isValid()) {
                badConversion(value, d->type);
            }
            setDateTimeMs(row, toStoredMs(dt));
            return;
        }
        bool ok = false;
        const double day = value.toDouble(&ok);
        if (!ok || !std::isfinite(day) || std::fabs(day) > 3.0e6) {
            badConversion(value, d->type);
        }
        if (day == 0.0) {
            setNull(row);
        } else {
            setDateTimeMs(row, std::llround(day * double(kMsPerDay)));
        }
        return;
    }
    }
}

qsizetype Column::appendValue(const QVariant& value) {
    const qsizetype row = appendNull();
    try {
        setValue(row, value);
    } catch (...) {
        d->resize(row);
        throw;
    }
    return row;
}

void Column::copyCell(qsizetype to, const Column& other, qsizetype from) {
    if (other.isNull(from)) {
        setNull(to);
        return;
    }
    switch (d->type) {
    case FieldType::Text:
        setUtf8(to, other.utf8(from));
        return;
    case FieldType::Double:
        setReal(to, other.real(from));
        return;
    case FieldType::Integer:
        setInteger(to, other.integer(from));
        return;
    case FieldType::DateTime:
        setDateTimeMs(to, other.dateTimeMs(from));
        return;
    case FieldType::Boolean:
        setBoolean(to, other.boolean(from));
        return;
    }
}

qsizetype Column::appendCell(const Column& other, qsizetype from) {
    ColumnData& c = *d; // detaches first, so `o` below is never the storage being grown
    const ColumnData& o = *other.d;
    if (&o == &c || o.type != c.type || o.nulls[std::size_t(from)]) {
        const qsizetype row = appendNull();
        copyCell(row, other, from);
        return row;
    }
    // Same type, not null: append the stored form directly (deltas and copies of rows).
    const qsizetype row = c.rows;
    switch (c.type) {
    case FieldType::Text:
        if (c.slot > 0 && c.slot == o.slot && quint8(o.slotAt(from)[0]) != kOverflow) {
            const char* s = o.slotAt(from);
            c.bytes.insert(c.bytes.end(), s, s + c.slot);
            break;
        }
        appendNull();
        copyCell(row, other, from);
        return row;
    case FieldType::Double:
        c.reals.push_back(o.reals[std::size_t(from)]);
        break;
    case FieldType::Integer:
    case FieldType::DateTime:
        c.ints.push_back(o.ints[std::size_t(from)]);
        break;
    case FieldType::Boolean:
        c.bools.push_back(o.bools[std::size_t(from)]);
        break;
    }
    c.nulls.push_back(0);
    c.rows = row + 1;
    return row;
}

void Column::appendCells(const Column& other, const qsizetype* rows, qsizetype n) {
    ColumnData& c = *d;
    const ColumnData& o = *other.d;
    // Numbers and texts of the same slot size are copied in their stored form (with their null
    // flags); anything else cell by cell.
    const bool numbers = c.type == FieldType::Double || c.type == FieldType::Integer ||
                         c.type == FieldType::DateTime;
    const bool sameSlots = c.type == FieldType::Text && c.slot > 0 && c.slot == o.slot;
    if (&o == &c || o.type != c.type || (!numbers && !sameSlots)) {
        for (qsizetype i = 0; i < n; ++i)
            appendCell(other, rows[i]);
        return;
    }
    if (numbers) {
        c.nulls.reserve(c.nulls.size() + std::size_t(n));
        for (qsizetype i = 0; i < n; ++i) {
            const auto from = std::size_t(rows[i]);
            c.nulls.push_back(o.nulls[from]);
            if (c.type == FieldType::Double)
                c.reals.push_back(o.reals[from]);
            else
                c.ints.push_back(o.ints[from]);
        }
        c.rows += n;
        return;
    }
    const auto slot = std::size_t(c.slot);
    const qsizetype first = c.rows;
    c.bytes.resize(c.bytes.size() + std::size_t(n) * slot);
    c.nulls.resize(c.nulls.size() + std::size_t(n));
    c.rows = first + n;
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype from = rows[i];
        const qsizetype to = first + i;
        std::memcpy(c.slotAt(to), o.slotAt(from), slot);
        c.nulls[std::size_t(to)] = o.nulls[std::size_t(from)];
        if (quint8(o.slotAt(from)[0]) == kOverflow)
            c.overflow.insert(to, o.overflow.value(from));
    }
}

bool Column::cellEquals(qsizetype row, const Column& other, qsizetype otherRow) const {
    const bool n1 = isNull(row);
    const bool n2 = other.isNull(otherRow);
    if (n1 || n2) {
        return n1 == n2;
    }
    switch (d->type) {
    case FieldType::Text:
        return utf8(row) == other.utf8(otherRow);
    case FieldType::Double: {
        const double a = real(row);
        const double b = other.real(otherRow);
        return a == b || (std::isnan(a) && std::isnan(b));
    }
    case FieldType::Integer:
        return integer(row) == other.integer(otherRow);
    case FieldType::DateTime:
        return dateTimeMs(row) == other.dateTimeMs(otherRow);
    case FieldType::Boolean:
        return boolean(row) == other.boolean(otherRow);
    }
    return false;
}

qsizetype Column::memoryBytes() const {
    const ColumnData& c = *d;
    qsizetype n =
        qsizetype(c.nulls.capacity() + c.reals.capacity() * sizeof(double) +
                  c.ints.capacity() * sizeof(qint64) + c.bools.capacity() + c.bytes.capacity());
    for (const QByteArray& s : c.strings) {
        n += qsizetype(sizeof(QByteArray)) + (s.isEmpty() ? 0 : s.capacity() + 16);
    }
    for (const QByteArray& s : c.overflow) {
        n += 48 + s.capacity() + 16;
    }
    return n;
}

bool Column::sharesWith(const Column& other) const {
    return d.constData() == other.d.constData();
}

QString fieldTypeName(FieldType type) {
    switch (type) {
    case FieldType::Text:
        return QStringLiteral("texto");
    case FieldType::Integer:
        return QStringLiteral("inteiro");
    case FieldType::Double:
        return QStringLiteral("número");
    case FieldType::Boolean:
        return QStringLiteral("lógico");
    case FieldType::DateTime:
        return QStringLiteral("data e hora");
    }
    return QStringLiteral("desconhecido");
}

} // namespace sup::data
