#pragma once

#include "units/Export.h"

class TfrmCadLotEnvioPedOL;

extern "C" {
// The dispatch batch registration screen.
SUP07700_EXPORT extern TfrmCadLotEnvioPedOL* frmCadLotEnvioPedOL;
}

namespace sup07700 {
void Cli_sup07703_Initialization();
void Cli_sup07703_Finalization();
} // namespace sup07700
