// Creation, activation and close of the filter screen, and the remembered filter.
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>

using namespace sup::host;
using sup::data::DataPacket;

void TfrmFiltroAltPedidoOL::FormCreate() {
    TfrmFiltroPadrao::FormCreate();
    boPrimVez = true;

    for (TDateEditPlus* d : {depEmisIni, depEmisFim, depEntrIni, depEntrFim, depDtIniBloq,
                             depDtFinBloq, depDtIniNBloq, depDtFinNBloq}) {
        d->Clear();
    }

    // A branch-bound operator works with the processing branch only: no grouping.
    SetChildEnabled(grbAgrupFili, !Vantrel().ModuFili);
    edtAgrupFilial->setEnabled(false); // shows the grouping's name, never typed into

    qryCentCmp->Close();
    qryCentCmp->ParamByName(QStringLiteral("P_CDFILIAL")) = Vantrel().FiliProc;
    qryCentCmp->Open();

    // Whether the branch picker is limited to the operator's branches.
    qryParamGeral->Close();
    qryParamGeral->Open();

    netSuprimentos->connect();

    TBusyGuard busy(this, aviRecebendo);
    // A processing branch missing from FILIAL sends an empty branch, which the server refuses
    // with its own message.
    const QString central =
        qryCentCmp->IsEmpty() ? QString() : qryCentCmp->FieldByName(u"CDFILIAL")->asString();
    const QVariant answer =
        sup::contracts::calls::GetParaSupri(netSuprimentos->AppServer(), central);
    const QVariant payload = CheckResultServ(answer, true, 0);
    cdsParaSupri->loadFromPacket(payload.value<DataPacket>());
}

void TfrmFiltroAltPedidoOL::FormActivate() {
    TfrmFiltroPadrao::FormActivate();
    Repaint();
    if (!boPrimVez) {
        return;
    }
    boPrimVez = false;

    const QString mask = Vantrel().DBPict(ptProduto);
    medProdutoInicial->setEditMask(mask);
    medProdutoFinal->setEditMask(mask);
    cdsProduto->fieldByName(u"CDARVPROD")->setEditMask(mask);

    rbtFilialTodas->setChecked(true);
    rbtListaOL->setChecked(true);
    sup07700::stFilial.clear();

    const bool bound = Vantrel().ModuFili;
    SetChildEnabled(grbFilialDest, !bound);
    SetChildEnabled(grbAgrupFili, !bound);
    edtAgrupFilial->setEnabled(false);

    if (bound) {
        // The only destination is the processing branch; the disabled groups keep it so.
        rbtFilialLista->setChecked(true);
        sup07700::stFilial = QStringLiteral("_") + Vantrel().FiliProc + QStringLiteral("_");
    } else {
        rbtFilialTodas->setChecked(true);
    }

    btpFilial->setEnabled(false);
    btpOL->setEnabled(true);

    Dados_Filtro(false);
    showChosenKeys();
}

void TfrmFiltroAltPedidoOL::FormClose(TCloseAction& action) {
    TfrmFiltroPadrao::FormClose(action);
    action = caHide;
    boFilCriado = false;
    while (netSuprimentos->Connected()) {
        netSuprimentos->disconnect();
    }
}

void TfrmFiltroAltPedidoOL::netSuprimentosBeforeConnect(sup::net::TNetConnection& connection) {
    connection.setHost(Vantrel().WebURL);
    connection.setPort(Vantrel().WebPort);
}

void TfrmFiltroAltPedidoOL::Dados_Filtro(bool save) {
    TFILTRO& f = sup07700::Filtro;
    struct DateSlot {
        TDateEditPlus* edit;
        double* day;
    };
    const DateSlot dates[] = {
        {depEmisIni, &f.DtEmisIni},      {depEmisFim, &f.DtEmisFim},
        {depEntrIni, &f.DtEntrIni},      {depEntrFim, &f.DtEntrFim},
        {depDtIniEmbarque, &f.DtEmbIni}, {depDtFinEmbarque, &f.DtEmbFim},
        {depDtIniBloq, &f.DtBloqIni},    {depDtFinBloq, &f.DtBloqFim},
        {depDtIniNBloq, &f.DtNBloqIni},  {depDtFinNBloq, &f.DtNBloqFim},
    };
    if (save) {
        for (const DateSlot& s : dates) {
            *s.day = s.edit->GetDate();
        }
        f.Produto.CdProdIni = medProdutoInicial->Text();
        f.Produto.CdProdFim = medProdutoFinal->Text();
        return;
    }
    // In the order of the record: six dates, the products, the four status dates.
    auto restore = [](const DateSlot& s) {
        s.edit->Clear();
        s.edit->SetDate(*s.day);
    };
    for (int i = 0; i < 6; ++i) {
        restore(dates[i]);
    }
    medProdutoInicial->Clear();
    medProdutoInicial->SetText(f.Produto.CdProdIni);
    medProdutoFinal->Clear();
    medProdutoFinal->SetText(f.Produto.CdProdFim);
    for (int i = 6; i < 10; ++i) {
        restore(dates[i]);
    }
}
