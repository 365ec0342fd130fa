// The multiple pickers of the filter screen: each fills its list (a local query or the server)
// and lets the user mark the keys of the criterion.
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"
#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DataPacket.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

#include <QRadioButton>

using namespace sup::host;
using sup::data::DataPacket;
using sup07700::stFilial;
using sup07700::stOL;
using sup07700::stRegiao;

namespace {

// Runs a list call of the routine's server (the data module's connection), busy indicator
// shown, and loads its data packet into `set`; on failure the set keeps its content.
template <class Call> void loadList(QWidget* owner, sup::data::TWorkingSet* set, Call&& call) {
    TBusyGuard busy(owner, aviRecebendo);
    const QVariant answer = call(sup07700::DataModule().server());
    const QVariant payload = CheckResultServ(answer, true, 0);
    set->loadFromPacket(payload.value<DataPacket>());
}

} // namespace

void TfrmFiltroAltPedidoOL::btpFilialClick() {
    const QString regionFlag = rbtRegiaoT->isChecked() ? QStringLiteral("T") : QString();
    cdsFiliAgrupFili->close();
    cdsFiliAgrupFili->createDataSet();

    // "N": any branch may be chosen; anything else (nothing included) limits the list to the
    // branches linked to the operator.
    const QString restr = qryParamGeral->Active() && !qryParamGeral->IsEmpty()
                              ? qryParamGeral->FieldByName(u"IDRESTRFILIOPER")->asString()
                              : QString();
    const bool restricted = restr != u"N";

    if (EmptyString(medAgrupFilial->Text())) {
        btpFilial->setDataSource(dtsFilial);
        TADOIBQuery* query = restricted ? qryFilial2 : qryFilial;
        dtsFilial->setDataSet(query);
        query->Close();
        query->ParamByName(QStringLiteral("P_CDFILIAL")) = QString();
        query->ParamByName(QStringLiteral("P_TCDFILIAL")) = QStringLiteral("T");
        query->ParamByName(QStringLiteral("P_CDREGIAO")) = stRegiao;
        query->ParamByName(QStringLiteral("P_TCDREGIAO")) = regionFlag;
        if (restricted) {
            query->ParamByName(QStringLiteral("P_CDOPERADOR")) = Vantrel().Operador;
        }
        PesquisaLista(dtsFilial, QStringLiteral("CDFILIAL"),
                      msgPadrao->Msg(QStringLiteral("FilialDest")), false, stFilial);
        return;
    }

    btpFilial->setDataSource(dtsFiliAgrupFili);
    // Copies: the server may rewrite the by-reference arguments; none is read back.
    QString regions = stRegiao;
    QString allRegions = regionFlag;
    loadList(this, cdsFiliAgrupFili, [&](sup::contracts::IAppServer& server) {
        return sup::contracts::calls::GetFiliAgrupFili(server, medAgrupFilial->Text(), regions,
                                                       allRegions,
                                                       restricted ? Vantrel().Operador : QString());
    });
    PesquisaLista(dtsFiliAgrupFili, QStringLiteral("CDFILIAL"), QString::fromUtf8("Filial Destino"),
                  false, stFilial);
}

void TfrmFiltroAltPedidoOL::btpOLClick() {
    qryOL->Close();
    qryOL->ParamByName(QStringLiteral("P_CDFILIAL")) = QString();
    qryOL->ParamByName(QStringLiteral("P_TCDFILIAL")) = QStringLiteral("T");
    PesquisaLista(dtsOL, QStringLiteral("CDFILIAL"), msgPadrao->Msg(QStringLiteral("OL")), false,
                  stOL);
}

void TfrmFiltroAltPedidoOL::btnRegiaoClick() {
    qryRegiao->Close();
    PesquisaLista(dtsRegiao, QStringLiteral("CDREGIAO"),
                  msgPadrao->Msg(QStringLiteral("Regiao")) + QStringLiteral("|") +
                      msgPadrao->Msg(QStringLiteral("Regiao_Cad")),
                  false, stRegiao);
}

void TfrmFiltroAltPedidoOL::btpRotaClick() {
    qryRota->Close();
    qryRota->Open();
    PesquisaLista(dtsRota, QStringLiteral("CDROTATRANS"),
                  btpRota->Title() + QStringLiteral("|") + btpRota->EmptyError(), false, stRota);
}

void TfrmFiltroAltPedidoOL::btpMarcaClick() {
    qryMarca->Close();
    qryMarca->Open();
    if (qryMarca->IsEmpty()) {
        MensErro(msgPadrao->Msg(QStringLiteral("Marca_NCad")), true);
    }
    PesquisaLista(dtsMarca, QStringLiteral("CDMARCA"), msgPadrao->Msg(QStringLiteral("Marca")),
                  false, stMarca);
}

void TfrmFiltroAltPedidoOL::btpLoteEnvioClick() {
    loadList(this, cdsLotePedOL, sup::contracts::calls::GetLotePedOL);
    PesquisaLista(dtsLotePedOL, QStringLiteral("CDLOTENVITOL"),
                  msgPadrao->Msg(QStringLiteral("Lote_Envio")), false, stLote);
}

void TfrmFiltroAltPedidoOL::btnSubGrupoClick() {
    // Only the sub-groups of the purchasing branch's product group.
    const QString group = cdsParaSupri->active() && !cdsParaSupri->isEmpty()
                              ? cdsParaSupri->fieldByName(u"CDGRUPPROD")->asString()
                              : QString();
    qrySubGrupo->Close();
    qrySubGrupo->ParamByName(QStringLiteral("P_CDGRUPPROD")) = group;
    qrySubGrupo->Open();
    PesquisaLista(dtsSubGrupo, QStringLiteral("CDSUBGRPROD"),
                  msgPadrao->Msg(QStringLiteral("SubGrupo")), false, stSubGrupo);
}

void TfrmFiltroAltPedidoOL::btnAgrupFilialBeforePesq() {
    loadList(this, cdsGrupFili, sup::contracts::calls::GetAgruFili);
}

void TfrmFiltroAltPedidoOL::btnAgrupFilialAfterPesq() {
    // The change handler empties the branches of the previous grouping and the name.
    medAgrupFilial->SetText(cdsGrupFili->fieldByName(u"CDGRUPFILI")->asString());
    edtAgrupFilial->setText(cdsGrupFili->fieldByName(u"NMGRUPFILI")->asString());
}

void TfrmFiltroAltPedidoOL::fetchProducts() {
    // Fetched once per screen object and shared by both product pickers.
    if (cdsProduto->active()) {
        return;
    }
    TBusyGuard busy(this, aviRecebendo, msgPadrao->Msg(QStringLiteral("Get_Produto")));
    const QVariant answer =
        sup::contracts::calls::GetProduto(sup07700::DataModule().server(), QString());
    const QVariant payload = CheckResultServ(answer, true, 0);
    cdsProduto->loadFromPacket(payload.value<DataPacket>());
}

void TfrmFiltroAltPedidoOL::btnPesqProdutoInicialBeforePesq() {
    fetchProducts();
}

void TfrmFiltroAltPedidoOL::btnPesqProdutoFinalBeforePesq() {
    fetchProducts();
}

void TfrmFiltroAltPedidoOL::btnPesqProdutoInicialAfterPesq() {
    medProdutoInicial->SetText(cdsProduto->fieldByName(u"CDARVPROD")->asString());
    edtProdutoInicial->setText(cdsProduto->fieldByName(u"NMPRODUTO")->asString());
}

void TfrmFiltroAltPedidoOL::btnPesqProdutoFinalAfterPesq() {
    medProdutoFinal->SetText(cdsProduto->fieldByName(u"CDARVPROD")->asString());
    edtProdutoFinal->setText(cdsProduto->fieldByName(u"NMPRODUTO")->asString());
}
