#pragma once

// The order-item shape the screens work with (28 fields), and helpers that build packets of it
// for the tests of the data-access library.

#include "sup/data/DataPacket.h"
#include "sup/data/Field.h"

#include <QDateTime>
#include <QString>

namespace testdata {

using sup::data::FieldDef;
using sup::data::FieldDefs;

inline FieldDefs itemFields() {
    const QString qty = QStringLiteral("###,##0.000");
    auto t = [](const char* n, int size, const char* label = "") {
        return FieldDef::text(QString::fromLatin1(n), size, QString::fromUtf8(label));
    };
    auto fx = [](const char* n, int size) {
        return FieldDef::text(QString::fromLatin1(n), size, {}, true);
    };
    auto r = [](const char* n, const char* label = "") {
        return FieldDef::real(QString::fromLatin1(n), QString::fromUtf8(label));
    };
    auto dt = [](const char* n, const char* label = "") {
        return FieldDef::dateTime(QString::fromLatin1(n), QString::fromUtf8(label));
    };
    FieldDefs f;
    f << fx("CALC", 1).hidden().noUpdate() << fx("ALTERADO", 1).hidden().noUpdate()
      << t("CDARVPROD", 20, "Produto").width(12).noUpdate() << t("CDPRODUTO", 10).hidden()
      << t("NMPRODUTO", 50, "Nome do Produto") << t("SGUNIDADE", 10, "UN")
      << t("CDPRODESTO", 10).hidden() << r("QTPROGENPEOL", "Qtde.").formats(qty, qty).hidden()
      << t("NRPEDEXOL", 10, "Pedido") << t("CDFILLANC", 4, "Lanç.")
      << t("CDFILDEST", 34, "Destino").width(34) << dt("DTPROGENPEOL", "Entrega").hidden()
      << dt("DTPROGEMBARQ", "Embarque").hidden() << t("NMMARCA", 20, "Nome da Marca")
      << t("CDMARCA", 5, "Marca") << t("CDFILIOPELOG", 4, "OL").width(8) << r("VRFATOCONV").hidden()
      << fx("IDTIPOEXOL", 1).hidden() << t("IDITMPEDOLBLOQ", 1).hidden()
      << dt("DTBLOQITMPEDOL").hidden() << r("QTRESERVESTOL").formats(qty).hidden()
      << t("IDUTRESPEDEXOL", 1).hidden()
      << t("CDLOTENVITOL", 10, "Lote de Envio").width(14).hidden() << t("IDITEMAJUSTE", 1).hidden()
      << t("NRSEQLOGIMPOL", 10).hidden() << t("CDPRODORIGPEDOL", 10).hidden()
      << r("CDRASTRITM").hidden() << r("QTORIGPRODPED").hidden();
    return f;
}

inline const QString kItemKey =
    QStringLiteral("CDFILDEST;CDFILLANC;NRPEDEXOL;DTPROGENPEOL;CDPRODUTO;CDMARCA");

inline QDateTime day(int y, int m, int d) {
    return QDateTime(QDate(y, m, d), QTime(0, 0), Qt::UTC);
}

// Row i of a deterministic item list: destination branches repeat every 7 rows, orders every
// 3, products are unique per row unless `dupEvery` makes every n-th row repeat its predecessor.
inline QVariantList itemRow(int i) {
    const QString dest = QStringLiteral("%1 FILIAL %2").arg(1000 + i % 7).arg(i % 7);
    return {QStringLiteral("N"),
            QStringLiteral("N"),
            QStringLiteral("1.%1").arg(i, 6, 10, QLatin1Char('0')),
            QStringLiteral("P%1").arg(i, 6, 10, QLatin1Char('0')),
            QStringLiteral("Produto número %1").arg(i),
            QStringLiteral("CX"),
            QStringLiteral("E%1").arg(i),
            double(10 + i % 50),
            QStringLiteral("PED%1").arg(i / 3),
            QStringLiteral("%1").arg(2000 + i % 3),
            dest,
            day(2024, 1 + i % 12, 1 + i % 28),
            day(2024, 1 + i % 12, 1 + i % 20),
            QStringLiteral("Marca %1").arg(i % 11),
            QStringLiteral("M%1").arg(i % 11, 2, 10, QLatin1Char('0')),
            QStringLiteral("OL%1").arg(i % 4),
            1.0,
            (i % 2) ? QStringLiteral("A") : QStringLiteral("M"),
            QStringLiteral("N"),
            QVariant(),
            0.0,
            QStringLiteral("N"),
            QString(),
            QStringLiteral("N"),
            QStringLiteral("%1").arg(i),
            QStringLiteral("P%1").arg(i, 6, 10, QLatin1Char('0')),
            double(i),
            double(10 + i % 50)};
}

inline sup::data::DataPacket itemPacket(int rows) {
    sup::data::DataPacketBuilder b(itemFields());
    b.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        b.appendRow(itemRow(i));
    }
    return b.finish();
}

} // namespace testdata
