#include "Cli_sup07704/Cli_sup07704.h"

#include "Cli_sup07704/TfrmErroCadaAuto.h"

#include "sup/widgetkit/Forms.h"
#include "sup/widgetkit/Messages.h"

#include <QLabel>

#include <memory>

TfrmErroCadaAuto* frmErroCadaAuto = nullptr;

namespace sup07700 {
void Cli_sup07704_Initialization() {}
void Cli_sup07704_Finalization() {}
} // namespace sup07700

int CriaErroCadaAuto() {
    const std::unique_ptr<TfrmErroCadaAuto> dialog(sup::host::CreateForm<TfrmErroCadaAuto>());
    frmErroCadaAuto = dialog.get();
    struct Forget {
        ~Forget() { frmErroCadaAuto = nullptr; }
    } forget;
    dialog->lblErro->setText(dialog->msgPadrao->Msg(QStringLiteral("CdMarca_pref")));
    return dialog->ShowModal();
}
