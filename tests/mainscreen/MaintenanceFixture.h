#pragma once

// The maintenance screen over a seeded database with the reference server in-process: the host
// signed on as the demo operator, the filter that the screen's first activation opens cancelled,
// and the closing that drops whatever a test left pending.

#include "ScreenFixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/Units.h"

#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/DBGrid.h"

#include <QCoreApplication>
#include <QDialog>

#include <memory>

namespace suptest {

// The host for the screen, with the units started.
inline std::unique_ptr<sup::testkit::ScriptedHost> maintenanceHost(const SeededDatabase& db) {
    auto host = std::make_unique<sup::testkit::ScriptedHost>();
    host->setDatabase(db.conn->database());
    host->setVantrel(sup::host::LoadSignOnValues(db.conn->database(), sup::server::kDemoOperator));
    sup::server::useInProcess(db.server, sup::server::kDemoOperator);
    for (const char* name : {"frmFiltroAltPedidoOL", "TfrmFiltroAltPedidoOL"})
        host->onModalAlways(QString::fromLatin1(name),
                            [](QDialog& d) { d.done(sup::host::mrCancel); });
    sup07700::InitializeUnits();
    return host;
}

// Closes the screen when it was created, without the question about pending changes, and stops
// the units.
inline void closeMaintenance() {
    if (boStCriado && frmAltPedidosOL) {
        sup::data::TWorkingSet* items = frmAltPedidosOL->data().cdsItem;
        if (items->active()) {
            frmAltPedidosOL->dbgPadrao->cancelEditor();
            items->cancel();
            items->cancelUpdates();
        }
        frmAltPedidosOL->Close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sup07700::FinalizeUnits();
}

} // namespace suptest
