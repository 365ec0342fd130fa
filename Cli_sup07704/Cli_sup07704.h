#pragma once

#include "units/Export.h"

class TfrmErroCadaAuto;

extern "C" {
// The error and confirmation dialog of the automatic alteration.
SUP07700_EXPORT extern TfrmErroCadaAuto* frmErroCadaAuto;
}

namespace sup07700 {
void Cli_sup07704_Initialization();
void Cli_sup07704_Finalization();
} // namespace sup07700
