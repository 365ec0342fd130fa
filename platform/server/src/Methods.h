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

// The two closing forms of UpdItemPedidoOL (MethodsOperations.cpp): once the delta is saved, its
// marked items are written off or leave the OL for direct delivery, `reason` kept in the audit.
enum class ItemClosing { WriteOff, DirectDelivery };
void closeMarkedItems(MethodContext& ctx, const data::DataPacket& delta, ItemClosing closing,
                      const QString& op, const QString& reason);

} // namespace sup::server
