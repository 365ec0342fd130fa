// The automatic alteration's server rules through the dispatch, on SQLite and PostgreSQL: each
// operator's options profile, the replacement product's data and the stock-product restrictions
// of the lookups, and the purchase calendar of a new delivery date, against the seeded data
// (changed where a case needs rows of its own).

#include "ServerFixture.h"

#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace sup;
using namespace Qt::StringLiterals;
using data::DataPacket;
using suptest::SeededServer;

namespace {

// Calls a method; `args` holds what the server wrote back. A fault answers its code.
QVariant call(SeededServer& s, const char* method, QVariantList& args,
              const QString& op = server::kDemoOperator) {
    const QVariant v = s.server->call(server::kModuleAltPedidosOL, QString::fromLatin1(method),
                                      args, server::CallContext{op, u"teste"_s});
    return contracts::isFault(v) ? QVariant(contracts::faultOf(v).code) : v;
}

DataPacket packet(SeededServer& s, const char* method, QVariantList args) {
    return call(s, method, args).value<DataPacket>();
}

// The profile as "component=value,..." in the order served; a row of another option or not
// selected shows as "?".
QString profile(SeededServer& s, const QString& op, const QString& option = {}) {
    QVariantList none;
    const DataPacket p = call(s, "GetFiltroSup", none, op).value<DataPacket>();
    QStringList out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out << (p.value(r, u"DSOPCAO").toString() == option &&
                        p.value(r, u"IDSELECIONADO").toString() == u"S"
                    ? p.value(r, u"NMCOMPONENTE").toString() + u'=' +
                          p.value(r, u"IDVALOR").toString()
                    : u"?"_s);
    return p.fields() == contracts::filtroSupFields() ? out.join(u',') : u"wrong fields"_s;
}

QStringList keys(const DataPacket& p) {
    QStringList out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out << p.value(r, u"CDPRODUTO").toString() + u'|' + p.value(r, u"CDMARCA").toString();
    out.sort();
    return out;
}

QList<QStringList> rows(const sql::Connection& c, const QString& sqlText,
                        const QVariantList& binds = {}) {
    QSqlQuery q = c.exec(sqlText, binds);
    QList<QStringList> out;
    while (q.next()) {
        out.append(QStringList{});
        for (int i = 0; i < q.record().count(); ++i)
            out.last() << q.value(i).toString();
    }
    return out;
}

// A tree code as the edit's picture shows it.
QString pictured(const QString& t) {
    return t.left(2) + u'.' + t.mid(2, 2) + u'.' + t.mid(4, 3) + u'.' + t.mid(7);
}

} // namespace

class TestAlterationRules : public QObject {
    Q_OBJECT

private slots:
    void optionsProfilePerOperator_data() { suptest::addDatabaseRows(); }
    void optionsProfilePerOperator() {
        QFETCH(QString, db);
        SeededServer s(db, 50);
        const QString demo = server::kDemoOperator, plain = server::kPlainOperator;
        const QString plainProfile = profile(s, plain, u"mnuEntrega"_s);
        QCOMPARE(plainProfile.count(u'='), 5);
        QVERIFY(profile(s, demo).isEmpty());
        const QStringList boxes{u"chbProduto"_s, u"chbEntrega"_s, u"chbQuantidade"_s,
                                u"chbAtuSoli"_s, u"chbConsideraSol"_s};
        const QList<QPair<QString, QString>> expected{{u"mnuEmbalagemDiferente"_s, u"SNNNN"_s},
                                                      {u"mnuProdutoDiferente"_s, u"SNNNN"_s},
                                                      {u"mnuProdutoEntrega"_s, u"SSNSN"_s},
                                                      {u"mnuEntrega"_s, u"NSNNN"_s},
                                                      {u"mnuQuantidade"_s, u"NNSNN"_s}};
        for (const auto& [option, values] : expected) {
            QVariantList a{option.toLower()};
            QVERIFY(call(s, "SetFiltroSup", a).isNull());
            QCOMPARE(a[0].toString(), option); // the menu's spelling
            QStringList rows;
            for (int b = 0; b < boxes.size(); ++b)
                rows << boxes[b] + u'=' + values[b];
            QCOMPARE(profile(s, demo, option), rows.join(u','));
        }
        auto audited = [&] {
            return s.conn
                ->scalar(u"SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = ?"_s,
                         {u"SetFiltroSup"_s})
                .toInt();
        };
        QVariantList again{u"mnuQuantidade"_s}, standard{QString()}, anonymous{u"mnuEntrega"_s};
        QVERIFY(call(s, "SetFiltroSup", again).isNull());
        QCOMPARE(call(s, "SetFiltroSup", anonymous, QString()).toString(), u"args"_s);
        // Refused as a hostile client would send them: nothing changes.
        for (const QVariant& bad :
             {QVariant(u"btfLoadOpc"_s), QVariant(u"x' OR '1'='1"_s), QVariant(7)}) {
            QVariantList a{bad};
            QCOMPARE(call(s, "SetFiltroSup", a).toString(), u"args"_s);
            QCOMPARE(a[0], bad);
        }
        QCOMPARE(audited(), 5); // a change of option each, not the repeat
        QVERIFY(call(s, "SetFiltroSup", standard).isNull());
        QVERIFY(profile(s, demo).isEmpty());
        QCOMPARE(profile(s, plain, u"mnuEntrega"_s), plainProfile);
        QCOMPARE(audited(), 6);
    }

    void replacementProduct_data() { suptest::addDatabaseRows(); }
    void replacementProduct() {
        QFETCH(QString, db);
        SeededServer s(db, 50);
        sql::Connection& c = *s.conn;
        // A packaging related to an OL and bought in two brands or more, with its data.
        const QStringList p =
            rows(c,
                 u"SELECT P.CDPRODUTO, P.CDARVPROD, R.CDFILIOPELOG, R.CDPRODARVOL, P.CDPRODESTO,"
                 " P.VRFATOCONV, S.VRPESOUNID, P.SGUNIDESTOQUE, MIN(B.CDMARCA), MAX(B.CDMARCA)"
                 " FROM PRODUTO P JOIN PRODUTO S ON S.CDPRODUTO = P.CDPRODESTO JOIN PRODRELACOL R"
                 " ON R.CDPRODUTO = P.CDPRODUTO JOIN PRODMARCA B ON B.CDPRODUTO = P.CDPRODUTO"
                 " WHERE P.CDPRODESTO <> P.CDPRODUTO GROUP BY P.CDPRODUTO, P.CDARVPROD,"
                 " R.CDFILIOPELOG, R.CDPRODARVOL, P.CDPRODESTO, P.VRFATOCONV, S.VRPESOUNID,"
                 " P.SGUNIDESTOQUE HAVING COUNT(*) >= 2 ORDER BY 1, 3"_s)
                .value(0);
        QCOMPARE(p.size(), 10);
        const QString tree = p[1], ol = p[2], first = p[8], last = p[9];
        c.exec(u"DELETE FROM ESTOQUEOL WHERE CDFILIOPELOG = ? AND CDPRODUTO = ?"_s, {ol, p[0]});
        QVariantList a{ol, pictured(tree), QString()};
        DataPacket r = call(s, "GetProdutos", a).value<DataPacket>();
        QCOMPARE(r.fields(), contracts::produtosFields());
        QCOMPARE(a, (QVariantList{ol, tree, first})); // no stock: its first brand
        QCOMPARE(r.rowCount(), 1);
        QStringList got; // the unit weight is the stock product's
        for (const char* f : {"CDPRODARVOL", "CDPRODESTO", "VRFATOCONV", "VRPESOUNID",
                              "SGUNIDESTOQUE", "EST_DISP_ST"})
            got << r.value(0, QString::fromLatin1(f)).toString();
        QCOMPARE(got, p.mid(3, 5) << u"0,000"_s);
        // The brand of the OL's most free stock, unless the one asked is bought in.
        c.exec(u"INSERT INTO ESTOQUEOL (CDFILIOPELOG, CDPRODUTO, CDMARCA, QTSALDO, QTRESERVADO)"
               " VALUES (?, ?, ?, 1300, 65.5)"_s,
               {ol, p[0], last});
        r = packet(s, "GetProdutos", {ol, tree, u"99999"_s});
        QCOMPARE(r.value(0, u"CDMARCA").toString(), last);
        QCOMPARE(r.value(0, u"EST_DISP").toDouble(), 1234.5);
        QCOMPARE(r.value(0, u"EST_DISP_ST").toString(), u"1.234,500"_s);
        r = packet(s, "GetProdutos", {ol, tree, first});
        QCOMPARE(r.value(0, u"CDMARCA").toString(), first);
        QCOMPARE(r.value(0, u"EST_DISP").toDouble(), 0.0);
        // Unknown codes and tree nodes are no product.
        QCOMPARE(packet(s, "GetProdutos", {ol, u"99999999999"_s, first}).rowCount(), 0);
        QCOMPARE(packet(s, "GetProdutos", {ol, tree.left(7), first}).rowCount(), 0);
    }

    void stockRestrictions_data() { suptest::addDatabaseRows(); }
    void stockRestrictions() {
        QFETCH(QString, db);
        SeededServer s(db, 50);
        sql::Connection& c = *s.conn;
        // An item product with another packaging of its stock product related to an OL.
        const QStringList x =
            rows(c,
                 u"SELECT P.CDPRODUTO, R.CDFILIOPELOG, Q.CDARVPROD, P.CDARVPROD, P.CDPRODESTO FROM"
                 " PRODUTO P JOIN PRODUTO Q ON Q.CDPRODESTO = P.CDPRODESTO AND Q.CDPRODUTO <>"
                 " P.CDPRODUTO JOIN PRODRELACOL R ON R.CDPRODUTO = Q.CDPRODUTO ORDER BY 1, 2, 3"_s)
                .value(0);
        QCOMPARE(x.size(), 5);
        const QString item = x[0], ol = x[1], sibling = x[2], own = x[3], stock = x[4];
        auto lookup = [&](const QString& restriction, const QString& code) {
            return packet(s, "GetPesqProduto", {ol, item, code, restriction, QString()});
        };
        const DataPacket same = lookup(u"1"_s, {}), other = lookup(u"2"_s, {});
        QCOMPARE(same.fields(), contracts::pesqProdutoFields());
        // The OL's list shared out, the item's own product in neither.
        QStringList packagings, expectSame, expectOther;
        for (const QStringList& r :
             rows(c, u"SELECT CDPRODUTO FROM PRODUTO WHERE CDPRODESTO = ?"_s, {stock}))
            packagings << r[0];
        for (const QString& k :
             keys(packet(s, "GetPesqProduto", {ol, QString(), QString(), u"0"_s, QString()})))
            if (const QString p = k.section(u'|', 0, 0); p != item)
                (packagings.contains(p) ? expectSame : expectOther) << k;
        QVERIFY(!expectSame.isEmpty());
        QCOMPARE(keys(same), expectSame);
        QCOMPARE(keys(other), expectOther);
        // A typed code within or outside the restriction, the item's own product, unknown.
        const QString another = other.value(0, u"CDARVPROD").toString();
        QVariantList a{ol, item, pictured(sibling), u"1"_s, QString()};
        const DataPacket found = call(s, "GetPesqProduto", a).value<DataPacket>();
        QCOMPARE(found.fields(), contracts::vdProdutoFields());
        QCOMPARE(found.rowCount(), 1);
        QCOMPARE(a[2], QVariant(sibling));
        QCOMPARE(a[4], found.value(0, u"CDMARCA"));
        QCOMPARE(lookup(u"2"_s, another).rowCount(), 1);
        for (const QString& rc : {u"2 "_s + sibling, u"1 "_s + another, u"1 "_s + own,
                                  u"2 "_s + own, u"1 99999999999"_s})
            QCOMPARE(lookup(rc.left(1), rc.mid(2)).rowCount(), 0);
        QCOMPARE(call(s, "GetPesqProduto", a = {ol, u"' OR 1=1 --"_s, QString(), u"1"_s, QString()})
                     .toString(),
                 u"notfound"_s);
    }

    void purchaseCalendar_data() { suptest::addDatabaseRows(); }
    void purchaseCalendar() {
        QFETCH(QString, db);
        SeededServer s(db, 50);
        sql::Connection& c = *s.conn;
        const QDate monday(2026, 3, 2);
        auto refused = [&](const QString& branch, const QString& tree, const QVariant& date) {
            QVariantList a{branch, tree, date};
            return call(s, "Carrega_PeriFili", a).toString();
        };
        // As seeded: each weekday of a store's calendar for a product's top group.
        const QStringList seeded =
            rows(c,
                 u"SELECT C.CDFILIAL, L.CDARVPROD, C.DSDIASENTREGA FROM PERIFILIPROD C JOIN PRODUTO"
                 " N ON N.CDPRODUTO = C.CDPRODUTO JOIN PRODUTO L ON L.CDNVPRODUTO = '4' AND"
                 " substr(L.CDARVPROD, 1, 2) = N.CDARVPROD WHERE C.DSDIASENTREGA = 'NSNSNSN'"
                 " ORDER BY 1, 2"_s)
                .value(0);
        QCOMPARE(seeded.size(), 3);
        const QString branch = seeded[0], leaf = seeded[1];
        for (int d = 0; d < 7; ++d) // Sunday first
            QCOMPARE(refused(branch, leaf, monday.addDays(d - 1)),
                     seeded[2][d] == u'S' ? u"N"_s : u"S"_s);
        // The nearest node with a calendar decides; no calendar accepts.
        c.exec(u"INSERT INTO PERIFILIPROD SELECT ?, CDPRODUTO, 'NNSNNNN' FROM PRODUTO"
               " WHERE CDARVPROD = ?"_s,
               {branch, leaf.left(7)});
        QCOMPARE(refused(branch, leaf, monday), u"S"_s);
        QVariantList a{branch, pictured(leaf), QDateTime(monday.addDays(1), QTime(23, 30))};
        QCOMPARE(call(s, "Carrega_PeriFili", a).toString(), u"N"_s);
        QCOMPARE(a[1], QVariant(leaf));
        c.exec(u"DELETE FROM PERIFILIPROD WHERE CDFILIAL = ?"_s, {branch});
        QCOMPARE(refused(branch, leaf, monday.addDays(1)), u"N"_s);
        QCOMPARE(refused(u"9999"_s, leaf, monday), u"notfound"_s);
        QCOMPARE(refused(branch, u"99999999999"_s, monday), u"notfound"_s);
    }
};

QTEST_GUILESS_MAIN(TestAlterationRules)
#include "tst_alteration_rules.moc"
