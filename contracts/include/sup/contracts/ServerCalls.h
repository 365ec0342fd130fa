#pragma once

// The typed calls of the application server: one function per method of the contract
// (MethodContract.h), taking its arguments in their order and types. A by-reference argument is a
// non-const reference: the value the server writes back lands in the caller's variable. Where
// callers differ, a ValueOrRef takes a plain value or byRef(variable).
//
// Each returns the server's answer as it came, for CheckResultServ; a fault is never thrown
// here. The arguments are checked against the contract before they leave: a call that does not
// fit it answers a fault ("args") instead of reaching the server.

#include "sup/contracts/AppServer.h"
#include "sup/contracts/ItemCriteria.h"
#include "sup/contracts/MethodContract.h"
#include "sup/contracts/SelectedItems.h"
#include "sup/data/DataPacket.h"

#include <QBitArray>
#include <QDate>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <type_traits>
#include <utility>

namespace sup::contracts {

namespace detail {

template <class T> struct Ref { T& value; };
template <class T> struct IsRef : std::false_type {};
template <class T> struct IsRef<Ref<T>> : std::true_type {};

} // namespace detail

// An argument that some callers pass by value and others by reference (byRef()).
template <class T> class ValueOrRef {
public:
    ValueOrRef(const T& value)
        : value_(&value) {}
    ValueOrRef(detail::Ref<T> ref)
        : value_(&ref.value)
        , ref_(&ref.value) {}
    const T& value() const { return *value_; }
    T* reference() const { return ref_; }

private:
    const T* value_;
    T* ref_ = nullptr;
};

namespace detail {

template <class T> struct IsValueOrRef : std::false_type {};
template <class T> struct IsValueOrRef<ValueOrRef<T>> : std::true_type {};

QVariant toArg(const QString& v);
QVariant toArg(double v);
QVariant toArg(int v);
QVariant toArg(bool v);
QVariant toArg(const QDate& v);
QVariant toArg(const data::DataPacket& v);
QVariant toArg(const QVariantList& v);
QVariant toArg(const SelectedItems& v);

void fromArg(const QVariant& v, QString& out);
void fromArg(const QVariant& v, double& out);
void fromArg(const QVariant& v, int& out);
void fromArg(const QVariant& v, bool& out);
void fromArg(const QVariant& v, QDate& out); // a QDate, a QDateTime or a day number
void fromArg(const QVariant& v, data::DataPacket& out);
void fromArg(const QVariant& v, QVariantList& out);
void fromArg(const QVariant& v, SelectedItems& out); // either of its forms

// Checks the call against the contract and sends it.
QVariant send(IAppServer& server, Method method, QVariantList& args, const QBitArray& byRef);

template <class A> void push(QVariantList& args, QBitArray& mask, int& i, const A& a) {
    if constexpr (IsRef<A>::value) {
        args << toArg(a.value);
        mask.setBit(i);
    } else if constexpr (IsValueOrRef<A>::value) {
        args << toArg(a.value());
        mask.setBit(i, a.reference() != nullptr);
    } else {
        args << toArg(a);
    }
    ++i;
}

template <class A> void pull(const QVariantList& args, int& i, const A& a) {
    if constexpr (IsRef<A>::value) {
        if (i < args.size())
            fromArg(args[i], a.value);
    } else if constexpr (IsValueOrRef<A>::value) {
        if (a.reference() && i < args.size())
            fromArg(args[i], *a.reference());
    }
    ++i;
}

} // namespace detail

// Marks an argument passed by reference.
template <class T> detail::Ref<T> byRef(T& value) {
    return {value};
}

// Sends `method` with the arguments in order; by-reference ones (byRef) are written back after
// the call.
template <class... A> QVariant invoke(IAppServer& server, Method method, const A&... a) {
    QVariantList args;
    args.reserve(qsizetype(sizeof...(A)));
    QBitArray mask(qsizetype(sizeof...(A)));
    [[maybe_unused]] int i = 0;
    (detail::push(args, mask, i, a), ...);
    QVariant answer = detail::send(server, method, args, mask);
    i = 0;
    (detail::pull(args, i, a), ...);
    return answer;
}

namespace calls {

using data::DataPacket;

// --- Sup07700.rdmAltPedidosOL -------------------------------------------------------------

// The OL parameters of a branch -> packet (IDUTLPRARVOLCMP, CDGRUPPROD, CDSUBGRARVOR).
QVariant GetParametroOL(IAppServer& s, const QString& filial);
// The products an item may take.
QVariant GetPesqProduto(IAppServer& s, const QString& ol, const QString& produtoItem,
                        ValueOrRef<QString> codigo, const QString& restricao,
                        ValueOrRef<QString> marca);
// The brands registered for a product tree code.
QVariant GetPesqMarca(IAppServer& s, const QString& cdArvProd);
// Products inside the OL's purchase-tree group and sub-group.
QVariant GetBloqIncluiProdCmpOL(IAppServer& s, const QString& grupo, const QString& subgrupoOL,
                                const QString& produto);
// Whether the OL's free stock covers a quantity.
QVariant GetVd_Est_Disp(IAppServer& s, QString& filialDestino, QString& filialLancamento,
                        QString& ol, QString& marca, QString& produto, QString& cdArvProd,
                        double& quantidade);
// The branch particularities of a product and brand (two stages).
QVariant VerificaMarcaPref(IAppServer& s, QString& filialDestino, const QString& produto,
                           const QString& marca, QString& produtoReferencia,
                           QString& marcaReferencia);
QVariant VerificaMarcaPref1(IAppServer& s, QString& filialDestino, const QString& produto,
                            const QString& marca, QString& produtoReferencia,
                            QString& marcaReferencia);
// The branch's supply parameter and the product's OL relationships.
QVariant GetBloqProdSemRelacOL(IAppServer& s, ValueOrRef<QString> produto, const QString& marca,
                               const QString& filialDestino);
// Saves the delta of the items.
QVariant UpdItemPedidoOL(IAppServer& s, DataPacket& delta, const QString& baixaManual,
                         const QString& entregaDireta, const QString& operador,
                         bool atualizaSolicitacoes, const QString& descricaoAlteracao,
                         const QString& descricaoRemanejamento);
// The same from the operations on marked items (write-off, direct delivery): argument 5 is the
// integer those callers send (3) instead of the answer about purchase requests.
QVariant UpdItemPedidoOL(IAppServer& s, DataPacket& delta, const QString& baixaManual,
                         const QString& entregaDireta, const QString& operador, int modo,
                         const QString& descricaoAlteracao, const QString& descricaoRemanejamento);
// The supply parameters of the processing branch, on the maintenance screen's module.
QVariant getParaSupri(IAppServer& s, const QString& filial);
// Blocks or unblocks the items of the packet.
QVariant SetBloqItem(IAppServer& s, const DataPacket& itens, const QString& operador);
// The reservation check of an item.
QVariant GetVdReserva(IAppServer& s, const QString& filialDestino, const QString& filialLancamento,
                      const QString& pedido, const QString& produto, const QString& marca,
                      const QDate& entrega, const QDate& embarque, const QString& ol,
                      QString& filialCentral, double quantidade);
// Includes or excludes stock reservations.
QVariant SetReserva(IAppServer& s, const DataPacket& reservas);
// The items of a set of criteria -> [items, branch parameters, quantity adjustments, group
// authorisations].
QVariant GetItem(IAppServer& s, ItemCriteria& criteria);
// Every branch grouping.
QVariant GetAgruFili(IAppServer& s);
// The branches of a grouping.
QVariant GetFiliAgrupFili(IAppServer& s, const QString& agrupamento, QString& regioes,
                          QString& todasRegioes, const QString& operador);
// The products with an OL relationship, by tree-code prefix.
QVariant GetProduto(IAppServer& s, const QString& filtro);
// Every dispatch batch.
QVariant GetLotePedOL(IAppServer& s);
// The automatic alteration's options profile.
QVariant GetFiltroSup(IAppServer& s);
QVariant SetFiltroSup(IAppServer& s, QString& opcao);
// The replacement products of the automatic alteration.
QVariant GetProdutos(IAppServer& s, const QString& ol, ValueOrRef<QString> codigo,
                     ValueOrRef<QString> marca);
// The branch's purchase calendar for a product.
QVariant Carrega_PeriFili(IAppServer& s, const QString& filialDestino, QString& cdArvProd,
                          const QDate& entrega);
// The unit adjustment of a product.
QVariant GetAjusteUn(IAppServer& s, const QString& produto);
// The brand-preference check of the automatic alteration.
QVariant GetVdMarcPref(IAppServer& s, SelectedItems& itens, QString& produtoNovo,
                       const QString& filialCentral, QString& marcaNova);

// The arguments of AltAtuItem, in their order.
struct AltAtuItemArgs {
    SelectedItems itens; // by reference
    bool alteraProduto = false;
    bool alteraQuantidade = false;
    bool alteraEntrega = false;
    QDate novaEntrega;
    double novaQuantidade = 0; // by reference
    QString produtoNovo;       // by reference
    double ajusteUnidade = 0;
    double ajusteQuantidade = 0;
    QString textoRecusaPeriodicidade;
    bool consideraSolicitacao = false;
    QString unidadeEstoque; // by reference
    bool atualizaSolicitacoes = false;
    QString operador;
    QString descricaoAlteracao;
    QString filialCentral;        // by reference
    double estoqueDisponivel = 0; // by reference
    QString filialDestino;
    QString filialLancamento;
    QString marcaNova;               // by reference
    QString respostaParticularidade; // by reference
};
// Applies the automatic alteration to the chosen items.
QVariant AltAtuItem(IAppServer& s, AltAtuItemArgs& a);
// What AltAtuItem would make of each chosen item, with the same arguments; nothing is written.
QVariant VisAltAtuItem(IAppServer& s, AltAtuItemArgs& a);
// Whether a dispatch batch exists.
QVariant GetVd_LotePedOL(IAppServer& s, QString& lote);
// Registers items in dispatch batches.
QVariant SetCadLoteEnvPedOL(IAppServer& s, const DataPacket& lotes, const QString& operador);

// --- Sup.rdmSuprimentos ----------------------------------------------------------------------

// The supply parameters of a purchasing branch.
QVariant GetParaSupri(IAppServer& s, const QString& filial);

// --- Sup07700.rdmAltPedidosOL, added later ----------------------------------------------------

// The audit rows of one item, by its id (CDRASTRITM), newest first.
QVariant GetHistItem(IAppServer& s, double item);

} // namespace calls

} // namespace sup::contracts
