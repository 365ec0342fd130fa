// The preview of the automatic alteration: the confirmation's checks and arguments, sent to
// VisAltAtuItem, and the answer shown by the preview screen through the routine's data module.
#include "Cli_sup07702/Cli_sup07702.h"
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Cli_sup07702/Values.h"
#include "Cli_sup07705/Cli_sup07705.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

using namespace sup::host;
namespace calls = sup::contracts::calls;

void TfrmCadaAuto::btnVisualizarClick() {
    // The product the checks look up is not kept: the confirmation finds it as it would have
    // without the preview (a product picked from the list stays picked).
    struct Keep {
        QString product = stNewProduto, brand = stNewMarca;
        ~Keep() {
            stNewProduto = product;
            stNewMarca = brand;
        }
    } keep;
    const AlterationInputs in = checkInputs();
    calls::AltAtuItemArgs a = alterationArgs(in);
    sup::data::DataPacket rows;
    {
        TBusyGuard busy(this, aviRecebendo, msgPadrao->Msg(QStringLiteral("Visualizando")));
        rows = sup07700::cadaauto::packetOf(
            CheckResultServ(calls::VisAltAtuItem(dm().server(), a), true, 0));
    }
    dm().cdsVisAltAtuItem->loadFromPacket(rows);
    CriaVisCadaAuto();
}
