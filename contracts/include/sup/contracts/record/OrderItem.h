#pragma once

#include "sup/data/Field.h"
#include "sup/data/WorkingSet.h"

#include <QObject>
#include <QString>

namespace sup::contracts {

// The order item record (`cdsItem`): one line of an OL order for a destination branch,
// launching branch, order, delivery date, product and brand.
data::FieldDefs orderItemFields();

// Fields of the snapshot `cdsAuxItem`: the item fields the duplicate check compares, with the
// same names, types and sizes as in the item record.
data::FieldDefs auxItemFields();

// Two items with equal values in these fields are duplicates.
inline const QString kItemKeyFields =
    QStringLiteral("CDFILDEST;CDFILLANC;NRPEDEXOL;DTPROGENPEOL;CDPRODUTO;CDMARCA");
// The key list the maintenance screen locates an item with.
inline const QString kItemLocateKey =
    QStringLiteral("CDFILDEST;CDFILLANC;NRPEDEXOL;DTPROGENPEOL;CDMARCA;CDPRODUTO");

// Field definitions of the sibling working sets whose fields are fixed by the routine. The sets
// not listed here (`cdsAuxItemBloq`, `cdsAutGruPop`) take the fields of the packets that fill them.
data::FieldDefs paramFilialFields();         // cdsParamFilial
data::FieldDefs ajusteQtdeFields();          // cdsAjusteQtde
data::FieldDefs parametroOLFields();         // cdsParametroOL
data::FieldDefs bloqItemFields();            // cdsBloqItem
data::FieldDefs reservaFields();             // cdsReserva
data::FieldDefs paraSupriEDFields();         // cdsParaSupriED
data::FieldDefs paraSupriOLFields();         // cdsParaSupriOL
data::FieldDefs prodRelacOLFields();         // cdsProdRelacOL
data::FieldDefs bloqIncluiProdCmpOLFields(); // cdsBloqIncluiProdCmpOL
data::FieldDefs pesqProdutoFields();         // cdsPesqProduto (grid product picker)
data::FieldDefs pesqMarcaFields();           // cdsPesqMarca
data::FieldDefs marcaPref1Fields();          // cdsMarcaPref1
data::FieldDefs prodPrefFields();            // cdsProdPref
data::FieldDefs marcaPref2Fields();          // cdsMarcaPref2
data::FieldDefs marcaPrefFields();           // cdsMarcaPref
data::FieldDefs vdLotePedOLFields();         // cds_VdLotePedOL (dispatch batches)
data::FieldDefs cadLoteEnvPedOLFields();     // cdsCadLoteEnvPedOL (batch of each item to send)

// Working sets of the automatic alteration screen that take the server's packets.
data::FieldDefs filtroSupFields(); // cdsFiltroSup (the operator's options profile)
data::FieldDefs produtosFields();  // cdsVdProdEntr and cdsProdutos (a product's data)
data::FieldDefs vdProdutoFields(); // cdsVdProduto (a product within a stock-product restriction)
data::FieldDefs ajusteUnFields();  // cdsAjusteUn (a product's conversion factor and unit weight)

// The working sets the maintenance screen owns. Each is a child of the owner given to
// createMaintenanceSets, named after its set (objectName "cdsItem", ...), closed, with its field
// definitions in place where the routine fixes them.
struct MaintenanceSets {
    data::TWorkingSet* cdsItem = nullptr;
    data::TWorkingSet* cdsAuxItem = nullptr;
    data::TWorkingSet* cdsAuxItemBloq = nullptr;
    data::TWorkingSet* cdsParamFilial = nullptr;
    data::TWorkingSet* cdsAjusteQtde = nullptr;
    data::TWorkingSet* cdsAutGruPop = nullptr;
    data::TWorkingSet* cdsParametroOL = nullptr;
    data::TWorkingSet* cdsBloqItem = nullptr;
    data::TWorkingSet* cdsReserva = nullptr;
    data::TWorkingSet* cdsParaSupriED = nullptr;
    data::TWorkingSet* cdsParaSupriOL = nullptr;
    data::TWorkingSet* cdsProdRelacOL = nullptr;
    data::TWorkingSet* cdsBloqIncluiProdCmpOL = nullptr;
    data::TWorkingSet* cdsPesqProduto = nullptr;
    data::TWorkingSet* cdsPesqMarca = nullptr;
    data::TWorkingSet* cdsMarcaPref1 = nullptr;
    data::TWorkingSet* cdsProdPref = nullptr;
    data::TWorkingSet* cdsMarcaPref2 = nullptr;
    data::TWorkingSet* cdsMarcaPref = nullptr;
    data::TWorkingSet* cds_VdLotePedOL = nullptr;
    data::TWorkingSet* cdsCadLoteEnvPedOL = nullptr;
};

MaintenanceSets createMaintenanceSets(QObject* owner);

} // namespace sup::contracts
