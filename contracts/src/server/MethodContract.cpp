#include "sup/contracts/MethodContract.h"

#include "sup/contracts/SelectedItems.h"
#include "sup/data/DataPacket.h"

#include <QHash>

#include <cmath>

namespace sup::contracts {

namespace {

constexpr ArgSpec T(const char* what = "") {
    return {ArgType::Text, Passing::Value, what};
}
constexpr ArgSpec RT(const char* what = "") {
    return {ArgType::Text, Passing::Reference, what};
}
// Text passed by reference from some screens and by value from others.
constexpr ArgSpec ET(const char* what = "") {
    return {ArgType::Text, Passing::Either, what};
}
constexpr ArgSpec D(const char* what = "") {
    return {ArgType::Double, Passing::Value, what};
}
constexpr ArgSpec RD(const char* what = "") {
    return {ArgType::Double, Passing::Reference, what};
}
constexpr ArgSpec DT(const char* what = "") {
    return {ArgType::Date, Passing::Value, what};
}
constexpr ArgSpec B(const char* what = "") {
    return {ArgType::Boolean, Passing::Value, what};
}

QList<MethodSpec> buildContract() {
    QList<MethodSpec> t;
    auto add = [&](Method id, const char* name, QList<ArgSpec> args, bool writes,
                   AnswerShape answer = AnswerShape::Any, int items = 0) {
        t.append(MethodSpec{id, kModuleAltPedidosOL, QString::fromLatin1(name), std::move(args),
                            writes, answer, items});
    };
    using A = AnswerShape;
    using M = Method;

    add(M::GetParametroOL, "GetParametroOL", {T("filial")}, false, A::Packet);
    add(M::GetPesqProduto, "GetPesqProduto",
        {T("OL"), T("produto do item"), ET("código digitado"), T("restrição"), ET("marca")}, false,
        A::Packet);
    add(M::GetPesqMarca, "GetPesqMarca", {T("código do produto na árvore")}, false, A::Packet);
    add(M::GetBloqIncluiProdCmpOL, "GetBloqIncluiProdCmpOL",
        {T("grupo de produto"), T("subgrupo da árvore do OL"), T("produto")}, false, A::Packet);
    add(M::GetVd_Est_Disp, "GetVd_Est_Disp",
        {RT("filial destino"), RT("filial de lançamento"), RT("OL"), RT("marca"), RT("produto"),
         RT("código do produto na árvore"), RD("quantidade")},
        false, A::Scalar);
    // [agreement "S"/"N", the particularities found]
    add(M::VerificaMarcaPref, "VerificaMarcaPref",
        {RT("filial destino"), T("produto"), T("marca"), RT("produto de referência"),
         RT("marca de referência")},
        false, A::List, 2);
    // [agreement "S"/"N", the particularities found, the preferential products]
    add(M::VerificaMarcaPref1, "VerificaMarcaPref1",
        {RT("filial destino"), T("produto"), T("marca"), RT("produto de referência"),
         RT("marca de referência")},
        false, A::List, 3);
    // [supply parameter of the branch, OL relationships of the product]
    add(M::GetBloqProdSemRelacOL, "GetBloqProdSemRelacOL",
        {ET("produto"), T("marca"), T("filial destino")}, false, A::PacketList, 2);
    add(M::UpdItemPedidoOL, "UpdItemPedidoOL",
        {{ArgType::Delta, Passing::Reference, "alterações dos itens"},
         T("indicador de baixa manual"),
         T("indicador de entrega direta"),
         T("operador"),
         {ArgType::BoolOrInt, Passing::Value, "atualização das solicitações"},
         T("descrição da alteração"),
         T("descrição do remanejamento")},
        true);
    add(M::getParaSupri, "getParaSupri", {T("filial")}, false, A::Packet);
    add(M::SetBloqItem, "SetBloqItem",
        {{ArgType::Packet, Passing::Value, "itens a bloquear"}, T("operador")}, true);
    // [no OL relationship and no OL stock, available to the item, held by the item, short of
    //  OL stock]
    add(M::GetVdReserva, "GetVdReserva",
        {T("filial destino (campo inteiro)"), T("filial de lançamento"), T("pedido"), T("produto"),
         T("marca"), DT("data de entrega"), DT("data de embarque"), T("OL"),
         RT("filial central de compras"), D("quantidade")},
        false, A::List, 4);
    add(M::SetReserva, "SetReserva", {{ArgType::Packet, Passing::Value, "reservas"}}, true,
        A::Scalar);
    add(M::GetItem, "GetItem",
        {DT("data do pedido inicial"),
         DT("data do pedido final"),
         DT("data de entrega inicial"),
         DT("data de entrega final"),
         DT("data de embarque inicial"),
         DT("data de embarque final"),
         RT("todas as filiais"),
         RT("filiais"),
         RT("todos os OL"),
         RT("OL"),
         T("agrupamento de filial"),
         RT("produto inicial"),
         RT("produto final"),
         RT("sem datas de embarque"),
         RT("sem datas de pedido"),
         RT("sem datas de entrega"),
         RT("regiões"),
         RT("todas as regiões"),
         T("operador"),
         RT("bloqueados"),
         RT("desbloqueados"),
         RT("sem datas de bloqueio"),
         DT("data de bloqueio inicial"),
         D("data de bloqueio final"),
         RT("sem datas de desbloqueio"),
         DT("data de desbloqueio inicial"),
         D("data de desbloqueio final"),
         RT("pedido extra"),
         RT("reserva"),
         RT("lote de envio"),
         RT("subgrupos"),
         RT("grupo de produto"),
         RT("rotas"),
         RT("marcas")},
        false, A::PacketList, 4);
    add(M::GetAgruFili, "GetAgruFili", {}, false, A::Packet);
    add(M::GetFiliAgrupFili, "GetFiliAgrupFili",
        {T("agrupamento de filial"), RT("regiões"), RT("todas as regiões"), T("operador")}, false,
        A::Packet);
    add(M::GetProduto, "GetProduto", {T("filtro")}, false, A::Packet);
    add(M::GetLotePedOL, "GetLotePedOL", {}, false, A::Packet);
    add(M::GetFiltroSup, "GetFiltroSup", {}, false, A::Packet);
    add(M::SetFiltroSup, "SetFiltroSup", {RT("opção")}, true);
    add(M::GetProdutos, "GetProdutos", {T("OL"), ET("código do produto"), ET("marca")}, false,
        A::Packet);
    // "S" when the branch's purchase calendar does not cover the date
    add(M::Carrega_PeriFili, "Carrega_PeriFili",
        {T("filial destino"), RT("código do produto na árvore"), DT("data de entrega")}, false,
        A::Scalar);
    add(M::GetAjusteUn, "GetAjusteUn", {T("produto")}, false, A::Packet);
    add(M::GetVdMarcPref, "GetVdMarcPref",
        {{ArgType::Array, Passing::Reference, "itens selecionados"},
         RT("produto novo"),
         T("filial central de compras"),
         RT("marca nova")},
        false, A::Packet);
    add(M::AltAtuItem, "AltAtuItem",
        {{ArgType::Array, Passing::Reference, "itens selecionados"},
         B("alterar produto"),
         B("alterar quantidade"),
         B("alterar entrega"),
         DT("nova data de entrega"),
         RD("nova quantidade"),
         RT("produto novo"),
         D("ajuste da unidade"),
         D("ajuste da quantidade"),
         T("texto da recusa por periodicidade"),
         B("considerar a solicitação"),
         RT("unidade de estoque"),
         B("atualizar solicitações"),
         T("operador"),
         T("descrição da alteração"),
         RT("filial central de compras"),
         RD("estoque disponível"),
         T("filial destino"),
         T("filial de lançamento"),
         RT("marca nova"),
         RT("resposta da particularidade")},
        true, A::List, 4);
    // The preview of AltAtuItem, with its arguments (the entry just above): what it would make
    // of each item, one row per item; nothing is kept.
    add(M::VisAltAtuItem, "VisAltAtuItem", t.last().args, false, A::Packet);
    add(M::GetVd_LotePedOL, "GetVd_LotePedOL", {RT("lote de envio")}, false, A::Packet);
    add(M::SetCadLoteEnvPedOL, "SetCadLoteEnvPedOL",
        {{ArgType::Packet, Passing::Value, "lotes de envio"}, T("operador")}, true);

    t.append(MethodSpec{M::GetParaSupri,
                        kModuleSuprimentos,
                        QStringLiteral("GetParaSupri"),
                        {T("filial")},
                        false,
                        A::Packet,
                        0});
    // The audit rows of one item (its CDRASTRITM), newest first.
    add(M::GetHistItem, "GetHistItem", {{ArgType::Integer, Passing::Value, "item"}}, false,
        A::Packet);
    // specOf() finds a method by its place: the table follows the enumeration.
    for (qsizetype i = 0; i < t.size(); ++i)
        if (t[i].id != Method(i))
            qFatal("Method contract out of the enumeration's order at %s", qPrintable(t[i].name));
    return t;
}

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool isInteger(const QVariant& v) {
    if (!isNumber(v))
        return false;
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
        const double d = v.toDouble();
        return std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15;
    }
    return true;
}

bool isPacket(const QVariant& v) {
    return v.metaType() == QMetaType::fromType<data::DataPacket>();
}

bool fits(ArgType type, const QVariant& v) {
    switch (type) {
    case ArgType::Text:
        return v.typeId() == QMetaType::QString;
    case ArgType::Double:
        return isNumber(v) && std::isfinite(v.toDouble());
    case ArgType::Integer:
        return isInteger(v);
    case ArgType::Boolean:
        return v.typeId() == QMetaType::Bool;
    case ArgType::BoolOrInt:
        return v.typeId() == QMetaType::Bool || isInteger(v);
    case ArgType::Date:
        return v.typeId() == QMetaType::QDate || v.typeId() == QMetaType::QDateTime ||
               (isNumber(v) && std::isfinite(v.toDouble()));
    case ArgType::Packet:
        return isPacket(v);
    case ArgType::Delta:
        return isPacket(v) && v.value<data::DataPacket>().isDelta();
    case ArgType::Array:
        return v.typeId() == QMetaType::QVariantList ||
               v.metaType() == QMetaType::fromType<SelectedItems>();
    }
    return false;
}

struct Index {
    QHash<QString, const MethodSpec*> byKey; // "module|method", lower case
};

QString keyOf(const QString& module, const QString& name) {
    return module.toLower() + u'|' + name.toLower();
}

const Index& index() {
    static const Index idx = [] {
        Index i;
        for (const MethodSpec& m : methodContract())
            i.byKey.insert(keyOf(m.module, m.name), &m);
        return i;
    }();
    return idx;
}

} // namespace

QList<int> MethodSpec::byReferencePositions() const {
    QList<int> out;
    for (int i = 0; i < args.size(); ++i)
        if (args[i].byRef())
            out << i;
    return out;
}

const QList<MethodSpec>& methodContract() {
    static const QList<MethodSpec> table = buildContract();
    return table;
}

const MethodSpec& specOf(Method method) {
    const QList<MethodSpec>& t = methodContract();
    return t[qsizetype(method)];
}

const MethodSpec* findMethod(const QString& module, const QString& name) {
    return index().byKey.value(keyOf(module, name), nullptr);
}

QStringList knownModules() {
    return {kModuleAltPedidosOL, kModuleSuprimentos};
}

bool isKnownModule(const QString& module) {
    return knownModules().contains(module, Qt::CaseInsensitive);
}

QString argTypeName(ArgType type) {
    switch (type) {
    case ArgType::Text:
        return QStringLiteral("texto");
    case ArgType::Double:
        return QStringLiteral("número");
    case ArgType::Integer:
        return QStringLiteral("inteiro");
    case ArgType::Boolean:
        return QStringLiteral("lógico");
    case ArgType::BoolOrInt:
        return QStringLiteral("lógico ou inteiro");
    case ArgType::Date:
        return QStringLiteral("data");
    case ArgType::Packet:
        return QStringLiteral("pacote de dados");
    case ArgType::Delta:
        return QStringLiteral("delta de alterações");
    case ArgType::Array:
        return QStringLiteral("lista");
    }
    return {};
}

QString valueTypeName(const QVariant& v) {
    if (!v.isValid())
        return QStringLiteral("vazio");
    if (isPacket(v))
        return v.value<data::DataPacket>().isDelta() ? QStringLiteral("delta")
                                                     : QStringLiteral("pacote de dados");
    switch (v.typeId()) {
    case QMetaType::QString:
        return QStringLiteral("texto");
    case QMetaType::Bool:
        return QStringLiteral("lógico");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QStringLiteral("inteiro");
    case QMetaType::Double:
    case QMetaType::Float:
        return QStringLiteral("número");
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return QStringLiteral("data");
    case QMetaType::QVariantList:
        return QStringLiteral("lista");
    default:
        return QString::fromLatin1(v.typeName());
    }
}

QString checkArguments(const MethodSpec& def, const QVariantList& args, const QBitArray* byRef) {
    if (args.size() != def.args.size())
        return QStringLiteral("O método %1 espera %2 argumento(s), mas recebeu %3.")
            .arg(def.name)
            .arg(def.args.size())
            .arg(args.size());
    for (qsizetype i = 0; i < args.size(); ++i) {
        const ArgSpec& expected = def.args[i];
        const QString what = QString::fromUtf8(expected.what);
        const QString about = what.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(what);
        if (!fits(expected.type, args[i]))
            return QStringLiteral("O método %1 espera %2 no argumento %3%4, mas recebeu %5.")
                .arg(def.name, argTypeName(expected.type))
                .arg(i + 1)
                .arg(about, valueTypeName(args[i]));
        if (byRef && byRef->size() == args.size() && expected.passing != Passing::Either &&
            byRef->testBit(i) != (expected.passing == Passing::Reference)) {
            const bool ref = expected.passing == Passing::Reference;
            return QStringLiteral("O método %1 recebe o argumento %2%3 %4, mas ele foi passado %5.")
                .arg(def.name)
                .arg(i + 1)
                .arg(about, ref ? QStringLiteral("por referência") : QStringLiteral("por valor"),
                     ref ? QStringLiteral("por valor") : QStringLiteral("por referência"));
        }
    }
    if (byRef && byRef->size() != args.size())
        return QStringLiteral("O método %1 recebeu %2 indicação(ões) de passagem para %3 "
                              "argumento(s).")
            .arg(def.name)
            .arg(byRef->size())
            .arg(args.size());
    return {};
}

QString checkAnswer(const MethodSpec& def, const QVariant& answer) {
    auto bad = [&](const QString& expected) {
        return QStringLiteral("O método %1 deveria responder %2, mas respondeu %3.")
            .arg(def.name, expected, valueTypeName(answer));
    };
    switch (def.answer) {
    case AnswerShape::Packet:
        return isPacket(answer) ? QString() : bad(QStringLiteral("um pacote de dados"));
    case AnswerShape::List:
        return answer.typeId() == QMetaType::QVariantList && answer.toList().size() >= def.items
                   ? QString()
                   : bad(QStringLiteral("uma lista de ao menos %1 valores").arg(def.items));
    case AnswerShape::PacketList: {
        const QString expected = QStringLiteral("uma lista de %1 pacotes de dados").arg(def.items);
        if (answer.typeId() != QMetaType::QVariantList)
            return bad(expected);
        const QVariantList list = answer.toList();
        if (list.size() != def.items)
            return bad(expected);
        for (const QVariant& v : list)
            if (!isPacket(v))
                return bad(expected);
        return {};
    }
    case AnswerShape::Scalar:
        return answer.typeId() == QMetaType::Bool || answer.typeId() == QMetaType::QString ||
                       isNumber(answer)
                   ? QString()
                   : bad(QStringLiteral("um valor lógico"));
    case AnswerShape::Text:
        return answer.typeId() == QMetaType::QString ? QString() : bad(QStringLiteral("um texto"));
    case AnswerShape::Any:
        return {};
    }
    return {};
}

} // namespace sup::contracts
