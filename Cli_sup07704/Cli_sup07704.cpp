#include "Cli_sup07704/Cli_sup07704.h"

TfrmErroCadaAuto* frmErroCadaAuto = nullptr;

namespace sup07700 {
void Cli_sup07704_Initialization() {}
void Cli_sup07704_Finalization() {}
} // namespace sup07700
