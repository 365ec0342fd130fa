#pragma once

#include "units/Export.h"

class TfrmCadLotEnvioPedOL;

extern "C" {
// The dispatch batch registration screen while it is open.
SUP07700_EXPORT extern TfrmCadLotEnvioPedOL* frmCadLotEnvioPedOL;

// Creates a new dispatch batch registration screen, shows it modally and returns its modal
// result; the screen is released when it closes.
SUP07700_EXPORT int CriaCadLotEnvioPedOL();
}

namespace sup07700 {
void Cli_sup07703_Initialization();
void Cli_sup07703_Finalization();
} // namespace sup07700
