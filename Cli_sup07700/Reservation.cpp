// Stock reservation: the check of an edited reservation item's new quantity.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Query.h"

using namespace sup::host;
using sup::data::DataSetState;
using sup::data::TField;
using sup::data::TWorkingSet;

// Only a reservation item being edited, whose new quantity is positive and differs from the
// loaded one, asks the server; what it tells is shown and the post goes on.
void TfrmAltPedidosOL::VdReserva() {
    TWorkingSet* item = dm_->cdsItem;
    const TField* qty = item->fieldByName(u"QTPROGENPEOL");
    const QVariant loaded = qty->oldValue();
    if (item->fieldByName(u"IDUTRESPEDEXOL")->asString() != u"S" ||
        item->state() != DataSetState::Edit || !(qty->asFloat() > 0) ||
        (loaded.isValid() && loaded.toDouble() == qty->asFloat()))
        return;

    QVariantList flags;
    {
        TBusyGuard busy(this, aviRecebendo);
        TADOIBQuery* q = dm_->qryFiliCent;
        q->Close();
        q->ParamByName(QStringLiteral("P_CDFILIAL")) = Vantrel().FiliProc;
        q->Open();
        QString central = q->IsEmpty() ? QString() : q->FieldByName(u"CDFILCENTCMP")->asString();
        central = central.left(4);
        auto text = [item](const char16_t* f) {
            return item->fieldByName(f)->asString();
        };
        const QVariant answer = sup::contracts::calls::GetVdReserva(
            dm_->server(), text(u"CDFILDEST"), text(u"CDFILLANC"), text(u"NRPEDEXOL"),
            text(u"CDPRODUTO"), text(u"CDMARCA"),
            item->fieldByName(u"DTPROGENPEOL")->asDateTime().date(),
            item->fieldByName(u"DTPROGEMBARQ")->asDateTime().date(), text(u"CDFILIOPELOG"), central,
            qty->asFloat());
        flags = CheckResultServ(answer, true, 0).toList();
    }
    if (flags.size() < 4)
        throw EHostError(QString::fromUtf8("A resposta do servidor à verificação da reserva "
                                           "não veio no formato esperado."));
    if (resultAsBoolean(flags[3]))
        MensErro(msgPadrao->Msg(QStringLiteral("Erro_Estoq")), false);
    else if (resultAsBoolean(flags[0]))
        MensErro(msgPadrao->Msg(QStringLiteral("Erro_Relac")), false);
}
