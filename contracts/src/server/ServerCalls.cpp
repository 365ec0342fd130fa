#include "sup/contracts/ServerCalls.h"

#include "sup/contracts/ServerResult.h"
#include "sup/data/DayNumber.h"

#include <QDateTime>

namespace sup::contracts {

QVariant IAppServer::invoke(const MethodSpec& def, QVariantList& args, const QBitArray&) {
    return call(def.name, args);
}

namespace detail {

QVariant toArg(const QString& v) {
    return v;
}
QVariant toArg(double v) {
    return v;
}
QVariant toArg(int v) {
    return v;
}
QVariant toArg(bool v) {
    return v;
}
QVariant toArg(const QDate& v) {
    return v;
}
QVariant toArg(const data::DataPacket& v) {
    return QVariant::fromValue(v);
}
QVariant toArg(const QVariantList& v) {
    return v;
}
QVariant toArg(const SelectedItems& v) {
    return QVariant::fromValue(v);
}

void fromArg(const QVariant& v, QString& out) {
    out = v.toString();
}
void fromArg(const QVariant& v, double& out) {
    out = v.toDouble();
}
void fromArg(const QVariant& v, int& out) {
    out = v.toInt();
}
void fromArg(const QVariant& v, bool& out) {
    out = v.toBool();
}
void fromArg(const QVariant& v, QDate& out) {
    switch (v.typeId()) {
    case QMetaType::QDate:
        out = v.toDate();
        break;
    case QMetaType::QDateTime:
        out = v.toDateTime().date();
        break;
    default:
        out = data::dateFromDayNumber(v.toDouble());
        break;
    }
}
void fromArg(const QVariant& v, data::DataPacket& out) {
    out = v.value<data::DataPacket>();
}
void fromArg(const QVariant& v, QVariantList& out) {
    out = v.toList();
}
void fromArg(const QVariant& v, SelectedItems& out) {
    // Written back unchanged, the items need no conversion; another shape leaves them alone.
    if (std::optional<SelectedItems> items = SelectedItems::fromVariant(v))
        out = std::move(*items);
}

QVariant send(IAppServer& server, Method method, QVariantList& args, const QBitArray& byRef) {
    const MethodSpec& def = specOf(method);
    const QString bad = checkArguments(def, args, &byRef);
    if (!bad.isEmpty())
        return makeFault(bad, QStringLiteral("args"));
    return server.invoke(def, args, byRef);
}

} // namespace detail

ItemCriteria ItemCriteria::fromArgs(const QVariantList& args) {
    ItemCriteria c;
    qsizetype i = 0;
    visit(c, [&](auto& member, bool) {
        if (i < args.size())
            detail::fromArg(args[i], member);
        ++i;
    });
    return c;
}

namespace calls {

using M = Method;

QVariant GetParametroOL(IAppServer& s, const QString& filial) {
    return invoke(s, M::GetParametroOL, filial);
}

QVariant GetPesqProduto(IAppServer& s, const QString& ol, const QString& produtoItem,
                        ValueOrRef<QString> codigo, const QString& restricao,
                        ValueOrRef<QString> marca) {
    return invoke(s, M::GetPesqProduto, ol, produtoItem, codigo, restricao, marca);
}

QVariant GetPesqMarca(IAppServer& s, const QString& cdArvProd) {
    return invoke(s, M::GetPesqMarca, cdArvProd);
}

QVariant GetBloqIncluiProdCmpOL(IAppServer& s, const QString& grupo, const QString& subgrupoOL,
                                const QString& produto) {
    return invoke(s, M::GetBloqIncluiProdCmpOL, grupo, subgrupoOL, produto);
}

QVariant GetVd_Est_Disp(IAppServer& s, QString& filialDestino, QString& filialLancamento,
                        QString& ol, QString& marca, QString& produto, QString& cdArvProd,
                        double& quantidade) {
    return invoke(s, M::GetVd_Est_Disp, byRef(filialDestino), byRef(filialLancamento), byRef(ol),
                  byRef(marca), byRef(produto), byRef(cdArvProd), byRef(quantidade));
}

QVariant VerificaMarcaPref(IAppServer& s, QString& filialDestino, const QString& produto,
                           const QString& marca, QString& produtoReferencia,
                           QString& marcaReferencia) {
    return invoke(s, M::VerificaMarcaPref, byRef(filialDestino), produto, marca,
                  byRef(produtoReferencia), byRef(marcaReferencia));
}

QVariant VerificaMarcaPref1(IAppServer& s, QString& filialDestino, const QString& produto,
                            const QString& marca, QString& produtoReferencia,
                            QString& marcaReferencia) {
    return invoke(s, M::VerificaMarcaPref1, byRef(filialDestino), produto, marca,
                  byRef(produtoReferencia), byRef(marcaReferencia));
}

QVariant GetBloqProdSemRelacOL(IAppServer& s, ValueOrRef<QString> produto, const QString& marca,
                               const QString& filialDestino) {
    return invoke(s, M::GetBloqProdSemRelacOL, produto, marca, filialDestino);
}

QVariant UpdItemPedidoOL(IAppServer& s, DataPacket& delta, const QString& baixaManual,
                         const QString& entregaDireta, const QString& operador,
                         bool atualizaSolicitacoes, const QString& descricaoAlteracao,
                         const QString& descricaoRemanejamento) {
    return invoke(s, M::UpdItemPedidoOL, byRef(delta), baixaManual, entregaDireta, operador,
                  atualizaSolicitacoes, descricaoAlteracao, descricaoRemanejamento);
}

QVariant UpdItemPedidoOL(IAppServer& s, DataPacket& delta, const QString& baixaManual,
                         const QString& entregaDireta, const QString& operador, int modo,
                         const QString& descricaoAlteracao, const QString& descricaoRemanejamento) {
    return invoke(s, M::UpdItemPedidoOL, byRef(delta), baixaManual, entregaDireta, operador, modo,
                  descricaoAlteracao, descricaoRemanejamento);
}

QVariant getParaSupri(IAppServer& s, const QString& filial) {
    return invoke(s, M::getParaSupri, filial);
}

QVariant SetBloqItem(IAppServer& s, const DataPacket& itens, const QString& operador) {
    return invoke(s, M::SetBloqItem, itens, operador);
}

QVariant GetVdReserva(IAppServer& s, const QString& filialDestino, const QString& filialLancamento,
                      const QString& pedido, const QString& produto, const QString& marca,
                      const QDate& entrega, const QDate& embarque, const QString& ol,
                      QString& filialCentral, double quantidade) {
    return invoke(s, M::GetVdReserva, filialDestino, filialLancamento, pedido, produto, marca,
                  entrega, embarque, ol, byRef(filialCentral), quantidade);
}

QVariant SetReserva(IAppServer& s, const DataPacket& reservas) {
    return invoke(s, M::SetReserva, reservas);
}

QVariant GetItem(IAppServer& s, ItemCriteria& criteria) {
    QVariantList args;
    QList<bool> passing;
    ItemCriteria::visit(criteria, [&](const auto& member, bool ref) {
        args << detail::toArg(member);
        passing << ref;
    });
    QBitArray mask(passing.size());
    for (qsizetype i = 0; i < passing.size(); ++i)
        mask.setBit(i, passing[i]);
    const QVariant answer = detail::send(s, M::GetItem, args, mask);
    qsizetype i = 0;
    ItemCriteria::visit(criteria, [&](auto& member, bool ref) {
        if (ref && i < args.size())
            detail::fromArg(args[i], member);
        ++i;
    });
    return answer;
}

QVariant GetAgruFili(IAppServer& s) {
    return invoke(s, M::GetAgruFili);
}

QVariant GetFiliAgrupFili(IAppServer& s, const QString& agrupamento, QString& regioes,
                          QString& todasRegioes, const QString& operador) {
    return invoke(s, M::GetFiliAgrupFili, agrupamento, byRef(regioes), byRef(todasRegioes),
                  operador);
}

QVariant GetProduto(IAppServer& s, const QString& filtro) {
    return invoke(s, M::GetProduto, filtro);
}

QVariant GetLotePedOL(IAppServer& s) {
    return invoke(s, M::GetLotePedOL);
}

QVariant GetFiltroSup(IAppServer& s) {
    return invoke(s, M::GetFiltroSup);
}

QVariant SetFiltroSup(IAppServer& s, QString& opcao) {
    return invoke(s, M::SetFiltroSup, byRef(opcao));
}

QVariant GetProdutos(IAppServer& s, const QString& ol, ValueOrRef<QString> codigo,
                     ValueOrRef<QString> marca) {
    return invoke(s, M::GetProdutos, ol, codigo, marca);
}

QVariant Carrega_PeriFili(IAppServer& s, const QString& filialDestino, QString& cdArvProd,
                          const QDate& entrega) {
    return invoke(s, M::Carrega_PeriFili, filialDestino, byRef(cdArvProd), entrega);
}

QVariant GetAjusteUn(IAppServer& s, const QString& produto) {
    return invoke(s, M::GetAjusteUn, produto);
}

QVariant GetVdMarcPref(IAppServer& s, SelectedItems& itens, QString& produtoNovo,
                       const QString& filialCentral, QString& marcaNova) {
    return invoke(s, M::GetVdMarcPref, byRef(itens), byRef(produtoNovo), filialCentral,
                  byRef(marcaNova));
}

QVariant AltAtuItem(IAppServer& s, AltAtuItemArgs& a) {
    return invoke(s, M::AltAtuItem, byRef(a.itens), a.alteraProduto, a.alteraQuantidade,
                  a.alteraEntrega, a.novaEntrega, byRef(a.novaQuantidade), byRef(a.produtoNovo),
                  a.ajusteUnidade, a.ajusteQuantidade, a.textoRecusaPeriodicidade,
                  a.consideraSolicitacao, byRef(a.unidadeEstoque), a.atualizaSolicitacoes,
                  a.operador, a.descricaoAlteracao, byRef(a.filialCentral),
                  byRef(a.estoqueDisponivel), a.filialDestino, a.filialLancamento,
                  byRef(a.marcaNova), byRef(a.respostaParticularidade));
}

QVariant VisAltAtuItem(IAppServer& s, AltAtuItemArgs& a) {
    return invoke(s, M::VisAltAtuItem, byRef(a.itens), a.alteraProduto, a.alteraQuantidade,
                  a.alteraEntrega, a.novaEntrega, byRef(a.novaQuantidade), byRef(a.produtoNovo),
                  a.ajusteUnidade, a.ajusteQuantidade, a.textoRecusaPeriodicidade,
                  a.consideraSolicitacao, byRef(a.unidadeEstoque), a.atualizaSolicitacoes,
                  a.operador, a.descricaoAlteracao, byRef(a.filialCentral),
                  byRef(a.estoqueDisponivel), a.filialDestino, a.filialLancamento,
                  byRef(a.marcaNova), byRef(a.respostaParticularidade));
}

QVariant GetVd_LotePedOL(IAppServer& s, QString& lote) {
    return invoke(s, M::GetVd_LotePedOL, byRef(lote));
}

QVariant SetCadLoteEnvPedOL(IAppServer& s, const DataPacket& lotes, const QString& operador) {
    return invoke(s, M::SetCadLoteEnvPedOL, lotes, operador);
}

QVariant GetParaSupri(IAppServer& s, const QString& filial) {
    return invoke(s, M::GetParaSupri, filial);
}

QVariant GetHistItem(IAppServer& s, double item) {
    return invoke(s, M::GetHistItem, item);
}

} // namespace calls

} // namespace sup::contracts
