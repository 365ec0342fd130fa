#include "Values.h"
#include "WorkingSetImpl.h"

#include "sup/data/Format.h"
#include "sup/data/WorkingSet.h"

#include <cmath>

namespace sup::data {

namespace {

constexpr double kMsPerDay = 86400000.0;

bool isAsciiText(QStringView t) {
    for (QChar c : t) {
        if (c.unicode() >= 0x80) {
            return false;
        }
    }
    return true;
}

QStringView trimTrailingBlanks(QStringView t) {
    qsizetype n = t.size();
    while (n > 0 && t[n - 1] == u' ') {
        --n;
    }
    return t.first(n);
}

} // namespace

TField::TField(TWorkingSet* owner, int index, FieldDef def)
    : owner_(owner)
    , index_(index)
    , def_(std::move(def)) {}

Column& TField::col() const {
    return owner_->d->cur[std::size_t(index_)];
}
qsizetype TField::row() const {
    return owner_->curRow_;
}

bool TField::isNull() const {
    return row() < 0 || col().isNull(row());
}

QVariant TField::value() const {
    return row() < 0 ? QVariant() : col().value(row());
}

void TField::setValue(const QVariant& value) {
    owner_->beginWrite(index_);
    try {
        detail::assignVariant(col(), row(), def_, value);
    } catch (const std::invalid_argument& e) {
        owner_->fail(
            QStringLiteral("campo \"%1\": %2").arg(def_.name, QString::fromStdString(e.what())));
    }
    owner_->endWrite(*this);
}

void TField::writeText(QStringView value) {
    if (def_.size > 0 && value.size() > def_.size) {
        value = value.first(def_.size);
    }
    char16_t buf[256];
    QString longPad;
    if (def_.fixed && !value.isEmpty() && value.size() < def_.size) {
        if (def_.size <= 256) {
            std::copy(value.utf16(), value.utf16() + value.size(), buf);
            std::fill(buf + value.size(), buf + def_.size, u' ');
            value = QStringView(buf, def_.size);
        } else {
            longPad = value.toString().leftJustified(def_.size, u' ');
            value = longPad;
        }
    }
    owner_->beginWrite(index_);
    col().setText(row(), value);
    owner_->endWrite(*this);
}

void TField::setAsString(QStringView value) {
    if (def_.type == FieldType::Text) {
        writeText(value);
        return;
    }
    if (value.trimmed().isEmpty()) {
        clear();
        return;
    }
    auto bad = [&] {
        owner_->fail(QStringLiteral("campo \"%1\": \"%2\" não é um valor válido para %3.")
                         .arg(def_.name, value.toString(), fieldTypeName(def_.type)));
    };
    switch (def_.type) {
    case FieldType::Double: {
        double v = 0;
        if (!parseNumber(value, &v)) {
            bad();
        }
        owner_->beginWrite(index_);
        col().setReal(row(), v);
        owner_->endWrite(*this);
        return;
    }
    case FieldType::DateTime: {
        const QDateTime dt = parseDateTime(value);
        if (!dt.isValid()) {
            bad();
        }
        owner_->beginWrite(index_);
        col().setDateTimeMs(row(), toStoredMs(dt));
        owner_->endWrite(*this);
        return;
    }
    default:
        setValue(value.toString());
        return;
    }
}

void TField::clear() {
    owner_->beginWrite(index_);
    col().setNull(row());
    owner_->endWrite(*this);
}

QString TField::asString() const {
    if (isNull()) {
        return {};
    }
    const Column& c = col();
    const qsizetype r = row();
    switch (def_.type) {
    case FieldType::Text:
        return c.text(r);
    case FieldType::Double:
        return formatNumber(c.real(r), {});
    case FieldType::Integer:
        return QString::number(c.integer(r));
    case FieldType::DateTime:
        return formatDateTime(fromStoredMs(c.dateTimeMs(r)), {});
    case FieldType::Boolean:
        return c.boolean(r) ? QStringLiteral("S") : QStringLiteral("N");
    }
    return {};
}

double TField::asFloat() const {
    if (isNull()) {
        return 0.0;
    }
    const Column& c = col();
    const qsizetype r = row();
    switch (def_.type) {
    case FieldType::Double:
        return c.real(r);
    case FieldType::Integer:
        return double(c.integer(r));
    case FieldType::Boolean:
        return c.boolean(r) ? 1.0 : 0.0;
    case FieldType::DateTime:
        return double(c.dateTimeMs(r)) / kMsPerDay;
    case FieldType::Text: {
        const QString t = c.text(r);
        if (t.trimmed().isEmpty()) {
            return 0.0;
        }
        double v = 0;
        if (!parseNumber(t, &v)) {
            owner_->fail(QStringLiteral("campo \"%1\": \"%2\" não é um número.").arg(def_.name, t));
        }
        return v;
    }
    }
    return 0.0;
}

qint64 TField::asInteger() const {
    if (isNull()) {
        return 0;
    }
    const Column& c = col();
    const qsizetype r = row();
    switch (def_.type) {
    case FieldType::Integer:
        return c.integer(r);
    case FieldType::Boolean:
        return c.boolean(r) ? 1 : 0;
    case FieldType::DateTime:
        return c.dateTimeMs(r) / qint64(kMsPerDay);
    case FieldType::Text: {
        bool ok = false;
        const QString t = c.text(r).trimmed();
        const qint64 v = t.toLongLong(&ok);
        if (ok || t.isEmpty()) {
            return v;
        }
        break;
    }
    case FieldType::Double:
        break;
    }
    const double x = asFloat();
    if (!std::isfinite(x) || std::fabs(x) >= 9.2e18) {
        owner_->fail(
            QStringLiteral("campo \"%1\": valor fora da faixa dos inteiros.").arg(def_.name));
    }
    return std::llround(x);
}

bool TField::asBoolean() const {
    if (isNull()) {
        return false;
    }
    const Column& c = col();
    const qsizetype r = row();
    switch (def_.type) {
    case FieldType::Boolean:
        return c.boolean(r);
    case FieldType::Text: {
        const QString t = c.text(r).trimmed().toUpper();
        if (t == u"S" || t == u"T" || t == u"TRUE" || t == u"1" || t == u"SIM") {
            return true;
        }
        if (t.isEmpty() || t == u"N" || t == u"F" || t == u"FALSE" || t == u"0" || t == u"NÃO" ||
            t == u"NAO") {
            return false;
        }
        owner_->fail(QStringLiteral("campo \"%1\": \"%2\" não é um valor lógico.")
                         .arg(def_.name, c.text(r)));
    }
    default:
        return asFloat() != 0.0;
    }
}

QDateTime TField::asDateTime() const {
    if (isNull()) {
        return {};
    }
    const Column& c = col();
    const qsizetype r = row();
    switch (def_.type) {
    case FieldType::DateTime:
        return fromStoredMs(c.dateTimeMs(r));
    case FieldType::Double:
    case FieldType::Integer: {
        const double day = asFloat();
        if (day == 0.0 || !std::isfinite(day) || std::fabs(day) > 3.0e6) {
            return {};
        }
        return fromStoredMs(std::llround(day * kMsPerDay));
    }
    case FieldType::Text: {
        const QDateTime dt = parseDateTime(c.text(r));
        if (!dt.isValid() && !c.text(r).trimmed().isEmpty()) {
            owner_->fail(QStringLiteral("campo \"%1\": \"%2\" não é uma data válida.")
                             .arg(def_.name, c.text(r)));
        }
        return dt;
    }
    case FieldType::Boolean:
        break;
    }
    return {};
}

void TField::setAsFloat(double value) {
    switch (def_.type) {
    case FieldType::Double:
        owner_->beginWrite(index_);
        col().setReal(row(), value);
        owner_->endWrite(*this);
        return;
    case FieldType::Text:
        writeText(formatNumber(value, {}));
        return;
    case FieldType::DateTime:
        if (value == 0.0) {
            clear();
            return;
        }
        setValue(value);
        return;
    default:
        setValue(value);
        return;
    }
}

void TField::setAsInteger(qint64 value) {
    switch (def_.type) {
    case FieldType::Integer:
        owner_->beginWrite(index_);
        col().setInteger(row(), value);
        owner_->endWrite(*this);
        return;
    case FieldType::Text:
        writeText(QString::number(value));
        return;
    case FieldType::DateTime:
    case FieldType::Double:
        setAsFloat(double(value));
        return;
    case FieldType::Boolean:
        setAsBoolean(value != 0);
        return;
    }
}

void TField::setAsBoolean(bool value) {
    switch (def_.type) {
    case FieldType::Boolean:
        owner_->beginWrite(index_);
        col().setBoolean(row(), value);
        owner_->endWrite(*this);
        return;
    case FieldType::Text:
        writeText(value ? u"S" : u"N");
        return;
    case FieldType::DateTime:
        owner_->fail(
            QStringLiteral("campo \"%1\": um valor lógico não é uma data.").arg(def_.name));
    default:
        setAsInteger(value ? 1 : 0);
        return;
    }
}

void TField::setAsDateTime(const QDateTime& value) {
    switch (def_.type) {
    case FieldType::DateTime:
        if (!value.isValid()) {
            clear();
            return;
        }
        owner_->beginWrite(index_);
        col().setDateTimeMs(row(), toStoredMs(value));
        owner_->endWrite(*this);
        return;
    case FieldType::Text:
        writeText(formatDateTime(value, {}));
        return;
    case FieldType::Double:
        if (!value.isValid()) {
            clear();
            return;
        }
        setAsFloat(double(toStoredMs(value)) / kMsPerDay);
        return;
    default:
        owner_->fail(QStringLiteral("campo \"%1\": uma data não é um valor de %2.")
                         .arg(def_.name, fieldTypeName(def_.type)));
    }
}

QByteArrayView TField::utf8() const {
    if (row() < 0 || def_.type != FieldType::Text) {
        return {};
    }
    return col().utf8(row());
}

bool TField::equalsText(QStringView text) const {
    if (def_.type != FieldType::Text) {
        return asString() == text;
    }
    QByteArrayView v = utf8();
    if (def_.fixed) {
        v = detail::trimBlanks(v);
        text = trimTrailingBlanks(text);
    }
    if (isAsciiText(text)) {
        if (v.size() != text.size()) {
            return false;
        }
        for (qsizetype i = 0; i < v.size(); ++i) {
            if (char16_t(static_cast<unsigned char>(v[i])) != text[i].unicode()) {
                return false;
            }
        }
        return true;
    }
    return QString::fromUtf8(v) == text;
}

QString TField::text() const {
    if (OnGetText) {
        return OnGetText(*this, true);
    }
    if (row() < 0)
        return {};
    if (def_.type == FieldType::Text && !def_.editMask.isEmpty())
        return formatMasked(col().text(row()), def_.editMask);
    return formatCell(col(), row(), def_.displayFormat);
}

QString TField::editText() const {
    if (OnGetText) {
        return OnGetText(*this, false);
    }
    return row() < 0 ? QString() : formatCell(col(), row(), def_.editFormat);
}

QVariant TField::oldValue() const {
    const qsizetype r = row();
    const auto& d = *owner_->d;
    if (r < 0 || r >= d.loadedRows || d.kinds[std::size_t(r)] == detail::RowState::Inserted) {
        return {};
    }
    return d.loaded[std::size_t(index_)].value(r);
}

bool TField::isChanged() const {
    const qsizetype r = row();
    const auto& d = *owner_->d;
    if (r < 0) {
        return false;
    }
    if (r >= d.loadedRows || d.kinds[std::size_t(r)] == detail::RowState::Inserted) {
        return true;
    }
    return !col().cellEquals(r, d.loaded[std::size_t(index_)], r);
}

} // namespace sup::data
