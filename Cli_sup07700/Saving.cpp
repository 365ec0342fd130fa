// Saving the item changes: the confirmation, the duplicate check, the purchase request question,
// the stock warning, the server call with the delta of the items, and the reload.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DataPacket.h"
#include "sup/data/KeyIndex.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

#include <algorithm>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataSetState;
using sup::data::TWorkingSet;

namespace {

const QString kItemKey =
    QStringLiteral("CDFILDEST;CDFILLANC;NRPEDEXOL;DTPROGENPEOL;CDPRODUTO;CDMARCA");

// Items changed to a quantity other than 0: only they can ask for their purchase requests to
// follow.
int changedWithQuantity(const TWorkingSet& item) {
    const int alterado = item.fieldIndex(u"ALTERADO");
    const int qty = item.fieldIndex(u"QTPROGENPEOL");
    int n = 0;
    for (int p = 0; p < item.recordCount(); ++p)
        if (item.textAt(p, alterado, false) == u"S" && item.valueAt(p, qty).toDouble() != 0)
            ++n;
    return n;
}

} // namespace

// Two items of one order, branches and date may not end with the same product and brand.
void TfrmAltPedidosOL::Vd_ItemJaCadastrado() {
    TWorkingSet* item = dm_->cdsItem;
    TWorkingSet* aux = dm_->cdsAuxItem;
    TWorkingSet* changed = dm_->cdsAuxItemBloq;
    item->disableControls();
    auto restore = [&] {
        aux->setFiltered(false);
        changed->setFiltered(false);
        changed->setFilter({});
        item->enableControls();
    };
    try {
        changed->loadFromPacket(item->data());
        changed->setFiltered(false);
        item->setTag(99);
        changed->setFilter(QStringLiteral("[ALTERADO]=   'S'"));
        changed->setFiltered(true);
        // A changed item meets itself once in the snapshot; more is another item.
        const std::vector<int> matches = sup::data::countKeyMatches(*changed, *aux, kItemKey);
        if (std::any_of(matches.begin(), matches.end(), [](int n) { return n > 1; }))
            MensErro(msgPadrao->Msg(QStringLiteral("CDMARCA_CAD")));
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TfrmAltPedidosOL::sbtConfirmarClick() {
    TfrmPadraoGrid::sbtConfirmarClick();
    TWorkingSet* item = dm_->cdsItem;
    if (msgMensagensPadroes->ShowMsg(QStringLiteral("Conf"), mtConfirmation, mbYesNo) != mrYes) {
        // Every pending change goes, marks included.
        item->cancel();
        item->cancelUpdates();
        item->mergeChangeLog();
        dm_->cdsAuxItem->loadFromPacket(item->data());
        Habilita();
        return;
    }

    bool saved = false;
    {
        TBusyGuard busy(this, aviGravando, msgPadrao->Msg(QStringLiteral("SetUpdate")));
        item->disableControls();
        try {
            if (item->state() == DataSetState::Edit || item->state() == DataSetState::Insert)
                item->post();
            const int withQuantity = changedWithQuantity(*item);
            if (item->isEmpty() == false)
                item->last();
            if (item->changeCount() > 0) {
                Vd_ItemJaCadastrado();
                bool requests = false;
                if (withQuantity >= 1)
                    requests =
                        MsgAlertEx(msgPadrao->Msg(QStringLiteral("Atu_Soli")), mtConfirmation,
                                   {msgPadrao->Msg(QStringLiteral("Sim")),
                                    msgPadrao->Msg(QStringLiteral("Nao"))},
                                   2, 0, 0) == 10;
                // The stock warning once, with the values of the last item.
                auto text = [item](const char16_t* f) {
                    return item->fieldByName(f)->asString();
                };
                Vd_Estoque_Disponivel(text(u"CDFILDEST").left(4), text(u"CDFILLANC"),
                                      text(u"CDFILIOPELOG"), text(u"CDMARCA"), text(u"CDPRODUTO"),
                                      text(u"CDARVPROD"),
                                      item->fieldByName(u"QTPROGENPEOL")->asFloat());
                DataPacket delta = item->delta();
                const QVariant answer = sup::contracts::calls::UpdItemPedidoOL(
                    dm_->server(), delta, QStringLiteral("N"), QStringLiteral("N"),
                    Vantrel().Operador, requests, msgPadrao->Msg(QStringLiteral("pedMan")),
                    msgPadrao->Msg(QStringLiteral("Remaneja_OL_ED")));
                CheckResultServ(answer, true, 0);
                item->mergeChangeLog();
                item->setTag(0);
                saved = true;
            }
        } catch (...) {
            // Nothing is lost: the changes stay pending for the user to correct and confirm.
            item->enableControls();
            item->setTag(0);
            throw;
        }
        item->enableControls();
    }
    if (saved) {
        sbtVerificarClick();
        dm_->cdsAuxItem->loadFromPacket(item->data());
    }
    Habilita();
}
