// The confirm of the filter screen: the checks of the criteria and the item request, whose
// answer the routine's data module loads.
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"
#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ItemCriteria.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DayNumber.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

#include <QCheckBox>
#include <QRadioButton>

using namespace sup::host;
using sup07700::stFilial;
using sup07700::stOL;
using sup07700::stRegiao;

namespace {

bool blank(const TDateEditPlus* edit) {
    return EmptyString(edit->Text());
}

// The date of an edit as a date argument: a null date for an empty edit.
QDate dateArg(const TDateEditPlus* edit) {
    return sup::data::dateFromDayNumber(edit->GetDate());
}

// The upper bound of the product range: padded with "Z" to the width of the product code, so
// that every code that starts with the typed one is inside the range.
QString upperProduct(const QString& typed) {
    constexpr int kWidth = 20;
    if (EmptyString(typed) || typed.size() >= kWidth) {
        return typed;
    }
    return typed + QString(kWidth - typed.size(), QLatin1Char('Z'));
}

} // namespace

void TfrmFiltroAltPedidoOL::Validacoes_FiltroAF() {
    // Focus first, so that the user lands on the control the message speaks of.
    auto fail = [this](QWidget* control, const char* key) {
        control->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(QString::fromLatin1(key)), true);
        Abort();
    };
    auto range = [&](TDateEditPlus* ini, TDateEditPlus* fim, const char* noIni, const char* noFim,
                     const char* order) {
        if (blank(ini) && !blank(fim)) {
            fail(ini, noIni);
        }
        if (blank(fim) && !blank(ini)) {
            fail(fim, noFim);
        }
        if (!blank(ini) && !blank(fim) && fim->GetDate() < ini->GetDate()) {
            fail(ini, order);
        }
    };
    // Checks that need the user's choices on the open screen; a reload runs without them.
    const bool shown = boFilCriado;

    for (TDateEditPlus* d :
         {depEmisIni, depEmisFim, depEntrIni, depEntrFim, depDtIniEmbarque, depDtFinEmbarque,
          depDtIniBloq, depDtFinBloq, depDtIniNBloq, depDtFinNBloq}) {
        try {
            d->CheckValidDate();
        } catch (...) {
            d->setFocus(Qt::OtherFocusReason);
            throw;
        }
    }

    range(depEmisIni, depEmisFim, "Dtini_Af_vazia", "Dtfin_Af_vazia", "DtIniFinAF_Inv");
    range(depEntrIni, depEntrFim, "Dtini_Entr_vazia", "Dtfin_Entr_vazia", "DtIniFinEntr_Inv");
    range(depDtIniEmbarque, depDtFinEmbarque, "Dtini_Emb_vazia", "Dtfin_Emb_vazia",
          "DtIniFinEmb_Inv");

    if (shown && rbtRegiaoL->isChecked() && EmptyString(stRegiao)) {
        fail(rbtRegiaoL, "Reg_N_Inf");
    }
    if (shown && rbtFilialLista->isChecked() && stFilial.isEmpty()) {
        fail(rbtFilialLista, "FilDest_N_Inf");
    }
    if (shown && rbtListaMarca->isChecked() && EmptyString(stMarca)) {
        fail(rbtListaMarca, "Marca_N_Inf");
    }
    if (shown && rbtListaOL->isChecked() && stOL.isEmpty()) {
        fail(rbtListaOL, "OL_N_Inf");
    }

    const QString ini = medProdutoInicial->Text();
    const QString fim = medProdutoFinal->Text();
    if (EmptyString(ini) && !EmptyString(fim)) {
        fail(medProdutoInicial, "ProdIni_vazio");
    }
    Vd_Produto(medProdutoInicial);
    if (EmptyString(fim) && !EmptyString(ini)) {
        fail(medProdutoFinal, "ProdFin_vazio");
    }
    if (!EmptyString(ini) && !EmptyString(fim) && ini.toUtf8() > fim.toUtf8()) {
        fail(medProdutoInicial, "ProdIni_M_ProdFin");
    }
    Vd_Produto(medProdutoFinal);

    if (!chbBloq->isChecked() && !chbNBloq->isChecked()) {
        fail(chbBloq, "Status_N_Inf");
    }
    if (chbBloq->isChecked()) {
        range(depDtIniBloq, depDtFinBloq, "Dt_Bolq_In", "Dt_Bolq_Fin", "Dt_In_Fin");
    }
    if (chbNBloq->isChecked()) {
        range(depDtIniNBloq, depDtFinNBloq, "Dt_NBolq_In", "Dt_NBolq_Fin", "Dt_NIn_Fin");
    }
    if (!chbExtra->isChecked() && !chbNExtra->isChecked()) {
        fail(chbNExtra, "Situa_Pedido");
    }
    if (shown && rbtLLote->isChecked() && EmptyString(stLote)) {
        fail(rbtLLote, "LoteEnvi_N_Inf");
    }
    if (shown && !chbReserva->isChecked() && !chbNReserva->isChecked()) {
        fail(chbReserva, "Reserva_N");
    }
    if (shown && rbtLSubGrupo->isChecked() && EmptyString(stSubGrupo)) {
        fail(rbtLSubGrupo, "SubGrupo_N_Inf");
    }
    if (shown && rbtListaRota->isChecked() && EmptyString(stRota)) {
        fail(rbtListaRota, "Rota_N_Inf");
    }
}

void TfrmFiltroAltPedidoOL::sbtConfirmaClick() {
    TfrmFiltroPadrao::sbtConfirmaClick();
    Validacoes_FiltroAF();
    Vd_AgrupFilial();
    Dados_Filtro(true);

    const QString T = QStringLiteral("T");
    const QString S = QStringLiteral("S");
    const QString N = QStringLiteral("N");
    const QString none;
    const QString oneBlank = QStringLiteral(" ");
    auto pairFlag = [&](const TDateEditPlus* ini, const TDateEditPlus* fim) {
        return blank(ini) && blank(fim) ? T : oneBlank;
    };

    const bool allBranches = rbtFilialTodas->isChecked();
    const bool allOperators = rbtTodosOL->isChecked();
    const bool bloq = chbBloq->isChecked();
    const bool nBloq = chbNBloq->isChecked();
    const bool extra = chbExtra->isChecked();
    const bool nExtra = chbNExtra->isChecked();
    const bool reserva = chbReserva->isChecked();
    const bool nReserva = chbNReserva->isChecked();
    const bool anySubGroup = rbtTSubGrupo->isChecked();

    QString extraFlag = extra && nExtra ? T : extra ? S : nExtra ? N : none;
    // Neither reservation box can only come from a reload of criteria never confirmed: it
    // travels as "no choice".
    QString reservaFlag = reserva && nReserva ? QStringLiteral("1")
                          : reserva           ? QStringLiteral("2")
                          : nReserva          ? QStringLiteral("3")
                                              : none;
    QString lote = rbtTLote->isChecked() ? T : rbtLLote->isChecked() ? stLote : N;
    QString group;
    if (!anySubGroup && cdsParaSupri->active() && !cdsParaSupri->isEmpty()) {
        if (const sup::data::TField* f = cdsParaSupri->findField(u"CDGRUPPROD")) {
            group = f->asString();
        }
    }

    // A value of its own: the server may rewrite the by-reference criteria; none is read back.
    sup::contracts::ItemCriteria k;
    k.pedidoIni = dateArg(depEmisIni);
    k.pedidoFim = dateArg(depEmisFim);
    k.entregaIni = dateArg(depEntrIni);
    k.entregaFim = dateArg(depEntrFim);
    k.embarqueIni = dateArg(depDtIniEmbarque);
    k.embarqueFim = dateArg(depDtFinEmbarque);
    k.todasFiliais = allBranches ? T : none;
    k.filiais = allBranches ? none : stFilial;
    k.todosOL = allOperators ? T : none;
    k.ol = allOperators ? none : stOL;
    k.agrupamento = medAgrupFilial->Text();
    k.produtoIni = medProdutoInicial->Text();
    k.produtoFim = upperProduct(medProdutoFinal->Text());
    k.semDatasEmbarque = pairFlag(depDtIniEmbarque, depDtFinEmbarque);
    k.semDatasPedido = pairFlag(depEmisIni, depEmisFim);
    k.semDatasEntrega = pairFlag(depEntrIni, depEntrFim);
    k.regioes = stRegiao;
    k.todasRegioes = rbtRegiaoT->isChecked() ? T : none;
    k.operador = Vantrel().Operador;
    k.bloqueados = bloq ? S : none;
    k.desbloqueados = nBloq ? N : none;
    k.semDatasBloqueio = bloq && blank(depDtIniBloq) && blank(depDtFinBloq) ? T : none;
    k.bloqueioIni = dateArg(depDtIniBloq);
    k.bloqueioFimMaisUm = depDtFinBloq->GetDate() + 1.0;
    k.semDatasDesbloqueio = nBloq && blank(depDtIniNBloq) && blank(depDtFinNBloq) ? T : none;
    k.desbloqueioIni = dateArg(depDtIniNBloq);
    k.desbloqueioFimMaisUm = depDtFinNBloq->GetDate() + 1.0;
    k.pedidoExtra = extraFlag;
    k.reserva = reservaFlag;
    k.lote = lote;
    k.subgrupos = anySubGroup ? N : stSubGrupo;
    k.grupoProduto = group;
    k.rotas = rbtTodasRota->isChecked() ? T : stRota;
    k.marcas = rbtTodasMarca->isChecked() ? T : stMarca;

    TdmAltPedidosOL& dm = sup07700::DataModule();
    {
        TBusyGuard busy(this, aviRecebendo, msgPadrao->Msg(QStringLiteral("Get_Data")));
        dm.loadItems(k);
    }

    Repaint();
    setModalResult(mrOk);
}
