#pragma once

// Small helpers shared by the host framework's tests.

#include "sup/data/DataPacket.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"

#include <QList>
#include <QObject>
#include <QVariantList>

namespace hosttest {

// A working set loaded with rows (one QVariantList per row, in field order).
inline sup::data::TWorkingSet* makeSet(QObject* parent, const sup::data::FieldDefs& defs,
                                       const QList<QVariantList>& rows,
                                       const QString& name = QStringLiteral("cdsTeste")) {
    auto* set = new sup::data::TWorkingSet(parent, name);
    sup::data::DataPacketBuilder builder(defs);
    for (const QVariantList& r : rows)
        builder.appendRow(r);
    set->loadFromPacket(builder.finish());
    return set;
}

inline sup::data::TDataSource* sourceOf(sup::data::TWorkingSet* set) {
    auto* source = new sup::data::TDataSource(set, QStringLiteral("dtsTeste"));
    source->setDataSet(set);
    return source;
}

// Brands: CDMARCA (5) "Código", NMMARCA (20) "Nome".
inline sup::data::TWorkingSet* brands(QObject* parent) {
    using sup::data::FieldDef;
    return makeSet(parent,
                   {FieldDef::text(QStringLiteral("CDMARCA"), 5, QStringLiteral("Código")),
                    FieldDef::text(QStringLiteral("NMMARCA"), 20, QStringLiteral("Nome"))},
                   {{QStringLiteral("00001"), QStringLiteral("Acme")},
                    {QStringLiteral("00012"), QStringLiteral("São Jorge")},
                    {QStringLiteral("00120"), QStringLiteral("Boa Vista")},
                    {QStringLiteral("01200"), QStringLiteral("Sabor do Sul")}},
                   QStringLiteral("cdsMarca"));
}

} // namespace hosttest
