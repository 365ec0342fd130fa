#pragma once

// The maintenance screen over the seeded local database and a scripted server: the host signed
// on as the demo operator, the OL parameters answered, the screen created (its filter not shown)
// with four items loaded. Items are changed with the item rules standing aside (tag 99 of the
// snapshot), as a marking pass does, so a test reaches the state it needs directly.

#include "ScreenFixture.h"

#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/Forms.h"
#include "sup/widgetkit/Guard.h"
#include "units/Units.h"

#include <QCoreApplication>

#include <functional>

#include <memory>

namespace suptest {

struct ScriptedScreen {
    explicit ScriptedScreen(const SeededDatabase& db) {
        host = std::make_unique<sup::testkit::ScriptedHost>();
        host->setDatabase(db.conn->database());
        host->setVantrel(
            sup::host::LoadSignOnValues(db.conn->database(), sup::server::kDemoOperator));
        sup07700::InitializeUnits();
        server = std::make_unique<sup::testkit::ScriptedServer>();
        server->install();
        sup::data::DataPacketBuilder ol(sup::contracts::parametroOLFields());
        ol.appendRow({QStringLiteral("N"), QStringLiteral("01"), QStringLiteral("0103")});
        server->answer(QStringLiteral("GetParametroOL"), QVariant::fromValue(ol.finish()));
        screen = sup::host::CreateForm<TfrmAltPedidosOL>();
        items().loadFromPacket(itemPacket(4));
    }
    ~ScriptedScreen() {
        delete screen;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        sup07700::FinalizeUnits();
        server.reset();
        host.reset();
    }
    ScriptedScreen(const ScriptedScreen&) = delete;
    ScriptedScreen& operator=(const ScriptedScreen&) = delete;

    sup::data::TWorkingSet& items() const { return *screen->data().cdsItem; }

    // Writes fields of an item with the item rules standing aside.
    void put(int position, const QVariantMap& values) const {
        sup::data::TWorkingSet* aux = screen->data().cdsAuxItem;
        aux->setTag(99);
        items().moveTo(position);
        items().edit();
        for (auto v = values.begin(); v != values.end(); ++v)
            items().fieldByName(v.key())->setValue(v.value());
        items().post();
        aux->setTag(0);
    }
    void mark(int position) const {
        put(position, {{QStringLiteral("CALC"), QStringLiteral("S")}});
    }

    // Opens the automatic alteration and runs `script` on it; returns the modal result the screen
    // closed with (0 when the script left it open; it is cancelled then).
    int launchAutomatic(const std::function<void(TfrmCadaAuto&)>& script) const {
        int result = -1;
        host->onModal(QStringLiteral("frmCadaAuto"), [&](QDialog& d) {
            auto& a = static_cast<TfrmCadaAuto&>(d);
            script(a);
            result = a.ModalResult();
            if (result == 0)
                d.done(sup::host::mrCancel);
        });
        sup::host::Guarded([this] { screen->sbtAutomaticoClick(); });
        return result;
    }

    std::unique_ptr<sup::testkit::ScriptedHost> host;
    std::unique_ptr<sup::testkit::ScriptedServer> server;
    TfrmAltPedidosOL* screen = nullptr;
};

} // namespace suptest
