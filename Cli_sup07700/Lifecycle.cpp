// Creation, activation and close of the maintenance screen; the reload, cancel and filter
// actions; the rules of the item set.
#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07701/Cli_sup07701.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DataPacket.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Query.h"

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataSetState;
using sup::data::TWorkingSet;

void TfrmAltPedidosOL::FormCreate() {
    TfrmPadraoGrid::FormCreate();

    {
        TBusyGuard busy(this, aviConectando);
        dm_->connect();
    }

    TADOIBQuery* qryCentCmp = dm_->qryCentCmp;
    qryCentCmp->Close();
    qryCentCmp->ParamByName(QStringLiteral("P_CDFILIAL")) = Vantrel().FiliProc;
    qryCentCmp->Open();

    {
        TBusyGuard busy(this, aviRecebendo);
        const QVariant answer = sup::contracts::calls::GetParametroOL(
            dm_->server(), qryCentCmp->FieldByName(u"CDFILIAL")->asString());
        const QVariant payload = CheckResultServ(answer, true, 0);
        dm_->cdsParametroOL->loadFromPacket(payload.value<DataPacket>());
    }

    Repaint();
    firstActivation_ = true;
    boTodos = true;
}

void TfrmAltPedidosOL::FormActivate() {
    TfrmPadraoGrid::FormActivate();
    Repaint();
    if (firstActivation_) {
        firstActivation_ = false;
        CriaFiltroAltPedidoOL();
        const QString mask = Vantrel().DBPict(ptProduto);
        dm_->cdsItem->fieldByName(u"CDARVPROD")->setEditMask(mask);
        dm_->cdsProdPref->fieldByName(u"CDARVPROD")->setEditMask(mask);
        dm_->cdsPesqProduto->fieldByName(u"CDARVPROD")->setEditMask(mask);
        Habilita();
    }

    // The reservation column is shown when the processing branch's central purchasing branch
    // works with stock reservation.
    TWorkingSet* cdsParamFilial = dm_->cdsParamFilial;
    if (cdsParamFilial->active() && !cdsParamFilial->isEmpty()) {
        const QString proc = Vantrel().FiliProc;
        QString central;
        cdsParamFilial->first();
        while (!cdsParamFilial->eof()) {
            if (cdsParamFilial->fieldByName(u"CDFILIAL")->asString() == proc) {
                central = cdsParamFilial->fieldByName(u"CDFILCENTCMP")->asString();
                break;
            }
            cdsParamFilial->next();
        }
        const bool found = cdsParamFilial->locate(QStringLiteral("CDFILIAL;IDUTRESPEDEXOL"),
                                                  QVariantList{central, QStringLiteral("S")},
                                                  {.caseInsensitive = true});
        dbgPadrao->setColumnVisible(kReservationColumn, found);
        Habilita();
    }
}

void TfrmAltPedidosOL::FormCloseQuery(bool& canClose) {
    TfrmPadraoGrid::FormCloseQuery(canClose);
    const TWorkingSet* cdsItem = dm_->cdsItem;
    if (!cdsItem->active()) {
        return;
    }
    const DataSetState s = cdsItem->state();
    const bool pending =
        s == DataSetState::Edit || s == DataSetState::Insert || cdsItem->changeCount() > 0;
    if (pending &&
        msgPadrao->ShowMsg(QStringLiteral("Sair_Alterado"), mtConfirmation, mbYesNo) != mrYes) {
        canClose = false;
    }
}

void TfrmAltPedidosOL::FormClose(TCloseAction& action) {
    boStCriado = false;
    sup07700::LiberaFiltroAltPedidoOL();
    dm_->disconnect();
    TfrmPadraoGrid::FormClose(action);
}

void TfrmAltPedidosOL::netAltPedidosOLBeforeConnect(sup::net::TNetConnection& connection) {
    connection.setHost(Vantrel().WebURL);
    connection.setPort(Vantrel().WebPort);
}

void TfrmAltPedidosOL::dtsPadraoStateChange() {
    TfrmPadraoGrid::dtsPadraoStateChange();
    Habilita();
    const DataSetState s = dm_->cdsItem->state();
    setPickerButtons(s == DataSetState::Edit || s == DataSetState::Insert);
}

void TfrmAltPedidosOL::setPickerButtons(bool on) {
    const auto style = on ? TDBGrid::ButtonStyle::Ellipsis : TDBGrid::ButtonStyle::None;
    for (const char* field : {"CDARVPROD", "CDMARCA"}) {
        const int c = dbgPadrao->columnIndexOfField(QString::fromLatin1(field));
        if (c >= 0) {
            dbgPadrao->setButtonStyle(c, style);
        }
    }
}

void TfrmAltPedidosOL::panFiltroEnter() {
    TfrmPadraoGrid::panFiltroEnter();
    dm_->cdsItem->close();
    Habilita();
}

void TfrmAltPedidosOL::sbtFiltroClick() {
    CriaFiltroAltPedidoOL();
    Habilita();
}

void TfrmAltPedidosOL::sbtVerificarClick() {
    TfrmPadraoGrid::sbtVerificarClick();
    dm_->reload();
}

void TfrmAltPedidosOL::sbtCancelarClick() {
    TfrmPadraoGrid::sbtCancelarClick();
    if (!dtsPadrao->dataSet()) {
        return;
    }
    TWorkingSet* cdsItem = dm_->cdsItem;
    const DataSetState s = cdsItem->state();
    if (s == DataSetState::Edit || s == DataSetState::Insert) {
        if (msgPadrao->ShowMsg(QStringLiteral("Canc"), mtConfirmation, mbYesNo) == mrYes) {
            cdsItem->cancel();
        }
        return;
    }
    if (cdsItem->changeCount() > 0 &&
        msgPadrao->ShowMsg(QStringLiteral("Canc"), mtConfirmation, mbYesNo) == mrYes) {
        cdsItem->cancel();
        cdsItem->cancelUpdates();
        cdsItem->mergeChangeLog();
        dm_->cdsAuxItem->loadFromPacket(cdsItem->data());
        Habilita();
    }
}

void TfrmAltPedidosOL::cdsItemAfterOpen() {
    dm_->cdsAuxItem->loadFromPacket(dm_->cdsItem->data());
}

void TfrmAltPedidosOL::cdsItemAfterScroll() {
    if (dm_->cdsAuxItem->tag() == 99) {
        return;
    }
    const QString field = dbgPadrao->SelectedField().toUpper();
    dbgPadrao->setEditing(field == u"CDARVPROD" || field == u"CDMARCA" || field == u"QTPROGENPEOL");
    TWorkingSet* cdsParamFilial = dm_->cdsParamFilial;
    if (cdsParamFilial->active() && !dm_->cdsItem->isEmpty()) {
        cdsParamFilial->locate(QStringLiteral("CDFILIAL"),
                               dm_->cdsItem->fieldByName(u"CDFILDEST")->asString().left(4));
    }
}

void TfrmAltPedidosOL::cdsItemBeforeInsert() {
    Abort();
}

void TfrmAltPedidosOL::cdsItemBeforeDelete() {
    Abort();
}
