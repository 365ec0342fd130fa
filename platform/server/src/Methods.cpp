#include "Methods.h"

#include "sup/data/DataPacket.h"

#include <cmath>

namespace sup::server {

namespace {

constexpr ArgSpec T(const char* what = "") {
    return {ArgType::Text, false, what};
}
constexpr ArgSpec RT(const char* what = "") {
    return {ArgType::Text, true, what};
}
constexpr ArgSpec D(const char* what = "") {
    return {ArgType::Double, false, what};
}
constexpr ArgSpec RD(const char* what = "") {
    return {ArgType::Double, true, what};
}
constexpr ArgSpec DT(const char* what = "") {
    return {ArgType::Date, false, what};
}
constexpr ArgSpec B(const char* what = "") {
    return {ArgType::Boolean, false, what};
}

QList<MethodDef> buildTable() {
    QList<MethodDef> t;
    auto add = [&](const char* name, QList<ArgSpec> args, bool writes, Handler h = {}) {
        t.append(MethodDef{QString::fromLatin1(name), std::move(args), writes, std::move(h)});
    };

    add("GetParametroOL", {T("filial")}, false, GetParametroOL);
    add("GetParaSupri", {T("filial")}, false, GetParaSupri);
    add("GetPesqProduto",
        {T("OL"), T("produto do item"), RT("código digitado"), T("restrição"), RT("marca")}, false);
    add("GetPesqMarca", {T("código do produto na árvore")}, false);
    add("GetBloqIncluiProdCmpOL",
        {T("grupo de produto"), T("subgrupo da árvore do OL"), T("produto")}, false);
    add("GetVd_Est_Disp",
        {RT("filial destino"), RT("filial de lançamento"), RT("OL"), RT("marca"), RT("produto"),
         RT("código do produto na árvore"), RD("quantidade")},
        false);
    add("VerificaMarcaPref",
        {RT("filial destino"), T("produto"), T("marca"), RT("produto de referência"),
         RT("marca de referência")},
        false);
    add("VerificaMarcaPref1",
        {RT("filial destino"), T("produto"), T("marca"), RT("produto de referência"),
         RT("marca de referência")},
        false);
    add("GetBloqProdSemRelacOL", {RT("produto"), T("marca"), T("filial destino")}, false);
    add("UpdItemPedidoOL",
        {{ArgType::Delta, true, "alterações dos itens"},
         T("indicador de baixa manual"),
         T("indicador de entrega direta"),
         T("operador"),
         {ArgType::BoolOrInt, false, "atualização das solicitações"},
         T("descrição da alteração"),
         T("descrição do remanejamento")},
        true);
    add("SetBloqItem", {{ArgType::Packet, false, "itens a bloquear"}, T("operador")}, true);
    add("GetVdReserva",
        {T("filial destino"), T("filial de lançamento"), T("pedido"), T("produto"), T("marca"),
         DT("data de entrega"), DT("data de embarque"), T("OL"), RT("filial central de compras"),
         D("quantidade")},
        false);
    add("SetReserva", {{ArgType::Packet, false, "reservas"}}, true);
    add("GetItem",
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
        false, GetItem);
    add("GetAgruFili", {}, false, GetAgruFili);
    add("GetFiliAgrupFili",
        {T("agrupamento de filial"), RT("regiões"), RT("todas as regiões"), T("operador")}, false,
        GetFiliAgrupFili);
    add("GetProduto", {T("filtro")}, false, GetProduto);
    add("GetLotePedOL", {}, false, GetLotePedOL);
    add("GetFiltroSup", {}, false);
    add("SetFiltroSup", {RT("opção")}, true);
    add("GetProdutos", {T("OL"), RT("código do produto"), RT("marca")}, false);
    add("Carrega_PeriFili",
        {T("filial destino"), RT("código do produto na árvore"), DT("data de entrega")}, false);
    add("GetAjusteUn", {T("produto")}, false);
    add("GetVdMarcPref",
        {{ArgType::Array, true, "itens selecionados"},
         RT("produto novo"),
         T("filial central de compras"),
         RT("marca nova")},
        false);
    add("AltAtuItem",
        {{ArgType::Array, true, "itens selecionados"},
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
        true);
    add("GetVd_LotePedOL", {RT("lote de envio")}, false);
    add("SetCadLoteEnvPedOL", {{ArgType::Packet, false, "lotes de envio"}, T("operador")}, true);
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
        return v.metaType() == QMetaType::fromType<data::DataPacket>();
    case ArgType::Delta:
        return v.metaType() == QMetaType::fromType<data::DataPacket>() &&
               v.value<data::DataPacket>().isDelta();
    case ArgType::Array:
        return v.typeId() == QMetaType::QVariantList;
    case ArgType::Any:
        return true;
    }
    return false;
}

QString valueTypeName(const QVariant& v) {
    if (!v.isValid())
        return QStringLiteral("vazio");
    if (v.metaType() == QMetaType::fromType<data::DataPacket>())
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

} // namespace

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
    case ArgType::Any:
        return QStringLiteral("qualquer valor");
    }
    return {};
}

const QList<MethodDef>& methodTable() {
    static const QList<MethodDef> table = buildTable();
    return table;
}

const MethodDef* findMethod(const QString& name) {
    for (const MethodDef& m : methodTable())
        if (m.name.compare(name, Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

QString checkArguments(const MethodDef& def, const QVariantList& args) {
    if (args.size() != def.args.size())
        return QStringLiteral("O método %1 espera %2 argumento(s), mas recebeu %3.")
            .arg(def.name)
            .arg(def.args.size())
            .arg(args.size());
    for (qsizetype i = 0; i < args.size(); ++i) {
        const ArgSpec& expected = def.args[i];
        if (!fits(expected.type, args[i])) {
            const QString what = QString::fromUtf8(expected.what);
            return QStringLiteral("O método %1 espera %2 no argumento %3%4, mas recebeu %5.")
                .arg(def.name, argTypeName(expected.type))
                .arg(i + 1)
                .arg(what.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(what),
                     valueTypeName(args[i]));
        }
    }
    return {};
}

} // namespace sup::server
