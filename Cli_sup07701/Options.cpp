// Saved options of the filter screen: the base's controls plus the chosen branches and
// logistics operators.
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"

void TfrmFiltroAltPedidoOL::btfSaveOpcClick() {
    TfrmFiltroPadrao::btfSaveOpcClick();
    setOpcao(QStringLiteral("stFilial"), sup07700::stFilial);
    setOpcao(QStringLiteral("stOL"), sup07700::stOL);
}

void TfrmFiltroAltPedidoOL::btfLoadOpcClick() {
    // The base sets the radios first; their handlers clear the lists, which come back after.
    TfrmFiltroPadrao::btfLoadOpcClick();
    sup07700::stFilial = opcao(QStringLiteral("stFilial"));
    sup07700::stOL = opcao(QStringLiteral("stOL"));
    showChosenKeys();
}
