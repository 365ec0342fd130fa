#include "sup/contracts/record/AutoPreview.h"

namespace sup::contracts {

using data::FieldDef;
using data::FieldDefs;

namespace {

const QString kQtyFormat = QStringLiteral("###,##0.000");

FieldDef text(const char* name, int size, const char* label = "") {
    return FieldDef::text(QString::fromLatin1(name), size, QString::fromUtf8(label));
}

FieldDef qty(const char* name, const char* label) {
    return FieldDef::real(QString::fromLatin1(name), QString::fromUtf8(label), kQtyFormat);
}

FieldDef day(const char* name, const char* label) {
    return FieldDef::dateTime(QString::fromLatin1(name), QString::fromUtf8(label));
}

} // namespace

FieldDefs visAltAtuItemFields() {
    return {FieldDef::integer(QStringLiteral("CDRASTRITM")).hidden(),
            text("CDFILDEST", 4, "Destino"),
            text("CDFILLANC", 4, "Filial Lanc."),
            text("NRPEDEXOL", 10, "Pedido"),
            text("CDARVPROD", 20, "Produto"),
            text("NMPRODUTO", 50, "Nome Produto"),
            text("CDMARCA", 5, "Marca"),
            qty("QTPROGENPEOL", "Qtde."),
            day("DTPROGENPEOL", "Entrega"),
            text("CDARVPRODNOVO", 20, "Produto Novo"),
            text("NMPRODUTONOVO", 50, "Nome Produto Novo"),
            text("CDMARCANOVA", 5, "Marca Nova"),
            qty("QTNOVA", "Qtde. Nova"),
            day("DTNOVA", "Entrega Nova"),
            text("IDALTERA", 1, "Altera"),
            text("IDRECUSA", 1).hidden(),
            text("IDSEMSALDO", 1, "Sem Saldo"),
            text("DSMOTIVO", 500, "Motivo")};
}

} // namespace sup::contracts
