// The batch check, the picker, the confirmation and the sending of the marked items' batch.
#include "Cli_sup07703/TfrmCadLotEnvioPedOL.h"
#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/host/Vantrel.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::TWorkingSet;

namespace {

// The places of a batch code.
constexpr int kBatchPlaces = 10;

} // namespace

void TfrmCadLotEnvioPedOL::btpLoteEnvioPedOLBeforePesq() {
    TdmAltPedidosOL& dm = sup07700::DataModule();
    TBusyGuard busy(this, aviRecebendo);
    QString all = QStringLiteral("T");
    const QVariant answer = sup::contracts::calls::GetVd_LotePedOL(dm.server(), all);
    dm.cds_VdLotePedOL->loadFromPacket(CheckResultServ(answer, true, 0).value<DataPacket>());
}

void TfrmCadLotEnvioPedOL::btpLoteEnvioPedOLAfterPesq() {
    const TWorkingSet* batches = sup07700::DataModule().cds_VdLotePedOL;
    // The code first: its change empties the name.
    medLoteEnvioPedOL->SetText(batches->fieldByName(u"CDLOTENVITOL")->asString());
    edtNmLoteEnvioPedOL->setText(batches->fieldByName(u"NMLOTENVITOL")->asString());
}

void TfrmCadLotEnvioPedOL::medLoteEnvioPedOLChange() {
    edtNmLoteEnvioPedOL->clear();
}

void TfrmCadLotEnvioPedOL::medLoteEnvioPedOLExit() {
    // Leaving for the cancel button gives the screen up: no check stands in the way.
    if (QApplication::focusWidget() == sbtCancel)
        return;
    Vd_LotEnvPedOL();
}

void TfrmCadLotEnvioPedOL::Vd_LotEnvPedOL() {
    if (EmptyString(medLoteEnvioPedOL->Text()))
        return;
    try {
        TdmAltPedidosOL& dm = sup07700::DataModule();
        TWorkingSet* batches = dm.cds_VdLotePedOL;
        {
            TBusyGuard busy(this, aviRecebendo);
            QString code = Ajusta(medLoteEnvioPedOL->Text(), kBatchPlaces);
            medLoteEnvioPedOL->SetText(code);
            const QVariant answer = sup::contracts::calls::GetVd_LotePedOL(dm.server(), code);
            batches->loadFromPacket(CheckResultServ(answer, true, 0).value<DataPacket>());
        }
        if (batches->isEmpty())
            MensErro(msgPadrao->Msg(QStringLiteral("LotEnvi_NCAD")), true);
        edtNmLoteEnvioPedOL->setText(batches->fieldByName(u"NMLOTENVITOL")->asString());
    } catch (...) {
        medLoteEnvioPedOL->setFocus(Qt::OtherFocusReason);
        throw;
    }
}

void TfrmCadLotEnvioPedOL::sbtConfirmaClick() {
    TfrmRotiGeral::sbtConfirmaClick();
    Vd_LotEnvPedOL();
    const QString code = medLoteEnvioPedOL->Text();
    if (EmptyString(code)) {
        if (msgPadrao->ShowMsg(QStringLiteral("Conf_Exc"), mtConfirmation, mbYesNo) == mrYes)
            CadLoteEnvPedOL(QStringLiteral("E"));
        return;
    }
    const QString question = Format(msgPadrao->Msg(QStringLiteral("Conf_Cad")),
                                    {code + u' ' + edtNmLoteEnvioPedOL->text()});
    const QStringList buttons{msgPadrao->Msg(QStringLiteral("BOTAO1")),
                              msgPadrao->Msg(QStringLiteral("BOTAO2"))};
    if (MsgAlert(question, mtConfirmation, buttons, 1) == kFirstCaptionedAnswer)
        CadLoteEnvPedOL(QStringLiteral("A"));
}

void TfrmCadLotEnvioPedOL::CadLoteEnvPedOL(const QString& mode) {
    TdmAltPedidosOL& dm = sup07700::DataModule();
    TWorkingSet* item = dm.cdsItem;
    TWorkingSet* request = dm.cdsCadLoteEnvPedOL;
    const bool remove = mode == u"E";
    const QString batch = remove ? QString() : medLoteEnvioPedOL->Text().trimmed();
    bool sent = false;
    {
        TBusyGuard busy(this, aviGravando);
        // The grid of the maintenance screen stands still while the items are read.
        struct Freeze {
            TWorkingSet* set;
            explicit Freeze(TWorkingSet* s)
                : set(s) {
                set->disableControls();
            }
            ~Freeze() { set->enableControls(); }
        } freeze(item);

        request->close();
        request->createDataSet();
        // Read by position: the user's current item stays where it is.
        auto column = [item](const char16_t* name) {
            return item->fieldIndex(name);
        };
        const int calc = column(u"CALC"), itemBatch = column(u"CDLOTENVITOL"),
                  dest = column(u"CDFILDEST"), date = column(u"DTPROGENPEOL");
        const char16_t* const copied[] = {u"CDFILLANC", u"NRPEDEXOL", u"CDMARCA", u"CDPRODUTO",
                                          u"CDFILIOPELOG"};
        for (int p = 0, n = item->recordCount(); p < n; ++p) {
            if (item->valueAt(p, calc).toString() != u"S")
                continue;
            const QString current = item->valueAt(p, itemBatch).toString().trimmed();
            if (remove ? current.isEmpty() : current == batch)
                continue;
            request->append();
            request->fieldByName(u"CDFILDEST")
                ->setAsString(item->valueAt(p, dest).toString().left(4));
            for (const char16_t* f : copied)
                request->fieldByName(f)->setAsString(item->valueAt(p, column(f)).toString());
            request->fieldByName(u"DTPROGENPEOL")->setValue(item->valueAt(p, date));
            request->fieldByName(u"CDLOTENVITOL")->setAsString(batch);
            request->post();
        }
        if (!request->isEmpty()) {
            CheckResultServ(sup::contracts::calls::SetCadLoteEnvPedOL(dm.server(), request->data(),
                                                                      Vantrel().Operador),
                            true, 0);
            request->mergeChangeLog();
            sent = true;
        }
    }
    if (!sent) {
        msgPadrao->ShowMsg(QStringLiteral("Cad_N"), mtInformation, mbOK, 0);
        return;
    }
    msgPadrao->ShowMsg(QStringLiteral("OK"), mtInformation, mbOK, 0);
    setModalResult(mrOk);
}
