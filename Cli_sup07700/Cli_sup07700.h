#pragma once

#include "units/Export.h"

class TfrmAltPedidosOL;

extern "C" {
// The one order item maintenance screen.
SUP07700_EXPORT extern TfrmAltPedidosOL* frmAltPedidosOL;
// The maintenance screen exists.
SUP07700_EXPORT extern bool boStCriado;
// The next click on the title of the marker column unmarks every item (true) or marks every
// item (false).
SUP07700_EXPORT extern bool boTodos;

// Creates the maintenance screen when it does not exist and shows it as a child window of the
// host's main window, restored if it was minimised.
SUP07700_EXPORT void CriaAltPedidosOL();
}

namespace sup07700 {
void Cli_sup07700_Initialization();
void Cli_sup07700_Finalization();
} // namespace sup07700
