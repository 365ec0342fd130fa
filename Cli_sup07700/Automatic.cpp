// The launch of the automatic alteration: the marked items it may change, gathered attribute by
// attribute into the routine's data module for its screen and the server.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07702/Cli_sup07702.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/host/Vantrel.h"
#include "sup/data/Column.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Messages.h"

#include <vector>

using namespace sup::host;
using sup::data::Column;
using sup::data::TField;
using sup::data::TWorkingSet;

namespace {

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

    bool foreign = false;
    const QByteArrayView firstProduct = rows.empty() ? QByteArrayView() : product.utf8(rows[0]);
    for (const qsizetype row : rows) {
        foreign = foreign || ol.utf8(row) != referenceOl;
        if (product.utf8(row) != firstProduct)
            dm_->cdsMarcaPref->setTag(99);
    }
    if (!rows.empty())
        dm_->vaItensSelec = sup::contracts::SelectedItems::gather(column, rows, Vantrel().Operador);
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
