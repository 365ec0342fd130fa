// Blocking and unblocking the marked items, and the block state on the status bar.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

#include <QMenu>

using namespace sup::host;
using sup::data::TField;
using sup::data::TWorkingSet;

// Edits of product, brand or quantity not yet saved: an operation that reloads the items would
// drop them, so the user is asked first.
bool TfrmAltPedidosOL::unsavedEditsMayGo() {
    if (changedItems_ == 0)
        return true;
    return msgPadrao->ShowMsg(QStringLiteral("Descartar_Alt"), mtConfirmation, mbYesNo) == mrYes;
}

void TfrmAltPedidosOL::btnBloqItemClick() {
    const QPoint corner = btnBloqItem->mapToGlobal(QPoint(0, btnBloqItem->height()));
    pmnCadastro->popup(corner);
}

void TfrmAltPedidosOL::mnuBloqItemClick() {
    btnBloqItemClick();
}

void TfrmAltPedidosOL::BloqItem(const QString& from, const QString& to) {
    if (!unsavedEditsMayGo())
        return;
    TWorkingSet* item = dm_->cdsItem;
    TWorkingSet* marked = dm_->cdsAuxItemBloq;
    TWorkingSet* request = dm_->cdsBloqItem;
    {
        TBusyGuard busy(this, aviGravando);
        item->disableControls();
        try {
            marked->loadFromPacket(item->data());
            marked->setFiltered(false);
            marked->setFilter(QStringLiteral("[CALC]=   'S'"));
            marked->setFiltered(true);
            marked->first();
            request->close();
            request->createDataSet();
            const TField* flag = marked->fieldByName(u"IDITMPEDOLBLOQ");
            const TField* adjustment = marked->fieldByName(u"IDITEMAJUSTE");
            for (; !marked->eof(); marked->next()) {
                if (flag->asString() != from || adjustment->asString() != u"N")
                    continue;
                request->append();
                for (const char16_t* f : {u"CDPRODUTO", u"NRPEDEXOL", u"CDFILLANC", u"CDMARCA"})
                    request->fieldByName(f)->setAsString(marked->fieldByName(f)->asString());
                request->fieldByName(u"CDFILDEST")
                    ->setAsString(marked->fieldByName(u"CDFILDEST")->asString().left(4));
                request->fieldByName(u"DTPROGENPEOL")
                    ->setValue(marked->fieldByName(u"DTPROGENPEOL")->value());
                request->fieldByName(u"IDITMPEDOLBLOQ")->setAsString(to);
                request->post();
            }
            marked->setFiltered(false);
            item->first();
            item->enableControls();
            if (request->isEmpty()) {
                busy.hide();
                msgPadrao->ShowMsg(QStringLiteral("Cad_N"), mtInformation, mbOK, 0);
                return;
            }
            CheckResultServ(sup::contracts::calls::SetBloqItem(dm_->server(), request->data(),
                                                               Vantrel().Operador),
                            true, 0);
            item->mergeChangeLog();
        } catch (...) {
            // The marks and edits stay for another try: nothing was saved.
            marked->setFiltered(false);
            if (item->controlsDisabled())
                item->enableControls();
            throw;
        }
    }
    sbtVerificarClick();
    dm_->cdsAuxItem->loadFromPacket(item->data());
    Habilita();
}

QString TfrmAltPedidosOL::cdsItemIDITMPEDOLBLOQGetText(const TField& field) const {
    const QString flag = field.asString();
    if (flag.trimmed().isEmpty() || !flag.startsWith(u'S'))
        return {};
    return msgPadrao->Msg(QStringLiteral("ItemBolq"));
}
