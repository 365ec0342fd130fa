#pragma once

// The handlers of the remote modules' methods, one file per group of methods (Methods*.cpp).
// What each method takes and answers is the method contract's (sup/contracts/MethodContract.h);
// the dispatch checks every call against it before a handler runs.

#include "Fault.h"

#include "sup/contracts/MethodContract.h"
#include "sup/data/DataPacket.h"
#include "sup/server/ReferenceServer.h"

#include <QString>
#include <QVariant>

#include <functional>

namespace sup::server {

struct MethodContext {
    ReferenceServer& server;
    sql::Connection& conn;
    const CallContext& call;
    const contracts::MethodSpec& def;
};

using Handler = std::function<QVariant(MethodContext&, QVariantList&)>;

// The handler of a method of the contract; empty when this server does not offer it yet.
Handler handlerOf(contracts::Method method);

// Handlers (group files).
QVariant GetParametroOL(MethodContext&, QVariantList&);
QVariant GetParaSupri(MethodContext&, QVariantList&);
QVariant GetItem(MethodContext&, QVariantList&);
QVariant GetAgruFili(MethodContext&, QVariantList&);
QVariant GetFiliAgrupFili(MethodContext&, QVariantList&);
QVariant GetProduto(MethodContext&, QVariantList&);
QVariant GetLotePedOL(MethodContext&, QVariantList&);
QVariant GetPesqMarca(MethodContext&, QVariantList&);
QVariant GetBloqIncluiProdCmpOL(MethodContext&, QVariantList&);
QVariant GetBloqProdSemRelacOL(MethodContext&, QVariantList&);
QVariant GetVd_Est_Disp(MethodContext&, QVariantList&);
QVariant VerificaMarcaPref(MethodContext&, QVariantList&);
QVariant VerificaMarcaPref1(MethodContext&, QVariantList&);
QVariant GetVdReserva(MethodContext&, QVariantList&);
QVariant UpdItemPedidoOL(MethodContext&, QVariantList&);
QVariant GetPesqProduto(MethodContext&, QVariantList&);
QVariant SetBloqItem(MethodContext&, QVariantList&);
QVariant SetReserva(MethodContext&, QVariantList&);
QVariant GetVd_LotePedOL(MethodContext&, QVariantList&);
QVariant SetCadLoteEnvPedOL(MethodContext&, QVariantList&);
QVariant GetFiltroSup(MethodContext&, QVariantList&);
QVariant SetFiltroSup(MethodContext&, QVariantList&);
QVariant GetProdutos(MethodContext&, QVariantList&);
QVariant Carrega_PeriFili(MethodContext&, QVariantList&);

// The stock-product restriction of GetPesqProduto "1" and "2" (MethodsAlteration.cpp): a
// condition on the product alias P, with its binds, relative to the item's product (argument 2).
// "1" keeps the other packagings of the item's stock product, "2" the other stock products.
struct StockRestriction {
    QString condition; // " AND ..."
    QVariantList binds;
};
StockRestriction stockRestriction(MethodContext& ctx, const QVariantList& a);
// GetPesqProduto "1"/"2" with a typed code: that product, when it meets the restriction, in the
// fields of cdsVdProduto; writes back its tree code and brand.
QVariant restrictedProduct(MethodContext& ctx, QVariantList& a, const StockRestriction& r);
// A product packet whose EST_DISP_ST is filled with EST_DISP as the pickers show it.
data::DataPacket withStockText(const data::DataPacket& raw);

// The two closing forms of UpdItemPedidoOL (MethodsOperations.cpp): once the delta is saved, its
// marked items are written off or leave the OL for direct delivery, `reason` kept in the audit.
enum class ItemClosing { WriteOff, DirectDelivery };
void closeMarkedItems(MethodContext& ctx, const data::DataPacket& delta, ItemClosing closing,
                      const QString& op, const QString& reason);

} // namespace sup::server
