#include "Methods.h"

#include <QHash>

namespace sup::server {

namespace {

QHash<contracts::Method, Handler> buildHandlers() {
    using M = contracts::Method;
    return {
        {M::GetParametroOL, GetParametroOL},
        {M::getParaSupri, GetParaSupri},
        {M::GetParaSupri, GetParaSupri},
        {M::GetItem, GetItem},
        {M::GetAgruFili, GetAgruFili},
        {M::GetFiliAgrupFili, GetFiliAgrupFili},
        {M::GetProduto, GetProduto},
        {M::GetLotePedOL, GetLotePedOL},
        {M::GetPesqMarca, GetPesqMarca},
        {M::GetBloqIncluiProdCmpOL, GetBloqIncluiProdCmpOL},
        {M::GetBloqProdSemRelacOL, GetBloqProdSemRelacOL},
        {M::GetVd_Est_Disp, GetVd_Est_Disp},
        {M::VerificaMarcaPref, VerificaMarcaPref},
        {M::VerificaMarcaPref1, VerificaMarcaPref1},
        {M::GetVdReserva, GetVdReserva},
        {M::UpdItemPedidoOL, UpdItemPedidoOL},
        {M::GetPesqProduto, GetPesqProduto},
        {M::SetBloqItem, SetBloqItem},
        {M::SetReserva, SetReserva},
        {M::GetVd_LotePedOL, GetVd_LotePedOL},
        {M::SetCadLoteEnvPedOL, SetCadLoteEnvPedOL},
        {M::GetFiltroSup, GetFiltroSup},
        {M::SetFiltroSup, SetFiltroSup},
        {M::GetProdutos, GetProdutos},
        {M::Carrega_PeriFili, Carrega_PeriFili},
        {M::GetAjusteUn, GetAjusteUn},
        {M::GetVdMarcPref, GetVdMarcPref},
        {M::AltAtuItem, AltAtuItem},
        {M::GetHistItem, GetHistItem},
        {M::VisAltAtuItem, VisAltAtuItem},
    };
}

} // namespace

Handler handlerOf(contracts::Method method) {
    static const QHash<contracts::Method, Handler> handlers = buildHandlers();
    return handlers.value(method);
}

QString argText(const QVariantList& a, int i) {
    return a[i].toString().trimmed();
}

void refuseBlankArg(const MethodContext& ctx, int i) {
    throw MethodFault(QStringLiteral("O argumento %1 de %2 (%3) deve ser informado.")
                          .arg(i + 1)
                          .arg(ctx.def.name, QString::fromUtf8(ctx.def.args[i].what)),
                      QStringLiteral("args"));
}

QString requiredArg(const MethodContext& ctx, const QVariantList& a, int i) {
    QString v = argText(a, i);
    if (v.isEmpty())
        refuseBlankArg(ctx, i);
    return v;
}

} // namespace sup::server
