// GetHistItem(item id): the audit rows of one order item, newest first, each with its operator's
// name, a readable name of the operation and of the field, and the values before and after.
//
// The audit log names an item by its key (destination, launching branch, order, delivery date,
// product, brand joined by "|"), and its reservation rows by the item id, OL, product and brand.
// Product, brand and delivery date change over an item's life, so the key an audit row carries
// is the one the item had when it was written: every call writes its rows under the key the item
// had before it (the saving's follow-up under the new one). Destination, launching branch and
// order never change. So one SELECT reads the rows of every item of the item's order (an index
// range on the key's first three parts) and its reservation rows (a range on its id), joined with
// the operator; then the item's keys are followed back from the one it has now, through the
// calls that changed product, brand or delivery date, keeping only the rows written under the
// key the item had at that point of the log.

#include "Methods.h"
#include "SqlValues.h"

#include "sup/server/Items.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QSqlQuery>

namespace sup::server {

namespace {

using data::FieldDef;
using data::FieldDefs;

const QString kItemTable = QStringLiteral("PEDIDOOLITEM");
const QString kReservationTable = QStringLiteral("RESERVAESTOL");

FieldDefs historyFields() {
    return {FieldDef::dateTime(QStringLiteral("DTEVENTO"), QStringLiteral("Data/Hora")),
            FieldDef::text(QStringLiteral("CDOPERADOR"), 10, QStringLiteral("Operador")),
            FieldDef::text(QStringLiteral("NMOPERADOR"), 60, QStringLiteral("Nome do Operador")),
            FieldDef::text(QStringLiteral("DSOPERACAO"), 250, QStringLiteral("Operação")),
            FieldDef::text(QStringLiteral("DSCAMPO"), 40, QStringLiteral("Campo")),
            FieldDef::text(QStringLiteral("DSVALORANT"), 60, QStringLiteral("Valor Anterior")),
            FieldDef::text(QStringLiteral("DSVALORNOVO"), 60, QStringLiteral("Valor Novo")),
            FieldDef::text(QStringLiteral("DSMOTIVO"), 200, QStringLiteral("Motivo")).hidden(),
            FieldDef::text(QStringLiteral("NMTABELA"), 30).hidden(),
            FieldDef::text(QStringLiteral("NMCAMPO"), 30).hidden(),
            FieldDef::text(QStringLiteral("NMMETODO"), 30).hidden(),
            FieldDef::integer(QStringLiteral("NRSEQAUDIT")).hidden()};
}

// One audit row as read.
struct Entry {
    qint64 seq = 0;
    QString when, op, opName, method, deltaId, reason, table, key, field, oldValue, newValue;

    // The call that wrote it.
    QString call() const { return QStringList{method, when, op, deltaId}.join(u'\x1f'); }
    // The call and the key it was written under: the rows of one item in one call.
    QString group() const { return call() + u'\x1f' + key.toUpper(); }
};

// The fields of an item's key, by their place in it.
int keyPart(const QString& field) {
    if (field == u"DTPROGENPEOL")
        return 3;
    if (field == u"CDPRODUTO")
        return 4;
    if (field == u"CDMARCA")
        return 5;
    return -1;
}

// The key each call's rows moved their item to, for the calls that changed product, brand or
// delivery date (upper case, as keys are compared).
QHash<QString, QString> keyMoves(const QList<Entry>& rows) {
    QHash<QString, QStringList> parts;
    for (const Entry& e : rows) {
        const int part = keyPart(e.field);
        if (e.table != kItemTable || part < 0 ||
            e.oldValue.compare(e.newValue, Qt::CaseInsensitive) == 0)
            continue;
        auto it = parts.find(e.group());
        if (it == parts.end())
            it = parts.insert(e.group(), e.key.toUpper().split(u'|'));
        if (it->size() == 6)
            (*it)[part] = e.newValue.toUpper();
    }
    QHash<QString, QString> out;
    for (auto it = parts.cbegin(); it != parts.cend(); ++it)
        out.insert(it.key(), it->join(u'|'));
    return out;
}

// The rows of the item whose key is now `current`, out of `rows` (newest first).
QList<Entry> itemRows(const QList<Entry>& rows, const QString& current) {
    const QHash<QString, QString> moves = keyMoves(rows);
    QString key = current.toUpper();
    QList<Entry> out;
    for (const Entry& e : rows) {
        if (e.table == kReservationTable) {
            out << e;
            continue;
        }
        const QString k = e.key.toUpper();
        if (k == key) {
            out << e;
            continue;
        }
        // Older rows are under the key the item had before this call moved it.
        const auto move = moves.constFind(e.group());
        if (move != moves.cend() && *move == key) {
            key = k;
            out << e;
        }
    }
    return out;
}

const QLocale& brLocale() {
    static const QLocale l(QLocale::Portuguese, QLocale::Brazil);
    return l;
}

QString fieldName(const Entry& e) {
    static const QHash<QString, QString> names = {
        {QStringLiteral("CDPRODUTO"), QStringLiteral("Produto")},
        {QStringLiteral("CDMARCA"), QStringLiteral("Marca")},
        {QStringLiteral("QTPROGENPEOL"), QStringLiteral("Quantidade")},
        {QStringLiteral("DTPROGENPEOL"), QStringLiteral("Data de entrega")},
        {QStringLiteral("DTPROGEMBARQ"), QStringLiteral("Data de embarque")},
        {QStringLiteral("IDITMPEDOLBLOQ"), QStringLiteral("Bloqueio")},
        {QStringLiteral("QTRESERVESTOL"), QStringLiteral("Quantidade reservada")},
        {QStringLiteral("CDLOTENVITOL"), QStringLiteral("Lote de envio")},
        {QStringLiteral("IDSITUITEM"), QStringLiteral("Situação")},
        {QStringLiteral("*"), QStringLiteral("Item")},
    };
    if (e.table == kReservationTable && e.field == u"QTRESERVADA") {
        // The key is item id | OL | product | brand.
        const QStringList k = e.key.split(u'|');
        return k.size() == 4 ? QStringLiteral("Reserva no estoque do OL %1 (produto %2, marca %3)")
                                   .arg(k[1], k[2], k[3])
                             : QStringLiteral("Reserva no estoque do OL");
    }
    return names.value(e.field, e.field);
}

QString valueText(const QString& field, const QString& v) {
    if (v.isEmpty())
        return v;
    if (field.startsWith(u"DT")) {
        const QDateTime t =
            QDateTime::fromString(v.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!t.isValid())
            return v;
        return t.time() == QTime(0, 0) ? t.toString(QStringLiteral("dd/MM/yyyy"))
                                       : t.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
    }
    if (field.startsWith(u"QT")) {
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? brLocale().toString(d, 'f', 3) : v;
    }
    if (field == u"IDITMPEDOLBLOQ")
        return v == u"S" ? QStringLiteral("Bloqueado") : QStringLiteral("Desbloqueado");
    if (field == u"IDSITUITEM") {
        if (v == u"A")
            return QStringLiteral("Em aberto");
        if (v == u"B")
            return QStringLiteral("Baixado");
        if (v == u"E")
            return QStringLiteral("Entrega direta");
    }
    return v;
}

// A readable name of what the call did to the item; `closing` is the situation the call closed
// the item with ("B" write-off, "E" direct delivery), empty when none.
QString operationName(const Entry& e, const QString& closing) {
    if (e.field == u"*")
        return QStringLiteral("Exclusão do item do pedido");
    const QString& m = e.method;
    if (m == u"UpdItemPedidoOL") {
        if (closing == u"B")
            return QStringLiteral("Baixa manual");
        if (closing == u"E")
            return QStringLiteral("Entrega direta");
        return QStringLiteral("Alteração do item");
    }
    if (m == u"SetBloqItem")
        return e.newValue == u"S" ? QStringLiteral("Bloqueio") : QStringLiteral("Desbloqueio");
    if (m == u"SetReserva")
        return e.newValue.toDouble() > e.oldValue.toDouble()
                   ? QStringLiteral("Reserva de estoque")
                   : QStringLiteral("Exclusão de reserva");
    if (m == u"SetCadLoteEnvPedOL")
        return e.newValue.isEmpty() ? QStringLiteral("Retirada do lote de envio")
                                    : QStringLiteral("Lote de envio");
    if (m == u"AltAtuItem")
        return QStringLiteral("Alteração automática");
    return m;
}

QString text(const QVariant& v) {
    return v.isNull() ? QString() : v.toString().trimmed();
}

} // namespace

QVariant GetHistItem(MethodContext& ctx, QVariantList& a) {
    const qint64 id = qint64(a[0].toDouble());
    if (id <= 0)
        refuseBlankArg(ctx, 0);
    const sql::Connection& conn = ctx.conn;
    const sql::Dialect d = conn.dialect();
    // Audit keys are compared byte by byte (PostgreSQL: whatever the database's collation), so
    // that a range on a key's first parts holds exactly the keys that start with them.
    const QString bytes =
        d == sql::Dialect::PostgreSQL ? QStringLiteral(" COLLATE \"C\"") : QString();
    const QString range = QStringLiteral("A.DSCHAVE%1 >= %2 || '|' AND A.DSCHAVE%1 < %2 || '}'");
    QString sql =
        QStringLiteral(
            "WITH I AS (SELECT CDRASTRITM, CDFILDEST, CDFILLANC, NRPEDEXOL, %1 AS DT, CDPRODUTO,"
            " CDMARCA, CAST(substr(CDFILDEST, 1, 4) AS text) || '|' || CAST(CDFILLANC AS text)"
            " || '|' || CAST(NRPEDEXOL AS text) AS P, CAST(CDRASTRITM AS text) AS R"
            " FROM PEDIDOOLITEM WHERE CDRASTRITM = ?),"
            " H AS (SELECT A.* FROM I JOIN AUDITORIA A ON A.NMTABELA = 'PEDIDOOLITEM' AND %2"
            " UNION ALL SELECT A.* FROM I JOIN AUDITORIA A ON A.NMTABELA = 'RESERVAESTOL'"
            " AND %3)"
            " SELECT substr(I.CDFILDEST, 1, 4), I.CDFILLANC, I.NRPEDEXOL, I.DT, I.CDPRODUTO,"
            " I.CDMARCA, H.NRSEQAUDIT, %4, H.CDOPERADOR, O.NMOPERADOR, H.NMMETODO, H.IDDELTA,"
            " H.DSMOTIVO, H.NMTABELA, H.DSCHAVE, H.NMCAMPO, H.DSVALORANT, H.DSVALORNOVO"
            " FROM I LEFT JOIN H ON 1 = 1 LEFT JOIN OPERADOR O ON O.CDOPERADOR = H.CDOPERADOR"
            " ORDER BY H.NRSEQAUDIT DESC")
            .arg(dateOut(d, QStringLiteral("DTPROGENPEOL")),
                 range.arg(bytes, QStringLiteral("I.P")), range.arg(bytes, QStringLiteral("I.R")),
                 dateOut(d, QStringLiteral("H.DTEVENTO")));
    QSqlQuery q = conn.exec(sql, {id});

    QString current;
    QList<Entry> rows;
    bool found = false;
    while (q.next()) {
        if (!found) {
            found = true;
            current = QStringList{text(q.value(0)), text(q.value(1)), text(q.value(2)),
                                  text(q.value(3)), text(q.value(4)), text(q.value(5))}
                          .join(u'|');
        }
        if (q.value(6).isNull())
            continue; // the item has no audit row
        Entry e;
        e.seq = q.value(6).toLongLong();
        e.when = text(q.value(7));
        e.op = text(q.value(8));
        e.opName = text(q.value(9));
        e.method = text(q.value(10));
        e.deltaId = text(q.value(11));
        e.reason = text(q.value(12));
        e.table = text(q.value(13));
        e.key = text(q.value(14));
        e.field = text(q.value(15));
        e.oldValue = text(q.value(16));
        e.newValue = text(q.value(17));
        rows << e;
    }
    if (!found)
        throw MethodFault(QStringLiteral("O item %1 não existe mais: foi excluído do pedido. "
                                         "Recarregue os itens.")
                              .arg(id),
                          QStringLiteral("business"));

    // Operators bound to their branches see only the history of their branches' items.
    const QString op = ctx.call.operatorCode.trimmed();
    if (!op.isEmpty() && branchesRestricted(conn) &&
        !conn.scalar(QStringLiteral("SELECT 1 FROM FILIOPER WHERE CDFILIAL = ? AND CDOPERADOR = ?"),
                     {current.section(u'|', 0, 0), op})
             .isValid())
        throw MethodFault(
            QStringLiteral("O item %1 não pertence às filiais do operador %2.").arg(id).arg(op),
            QStringLiteral("scope"));

    const QList<Entry> mine = itemRows(rows, current);
    // The situation each call closed the item with: its other rows belong to that closing.
    QHash<QString, QString> closings;
    for (const Entry& e : mine)
        if (e.table == kItemTable && e.field == u"IDSITUITEM")
            closings.insert(e.call(), e.newValue);

    data::DataPacketBuilder b(historyFields());
    b.reserve(mine.size());
    for (const Entry& e : mine) {
        QString operation = operationName(e, closings.value(e.call()));
        if (!e.reason.isEmpty())
            operation += QStringLiteral(": ") + e.reason;
        b.appendRow({QDateTime::fromString(e.when, QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.op,
                     e.opName.left(60), operation.left(250), fieldName(e).left(40),
                     valueText(e.field, e.oldValue).left(60),
                     valueText(e.field, e.newValue).left(60), e.reason.left(200), e.table, e.field,
                     e.method, e.seq});
    }
    return QVariant::fromValue(b.finish());
}

} // namespace sup::server
