#include "Cli_sup07702/Cli_sup07702.h"

#include "Cli_sup07702/TfrmCadaAuto.h"

#include "sup/widgetkit/Forms.h"

#include <memory>

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

int CriaCadaAuto() {
    // A new screen at every launch; it is gone when it closes.
    std::unique_ptr<TfrmCadaAuto> screen(sup::host::CreateForm<TfrmCadaAuto>());
    frmCadaAuto = screen.get();
    struct Forget {
        ~Forget() { frmCadaAuto = nullptr; }
    } forget;
    return screen->ShowModal();
}
