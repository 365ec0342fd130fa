#include "Cli_sup07702/Cli_sup07702.h"

TfrmCadaAuto* frmCadaAuto = nullptr;
QString stNewProduto;
QString stNewMarca;
double doEst_Disp = 0;
QString stEst_Disp;

namespace sup07700 {

void Cli_sup07702_Initialization() {}

void Cli_sup07702_Finalization() {
    stNewMarca.clear();
    stEst_Disp.clear();
    stNewProduto.clear();
}

} // namespace sup07700
