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

#include <QMenu>

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

void TfrmAltPedidosOL::btnReservaOLClick() {
    const QPoint corner = btnReservaOL->mapToGlobal(QPoint(0, btnReservaOL->height()));
    pmnCadastro1->popup(corner);
}

// Includes ("I") or excludes ("E") the reservation of the marked items that take part in it.
void TfrmAltPedidosOL::Excl_Incl_Reserva(const QString& operation) {
    if (!unsavedEditsMayGo())
        return;
    TWorkingSet* item = dm_->cdsItem;
    TWorkingSet* request = dm_->cdsReserva;
    const bool authorised = dm_->cdsAutGruPop->active() && !dm_->cdsAutGruPop->isEmpty();
    const bool include = operation == u"I";
    bool reload = false;
    {
        TBusyGuard busy(this, aviGravando);
        item->disableControls();
        try {
            item->first();
            request->close();
            request->createDataSet();
            auto text = [item](const char16_t* f) {
                return item->fieldByName(f)->asString();
            };
            auto real = [item](const char16_t* f) {
                return item->fieldByName(f)->asFloat();
            };
            for (; !item->eof(); item->next()) {
                if (text(u"CALC") != u"S" || (text(u"IDITMPEDOLBLOQ") != u"N" && !authorised) ||
                    text(u"IDUTRESPEDEXOL") != u"S" || text(u"IDITEMAJUSTE") != u"N")
                    continue;
                if (include ? real(u"QTPROGENPEOL") == real(u"QTRESERVESTOL")
                            : !(real(u"QTRESERVESTOL") > 0))
                    continue;
                request->append();
                for (const char16_t* f :
                     {u"CDPRODUTO", u"NRPEDEXOL", u"CDFILLANC", u"CDMARCA", u"CDFILIOPELOG"})
                    request->fieldByName(f)->setAsString(text(f));
                request->fieldByName(u"CDFILDEST")->setAsString(text(u"CDFILDEST").left(4));
                for (const char16_t* f : {u"DTPROGENPEOL", u"DTPROGEMBARQ"})
                    request->fieldByName(f)->setValue(item->fieldByName(f)->value());
                request->fieldByName(u"QTPROGENPEOL")->setAsFloat(real(u"QTPROGENPEOL"));
                request->fieldByName(u"QTRESERVESTOL")
                    ->setAsFloat(include ? real(u"QTPROGENPEOL") : real(u"QTRESERVESTOL"));
                request->fieldByName(u"OPERACAO")->setAsString(operation);
                request->post();
            }
            if (request->isEmpty()) {
                busy.hide();
                msgPadrao->ShowMsg(QStringLiteral("Cad_N"), mtInformation, mbOK, 0);
            } else {
                const bool served = resultAsBoolean(CheckResultServ(
                    sup::contracts::calls::SetReserva(dm_->server(), request->data()), true, 0));
                item->mergeChangeLog();
                busy.hide();
                const QString key = served    ? QStringLiteral("OK")
                                    : include ? QStringLiteral("Cad_N_Inc")
                                              : QStringLiteral("Item_N");
                msgPadrao->ShowMsg(key, mtInformation, mbOK, 0);
                reload = true;
            }
        } catch (...) {
            // Nothing was saved: the marks and edits stay for another try.
            item->first();
            item->enableControls();
            throw;
        }
        // Nothing left to keep: the list is reloaded, or nothing qualified and the marks go.
        item->cancelUpdates();
        item->first();
        item->enableControls();
    }
    if (reload) {
        sbtVerificarClick();
        dm_->cdsAuxItem->loadFromPacket(item->data());
    }
    Habilita();
}
