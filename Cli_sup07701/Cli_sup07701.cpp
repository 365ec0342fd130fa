#include "Cli_sup07701/Cli_sup07701.h"

#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"

#include "sup/contracts/host/Forms.h"

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

int CriaFiltroAltPedidoOL() {
    if (!boFilCriado) {
        if (!frmFiltroAltPedidoOL) {
            frmFiltroAltPedidoOL = sup::host::CreateForm<TfrmFiltroAltPedidoOL>();
        }
        boFilCriado = true;
    }
    return frmFiltroAltPedidoOL->ShowModal();
}
