#include "Cli_sup07700/Cli_sup07700.h"

#include "Cli_sup07700/TfrmAltPedidosOL.h"

#include "sup/contracts/host/Host.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Forms.h"

#include <QMdiArea>
#include <QMdiSubWindow>

TfrmAltPedidosOL* frmAltPedidosOL = nullptr;
bool boStCriado = false;
bool boTodos = true;

namespace sup07700 {

void Cli_sup07700_Initialization() {
    boStCriado = false;
}

void Cli_sup07700_Finalization() {}

} // namespace sup07700

namespace {

// Shows the screen as a child window of the host's main window (its MDI area), restored when
// it was minimised; without an MDI area (tests) as a window of its own.
void showChild(QWidget* screen) {
    QWidget* main = sup::host::Host::current() ? sup::host::Host::current()->mainWindow() : nullptr;
    QMdiArea* area = main ? main->findChild<QMdiArea*>() : nullptr;
    if (!area) {
        screen->showNormal();
        screen->raise();
        return;
    }
    auto* sub = qobject_cast<QMdiSubWindow*>(screen->parentWidget());
    if (!sub) {
        const QSize size = screen->size();
        sub = area->addSubWindow(screen);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(size + QSize(8, 30));
        // A screen released by its own close takes its child window with it.
        QObject::connect(screen, &QObject::destroyed, sub, &QMdiSubWindow::close);
    }
    sub->showNormal();
    area->setActiveSubWindow(sub);
}

} // namespace

void CriaAltPedidosOL() {
    sup::host::THourGlass hourGlass;
    if (!boStCriado) {
        frmAltPedidosOL = sup::host::CreateForm<TfrmAltPedidosOL>();
        boStCriado = true;
        // The reference does not outlive the screen it names.
        QObject::connect(frmAltPedidosOL, &QObject::destroyed, [screen = frmAltPedidosOL] {
            if (frmAltPedidosOL == screen) {
                frmAltPedidosOL = nullptr;
            }
        });
    }
    showChild(frmAltPedidosOL);
}
