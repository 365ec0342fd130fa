#pragma once

#include "sup/contracts/AppServer.h"
#include "sup/contracts/ItemCriteria.h"
#include "sup/contracts/SelectedItems.h"

#include <QObject>
#include <QString>
#include <QVariantList>

#include <functional>

namespace sup::data {
class TWorkingSet;
} // namespace sup::data

namespace sup::host {
class TADOIBQuery;
} // namespace sup::host

namespace sup::net {
class TNetConnection;
} // namespace sup::net

// The routine's data: the connection that carries every server call of its screens but one,
// the order items with their snapshot and every sibling working set, and the item request and
// reload. A plain object: the maintenance screen creates it with itself and owns it; the other
// screens reach it through sup07700::DataModule() and never through another screen's members.
class TdmAltPedidosOL : public QObject {
    Q_OBJECT
public:
    explicit TdmAltPedidosOL(QObject* owner = nullptr);
    ~TdmAltPedidosOL() override;

    // The server interface of netAltPedidosOL, for the typed calls of
    // sup/contracts/ServerCalls.h. Never fails: while the connection is closed every call
    // answers a fault that CheckResultServ raises.
    sup::contracts::IAppServer& server();

    // Opens netAltPedidosOL (its BeforeConnect, set by the owner, gives the server's address);
    // throws EHostError with the reason when it cannot.
    void connect();
    // Closes netAltPedidosOL.
    void disconnect();

    // The item request: GetItem with `criteria`. The answer's four packets are checked first,
    // then loaded into cdsAutGruPop, cdsAjusteQtde, cdsParamFilial and last cdsItem (whatever
    // reacts to the items finds the others filled); itemsLoaded follows. A failing call or a
    // malformed answer throws and leaves every set as it was.
    void loadItems(sup::contracts::ItemCriteria& criteria);

    // The reload of the items with the criteria the filter holds. The filter screen registers
    // it while it exists; without it reload() does nothing.
    void setReload(std::function<void()> reload);
    void reload();

    // Connection.
    sup::net::TNetConnection* netAltPedidosOL = nullptr;
    // The processing branch's central purchasing branch (parameter P_CDFILIAL; fields CDFILIAL
    // and NMFILIAL_CENTRAL), read when the maintenance screen is created.
    sup::host::TADOIBQuery* qryCentCmp = nullptr;
    // The item editing checks: the product of a code, whether a product may be bought for a
    // branch, a brand, and a branch's central purchasing branch.
    sup::host::TADOIBQuery* qryVdProduto = nullptr;
    sup::host::TADOIBQuery* qryVer_ProdNCmp = nullptr;
    sup::host::TADOIBQuery* qryMarca = nullptr;
    sup::host::TADOIBQuery* qryFiliCent = nullptr;
    // Every brand, for the grid's brand pick list when any brand goes with any product.
    sup::host::TADOIBQuery* qryPesqMarcTodas = nullptr;
    // The operators who may release direct delivery (groups authorised "BLIP").
    sup::host::TADOIBQuery* qryGerente = nullptr;

    // Working sets.
    sup::data::TWorkingSet* cdsItem = nullptr;
    sup::data::TWorkingSet* cdsAuxItem = nullptr;
    sup::data::TWorkingSet* cdsAuxItemBloq = nullptr;
    sup::data::TWorkingSet* cdsParamFilial = nullptr;
    sup::data::TWorkingSet* cdsAjusteQtde = nullptr;
    sup::data::TWorkingSet* cdsAutGruPop = nullptr;
    sup::data::TWorkingSet* cdsParametroOL = nullptr;
    sup::data::TWorkingSet* cdsBloqItem = nullptr;
    sup::data::TWorkingSet* cdsReserva = nullptr;
    sup::data::TWorkingSet* cdsParaSupriED = nullptr;
    sup::data::TWorkingSet* cdsParaSupriOL = nullptr;
    sup::data::TWorkingSet* cdsProdRelacOL = nullptr;
    sup::data::TWorkingSet* cdsBloqIncluiProdCmpOL = nullptr;
    sup::data::TWorkingSet* cdsPesqProduto = nullptr;
    sup::data::TWorkingSet* cdsPesqMarca = nullptr;
    sup::data::TWorkingSet* cdsMarcaPref1 = nullptr;
    sup::data::TWorkingSet* cdsProdPref = nullptr;
    sup::data::TWorkingSet* cdsMarcaPref2 = nullptr;
    sup::data::TWorkingSet* cdsMarcaPref = nullptr;
    // Dispatch batches: the batches the server answers for a code (or every open one), and the
    // batch each marked item is to get.
    sup::data::TWorkingSet* cds_VdLotePedOL = nullptr;
    sup::data::TWorkingSet* cdsCadLoteEnvPedOL = nullptr;
    // The preview of the automatic alteration (VisAltAtuItem): one row per chosen item, what the
    // alteration would make of it, filled by the automatic alteration screen for the preview
    // screen (contracts::visAltAtuItemFields()).
    sup::data::TWorkingSet* cdsVisAltAtuItem = nullptr;

    // The items the automatic alteration works on, gathered by the maintenance screen at its
    // launch: 15 attributes (operator, destination branch, launching branch, order, product,
    // delivery date, brand, factor, stock product, tree code, quantity, product name, OL, OL
    // import sequence, item id), each with one value per item in the items' order. Empty until
    // the first launch.
    sup::contracts::SelectedItems vaItensSelec;
    // The answer of the branch-particularity dialog ("S" alter the conflicting items too, "N"
    // leave them); "N" at every launch.
    QString stRespMarcaPref;

    // The item history screen's: the item it shows, set by the maintenance screen before it
    // opens it (its id, CDRASTRITM, and how the screen names it), and the item's audit rows as
    // GetHistItem answers them, newest first.
    double nrHistItem = 0;
    QString stHistItem;
    sup::data::TWorkingSet* cdsHistItem = nullptr;

signals:
    // The items (and their sibling sets) were loaded by loadItems.
    void itemsLoaded();

private:
    std::function<void()> reload_;
};
