// The confirmation of the automatic alteration: the inputs checked once more, the question, the
// branches' particularities shown before anything is written, the one call that alters every
// chosen item, its two warnings, and the reload of the maintenance screen's items. The checks and
// the call's arguments are the preview's too (Preview.cpp).
#include "Cli_sup07702/Cli_sup07702.h"
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Cli_sup07702/Values.h"
#include "Cli_sup07704/Cli_sup07704.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Host.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DataPacket.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

#include <QCheckBox>
#include <QLineEdit>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::TWorkingSet;
namespace calls = sup::contracts::calls;
using sup::contracts::byRef;

namespace {

using sup07700::cadaauto::packetOf;

// A number of the current row of a set; null, zero or no row count as 1 (a product registered
// without factor or weight converts one to one).
double factorOf(const TWorkingSet* set, const char16_t* field) {
    return set->active() && !set->isEmpty()
               ? sup07700::cadaauto::orOne(set->fieldByName(field), true)
               : 1;
}

// The description the alteration is recorded with: the maintenance screen's own text.
QString alterationText() {
    TMessages catalogue;
    catalogue.loadFromFile(QStringLiteral(":/Cli_sup07700/msgPadrao.txt"));
    return catalogue.Msg(QStringLiteral("pedMan"));
}

} // namespace

void TfrmCadaAuto::lookUpTypedProduct() {
    {
        TBusyGuard busy(this, aviRecebendo);
        cdsPesqProduto->loadFromPacket(packetOf(CheckResultServ(
            calls::GetPesqProduto(dm().server(), currentItem(u"CDFILIOPELOG"), QString(), QString(),
                                  QStringLiteral("0"), byRef(stNewMarca)),
            true, 0)));
    }
    dtsPesqProduto->setDataSet(cdsPesqProduto);
    if (!cdsPesqProduto->locate(QStringLiteral("CDARVPROD"), medCdProduto->Text(),
                                {.caseInsensitive = true}))
        return;
    stNewProduto = cdsPesqProduto->fieldByName(u"CDPRODUTO")->asString();
    stNewMarca = cdsPesqProduto->fieldByName(u"CDMARCA")->asString();
    medCdProdutoExit();
}

void TfrmCadaAuto::adjustToRequestedProduct() {
    {
        TBusyGuard busy(this, aviRecebendo);
        cdsAjusteUn->loadFromPacket(packetOf(CheckResultServ(
            calls::GetAjusteUn(dm().server(), currentItem(u"CDPRODORIGPEDOL")), true, 0)));
    }
    // Zero weights and factors count as 1 on both sides, as null ones do: the adjustment is
    // never a division by zero, nor a -100 % that would wipe the quantities out.
    const double fO = factorOf(cdsAjusteUn, u"VRFATOCONV");
    const double pO = factorOf(cdsAjusteUn, u"VRPESOUNID");
    const double fD = factorOf(cdsProdutos, u"VRFATOCONV");
    const double pD = factorOf(cdsProdutos, u"VRPESOUNID");
    nedAjustUn->SetNumber(((fO * pO) / (fD * pD) - 1) * 100);
    lookUpQuantityAdjustment();
}

TfrmCadaAuto::AlterationInputs TfrmCadaAuto::checkInputs() {
    if (stNewProduto.isEmpty())
        lookUpTypedProduct();

    // What the user cannot see is not sent.
    if (nedAjustUn->isHidden())
        nedAjustUn->SetNumber(0);
    if (nedAjustQtde->isHidden())
        nedAjustQtde->SetNumber(0);
    if (chbConsideraSol->isHidden())
        chbConsideraSol->setChecked(false);
    if (chbConsideraSol->isChecked())
        adjustToRequestedProduct();

    const bool product = chbProduto->isChecked();
    const bool quantity = chbQuantidade->isChecked();
    const bool delivery = chbEntrega->isChecked();
    if (!product && !quantity && !delivery)
        MensErro(msgPadrao->Msg(QStringLiteral("Opcao_Inf")));
    if (medCdProduto->Text().isEmpty() && depEntrega->IsEmpty() && nedQuantidade->GetNumber() == 0)
        MensErro(msgPadrao->Msg(QStringLiteral("Opcao_Inf")));

    AlterationInputs in;
    in.product = product;
    in.quantity = quantity;
    in.delivery = delivery;
    if (product) {
        vd_Produto(true);
        in.newProduct = stNewProduto;
        in.stockUnit = cdsProdutos->active() && !cdsProdutos->isEmpty()
                           ? cdsProdutos->fieldByName(u"SGUNIDESTOQUE")->asString()
                           : QString();
    }
    if (quantity)
        Vd_Quantidade();
    if (delivery) {
        vd_DtEntrega();
        vd_Periodicidade();
    }

    TdmAltPedidosOL& shared = dm();
    TADOIBQuery* central = shared.qryFiliCent;
    central->Close();
    central->ParamByName(QStringLiteral("P_CDFILIAL")) = Vantrel().FiliProc;
    central->Open();
    if (!medCdProduto->Text().isEmpty() && quantity)
        Vd_VerifProdIgual(stProdOrig, medCdProduto->Text());
    in.centralBranch =
        central->IsEmpty() ? QString() : central->FieldByName(u"CDFILCENTCMP")->asString().left(4);
    return in;
}

calls::AltAtuItemArgs TfrmCadaAuto::alterationArgs(const AlterationInputs& in) const {
    TdmAltPedidosOL& shared = dm();
    calls::AltAtuItemArgs a;
    a.itens = shared.vaItensSelec;
    a.alteraProduto = in.product && !medCdProduto->Text().isEmpty();
    a.alteraQuantidade = in.quantity && nedQuantidade->GetNumber() != 0;
    a.alteraEntrega = in.delivery && !depEntrega->IsEmpty();
    a.novaEntrega = depEntrega->IsEmpty() ? QDate() : depEntrega->Date();
    a.novaQuantidade = a.alteraQuantidade ? RoundDec(nedQuantidade->GetNumber(), 3) : 0;
    a.produtoNovo = in.newProduct;
    a.ajusteUnidade = nedAjustUn->GetNumber();
    a.ajusteQuantidade = nedAjustQtde->GetNumber();
    a.textoRecusaPeriodicidade = msgPadrao->Msg(QStringLiteral("ERRO"));
    a.consideraSolicitacao = chbConsideraSol->isChecked();
    a.unidadeEstoque = in.stockUnit;
    a.atualizaSolicitacoes = chbAtuSoli->isChecked();
    a.operador = Vantrel().Operador;
    a.descricaoAlteracao = alterationText();
    a.filialCentral = in.centralBranch;
    a.estoqueDisponivel = doEst_Disp;
    a.filialDestino = currentItem(u"CDFILDEST").left(4);
    a.filialLancamento = currentItem(u"CDFILLANC");
    a.marcaNova = stNewMarca;
    a.respostaParticularidade = shared.stRespMarcaPref;
    return a;
}

void TfrmCadaAuto::sbtConfirmaClick() {
    AlterationInputs in = checkInputs();
    TdmAltPedidosOL& shared = dm();

    if (MessageDlg(msgPadrao->Msg(QStringLiteral("Conf")), mtConfirmation, mbYesNo) != mrYes)
        Abort();
    if (Host* host = Host::current(); host && host->mainWindow())
        host->mainWindow()->repaint();

    if (in.product && !medCdProduto->Text().isEmpty()) {
        TADOIBQuery* purchasing = shared.qryCentCmp;
        const QString purchasingBranch = purchasing->Active() && !purchasing->IsEmpty()
                                             ? purchasing->FieldByName(u"CDFILIAL")->asString()
                                             : QString();
        {
            TBusyGuard busy(this, aviRecebendo);
            shared.cdsMarcaPref2->loadFromPacket(packetOf(
                CheckResultServ(calls::GetVdMarcPref(shared.server(), shared.vaItensSelec,
                                                     in.newProduct, purchasingBranch, stNewMarca),
                                true, 0)));
        }
        if (!shared.cdsMarcaPref2->isEmpty())
            CriaErroCadaAuto();
    }

    calls::AltAtuItemArgs a = alterationArgs(in);

    QVariantList warnings;
    {
        // The product found for this call is not reused: the next confirmation looks it up anew.
        struct Forget {
            ~Forget() {
                stNewProduto.clear();
                stNewMarca.clear();
            }
        } forget;
        TBusyGuard busy(this, aviGravando, msgPadrao->Msg(QStringLiteral("atual_prods")));
        warnings = CheckResultServ(calls::AltAtuItem(shared.server(), a), true, 0).toList();
    }
    if (warnings.value(2).toBool())
        msgPadrao->ShowMsg(QStringLiteral("EXISTESOLISEMPEDIDO"), mtWarning, mbOK);
    if (warnings.value(3).toBool())
        MessageDlg(msgPadrao->Msg(QStringLiteral("NAOHAESTOQUE")), mtWarning, mbOK);

    shared.reload();
    setModalResult(mrOk);
}
