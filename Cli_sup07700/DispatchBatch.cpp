// The dispatch batch of the marked items: its screen, and the reload that brings the new batches
// into the grid.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07703/Cli_sup07703.h"

#include <exception>

void TfrmAltPedidosOL::btnLoteEnvOLClick() {
    // The reload that follows the screen drops unsaved edits: the user says whether they may go.
    if (!unsavedEditsMayGo())
        return;
    std::exception_ptr failure;
    try {
        CriaCadLotEnvioPedOL();
    } catch (...) {
        failure = std::current_exception();
    }
    // Whatever happened there, cancel included, the grid shows the items as they now are.
    try {
        sbtVerificarClick();
    } catch (...) {
        Habilita();
        throw;
    }
    Habilita();
    if (failure)
        std::rethrow_exception(failure);
}

void TfrmAltPedidosOL::mnuEnvPedOLClick() {
    btnLoteEnvOLClick();
}
