#pragma once

#include "units/Export.h"

#include <QString>

class TfrmFiltroAltPedidoOL;

// Product codes of the last confirmed filter, as typed.
struct TProduto {
    QString CdProdIni;
    QString CdProdFim;
};

// Dates (day numbers, 0 = empty) and product codes of the last confirmed filter.
struct TFILTRO {
    double DtEmisIni = 0;
    double DtEmisFim = 0;
    double DtEntrIni = 0;
    double DtEntrFim = 0;
    double DtEmbIni = 0;
    double DtEmbFim = 0;
    TProduto Produto;
    double DtBloqIni = 0;
    double DtBloqFim = 0;
    double DtNBloqIni = 0;
    double DtNBloqFim = 0;
};

extern "C" {
// The one filter screen, kept (hidden) between uses.
SUP07700_EXPORT extern TfrmFiltroAltPedidoOL* frmFiltroAltPedidoOL;
// The filter screen is in use (set on opening, cleared when it closes).
SUP07700_EXPORT extern bool boFilCriado;
// The filter screen has not been activated since it was created.
SUP07700_EXPORT extern bool boPrimVez;

// Shows the filter screen modally (creating it on first use) and returns its modal result.
SUP07700_EXPORT int CriaFiltroAltPedidoOL();
}

namespace sup07700 {
// Criteria remembered for the life of the loaded module.
SUP07700_HIDDEN extern QString stFilial; // key list of the chosen destination branches
SUP07700_HIDDEN extern QString stRegiao; // key list of the chosen regions; "T" for all
SUP07700_HIDDEN extern QString stOL;     // key list of the chosen logistics operators
SUP07700_HIDDEN extern TFILTRO Filtro;   // dates and product codes of the last filter

// Destroys the filter screen, if one exists, and clears its reference (the maintenance screen's
// close).
void LiberaFiltroAltPedidoOL();

void Cli_sup07701_Initialization();
void Cli_sup07701_Finalization();
} // namespace sup07700
