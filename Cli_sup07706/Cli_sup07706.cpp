#include "Cli_sup07706/Cli_sup07706.h"

#include "Cli_sup07706/TfrmHistItem.h"

#include "sup/widgetkit/Forms.h"

#include <memory>

TfrmHistItem* frmHistItem = nullptr;

namespace sup07700 {
void Cli_sup07706_Initialization() {}
void Cli_sup07706_Finalization() {}
} // namespace sup07700

int CriaHistItem() {
    const std::unique_ptr<TfrmHistItem> screen(sup::host::CreateForm<TfrmHistItem>());
    frmHistItem = screen.get();
    struct Forget {
        ~Forget() { frmHistItem = nullptr; }
    } forget;
    screen->loadHistory();
    return screen->ShowModal();
}
