#pragma once

// Helpers shared by the filter screen's suites.

#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"

#include "sup/data/DataPacket.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Guard.h"

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace suptest {

// The filter screen a modal script receives.
inline TfrmFiltroAltPedidoOL& asFilterScreen(QDialog& d) {
    auto* s = qobject_cast<TfrmFiltroAltPedidoOL*>(&d);
    if (!s) {
        qFatal("the modal screen is not the filter screen");
    }
    return *s;
}

// Opens the filter through its creator and runs `script` while it is shown; a screen the
// script leaves open is cancelled afterwards. Returns the modal result (-1 when the creator
// failed).
inline int openFilterWith(sup::testkit::ScriptedHost& host,
                          const std::function<void(TfrmFiltroAltPedidoOL&)>& script) {
    host.onModal(QStringLiteral("frmFiltroAltPedidoOL"), [&](QDialog& d) {
        script(asFilterScreen(d));
        if (d.isVisible()) {
            asFilterScreen(d).sbtCancel->click();
        }
    });
    int result = -1;
    sup::host::Guarded([&] { result = CriaFiltroAltPedidoOL(); });
    return result;
}

// The answer of GetParaSupri: the supply parameters of the purchasing branch.
inline sup::data::DataPacket paraSupriPacket(const QString& group = QStringLiteral("01")) {
    using sup::data::FieldDef;
    sup::data::DataPacketBuilder b({FieldDef::text(QStringLiteral("IDUTRESPEDEXOL"), 1),
                                    FieldDef::text(QStringLiteral("CDGRUPPROD"), 10)});
    b.appendRow({QStringLiteral("S"), group});
    return b.finish();
}

} // namespace suptest
