#pragma once

#include "units/Export.h"

class TfrmVisCadaAuto;

extern "C" {
// The preview of the automatic alteration while it is open.
SUP07700_EXPORT extern TfrmVisCadaAuto* frmVisCadaAuto;

// Creates a new preview screen over the routine's data module (cdsVisAltAtuItem), shows it
// modally and returns its modal result. The screen is released when it closes.
SUP07700_EXPORT int CriaVisCadaAuto();
}

namespace sup07700 {
void Cli_sup07705_Initialization();
void Cli_sup07705_Finalization();
} // namespace sup07700
