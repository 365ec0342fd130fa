#include "Cli_sup07703/Cli_sup07703.h"

#include "Cli_sup07703/TfrmCadLotEnvioPedOL.h"

#include "sup/widgetkit/Forms.h"

#include <memory>

TfrmCadLotEnvioPedOL* frmCadLotEnvioPedOL = nullptr;

namespace sup07700 {
void Cli_sup07703_Initialization() {}
void Cli_sup07703_Finalization() {}
} // namespace sup07700

int CriaCadLotEnvioPedOL() {
    const std::unique_ptr<TfrmCadLotEnvioPedOL> screen(
        sup::host::CreateForm<TfrmCadLotEnvioPedOL>());
    frmCadLotEnvioPedOL = screen.get();
    struct Forget {
        ~Forget() { frmCadLotEnvioPedOL = nullptr; }
    } forget;
    return screen->ShowModal();
}
