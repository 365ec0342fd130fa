// The new delivery date of the automatic alteration: the date itself, the destination branch's
// purchase calendar (unless the operator's group is exempt from it), and how the date drives
// "Atualizar Solicitação".
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

#include <QCheckBox>
#include <QLineEdit>

using namespace sup::host;

void TfrmCadaAuto::vd_DtEntrega() {
    try {
        if (depEntrega->IsEmpty())
            MensErro(msgPadrao->Msg(QStringLiteral("DtEnt_N_Inf")));
        depEntrega->CheckValidDate();
    } catch (...) {
        depEntrega->setFocus();
        throw;
    }
}

void TfrmCadaAuto::vd_Periodicidade() {
    const bool typed = chbProduto->isChecked();
    QString treeCode = typed ? medCdProduto->Text() : currentItem(u"CDARVPROD");
    const QString name = typed ? edtNmProduto->text() : currentItem(u"NMPRODUTO");
    const QString branch = currentItem(u"CDFILDEST").left(4);

    qryCentCmp->Close();
    qryCentCmp->ParamByName(QStringLiteral("P_CDFILIAL")) = branch;
    qryCentCmp->Open();
    // The exempt groups are registered under characters 2 to 4 of the central branch's code.
    const QString central =
        qryCentCmp->IsEmpty() ? QString() : qryCentCmp->FieldByName(u"CDFILIAL")->asString();
    qryParamPeriodicidade->Close();
    qryParamPeriodicidade->ParamByName(QStringLiteral("P_CDFILIAL")) = central.mid(1, 4);
    qryParamPeriodicidade->Open();
    if (qryParamPeriodicidade->IsEmpty())
        return;
    qryGrupoOperForaPeri->Close();
    qryGrupoOperForaPeri->ParamByName(QStringLiteral("P_CDOPERADOR")) = Vantrel().Operador;
    qryGrupoOperForaPeri->Open();
    if (!qryGrupoOperForaPeri->IsEmpty())
        return;

    QString refused;
    {
        TBusyGuard busy(this, aviRecebendo);
        refused = CheckResultServ(sup::contracts::calls::Carrega_PeriFili(
                                      dm().server(), branch, treeCode, depEntrega->Date()),
                                  true, 1)
                      .toString();
    }
    if (refused == u"S")
        MensErro(Format(msgPadrao->Msg(QStringLiteral("ERRO")), {branch, name}));
}

void TfrmCadaAuto::depEntregaChange() {
    if (!cdsFiltroSup->isEmpty() && chbEntrega->isChecked()) {
        chbAtuSoli->setEnabled(true);
        chbAtuSoli->setChecked(true);
    }
}

void TfrmCadaAuto::depEntregaExit() {
    depEntrega->CheckValidDateOnExit();
    if (chbEntrega->isChecked() && depEntrega->GetDate() != 0) {
        chbAtuSoli->setChecked(true);
        chbAtuSoli->setEnabled(true);
    }
}
