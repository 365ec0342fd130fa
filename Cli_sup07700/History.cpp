// The history of the current item: its id and how it is named go to the routine's data module,
// and the history screen reads the rest from the server.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07706/Cli_sup07706.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Messages.h"

using namespace sup::host;
using sup::data::TField;
using sup::data::TWorkingSet;

void TfrmAltPedidosOL::mnuHistItemClick() {
    const TWorkingSet* item = dm_->cdsItem;
    const TField* id =
        item->active() && !item->isEmpty() ? item->fieldByName(u"CDRASTRITM") : nullptr;
    if (!id || id->isNull()) {
        msgPadrao->ShowMsg(QStringLiteral("Hist_Sem_Item"), mtInformation, mbOK, 0);
        return;
    }
    auto text = [item](const char16_t* field) {
        return item->fieldByName(field)->text().trimmed();
    };
    dm_->nrHistItem = id->asFloat();
    dm_->stHistItem =
        Format(msgPadrao->Msg(QStringLiteral("Hist_Item")),
               {text(u"NRPEDEXOL"), text(u"CDARVPROD"), text(u"NMPRODUTO"), text(u"CDMARCA"),
                text(u"NMMARCA"), text(u"CDFILDEST"), text(u"DTPROGENPEOL")});
    CriaHistItem();
}
