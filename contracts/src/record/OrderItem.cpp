#include "sup/contracts/record/OrderItem.h"

namespace sup::contracts {

using data::FieldDef;
using data::FieldDefs;

namespace {

const QString kQtyFormat = QStringLiteral("###,##0.000");

FieldDef text(const char* name, int size, const char* label = "") {
    return FieldDef::text(QString::fromLatin1(name), size, QString::fromUtf8(label));
}

FieldDef fixedText(const char* name, int size, const char* label = "") {
    return FieldDef::text(QString::fromLatin1(name), size, QString::fromUtf8(label), true);
}

FieldDef real(const char* name, const char* label = "") {
    return FieldDef::real(QString::fromLatin1(name), QString::fromUtf8(label));
}

FieldDef dateTime(const char* name, const char* label = "") {
    return FieldDef::dateTime(QString::fromLatin1(name), QString::fromUtf8(label));
}

// Picks fields of the item record by name, keeping their definitions.
FieldDefs itemSubset(std::initializer_list<const char*> names) {
    const FieldDefs all = orderItemFields();
    FieldDefs out;
    for (const char* n : names) {
        const int i = data::indexOfField(all, QString::fromLatin1(n));
        out.append(all[i]);
    }
    return out;
}

} // namespace

FieldDefs orderItemFields() {
    FieldDefs f;
    f << fixedText("CALC", 1).hidden().noUpdate() << fixedText("ALTERADO", 1).hidden().noUpdate()
      << text("CDARVPROD", 20, "Produto").width(12).noUpdate()
      << text("CDPRODUTO", 10).hidden().noUpdate()
      << text("NMPRODUTO", 50, "Nome do Produto").noUpdate()
      << text("SGUNIDADE", 10, "UN").noUpdate() << text("CDPRODESTO", 10).hidden().noUpdate()
      << real("QTPROGENPEOL", "Qtde.").formats(kQtyFormat, kQtyFormat).hidden().noUpdate()
      << text("NRPEDEXOL", 10, "Pedido").noUpdate() << text("CDFILLANC", 4, "Lanç.").noUpdate()
      << text("CDFILDEST", 34, "Destino").width(34).noUpdate()
      << dateTime("DTPROGENPEOL", "Entrega").hidden().noUpdate()
      << dateTime("DTPROGEMBARQ", "Embarque").hidden().noUpdate()
      << text("NMMARCA", 20, "Nome da Marca").noUpdate() << text("CDMARCA", 5, "Marca").noUpdate()
      << text("CDFILIOPELOG", 4, "OL").width(8).noUpdate() << real("VRFATOCONV").hidden().noUpdate()
      << fixedText("IDTIPOEXOL", 1).hidden().noUpdate() << text("IDITMPEDOLBLOQ", 1).hidden()
      << dateTime("DTBLOQITMPEDOL").hidden() << real("QTRESERVESTOL").formats(kQtyFormat).hidden()
      << text("IDUTRESPEDEXOL", 1).hidden()
      << text("CDLOTENVITOL", 10, "Lote de Envio").width(14).hidden()
      << text("IDITEMAJUSTE", 1).hidden() << text("NRSEQLOGIMPOL", 10).hidden()
      << text("CDPRODORIGPEDOL", 10).hidden() << real("CDRASTRITM").hidden()
      << real("QTORIGPRODPED").hidden();
    return f;
}

FieldDefs auxItemFields() {
    return itemSubset({"CALC",         "ALTERADO",   "CDARVPROD",    "CDPRODUTO",
                       "NMPRODUTO",    "SGUNIDADE",  "CDPRODESTO",   "QTPROGENPEOL",
                       "NRPEDEXOL",    "CDFILLANC",  "CDFILDEST",    "DTPROGENPEOL",
                       "DTPROGEMBARQ", "NMMARCA",    "CDMARCA",      "CDFILIOPELOG",
                       "VRFATOCONV",   "IDTIPOEXOL", "IDITEMAJUSTE", "CDRASTRITM"});
}

FieldDefs paramFilialFields() {
    return {text("CDFILIAL", 4), text("CDFILCENTCMP", 4), text("IDUTRESPEDEXOL", 1),
            text("IDPROSEMMAR", 1), text("IDUTLMARPREFOL", 1)};
}

FieldDefs ajusteQtdeFields() {
    return {text("CDPRODORIG", 10), text("CDPRODDEST", 10), real("VRPEAJQTDSOL")};
}

FieldDefs parametroOLFields() {
    return {text("IDUTLPRARVOLCMP", 1), text("CDGRUPPROD", 10), text("CDSUBGRARVOR", 10)};
}

FieldDefs bloqItemFields() {
    return itemSubset({"CDPRODUTO", "NRPEDEXOL", "CDFILLANC", "CDFILDEST", "DTPROGENPEOL",
                       "CDMARCA", "IDITMPEDOLBLOQ"});
}

FieldDefs reservaFields() {
    FieldDefs f =
        itemSubset({"CDPRODUTO", "NRPEDEXOL", "CDFILLANC", "CDFILDEST", "DTPROGENPEOL", "CDMARCA",
                    "DTPROGEMBARQ", "CDFILIOPELOG", "QTPROGENPEOL", "QTRESERVESTOL"});
    f << text("OPERACAO", 1);
    return f;
}

FieldDefs paraSupriEDFields() {
    return {text("IDUTRESPEDEXOL", 1), text("CDGRUPPROD", 10), fixedText("IDUTILCONSSOLIOL", 1),
            text("IDBLOQIMPOL", 1)};
}

FieldDefs paraSupriOLFields() {
    return {text("IDBLQLANITSEMRELACOL", 1)};
}

FieldDefs prodRelacOLFields() {
    return {text("CDPRODARVOL", 10)};
}

FieldDefs bloqIncluiProdCmpOLFields() {
    return {text("CDPRODUTO", 10)};
}

FieldDefs pesqProdutoFields() {
    return {text("CDARVPROD", 15, "Código"),
            text("NMPRODUTO", 50, "Nome"),
            text("NMMARCA", 20, "Nome Marca"),
            text("CDMARCA", 5, "Marca").width(10),
            text("SGUNIDADE", 10, "UN"),
            text("IDPRODATIVPR", 1).hidden(),
            text("CDPRODARVOL", 15, "Código OL").hidden(),
            real("EST_DISP").formats(kQtyFormat).hidden(),
            text("EST_DISP_ST", 40, "Estoque Disponível"),
            text("CDNVPRODUTO", 1).hidden(),
            text("CDPRODUTO", 10).hidden()};
}

FieldDefs pesqMarcaFields() {
    return {text("CDMARCA", 5, "Código"), text("NMMARCA", 20, "Nome")};
}

FieldDefs marcaPref1Fields() {
    return {text("CDMARCA", 4000), text("CDTIPPART", 1)};
}

FieldDefs prodPrefFields() {
    return {text("CDARVPROD", 73)};
}

FieldDefs marcaPref2Fields() {
    return {text("CDFILDEST", 4, "Destino"),
            text("CDFILLANC", 4, "Filial Lanc."),
            text("NRPEDEXOL", 10, "Pedido"),
            text("CDARVPROD", 20, "Produto"),
            text("NMPRODUTO", 50, "Nome Produto"),
            text("SGUNIDADE", 10, "UN"),
            text("CDMARCA", 4000),
            text("CDTIPPART", 1, "Particularidade").width(10000)};
}

FieldDefs marcaPrefFields() {
    return {text("CDFILIAL", 4), text("CDMARCA", 5), text("CDPRODUTO", 10), text("CDTIPPART", 1)};
}

FieldDefs filtroSupFields() {
    return {text("CDTELA", 8), text("NMCOMPONENTE", 50), text("DSOPCAO", 50),
            text("IDSELECIONADO", 1), text("IDVALOR", 1)};
}

FieldDefs produtosFields() {
    return {text("CDPRODUTO", 10).hidden(),
            text("CDARVPROD", 20, "Código"),
            text("NMPRODUTO", 50, "Nome"),
            text("CDMARCA", 5, "Marca"),
            text("CDPRODESTO", 10).hidden(),
            real("VRFATOCONV").hidden(),
            text("SGUNIDADE", 10).hidden(),
            real("VRPESOUNID").hidden(),
            text("SGUNIDESTOQUE", 10).hidden(),
            text("IDPRODATIVPR", 1).hidden(),
            text("CDPRODARVOL", 15, "Código OL"),
            real("EST_DISP").formats(kQtyFormat).hidden(),
            text("EST_DISP_ST", 40, "Estoque Disponível")};
}

FieldDefs ajusteUnFields() {
    return {real("VRFATOCONV"), real("VRPESOUNID")};
}

FieldDefs vdProdutoFields() {
    return {text("CDARVPROD", 15, "Código"),
            text("NMPRODUTO", 50, "Nome"),
            text("CDPRODUTO", 10).hidden(),
            text("CDMARCA", 5, "Marca"),
            text("CDNVPRODUTO", 1).hidden(),
            text("IDPRODATIVPR", 1).hidden(),
            text("CDPRODARVOL", 15, "Código OL"),
            real("EST_DISP").formats(kQtyFormat).hidden(),
            text("EST_DISP_ST", 40, "Estoque Disponível")};
}

FieldDefs vdLotePedOLFields() {
    return {text("CDLOTENVITOL", 10, "Código").width(14),
            text("NMLOTENVITOL", 30, "Nome").width(34)};
}

FieldDefs cadLoteEnvPedOLFields() {
    return {text("CDFILLANC", 4).noUpdate(),  text("CDFILDEST", 34).noUpdate(),
            text("NRPEDEXOL", 10).noUpdate(), text("CDPRODUTO", 10).noUpdate(),
            text("CDMARCA", 5).noUpdate(),    dateTime("DTPROGENPEOL").noUpdate(),
            text("CDLOTENVITOL", 10),         text("CDFILIOPELOG", 4)};
}

MaintenanceSets createMaintenanceSets(QObject* owner) {
    auto make = [owner](const char* name, const FieldDefs& defs) {
        auto* set = new data::TWorkingSet(owner, QString::fromLatin1(name));
        if (!defs.isEmpty()) {
            set->setFieldDefs(defs);
        }
        return set;
    };
    MaintenanceSets s;
    s.cdsItem = make("cdsItem", orderItemFields());
    s.cdsAuxItem = make("cdsAuxItem", auxItemFields());
    s.cdsAuxItemBloq = make("cdsAuxItemBloq", {});
    s.cdsParamFilial = make("cdsParamFilial", paramFilialFields());
    s.cdsAjusteQtde = make("cdsAjusteQtde", ajusteQtdeFields());
    s.cdsAutGruPop = make("cdsAutGruPop", {});
    s.cdsParametroOL = make("cdsParametroOL", parametroOLFields());
    s.cdsBloqItem = make("cdsBloqItem", bloqItemFields());
    s.cdsReserva = make("cdsReserva", reservaFields());
    s.cdsParaSupriED = make("cdsParaSupriED", paraSupriEDFields());
    s.cdsParaSupriOL = make("cdsParaSupriOL", paraSupriOLFields());
    s.cdsProdRelacOL = make("cdsProdRelacOL", prodRelacOLFields());
    s.cdsBloqIncluiProdCmpOL = make("cdsBloqIncluiProdCmpOL", bloqIncluiProdCmpOLFields());
    s.cdsPesqProduto = make("cdsPesqProduto", pesqProdutoFields());
    s.cdsPesqMarca = make("cdsPesqMarca", pesqMarcaFields());
    s.cdsMarcaPref1 = make("cdsMarcaPref1", marcaPref1Fields());
    s.cdsProdPref = make("cdsProdPref", prodPrefFields());
    s.cdsMarcaPref2 = make("cdsMarcaPref2", marcaPref2Fields());
    s.cdsMarcaPref = make("cdsMarcaPref", marcaPrefFields());
    s.cds_VdLotePedOL = make("cds_VdLotePedOL", vdLotePedOLFields());
    s.cdsCadLoteEnvPedOL = make("cdsCadLoteEnvPedOL", cadLoteEnvPedOLFields());
    return s;
}

} // namespace sup::contracts
