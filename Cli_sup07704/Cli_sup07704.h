#pragma once

#include "units/Export.h"

class TfrmErroCadaAuto;

extern "C" {
// The error and confirmation dialog of the automatic alteration while it is open.
SUP07700_EXPORT extern TfrmErroCadaAuto* frmErroCadaAuto;

// Creates a new particularity dialog with its question, shows it modally and returns its modal
// result; the answer is left in the routine's data module (stRespMarcaPref). The dialog is
// released when it closes.
SUP07700_EXPORT int CriaErroCadaAuto();
}

namespace sup07700 {
void Cli_sup07704_Initialization();
void Cli_sup07704_Finalization();
} // namespace sup07700
