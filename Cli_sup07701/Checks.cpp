// Checks of the branch grouping and product codes typed into the filter screen.
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"

#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Product.h"

#include <QLineEdit>

using namespace sup::host;
using sup::data::DataPacket;

namespace {

// Runs `check`; on failure puts the focus on `edit` and lets the error travel on.
template <class Check> void focusOnFailure(QWidget* edit, Check check) {
    try {
        check();
    } catch (...) {
        edit->setFocus(Qt::OtherFocusReason);
        throw;
    }
}

} // namespace

void TfrmFiltroAltPedidoOL::medAgrupFilialExit() {
    Vd_AgrupFilial();
}

void TfrmFiltroAltPedidoOL::medProdutoInicialExit() {
    Vd_Produto(medProdutoInicial);
}

void TfrmFiltroAltPedidoOL::medProdutoFinalExit() {
    Vd_Produto(medProdutoFinal);
}

void TfrmFiltroAltPedidoOL::Vd_AgrupFilial() {
    if (EmptyString(medAgrupFilial->Text())) {
        return;
    }
    focusOnFailure(medAgrupFilial, [this] {
        {
            TBusyGuard busy(this, aviRecebendo);
            const QVariant answer =
                sup::contracts::calls::GetAgruFili(sup07700::DataModule().server());
            const QVariant payload = CheckResultServ(answer, true, 0);
            cdsGrupFili->loadFromPacket(payload.value<DataPacket>());
        }
        // The stored form of the code; a change empties the branches of the old grouping.
        const QString adjusted = Ajusta(medAgrupFilial->Text(), 10);
        if (adjusted != medAgrupFilial->Text()) {
            medAgrupFilial->SetText(adjusted);
        }
        if (cdsGrupFili->locate(QStringLiteral("CDGRUPFILI"), adjusted,
                                {.caseInsensitive = true})) {
            edtAgrupFilial->setText(cdsGrupFili->fieldByName(u"NMGRUPFILI")->asString());
        } else {
            MensErro(msgPadrao->Msg(QStringLiteral("AgrupFili_NCAD")), true);
        }
    });
}

void TfrmFiltroAltPedidoOL::Vd_Produto(TMaskEdit* edit) {
    if (EmptyString(edit->Text())) {
        return;
    }
    focusOnFailure(edit, [this, edit] {
        QString code = edit->Text();
        ValidEx(dtsProduto, ptProduto, code, {}, QString(), true);
        const QVariantList product = Dados_Produto(code);
        QLineEdit* name = edit == medProdutoInicial ? edtProdutoInicial : edtProdutoFinal;
        name->setText(product.value(1).toString());
    });
}
