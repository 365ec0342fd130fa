#include "Cli_sup07703/Cli_sup07703.h"

TfrmCadLotEnvioPedOL* frmCadLotEnvioPedOL = nullptr;

namespace sup07700 {
void Cli_sup07703_Initialization() {}
void Cli_sup07703_Finalization() {}
} // namespace sup07700
