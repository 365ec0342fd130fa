#include "Cli_sup07705/Cli_sup07705.h"

#include "Cli_sup07705/TfrmVisCadaAuto.h"

#include "sup/widgetkit/Forms.h"

#include <memory>

TfrmVisCadaAuto* frmVisCadaAuto = nullptr;

namespace sup07700 {
void Cli_sup07705_Initialization() {}
void Cli_sup07705_Finalization() {}
} // namespace sup07700

int CriaVisCadaAuto() {
    const std::unique_ptr<TfrmVisCadaAuto> screen(sup::host::CreateForm<TfrmVisCadaAuto>());
    frmVisCadaAuto = screen.get();
    struct Forget {
        ~Forget() { frmVisCadaAuto = nullptr; }
    } forget;
    return screen->ShowModal();
}
