#pragma once

// The handlers of the remote modules' methods, one file per group of methods (Methods*.cpp).
// What each method takes and answers is the method contract's (sup/contracts/MethodContract.h);
// the dispatch checks every call against it before a handler runs.

#include "Fault.h"
#include "ItemKeys.h"

#include "sup/contracts/MethodContract.h"
#include "sup/data/DataPacket.h"
#include "sup/server/ReferenceServer.h"

#include <QDate>
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
QVariant GetAjusteUn(MethodContext&, QVariantList&);
QVariant GetVdMarcPref(MethodContext&, QVariantList&);
QVariant AltAtuItem(MethodContext&, QVariantList&);
QVariant GetHistItem(MethodContext&, QVariantList&); // MethodsHistory.cpp
QVariant VisAltAtuItem(MethodContext&, QVariantList&);

// Argument `i` of a call as text, trimmed; refused ("args") when blank for requiredArg.
QString argText(const QVariantList& a, int i);
[[noreturn]] void refuseBlankArg(const MethodContext& ctx, int i);
QString requiredArg(const MethodContext& ctx, const QVariantList& a, int i);

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
// The brand a product is served in at an OL (MethodsAlteration.cpp): the one asked when the
// product is bought in it or the OL holds free stock of it, else the one of the OL's most free
// stock, else its first brand; empty when it has none.
QString chooseBrand(const sql::Connection& conn, const QString& ol, const QString& product,
                    const QString& asked);
// The purchase calendar (MethodsAlteration.cpp): for each pair of destination branch and product
// tree code, whether the branch's calendar row of the product, or of its nearest tree ancestor
// with one, leaves the date's weekday out; a pair without a row takes any date. One statement for
// all pairs.
struct CalendarPair {
    QString branch, tree;
};
QList<bool> outsideCalendar(const sql::Connection& conn, const QList<CalendarPair>& pairs,
                            const QDate& date);
// A product packet whose EST_DISP_ST is filled with EST_DISP as the pickers show it.
data::DataPacket withStockText(const data::DataPacket& raw);

// The two closing forms of UpdItemPedidoOL (MethodsOperations.cpp): once the delta is saved, its
// marked items are written off or leave the OL for direct delivery, `reason` kept in the audit.
enum class ItemClosing { WriteOff, DirectDelivery };
void closeMarkedItems(MethodContext& ctx, const data::DataPacket& delta, ItemClosing closing,
                      const QString& op, const QString& reason);

// Gives the OL stock reserved for some items back (MethodsOperations.cpp): their reservation
// rows go, their reserved quantity becomes 0, each change added to `audit`.
struct ReservedItem {
    ItemKey key;
    qint64 id = 0;
    double reserved = 0;
};
void releaseReservations(const sql::Connection& conn, const QList<ReservedItem>& items,
                         QList<AuditEntry>& audit);

} // namespace sup::server
