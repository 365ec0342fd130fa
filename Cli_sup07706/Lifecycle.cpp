// The reading of the item's history and the screen's activation.
#include "Cli_sup07706/TfrmHistItem.h"

#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/ServerResult.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Messages.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>

using namespace sup::host;
using sup::contracts::EServerError;
using sup::data::DataPacket;

void TfrmHistItem::loadHistory() {
    TdmAltPedidosOL& dm = sup07700::DataModule();
    lblItem->setText(dm.stHistItem);
    DataPacket rows;
    {
        TBusyGuard busy(this, aviRecebendo, msgPadrao->Msg(QStringLiteral("Lendo_Hist")));
        QString failure;
        try {
            const QVariant answer = sup::contracts::CheckResultServ(
                sup::contracts::calls::GetHistItem(dm.server(), dm.nrHistItem), true, 0);
            if (answer.canConvert<DataPacket>())
                rows = answer.value<DataPacket>();
            else
                failure = msgPadrao->Msg(QStringLiteral("Resp_Invalida"));
        } catch (const EServerError& e) {
            failure = e.message();
        }
        busy.hide();
        if (!failure.isEmpty())
            MensErro(Format(msgPadrao->Msg(QStringLiteral("Erro_Hist")), {failure}));
    }
    dm.cdsHistItem->loadFromPacket(rows);
    if (sup::data::TField* when = dm.cdsHistItem->findField(QStringLiteral("DTEVENTO")))
        when->OnGetText = [](const sup::data::TField& f, bool) {
            return f.isNull()
                       ? QString()
                       : f.value().toDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        };
    dm.cdsHistItem->first();
    showColumns();
    showCount();
}

void TfrmHistItem::showCount() {
    const sup::data::TWorkingSet* set = dtsHistorico->dataSet();
    const qsizetype n = set && set->active() ? set->recordCount() : 0;
    if (n == 0)
        lblContagem->setText(msgPadrao->Msg(QStringLiteral("Sem_Hist")));
    else if (n == 1)
        lblContagem->setText(msgPadrao->Msg(QStringLiteral("Uma_Hist")));
    else
        lblContagem->setText(Format(msgPadrao->Msg(QStringLiteral("Qtde_Hist")),
                                    {QLocale(QLocale::Portuguese, QLocale::Brazil).toString(n)}));
}

void TfrmHistItem::FormActivate() {
    TfrmRotiGeral::FormActivate();
    dbgHistorico->setFocus();
}
