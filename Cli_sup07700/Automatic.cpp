// The launch of the automatic alteration: the marked items it may change, gathered attribute by
// attribute into the routine's data module for its screen and the server.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07702/Cli_sup07702.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/host/Vantrel.h"
#include "sup/data/Column.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Messages.h"

#include <array>
#include <vector>

using namespace sup::host;
using sup::data::Column;
using sup::data::FieldType;
using sup::data::TField;
using sup::data::TWorkingSet;

namespace {

// The fields of the 15 attributes of a gathered item, in attribute order (the first is the
// operator, not a field).
constexpr std::array<const char16_t*, 15> kAttributeFields = {
    nullptr,         u"CDFILDEST", u"CDFILLANC",    u"NRPEDEXOL",     u"CDPRODUTO",
    u"DTPROGENPEOL", u"CDMARCA",   u"VRFATOCONV",   u"CDPRODESTO",    u"CDARVPROD",
    u"QTPROGENPEOL", u"NMPRODUTO", u"CDFILIOPELOG", u"NRSEQLOGIMPOL", u"CDRASTRITM"};

bool holds(const Column& c, qsizetype row, char flag) {
    const QByteArrayView v = c.utf8(row);
    return !c.isNull(row) && v.size() == 1 && v[0] == flag;
}

// One attribute's list, grown item by item. A value equal to the last one shares its text
// (orders, branches and dates repeat from item to item).
class Attribute {
public:
    Attribute(const Column* column, int width)
        : column_(column)
        , width_(width) {}
    void reserve(qsizetype n) { values_.reserve(n); }
    void append(qsizetype row) {
        const bool same = !values_.isEmpty() && lastRow_ >= 0 && sameAs(row);
        values_.append(same ? values_.constLast() : read(row));
        lastRow_ = row;
    }
    void append(const QVariant& v) { values_.append(v); }
    QVariantList take() { return std::move(values_); }

private:
    bool sameAs(qsizetype row) const {
        if (column_->isNull(row) != column_->isNull(lastRow_))
            return false;
        if (column_->type() == FieldType::Text)
            return column_->utf8(row) == column_->utf8(lastRow_);
        return false;
    }
    QVariant read(qsizetype row) const {
        if (width_ > 0 && !column_->isNull(row))
            return QString::fromUtf8(
                column_->utf8(row).first(qMin<qsizetype>(width_, column_->utf8(row).size())));
        return column_->value(row);
    }
    const Column* column_;
    int width_; // > 0: only the first characters (the destination branch's code)
    QVariantList values_;
    qsizetype lastRow_ = -1;
};

} // namespace

bool TfrmAltPedidosOL::gatherSelectedItems() {
    TWorkingSet* item = dm_->cdsItem;
    dm_->cdsMarcaPref->setTag(0);
    dm_->vaItensSelec.clear();
    const int n = item->recordCount();
    auto column = [item](QStringView field) -> const Column& {
        return item->currentColumn(item->fieldIndex(field));
    };
    const Column& calc = column(u"CALC");
    const Column& blocked = column(u"IDITMPEDOLBLOQ");
    const Column& adjustment = column(u"IDITEMAJUSTE");
    const Column& ol = column(u"CDFILIOPELOG");
    const Column& product = column(u"CDPRODUTO");

    // The reference OL is the first marked row's, whether or not that row is gathered.
    QByteArray referenceOl;
    for (int p = 0; p < n; ++p) {
        const qsizetype row = item->physicalRow(p);
        if (holds(calc, row, 'S') || holds(calc, row, 's')) {
            referenceOl = ol.utf8(row).toByteArray();
            break;
        }
    }

    // The items gathered: marked, not blocked (unless the operator's groups may alter blocked
    // items), not adjustment items; in the items' order.
    const bool mayAlterBlocked = dm_->cdsAutGruPop->active() && !dm_->cdsAutGruPop->isEmpty();
    std::vector<qsizetype> rows;
    for (int p = 0; p < n; ++p) {
        const qsizetype row = item->physicalRow(p);
        if (holds(calc, row, 'S') && (mayAlterBlocked || holds(blocked, row, 'N')) &&
            holds(adjustment, row, 'N'))
            rows.push_back(row);
    }

    std::vector<Attribute> attributes;
    attributes.reserve(kAttributeFields.size());
    attributes.emplace_back(nullptr, 0);
    for (std::size_t a = 1; a < kAttributeFields.size(); ++a)
        attributes.emplace_back(&column(kAttributeFields[a]), a == 1 ? 4 : 0);
    for (Attribute& a : attributes)
        a.reserve(qsizetype(rows.size()));
    const QVariant op(Vantrel().Operador);
    bool foreign = false;
    const QByteArrayView firstProduct = rows.empty() ? QByteArrayView() : product.utf8(rows[0]);
    for (const qsizetype row : rows) {
        foreign = foreign || ol.utf8(row) != referenceOl;
        if (product.utf8(row) != firstProduct)
            dm_->cdsMarcaPref->setTag(99);
        attributes[0].append(op);
        for (std::size_t a = 1; a < attributes.size(); ++a)
            attributes[a].append(row);
    }
    if (!rows.empty())
        for (Attribute& a : attributes)
            dm_->vaItensSelec.append(QVariant(a.take()));
    // The pass ends on the last item, where the automatic alteration reads "the current item".
    item->last();
    return foreign;
}

void TfrmAltPedidosOL::sbtAutomaticoClick() {
    TWorkingSet* item = dm_->cdsItem;
    item->disableControls();
    try {
        const bool foreign = gatherSelectedItems();
        const bool none = dm_->vaItensSelec.isEmpty();
        if (none || foreign) {
            item->enableControls();
            window()->repaint();
            item->first();
            MensErro(msgPadrao->Msg(none ? QStringLiteral("N_Item_selec")
                                         : QStringLiteral("Item_OL_Dif")));
        }
        dm_->stRespMarcaPref = QStringLiteral("N");
        CriaCadaAuto();
        Habilita();
    } catch (...) {
        item->first();
        if (item->controlsDisabled())
            item->enableControls();
        throw;
    }
    item->first();
    if (item->controlsDisabled())
        item->enableControls();
}
