// The replacement product of the automatic alteration (looked up under the stored option), the
// adjustments it proposes, the OL relationship check and the quantity.
#include "Cli_sup07702/Cli_sup07702.h"
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Cli_sup07702/Values.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Product.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::TWorkingSet;
namespace calls = sup::contracts::calls;

using sup07700::cadaauto::orOne;
using sup07700::cadaauto::packetOf;

void TfrmCadaAuto::lookUpUnrestricted(const QString& code) {
    QString typed = code;
    {
        TBusyGuard busy(this, aviRecebendo);
        cdsVdProdEntr->loadFromPacket(packetOf(CheckResultServ(
            calls::GetProdutos(dm().server(), currentItem(u"CDFILIOPELOG"),
                               sup::contracts::byRef(typed), sup::contracts::byRef(stNewMarca)),
            true, 0)));
    }
    dtsVdProduto->setDataSet(cdsVdProdEntr);
}

void TfrmCadaAuto::lookUpRestricted(const QString& code, const QString& restriction) {
    QString typed = code;
    {
        TBusyGuard busy(this, aviRecebendo);
        cdsVdProduto->loadFromPacket(packetOf(CheckResultServ(
            calls::GetPesqProduto(dm().server(), currentItem(u"CDFILIOPELOG"),
                                  currentItem(u"CDPRODUTO"), sup::contracts::byRef(typed),
                                  restriction, sup::contracts::byRef(stNewMarca)),
            true, 0)));
    }
    dtsVdProduto->setDataSet(cdsVdProduto);
}

// The product, brand and free stock of the lookup result's current row.
void TfrmCadaAuto::takeLookupResult() {
    TWorkingSet* result = dtsVdProduto->dataSet();
    const bool any = result->active() && !result->isEmpty();
    stNewProduto = any ? result->fieldByName(u"CDPRODUTO")->asString() : QString();
    stNewMarca = any ? result->fieldByName(u"CDMARCA")->asString() : QString();
    doEst_Disp = any ? result->fieldByName(u"EST_DISP")->asFloat() : 0;
}

void TfrmCadaAuto::vd_Produto(bool mandatory) {
    try {
        QString code = medCdProduto->Text();
        if (code.isEmpty()) {
            if (mandatory)
                MensErro(msgPadrao->Msg(QStringLiteral("Produto_Inf")));
        } else {
            ValidEx(nullptr, 0, code, TValidExOptions::fromBits(2), QString(), true);
            const QString option = storedOption();
            const bool unrestricted = option.isEmpty() || option == u"mnuProdutoEntrega";
            if (unrestricted)
                lookUpUnrestricted(code);
            else if (option == u"mnuEmbalagemDiferente")
                lookUpRestricted(code, QStringLiteral("1"));
            else if (option == u"mnuProdutoDiferente")
                lookUpRestricted(code, QStringLiteral("2"));
            else
                dtsVdProduto->setDataSet(cdsVdProduto);
            takeLookupResult();
            TWorkingSet* result = dtsVdProduto->dataSet();
            if (!result->active() || result->isEmpty()) {
                if (unrestricted)
                    MensErro(msgPadrao->Msg(QStringLiteral("Produto_NCad")));
                // Found at all? Then it breaks the option, which the user is told.
                lookUpUnrestricted(code);
                takeLookupResult();
                if (cdsVdProdEntr->isEmpty())
                    MensErro(msgPadrao->Msg(QStringLiteral("Produto_NCad")));
                if (option == u"mnuEmbalagemDiferente" || option == u"mnuProdutoDiferente")
                    MensErro(msgPadrao->Msg(option));
            } else if (result->fieldByName(u"IDPRODATIVPR")->asString() != u"S") {
                MensErro(msgPadrao->Msg(QStringLiteral("Prod_Inativo")));
            } else {
                edtNmProduto->setText(result->fieldByName(u"NMPRODUTO")->asString());
            }
        }
        Vd_BloqProdSemRelacOL();
    } catch (...) {
        medCdProduto->setFocus();
        throw;
    }
}

void TfrmCadaAuto::medCdProdutoExit() {
    vd_Produto(false);
    stProdOrig.clear();
    stFatoConvOrig.clear();
    stProdEstoOrig.clear();
    if (medCdProduto->Text().isEmpty())
        return;

    // The product every chosen item shares, if they share one.
    const sup::contracts::SelectedItems& items = dm().vaItensSelec;
    cdsProduto->close();
    cdsProduto->createDataSet();
    const qsizetype count = items.count();
    for (qsizetype i = 0; i < count; ++i) {
        const QString product = items.value(4, i).toString();
        if (cdsProduto->isEmpty()) {
            cdsProduto->append();
            cdsProduto->fieldByName(u"CDPRODUTO")->setAsString(product);
            cdsProduto->post();
            stProdOrig = product;
            stFatoConvOrig = QString::number(items.value(7, i).toDouble(), 'g', 15);
            stProdEstoOrig = items.value(8, i).toString();
            if (chbQuantidade->isChecked())
                Vd_VerifProdIgual(stProdOrig, medCdProduto->Text());
        } else if (!cdsProduto->locate(QStringLiteral("CDPRODUTO"), product,
                                       {.caseInsensitive = true})) {
            stProdOrig.clear();
            stFatoConvOrig.clear();
            stProdEstoOrig.clear();
            break;
        }
    }
    if (stProdOrig.isEmpty() &&
        msgPadrao->ShowMsg(QStringLiteral("CONF_PROD"), mtWarning, mbYesNo) != mrYes)
        Abort();

    // The unit adjustment: what one unit of the items is worth in units of the new product.
    double fO = 1, pO = 1, fD = 1, pD = 1;
    if (!stProdOrig.isEmpty()) {
        const double factor = stFatoConvOrig.toDouble();
        fO = factor > 0 ? factor : 1;
        qryPesoUnid->Close();
        qryPesoUnid->ParamByName(QStringLiteral("P_CDPRODUTO")) = stProdEstoOrig;
        qryPesoUnid->Open();
        pO = qryPesoUnid->IsEmpty() ? 1 : orOne(qryPesoUnid->FieldByName(u"VRPESOUNID"), true);
        cdsProdutos->loadFromPacket(
            packetOf(CheckResultServ(calls::GetProdutos(dm().server(), currentItem(u"CDFILIOPELOG"),
                                                        medCdProduto->Text(), QString()),
                                     true, 0)));
        const bool found = !cdsProdutos->isEmpty();
        fD = found ? orOne(cdsProdutos->fieldByName(u"VRFATOCONV"), false) : 1;
        pD = found ? orOne(cdsProdutos->fieldByName(u"VRPESOUNID"), true) : 1;
    }
    // A new product registered with a factor of 0 has no unit to convert to: no unit adjustment
    // is proposed for it.
    nedAjustUn->SetNumber(fD == 0 ? 0 : ((fO * pO) / (fD * pD) - 1) * 100);

    lookUpQuantityAdjustment();

    if (!cdsFiltroSup->isEmpty()) {
        chbConsideraSolClick();
        if (storedOption() == u"mnuProdutoEntrega") {
            chbAtuSoli->setChecked(true);
            chbAtuSoli->setEnabled(true);
        }
    }
}

void TfrmCadaAuto::lookUpQuantityAdjustment() {
    TWorkingSet* adjustments = dm().cdsAjusteQtde;
    const QString newProduct = cdsProdutos->active() && !cdsProdutos->isEmpty()
                                   ? cdsProdutos->fieldByName(u"CDPRODUTO")->asString()
                                   : QString();
    if (adjustments->active() &&
        adjustments->locate(QStringLiteral("CDPRODORIG;CDPRODDEST"),
                            QVariantList{stProdOrig, newProduct}, {.caseInsensitive = true}))
        nedAjustQtde->SetNumber(adjustments->fieldByName(u"VRPEAJQTDSOL")->asFloat());
}

void TfrmCadaAuto::medCdProdutoChange() {
    edtNmProduto->clear();
    nedAjustUn->SetNumber(0);
    nedAjustQtde->SetNumber(0);
}

void TfrmCadaAuto::btpProdutoClick() {
    if (!chbProduto->isChecked()) {
        chbProduto->setChecked(true); // runs its click rule
        chbProdutoClick();
    }
    medCdProduto->setFocus();
    const QString option = storedOption();
    QString restriction;
    if (option.isEmpty() || option == u"mnuProdutoEntrega")
        restriction = QStringLiteral("0");
    else if (option == u"mnuEmbalagemDiferente")
        restriction = QStringLiteral("1");
    else if (option == u"mnuProdutoDiferente")
        restriction = QStringLiteral("2");
    if (!restriction.isEmpty()) {
        TBusyGuard busy(this, aviRecebendo);
        const QString itemProduct = restriction == u"0" ? QString() : currentItem(u"CDPRODUTO");
        cdsPesqProduto->loadFromPacket(packetOf(
            CheckResultServ(calls::GetPesqProduto(dm().server(), currentItem(u"CDFILIOPELOG"),
                                                  itemProduct, QString(), restriction, QString()),
                            true, 0)));
    }
    dtsPesqProduto->setDataSet(cdsPesqProduto);
    if (!Pesquisar(dtsPesqProduto,
                   msgPadrao->Msg(QStringLiteral("PRODUTO")) + u'|' +
                       msgPadrao->Msg(QStringLiteral("N_H_Prod")),
                   false, true))
        return;
    medCdProduto->SetText(cdsPesqProduto->fieldByName(u"CDARVPROD")->asString());
    edtNmProduto->setText(cdsPesqProduto->fieldByName(u"NMPRODUTO")->asString());
    stNewMarca = cdsPesqProduto->fieldByName(u"CDMARCA")->asString();
}

void TfrmCadaAuto::Vd_BloqProdSemRelacOL() {
    const QString branch = currentItem(u"CDFILDEST").left(4);
    QVariant answer;
    if (medCdProduto->Text().isEmpty()) {
        answer = calls::GetBloqProdSemRelacOL(dm().server(), currentItem(u"CDPRODUTO"),
                                              currentItem(u"CDMARCA"), branch);
    } else {
        answer = calls::GetBloqProdSemRelacOL(dm().server(), sup::contracts::byRef(stNewProduto),
                                              currentItem(u"CDMARCA"), branch);
    }
    const QVariantList parts = CheckResultServ(answer, true, 0).toList();
    TdmAltPedidosOL& shared = dm();
    shared.cdsParaSupriOL->loadFromPacket(packetOf(parts.value(0)));
    shared.cdsProdRelacOL->loadFromPacket(packetOf(parts.value(1)));
    if (!shared.cdsParaSupriOL->isEmpty() &&
        shared.cdsParaSupriOL->fieldByName(u"IDBLQLANITSEMRELACOL")->asString() == u"S" &&
        shared.cdsProdRelacOL->isEmpty()) {
        medCdProduto->setFocus();
        MensErro(msgPadrao->Msg(QStringLiteral("Prod_Sem_Relac_OL")));
    }
}

void TfrmCadaAuto::Vd_Quantidade() {
    try {
        if (!(nedQuantidade->GetNumber() > 0)) {
            nedQuantidade->setFocus();
            MensErro(msgPadrao->Msg(QStringLiteral("Quantidade_Zero")));
        }
    } catch (...) {
        nedQuantidade->setFocus();
        throw;
    }
}

void TfrmCadaAuto::Vd_VerifProdIgual(const QString& a, const QString& b) {
    lblObs->setVisible(a == b);
}
