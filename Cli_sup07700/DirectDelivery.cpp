// Direct delivery and manual write-off of the marked items, with the manager's release that
// direct delivery may need.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Password.h"
#include "sup/widgetkit/Pickers.h"
#include "sup/widgetkit/Query.h"

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::TWorkingSet;

void TfrmAltPedidosOL::Vd_SenhaGer() {
    QString chosen;
    TADOIBQuery* managers = dm_->qryGerente;
    managers->Close();
    managers->Open();
    PesquisaLista(dtsGerente, QStringLiteral("CDOPERADOR"),
                  msgPadrao->Msg(QStringLiteral("Operadores")) + QLatin1Char('|') +
                      msgPadrao->Msg(QStringLiteral("N_Operadores")),
                  false, chosen);
    if (chosen.size() > 14)
        MensErro(msgPadrao->Msg(QStringLiteral("Mais_Q_1_Oper")));
    const QString manager = chosen.mid(1, 12).trimmed();
    if (manager.isEmpty()) {
        stLiberaGer = QStringLiteral("N");
        Abort();
    }
    if (CriaConfSenha(manager, msgPadrao->Msg(QStringLiteral("Conf_senh_Ger")),
                      msgPadrao->Msg(QStringLiteral("stLbl_Ger")))) {
        stLiberaGer = QStringLiteral("S");
    } else {
        stLiberaGer = QStringLiteral("N");
        Abort();
    }
}

// Marked blocked items lose their mark for an operator without group authorisation; each as an
// ordinary edit and post, under the item rules. True when one was left out.
bool TfrmAltPedidosOL::leaveOutBlockedItems() {
    TWorkingSet* item = dm_->cdsItem;
    const bool authorised = dm_->cdsAutGruPop->active() && !dm_->cdsAutGruPop->isEmpty();
    bool skipped = false;
    item->disableControls();
    try {
        sup::data::TField* calc = item->fieldByName(u"CALC");
        const sup::data::TField* blocked = item->fieldByName(u"IDITMPEDOLBLOQ");
        for (item->first(); !item->eof(); item->next()) {
            if (calc->asString() == u"S" && blocked->asString() == u"S" && !authorised) {
                item->edit();
                calc->setAsString(u"N");
                item->post();
                skipped = true;
            }
        }
        item->first();
    } catch (...) {
        item->enableControls();
        throw;
    }
    item->enableControls();
    return skipped;
}

void TfrmAltPedidosOL::sendMarkedItems(const QString& writeOff, const QString& directDelivery,
                                       const QString& question) {
    TWorkingSet* item = dm_->cdsItem;
    bool skipped = false;
    try {
        skipped = leaveOutBlockedItems();
        if (item->changeCount() == 0) {
            Habilita();
            MensErro(msgPadrao->Msg(QStringLiteral("Cad_N")));
        }
        if (msgPadrao->ShowMsg(question, mtConfirmation, mbYesNo) == mrYes) {
            TBusyGuard busy(this, aviGravando, msgPadrao->Msg(QStringLiteral("SetUpdate")));
            DataPacket delta = item->delta();
            CheckResultServ(sup::contracts::calls::UpdItemPedidoOL(
                                dm_->server(), delta, writeOff, directDelivery, Vantrel().Operador,
                                3, msgPadrao->Msg(QStringLiteral("pedMan")),
                                msgPadrao->Msg(QStringLiteral("Remaneja_OL_ED"))),
                            true, 0);
            item->mergeChangeLog();
            sbtVerificarClick();
            dm_->cdsAuxItem->loadFromPacket(item->data());
            Habilita();
        }
        if (skipped)
            msgPadrao->ShowMsg(QStringLiteral("Mens_Item_Bolq"), mtInformation, mbOK, 0);
    } catch (...) {
        focusColumn("CALC");
        throw;
    }
}

void TfrmAltPedidosOL::btnPontoaPontoClick() {
    {
        TBusyGuard busy(this, aviRecebendo);
        dm_->cdsParaSupriED->loadFromPacket(
            CheckResultServ(sup::contracts::calls::getParaSupri(dm_->server(), Vantrel().FiliProc),
                            true, 0)
                .value<DataPacket>());
    }
    stLiberaGer = QStringLiteral("S");
    TWorkingSet* supply = dm_->cdsParaSupriED;
    if (supply->active() && !supply->isEmpty() &&
        supply->fieldByName(u"IDBLOQIMPOL")->asString() == u"S")
        Vd_SenhaGer();
    sendMarkedItems(QStringLiteral("N"), QStringLiteral("S"),
                    QStringLiteral("Confirmar_PontoaPonto"));
}

void TfrmAltPedidosOL::btnBaixaManualClick() {
    sendMarkedItems(QStringLiteral("S"), QStringLiteral("N"),
                    QStringLiteral("Confirmar_BaixaManual"));
}
