// The routine's data module: its working sets, its connection and the module value that lets
// every screen reach it.
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "Dm_sup07700/Dm_sup07700.h"

#include "sup/contracts/MethodContract.h"
#include "sup/contracts/record/AutoPreview.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/net/NetConnection.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Query.h"
#include "units/LocalQueries.h"

namespace {

TdmAltPedidosOL* gCurrent = nullptr;

} // namespace

namespace sup07700 {

TdmAltPedidosOL* dmAltPedidosOL() {
    return gCurrent;
}

TdmAltPedidosOL& DataModule() {
    if (!gCurrent) {
        throw sup::host::EHostError(
            QString::fromUtf8("A tela de Alteração de Pedidos do OL não está aberta; "
                              "não há conexão com o servidor."));
    }
    return *gCurrent;
}

} // namespace sup07700

TdmAltPedidosOL::TdmAltPedidosOL(QObject* owner)
    : QObject(owner) {
    setObjectName(QStringLiteral("dmAltPedidosOL"));
    const sup::contracts::MaintenanceSets s = sup::contracts::createMaintenanceSets(this);
    cdsItem = s.cdsItem;
    cdsAuxItem = s.cdsAuxItem;
    cdsAuxItemBloq = s.cdsAuxItemBloq;
    cdsParamFilial = s.cdsParamFilial;
    cdsAjusteQtde = s.cdsAjusteQtde;
    cdsAutGruPop = s.cdsAutGruPop;
    cdsParametroOL = s.cdsParametroOL;
    cdsBloqItem = s.cdsBloqItem;
    cdsReserva = s.cdsReserva;
    cdsParaSupriED = s.cdsParaSupriED;
    cdsParaSupriOL = s.cdsParaSupriOL;
    cdsProdRelacOL = s.cdsProdRelacOL;
    cdsBloqIncluiProdCmpOL = s.cdsBloqIncluiProdCmpOL;
    cdsPesqProduto = s.cdsPesqProduto;
    cdsPesqMarca = s.cdsPesqMarca;
    cdsMarcaPref1 = s.cdsMarcaPref1;
    cdsProdPref = s.cdsProdPref;
    cdsMarcaPref2 = s.cdsMarcaPref2;
    cdsMarcaPref = s.cdsMarcaPref;
    cds_VdLotePedOL = s.cds_VdLotePedOL;
    cdsCadLoteEnvPedOL = s.cdsCadLoteEnvPedOL;
    // Takes the fields of the history packets.
    cdsHistItem = new sup::data::TWorkingSet(this, QStringLiteral("cdsHistItem"));
    cdsVisAltAtuItem = new sup::data::TWorkingSet(this, QStringLiteral("cdsVisAltAtuItem"));
    cdsVisAltAtuItem->setFieldDefs(sup::contracts::visAltAtuItemFields());

    netAltPedidosOL = new sup::net::TNetConnection(this, QStringLiteral("netAltPedidosOL"));
    netAltPedidosOL->setServerName(sup::contracts::kModuleAltPedidosOL);

    qryCentCmp = new sup::host::TADOIBQuery(this, QStringLiteral("qryCentCmp"));
    sup07700::SetCentCmpQuery(*qryCentCmp);
    qryVdProduto = new sup::host::TADOIBQuery(this, QStringLiteral("qryVdProduto"));
    sup07700::SetVdProdutoQuery(*qryVdProduto);
    qryVer_ProdNCmp = new sup::host::TADOIBQuery(this, QStringLiteral("qryVer_ProdNCmp"));
    sup07700::SetVerProdNCmpQuery(*qryVer_ProdNCmp);
    qryMarca = new sup::host::TADOIBQuery(this, QStringLiteral("qryMarca"));
    sup07700::SetMarcaQuery(*qryMarca);
    qryFiliCent = new sup::host::TADOIBQuery(this, QStringLiteral("qryFiliCent"));
    sup07700::SetFiliCentQuery(*qryFiliCent);
    qryPesqMarcTodas = new sup::host::TADOIBQuery(this, QStringLiteral("qryPesqMarcTodas"));
    sup07700::SetPesqMarcTodasQuery(*qryPesqMarcTodas);
    qryGerente = new sup::host::TADOIBQuery(this, QStringLiteral("qryGerente"));
    sup07700::SetGerenteQuery(*qryGerente);

    gCurrent = this;
}

TdmAltPedidosOL::~TdmAltPedidosOL() {
    if (gCurrent == this) {
        gCurrent = nullptr;
    }
}

sup::contracts::IAppServer& TdmAltPedidosOL::server() {
    return netAltPedidosOL->AppServer();
}

void TdmAltPedidosOL::connect() {
    if (!netAltPedidosOL->connect()) {
        throw sup::host::EHostError(netAltPedidosOL->lastError());
    }
}

void TdmAltPedidosOL::disconnect() {
    while (netAltPedidosOL->Connected()) {
        netAltPedidosOL->disconnect();
    }
}

void TdmAltPedidosOL::setReload(std::function<void()> reload) {
    reload_ = std::move(reload);
}

void TdmAltPedidosOL::reload() {
    if (reload_) {
        // A copy: the reload may replace itself.
        const std::function<void()> run = reload_;
        run();
    }
}
