#include "sup/contracts/SelectedItems.h"

#include <QDateTime>

#include <algorithm>

namespace sup::contracts {

namespace {

// A variant holding the array reads as its nested lists wherever lists are expected.
const bool kConverterRegistered = QMetaType::registerConverter<SelectedItems, QVariantList>(
    [](const SelectedItems& items) { return items.toList(); });

data::FieldType typeOfValues(const QVariantList& values) {
    for (const QVariant& v : values) {
        if (!v.isValid() || v.isNull())
            continue;
        switch (v.typeId()) {
        case QMetaType::QDateTime:
        case QMetaType::QDate:
            return data::FieldType::DateTime;
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            return data::FieldType::Double;
        default:
            return data::FieldType::Text;
        }
    }
    return data::FieldType::Text;
}

} // namespace

const std::array<const char16_t*, SelectedItems::kAttributes> SelectedItems::kFields = {
    nullptr,         u"CDFILDEST", u"CDFILLANC",    u"NRPEDEXOL",     u"CDPRODUTO",
    u"DTPROGENPEOL", u"CDMARCA",   u"VRFATOCONV",   u"CDPRODESTO",    u"CDARVPROD",
    u"QTPROGENPEOL", u"NMPRODUTO", u"CDFILIOPELOG", u"NRSEQLOGIMPOL", u"CDRASTRITM"};

SelectedItems SelectedItems::gather(const ColumnOf& column, const std::vector<qsizetype>& rows,
                                    const QString& op) {
    using data::Column;
    using data::FieldType;
    const auto n = qsizetype(rows.size());
    Columns attributes;
    const QByteArray opUtf8 = op.toUtf8();
    attributes[0] =
        Column(FieldType::Text, int(qBound(qsizetype(1), opUtf8.size(), qsizetype(254))));
    attributes[1] = Column(FieldType::Text, 4);
    for (int a = 0; a < 2; ++a)
        attributes[std::size_t(a)].reserve(n);
    const Column& destination = column(kFields[1]);
    for (const qsizetype row : rows) {
        attributes[0].appendUtf8(opUtf8);
        const QByteArrayView text = destination.utf8(row);
        const QByteArrayView branch = text.first(qMin<qsizetype>(4, text.size()));
        if (destination.isNull(row))
            attributes[1].appendNull();
        else if (std::all_of(branch.begin(), branch.end(), [](char c) { return uchar(c) < 0x80; }))
            attributes[1].appendUtf8(branch);
        else
            attributes[1].appendText(destination.text(row).left(4));
    }
    // The other attributes: a column of the field's own type, filled by copying cells.
    for (int a = 2; a < kAttributes; ++a) {
        const Column& from = column(kFields[std::size_t(a)]);
        Column& to = attributes[std::size_t(a)];
        to = Column(from.type(), from.textSize());
        to.reserve(n);
        to.appendCells(from, rows.data(), n);
    }
    return SelectedItems(std::move(attributes));
}

SelectedItems::SelectedItems(Columns columns)
    : columns_(std::move(columns))
    , count_(columns_[0].size()) {
    Q_ASSERT(kConverterRegistered);
    for (const data::Column& c : columns_)
        Q_ASSERT(c.size() == count_);
}

QVariant SelectedItems::value(int attribute, qsizetype item) const {
    return column(attribute).value(item);
}

QVariantList SelectedItems::attribute(int attribute) const {
    QVariantList out;
    out.reserve(count_);
    const data::Column& c = column(attribute);
    for (qsizetype i = 0; i < count_; ++i)
        out.append(c.value(i));
    return out;
}

QVariantList SelectedItems::toList() const {
    QVariantList out;
    if (isEmpty())
        return out;
    out.reserve(kAttributes);
    for (int a = 0; a < kAttributes; ++a)
        out.append(QVariant(attribute(a)));
    return out;
}

std::optional<SelectedItems> SelectedItems::fromVariant(const QVariant& v, QString* why) {
    auto refuse = [why](const QString& reason) -> std::optional<SelectedItems> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (v.metaType() == QMetaType::fromType<SelectedItems>())
        return v.value<SelectedItems>();
    if (v.typeId() != QMetaType::QVariantList)
        return refuse(QStringLiteral("os itens selecionados devem vir numa lista de atributos"));
    const QVariantList attributes = v.toList();
    if (attributes.isEmpty())
        return SelectedItems();
    if (attributes.size() != kAttributes)
        return refuse(QStringLiteral("os itens selecionados devem ter %1 atributos, não %2")
                          .arg(kAttributes)
                          .arg(attributes.size()));
    Columns columns;
    qsizetype count = -1;
    for (int a = 0; a < kAttributes; ++a) {
        if (attributes[a].typeId() != QMetaType::QVariantList)
            return refuse(
                QStringLiteral("o atributo %1 dos itens selecionados deve ser uma lista").arg(a));
        const QVariantList values = attributes[a].toList();
        if (count >= 0 && values.size() != count)
            return refuse(QStringLiteral("os atributos dos itens selecionados devem ter todos o "
                                         "mesmo número de itens"));
        count = values.size();
        data::Column c(typeOfValues(values), 0);
        c.reserve(count);
        try {
            for (const QVariant& value : values)
                c.appendValue(value);
        } catch (...) {
            return refuse(
                QStringLiteral("o atributo %1 dos itens selecionados mistura tipos").arg(a));
        }
        columns[std::size_t(a)] = std::move(c);
    }
    return SelectedItems(std::move(columns));
}

bool SelectedItems::operator==(const SelectedItems& other) const {
    if (count_ != other.count_)
        return false;
    for (int a = 0; a < kAttributes; ++a)
        for (qsizetype i = 0; i < count_; ++i)
            if (value(a, i) != other.value(a, i))
                return false;
    return true;
}

} // namespace sup::contracts
