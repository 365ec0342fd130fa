#include "Cli_sup07701/Cli_sup07701.h"

#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"
#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/widgetkit/Forms.h"

TfrmFiltroAltPedidoOL* frmFiltroAltPedidoOL = nullptr;
bool boFilCriado = false;
bool boPrimVez = false;

namespace sup07700 {

QString stFilial;
QString stRegiao;
QString stOL;
TFILTRO Filtro;

void Cli_sup07701_Initialization() {
    boFilCriado = false;
}

void Cli_sup07701_Finalization() {
    Filtro = TFILTRO();
    stFilial.clear();
    stRegiao.clear();
    stOL.clear();
}

} // namespace sup07700

void sup07700::LiberaFiltroAltPedidoOL() {
    if (frmFiltroAltPedidoOL) {
        TfrmFiltroAltPedidoOL* filter = frmFiltroAltPedidoOL;
        frmFiltroAltPedidoOL = nullptr;
        delete filter;
    }
}

int CriaFiltroAltPedidoOL() {
    if (!boFilCriado) {
        if (!frmFiltroAltPedidoOL) {
            frmFiltroAltPedidoOL = sup::host::CreateForm<TfrmFiltroAltPedidoOL>();
        }
        boFilCriado = true;
    }
    // Every reload of the items is the confirm of the filter screen, run on the criteria it
    // holds (hidden between openings).
    if (TdmAltPedidosOL* dm = sup07700::dmAltPedidosOL()) {
        dm->setReload([] {
            if (frmFiltroAltPedidoOL) {
                frmFiltroAltPedidoOL->sbtConfirmaClick();
            }
        });
    }
    return frmFiltroAltPedidoOL->ShowModal();
}
