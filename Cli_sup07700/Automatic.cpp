// The launch of the automatic alteration: the marked items it may change, gathered attribute by
// attribute into the routine's data module for its screen and the server.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07702/Cli_sup07702.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/host/Vantrel.h"
#include "sup/data/Column.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Messages.h"

#include <algorithm>
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

} // namespace

bool TfrmAltPedidosOL::gatherSelectedItems() {
    TWorkingSet* item = dm_->cdsItem;
    dm_->cdsMarcaPref->setTag(0);
    dm_->vaItensSelec = {};
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
    int lastGathered = -1;
    for (int p = 0; p < n; ++p) {
        const qsizetype row = item->physicalRow(p);
        if (holds(calc, row, 'S') && (mayAlterBlocked || holds(blocked, row, 'N')) &&
            holds(adjustment, row, 'N')) {
            rows.push_back(row);
            lastGathered = p;
        }
    }

    // Each attribute a column of the item column's own type, grown cell by cell.
    sup::contracts::SelectedItems::Columns attributes;
    std::array<const Column*, kAttributeFields.size()> sources{};
    const QByteArray op = Vantrel().Operador.toUtf8();
    attributes[0] = Column(FieldType::Text, int(qBound(qsizetype(1), op.size(), qsizetype(254))));
    for (std::size_t a = 1; a < kAttributeFields.size(); ++a) {
        sources[a] = &column(kAttributeFields[a]);
        attributes[a] = Column(sources[a]->type(), sources[a]->textSize());
    }
    attributes[1] = Column(FieldType::Text, 4);
    for (Column& a : attributes)
        a.reserve(qsizetype(rows.size()));
    bool foreign = false;
    const QByteArrayView firstProduct = rows.empty() ? QByteArrayView() : product.utf8(rows[0]);
    const Column& destination = *sources[1];
    for (const qsizetype row : rows) {
        foreign = foreign || ol.utf8(row) != referenceOl;
        if (product.utf8(row) != firstProduct)
            dm_->cdsMarcaPref->setTag(99);
        attributes[0].appendUtf8(op);
        // The destination branch's code: the first four characters of its text.
        const QByteArrayView branch =
            destination.utf8(row).first(qMin<qsizetype>(4, destination.utf8(row).size()));
        if (destination.isNull(row))
            attributes[1].appendNull();
        else if (std::all_of(branch.begin(), branch.end(), [](char c) { return uchar(c) < 0x80; }))
            attributes[1].appendUtf8(branch);
        else
            attributes[1].appendText(destination.text(row).left(4));
    }
    for (std::size_t a = 2; a < attributes.size(); ++a)
        attributes[a].appendCells(*sources[a], rows.data(), qsizetype(rows.size()));
    if (!rows.empty())
        dm_->vaItensSelec = sup::contracts::SelectedItems(std::move(attributes));
    // The pass ends on the last item gathered: the automatic alteration reads "the current
    // item" (its OL for the product lookups, its branch for the purchase calendar), which must
    // be one of the items it alters, not whatever item the list happens to end with.
    if (lastGathered >= 0)
        item->moveTo(lastGathered);
    else
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
