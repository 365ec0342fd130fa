#pragma once

#include "units/Export.h"

class TfrmHistItem;

extern "C" {
// The item history screen while it is open.
SUP07700_EXPORT extern TfrmHistItem* frmHistItem;

// Shows the history of the item the routine's data module names (nrHistItem, stHistItem): reads
// its audit rows from the server, then shows them modally and returns the modal result. When the
// read fails the user is told why and nothing opens. The screen is released when it closes.
SUP07700_EXPORT int CriaHistItem();
}

namespace sup07700 {
void Cli_sup07706_Initialization();
void Cli_sup07706_Finalization();
} // namespace sup07700
