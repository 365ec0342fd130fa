#pragma once

#include "units/Export.h"

#include <QString>

class TfrmCadaAuto;

extern "C" {
// The automatic alteration screen.
SUP07700_EXPORT extern TfrmCadaAuto* frmCadaAuto;
// Product code and brand code chosen as replacement in the automatic alteration.
SUP07700_EXPORT extern QString stNewProduto;
SUP07700_EXPORT extern QString stNewMarca;
// Available logistics-operator stock of the chosen replacement.
SUP07700_EXPORT extern double doEst_Disp;
// Kept for the host's sake; the module itself does not use it.
SUP07700_EXPORT extern QString stEst_Disp;

// Creates a new automatic alteration screen, shows it modally and returns its modal result.
SUP07700_EXPORT int CriaCadaAuto();
}

namespace sup07700 {
void Cli_sup07702_Initialization();
void Cli_sup07702_Finalization();
} // namespace sup07700
