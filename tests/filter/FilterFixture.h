#pragma once

// Helpers shared by the filter screen's suites.

#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"

#include "sup/data/DataPacket.h"

#include <QDialog>
#include <QString>
#include <QtGlobal>

namespace suptest {

// The filter screen a modal script receives.
inline TfrmFiltroAltPedidoOL& asFilterScreen(QDialog& d) {
    auto* s = qobject_cast<TfrmFiltroAltPedidoOL*>(&d);
    if (!s) {
        qFatal("the modal screen is not the filter screen");
    }
    return *s;
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
