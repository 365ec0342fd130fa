// The checks behind editing an item, through the dispatch against the seeded database: each
// answer is compared with what the tables say, on cases chosen so that a wrong condition
// (another product, branch, brand or delivery day; the reserved part ignored; the tree path read
// the wrong way) changes it. Cases that need rows of their own add them inside a transaction
// that is rolled back; the server's transaction nests in it.

#include "ServerFixture.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <map>
#include <memory>
#include <tuple>

using namespace sup;
using namespace Qt::StringLiterals;
using data::DataPacket;
using suptest::SeededServer;

namespace {

DataPacket packetOf(const QVariant& v) {
    return v.value<DataPacket>();
}

QStringList columnOf(const DataPacket& p, QStringView field) {
    QStringList out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out << p.value(r, field).toString();
    return out;
}

// Every row of a query, as texts.
QList<QStringList> rows(const sql::Connection& c, const QString& sqlText,
                        const QVariantList& binds = {}) {
    QSqlQuery q = c.exec(sqlText, binds);
    QList<QStringList> out;
    while (q.next()) {
        QStringList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << q.value(i).toString();
        out << r;
    }
    return out;
}

QStringList firstRow(const sql::Connection& c, const QString& sqlText,
                     const QVariantList& binds = {}) {
    return rows(c, sqlText, binds).value(0);
}

QStringList firstColumn(const sql::Connection& c, const QString& sqlText,
                        const QVariantList& binds = {}) {
    QStringList out;
    for (const QStringList& r : rows(c, sqlText, binds))
        out << r[0];
    return out;
}

// A particularity: tree node (product code), type, brand (or preferential product for type 0).
struct Part {
    QString node, type, value, branch = {};
};

} // namespace

class TestEditingRules : public QObject {
    Q_OBJECT

    std::map<QString, std::unique_ptr<SeededServer>> servers_;
    SeededServer* s_ = nullptr;

    // One seeded database per kind, shared by the cases (they keep nothing they change).
    sql::Connection& use(const QString& db) {
        std::unique_ptr<SeededServer>& s = servers_[db];
        if (!s)
            s = std::make_unique<SeededServer>(db, 1200);
        s_ = s.get();
        return *s->conn;
    }
    sql::Connection& open() {
        QFETCH(QString, db);
        return use(db);
    }
    QVariant call(const char* method, const QVariantList& args) {
        return s_->call(QString::fromLatin1(method), args);
    }
    std::unique_ptr<contracts::IAppServer> module() {
        return server::ReferenceServer::module(s_->server, server::kModuleAltPedidosOL,
                                               server::kDemoOperator);
    }
    // The particularities of `branch` replaced by `parts` (inside the caller's transaction).
    void setParticularities(const QString& branch, const QList<Part>& parts) {
        s_->conn->exec(u"DELETE FROM PARTFILIPROD WHERE CDFILIAL = ?"_s, {branch});
        for (const Part& p : parts) {
            const bool product = p.type == u"0";
            s_->conn->exec(u"INSERT INTO PARTFILIPROD (CDFILIAL, CDPRODUTO, CDTIPPART, CDMARCA,"
                           " CDPRODPREF) VALUES (?, ?, ?, ?, ?)"_s,
                           {p.branch.isEmpty() ? branch : p.branch, p.node, p.type,
                            product ? QVariant() : p.value, product ? p.value : QVariant()});
        }
    }
    QString nodeCode(const QString& tree) {
        return s_->conn->scalar(u"SELECT CDPRODUTO FROM PRODUTO WHERE CDARVPROD = ?"_s, {tree})
            .toString();
    }

private slots:
    void brandsOfAProduct_data() { suptest::addDatabaseRows(); }
    void brandsOfAProduct() {
        const sql::Connection& c = open();
        const QStringList item =
            firstRow(c, u"SELECT CDARVPROD, CDPRODUTO FROM PEDIDOOLITEM ORDER BY CDRASTRITM"_s);
        const QStringList expected = firstColumn(
            c, u"SELECT CDMARCA FROM PRODMARCA WHERE CDPRODUTO = ? ORDER BY CDMARCA"_s, {item[1]});
        QVERIFY(expected.size() >= 2);
        const DataPacket brands = packetOf(call("GetPesqMarca", {item[0]}));
        QCOMPARE(brands.fields(), contracts::pesqMarcaFields());
        QCOMPARE(columnOf(brands, u"CDMARCA"), expected);
        QCOMPARE(
            columnOf(packetOf(call("GetPesqMarca", {server::kProductWithoutOlTree})), u"NMMARCA"),
            (QStringList{u"Boa Safra"_s, u"Floral"_s}));
        // A tree node is bought in no brand.
        QCOMPARE(packetOf(call("GetPesqMarca", {item[0].left(7)})).rowCount(), 0);
    }

    void purchaseTreeBlock_data() { suptest::addDatabaseRows(); }
    void purchaseTreeBlock() {
        const sql::Connection& c = open();
        const DataPacket param = packetOf(call("GetParametroOL", {server::kCentralBranch}));
        const QString group = param.value(0, u"CDGRUPPROD").toString();
        const QString sub = param.value(0, u"CDSUBGRARVOR").toString();
        auto leafIn = [&](const QString& subgroup) {
            return c
                .scalar(u"SELECT MIN(CDPRODUTO) FROM PRODUTO WHERE CDSUBGRPROD = ?"_s, {subgroup})
                .toString();
        };
        const QString inTree = leafIn(sub), sameGroup = leafIn(group + u"02"_s);
        QVERIFY(!inTree.isEmpty() && !sameGroup.isEmpty() && sub != group + u"02"_s);
        const QList<std::tuple<QString, QString, QString, bool>> cases = {
            {group, sub, inTree, true},
            {group, sub, sameGroup, false},
            {group, QString(), sameGroup, true}, // no sub-group: the whole group
            {u"02"_s, sub, inTree, false},       // a sub-group outside the group
        };
        for (const auto& [g, sg, product, blocked] : cases) {
            const DataPacket p = packetOf(call("GetBloqIncluiProdCmpOL", {g, sg, product}));
            QCOMPARE(p.fields(), contracts::bloqIncluiProdCmpOLFields());
            QCOMPARE(columnOf(p, u"CDPRODUTO"), blocked ? QStringList{product} : QStringList());
        }
    }

    void olRelationship_data() { suptest::addDatabaseRows(); }
    void olRelationship() {
        sql::Connection& c = open();
        const QString noOl = nodeCode(server::kProductWithoutOlTree);
        const QString lenient =
            c.scalar(u"SELECT MIN(CDFILIAL) FROM PARASUPRI WHERE IDBLQLANITSEMRELACOL = 'N'"_s)
                .toString();
        auto ask = [&](const QString& product, const QString& brand,
                       const QString& branch = server::kPreferenceBranch) {
            const QVariantList a = call("GetBloqProdSemRelacOL", {product, brand, branch}).toList();
            return QPair{columnOf(packetOf(a.value(0)), u"IDBLQLANITSEMRELACOL"),
                         columnOf(packetOf(a.value(1)), u"CDPRODARVOL")};
        };
        QCOMPARE(ask(noOl, u"00001"_s), (QPair{QStringList{u"S"_s}, QStringList()}));
        QCOMPARE(ask(noOl, u"00001"_s, lenient).first, QStringList{u"N"_s});
        const QString related = c.scalar(u"SELECT MIN(CDPRODUTO) FROM PRODRELACOL"_s).toString();
        QCOMPARE(ask(related, QString()).second,
                 firstColumn(c,
                             u"SELECT CDPRODARVOL FROM PRODRELACOL WHERE CDPRODUTO = ?"
                             " ORDER BY 1"_s,
                             {related}));

        // Free stock without a relationship counts, in the brand asked, net of reservations;
        // with a relationship at that OL its code stands alone.
        sql::Transaction tx(c);
        c.exec(u"INSERT INTO ESTOQUEOL (CDFILIOPELOG, CDPRODUTO, CDMARCA, QTSALDO, QTRESERVADO)"
               " VALUES ('0901', ?, '00001', 5, 2)"_s,
               {noOl});
        QCOMPARE(ask(noOl, u"00001"_s).second, QStringList{noOl});
        QCOMPARE(ask(noOl, QString()).second, QStringList{noOl});
        QCOMPARE(ask(noOl, u"00019"_s).second, QStringList());
        c.exec(u"UPDATE ESTOQUEOL SET QTRESERVADO = 5 WHERE CDPRODUTO = ?"_s, {noOl});
        QCOMPARE(ask(noOl, u"00001"_s).second, QStringList());
        c.exec(u"UPDATE ESTOQUEOL SET QTRESERVADO = 0 WHERE CDPRODUTO = ?"_s, {noOl});
        c.exec(u"INSERT INTO PRODRELACOL VALUES ('0901', ?, 'OL90001')"_s, {noOl});
        QCOMPARE(ask(noOl, u"00001"_s).second, QStringList{u"OL90001"_s});
    }

    void stockCoverage_data() { suptest::addDatabaseRows(); }
    void stockCoverage() {
        const sql::Connection& c = open();
        // An item holding part of a stock that has free units too, and what its branch holds.
        const QStringList h = firstRow(
            c, u"SELECT I.CDFILDEST, I.CDFILLANC, R.CDFILIOPELOG, R.CDMARCA, R.CDPRODUTO,"
               " I.CDARVPROD, E.QTSALDO - E.QTRESERVADO FROM RESERVAESTOL R"
               " JOIN PEDIDOOLITEM I ON I.CDRASTRITM = R.CDRASTRITM JOIN ESTOQUEOL E"
               " ON E.CDFILIOPELOG = R.CDFILIOPELOG AND E.CDPRODUTO = R.CDPRODUTO AND E.CDMARCA ="
               " R.CDMARCA WHERE E.QTSALDO - E.QTRESERVADO > 0 ORDER BY R.CDRASTRITM"_s);
        QCOMPARE(h.size(), 7);
        const double own =
            c.scalar(u"SELECT SUM(R.QTRESERVADA) FROM RESERVAESTOL R JOIN PEDIDOOLITEM I"
                     " ON I.CDRASTRITM = R.CDRASTRITM WHERE I.CDFILDEST = ? AND I.CDFILLANC = ?"
                     " AND R.CDFILIOPELOG = ? AND R.CDMARCA = ? AND R.CDPRODUTO = ?"_s,
                     {h[0], h[1], h[2], h[3], h[4]})
                .toDouble();
        const double free = h[6].toDouble();
        const QString other = h[0] == u"0010" ? u"0011"_s : u"0010"_s;
        auto covers = [&](QString dest, QString product, QString tree, double qty, QString brand) {
            QString lanc = h[1], ol = h[2];
            const QStringList before{dest, lanc, ol, brand, product, tree};
            const QVariant answer = contracts::CheckResultServ(
                contracts::calls::GetVd_Est_Disp(*module(), dest, lanc, ol, brand, product, tree,
                                                 qty),
                true, 1);
            if (before != QStringList{dest, lanc, ol, brand, product, tree})
                qFatal("GetVd_Est_Disp wrote back its arguments");
            return contracts::resultAsBoolean(answer);
        };
        // The holder's branch may use what its items hold; another branch the free part only.
        QVERIFY(covers(h[0], h[4], {}, free + own, h[3]));
        QVERIFY(!covers(h[0], h[4], {}, free + own + 0.5, h[3]));
        QVERIFY(!covers(other, h[4], {}, free + own, h[3]));
        QVERIFY(covers(other, h[4], {}, free, h[3]));
        QVERIFY(!covers(h[0], {}, h[5], free + own + 0.5, h[3])); // by tree code
        QVERIFY(covers(h[0], {}, h[5], free + own, h[3]));
        QVERIFY(!covers(h[0], h[4], {}, 0.001, u"ZZZZZ"_s)); // no stock in that brand
        QVERIFY(covers(h[0], h[4], {}, 0, u"ZZZZZ"_s));
    }

    void brandParticularities_data() { suptest::addDatabaseRows(); }
    void brandParticularities() {
        sql::Connection& c = open();
        const QString branch = u"0010"_s;
        const QString tree =
            c.scalar(u"SELECT MIN(CDARVPROD) FROM PRODUTO"
                     " WHERE CDNVPRODUTO = '4' AND substr(CDARVPROD, 1, 7) = '0102001'"_s)
                .toString();
        const QString p = nodeCode(tree), type = nodeCode(tree.left(7)),
                      category = nodeCode(tree.left(4)), group = nodeCode(tree.left(2)),
                      beside = nodeCode(u"0102002"_s);
        const QString b1 = u"00001"_s, b2 = u"00002"_s, b3 = u"00003"_s;
        const QString boa = u"00001 - Boa Safra"_s, vale = u"00002 - Vale Verde"_s;
        // Particularities, the new brand, and the type and brands of the conflict (none: "S").
        const QList<std::tuple<QList<Part>, QString, QString, QString>> cases = {
            {{}, b2, {}, {}},
            {{{p, u"1"_s, b1}}, b1, {}, {}},
            {{{p, u"1"_s, b1}}, b2, u"1"_s, boa},
            {{{category, u"7"_s, b1}, {p, u"7"_s, b3}},
             b2,
             u"7"_s,
             u"00003 - Sol Nascente, "_s + boa},
            {{{beside, u"1"_s, b1}}, b2, {}, {}},
            {{{p, u"1"_s, b1, u"0011"_s}}, b2, {}, {}},
            {{{type, u"3"_s, b2}, {type, u"3"_s, b3}}, b2, u"3"_s, vale},
            {{{type, u"9"_s, b2}}, b1, {}, {}},
            {{{group, u"2"_s, b1}}, b2, u"2"_s, boa},
            {{{group, u"8"_s, b1}}, b1, {}, {}},
            {{{p, u"8"_s, b1}, {p, u"1"_s, b2}}, b3, u"1"_s, vale},
            {{{p, u"8"_s, b1}, {p, u"1"_s, b2}}, b2, u"8"_s, boa},
            {{{p, u"1"_s, b2}, {category, u"3"_s, b2}}, b2, u"3"_s, vale},
        };
        int n = 0;
        for (const auto& [parts, brand, conflictType, conflictBrands] : cases) {
            const QByteArray name = "case " + QByteArray::number(++n);
            sql::Transaction tx(c);
            setParticularities(branch, parts);
            const QVariantList args{branch, p, brand, p, b3};
            const QVariantList first = call("VerificaMarcaPref", args).toList();
            QVERIFY2(first.size() == 2, name);
            const DataPacket conflict = packetOf(first[1]);
            QCOMPARE(conflict.fields(), contracts::marcaPref1Fields());
            QVERIFY2(first[0] == QVariant(conflictType.isEmpty() ? u"S"_s : u"N"_s), name);
            QCOMPARE(columnOf(conflict, u"CDTIPPART"),
                     conflictType.isEmpty() ? QStringList() : QStringList{conflictType});
            QCOMPARE(columnOf(conflict, u"CDMARCA"),
                     conflictType.isEmpty() ? QStringList() : QStringList{conflictBrands});
            // The second stage repeats the first one's answers.
            const QVariantList second = call("VerificaMarcaPref1", args).toList();
            QVERIFY2(second.size() == 3 && second[0] == first[0] && packetOf(second[1]) == conflict,
                     name);
        }
        // The reference product stands in for a blank product.
        sql::Transaction tx(c);
        setParticularities(branch, {{p, u"1"_s, b1}});
        QCOMPARE(call("VerificaMarcaPref", {branch, QString(), b2, p, b1}).toList().value(0),
                 QVariant(u"N"_s));
    }

    void preferentialProduct_data() { suptest::addDatabaseRows(); }
    void preferentialProduct() {
        sql::Connection& c = open();
        const QString branch = u"0010"_s;
        const QList<QStringList> leaves =
            rows(c, u"SELECT CDPRODUTO, CDARVPROD FROM PRODUTO WHERE CDNVPRODUTO = '4'"
                    " AND substr(CDARVPROD, 1, 7) = '0102001' ORDER BY CDARVPROD"_s);
        QVERIFY(leaves.size() >= 3);
        auto preferred = [&](const QString& product) {
            const DataPacket p = packetOf(
                call("VerificaMarcaPref1", {branch, product, u"00001"_s, product, u"00002"_s})
                    .toList()
                    .value(2));
            return p.fields() == contracts::prodPrefFields() ? columnOf(p, u"CDARVPROD")
                                                             : QStringList{u"?"_s};
        };
        sql::Transaction tx(c);
        setParticularities(branch, {{nodeCode(u"0102001"_s), u"0"_s, leaves[1][0]}});
        QCOMPARE(preferred(leaves[0][0]), QStringList{leaves[1][1]});
        QCOMPARE(preferred(leaves[1][0]), QStringList());
        QCOMPARE(preferred(nodeCode(u"01020020001"_s)), QStringList()); // another type
        setParticularities(branch, {{nodeCode(u"0102001"_s), u"0"_s, leaves[1][0]},
                                    {nodeCode(u"0102"_s), u"0"_s, leaves[2][0]}});
        QCOMPARE(preferred(leaves[0][0]), QStringList{leaves[1][1] + u", "_s + leaves[2][1]});
        QCOMPARE(preferred(leaves[2][0]), QStringList());
    }

    // The demo data raise every question of the brand check at the two stores it prepares.
    void seededPreferences_data() { suptest::addDatabaseRows(); }
    void seededPreferences() {
        const sql::Connection& c = open();
        const QList<QPair<QString, QSet<QString>>> stores = {
            {server::kPreferenceBranch, {u"1"_s, u"8"_s, u"3"_s}},
            {u"0014"_s, {u"7"_s, u"2"_s, u"9"_s}}};
        for (const auto& [branch, kinds] : stores) {
            // The first open items, each with every other brand of its product.
            const QList<QStringList> changes =
                rows(c,
                     u"SELECT I.CDPRODUTO, B.CDMARCA FROM PEDIDOOLITEM I JOIN PRODMARCA B"
                     " ON B.CDPRODUTO = I.CDPRODUTO WHERE I.CDFILDEST = ? AND"
                     " I.IDSITUITEM = 'A' AND B.CDMARCA <> I.CDMARCA"
                     " ORDER BY I.CDRASTRITM, B.CDMARCA"_s,
                     {branch})
                    .mid(0, 40);
            QSet<QString> seen;
            bool productQuestion = false;
            for (const QStringList& k : changes) {
                const QVariantList a =
                    call("VerificaMarcaPref1", {branch, k[0], k[1], k[0], QString()}).toList();
                if (a.value(0) == QVariant(u"N"_s))
                    seen.insert(packetOf(a[1]).value(0, u"CDTIPPART").toString());
                productQuestion = productQuestion || packetOf(a.value(2)).rowCount() > 0;
            }
            QVERIFY2(seen.contains(kinds) && productQuestion, qPrintable(branch));
        }
    }

    void reservationCheck_data() { suptest::addDatabaseRows(); }
    void reservationCheck() {
        sql::Connection& c = open();
        const QString day = c.dialect() == sql::Dialect::PostgreSQL
                                ? u"to_char(I.DTPROGENPEOL, 'YYYY-MM-DD')"_s
                                : u"substr(I.DTPROGENPEOL, 1, 10)"_s;
        auto item = [&](const QString& condition) {
            return firstRow(c, u"SELECT I.CDFILDEST, I.CDFILLANC, I.NRPEDEXOL, I.CDPRODUTO,"
                               " I.CDMARCA, %1, I.CDFILIOPELOG, I.QTRESERVESTOL FROM PEDIDOOLITEM I"
                               " WHERE I.IDSITUITEM = 'A' AND I.IDUTRESPEDEXOL = 'S' AND %2"
                               " ORDER BY I.CDRASTRITM"_s.arg(day, condition));
        };
        auto check = [&](const QStringList& i, double qty, int dayShift = 0) {
            QString central = u"0001"_s;
            const QDate d = QDate::fromString(i[5], Qt::ISODate).addDays(dayShift);
            // The whole destination field, the branch name included.
            const QVariant answer = contracts::CheckResultServ(
                contracts::calls::GetVdReserva(*module(), i[0] + u" - Loja"_s, i[1], i[2], i[3],
                                               i[4], d, d.addDays(-1), i[6], central, qty),
                true, 0);
            if (central != u"0001")
                qFatal("GetVdReserva wrote back the central branch");
            return answer.toList();
        };

        // An item holding OL stock may use what it holds besides the free stock.
        const QStringList holder = item(u"I.QTRESERVESTOL > 0"_s);
        QCOMPARE(holder.size(), 8);
        const double free = c.scalar(u"SELECT QTSALDO - QTRESERVADO FROM ESTOQUEOL WHERE"
                                     " CDFILIOPELOG = ? AND CDPRODUTO = ? AND CDMARCA = ?"_s,
                                     {holder[6], holder[3], holder[4]})
                                .toDouble();
        const double own = holder[7].toDouble();
        QCOMPARE(check(holder, free + own), (QVariantList{false, free + own, own, false}));
        QCOMPARE(check(holder, free + own + 1).value(3), QVariant(true));
        QCOMPARE(check(holder, 0).value(3), QVariant(false));
        // Another delivery day is another item: the free stock alone.
        QCOMPARE(check(holder, free + own, 1).value(2), QVariant(0.0));
        // The OL handles the product but holds none of it in that brand: short of stock only.
        QStringList otherBrand = holder;
        otherBrand[4] = u"ZZZZZ"_s;
        QCOMPARE(check(otherBrand, 1), (QVariantList{false, 0.0, 0.0, true}));
        // The OL neither handles nor stocks the product.
        const QStringList unknown = item(
            u"NOT EXISTS (SELECT 1 FROM PRODRELACOL R WHERE R.CDFILIOPELOG = I.CDFILIOPELOG AND"
            " R.CDPRODUTO = I.CDPRODUTO) AND NOT EXISTS (SELECT 1 FROM ESTOQUEOL E WHERE"
            " E.CDFILIOPELOG = I.CDFILIOPELOG AND E.CDPRODUTO = I.CDPRODUTO)"_s);
        QCOMPARE(unknown.size(), 8);
        QCOMPARE(check(unknown, 10), (QVariantList{true, 0.0, 0.0, false}));
        // Stock without a relationship is stock all the same.
        sql::Transaction tx(c);
        c.exec(u"INSERT INTO ESTOQUEOL (CDFILIOPELOG, CDPRODUTO, CDMARCA, QTSALDO, QTRESERVADO)"
               " VALUES (?, ?, ?, 30, 10)"_s,
               {unknown[6], unknown[3], unknown[4]});
        QCOMPARE(check(unknown, 20), (QVariantList{false, 20.0, 0.0, false}));
        QCOMPARE(check(unknown, 21).value(3), QVariant(true));
    }

    void refusals() {
        use(u"sqlite"_s);
        const QString p = u"1100"_s, b = u"00001"_s;
        const QDate d(2026, 3, 10);
        const QList<std::tuple<const char*, QVariantList, QString>> cases = {
            {"GetPesqMarca",
             {u"  "_s},
             u"O argumento 1 de GetPesqMarca (código do produto na árvore) deve ser informado."_s},
            {"GetBloqIncluiProdCmpOL",
             {QString(), u"0103"_s, p},
             u"O argumento 1 de GetBloqIncluiProdCmpOL (grupo de produto) deve ser informado."_s},
            {"GetBloqIncluiProdCmpOL",
             {u"01"_s, u"0103"_s, QString()},
             u"O argumento 3 de GetBloqIncluiProdCmpOL (produto) deve ser informado."_s},
            {"GetBloqProdSemRelacOL", {p, b, u"9999"_s}, u"Filial 9999 não cadastrada."_s},
            {"GetVd_Est_Disp",
             {u"0011"_s, u"0001"_s, QString(), b, p, QString(), 1.0},
             u"O argumento 3 de GetVd_Est_Disp (OL) deve ser informado."_s},
            {"GetVd_Est_Disp",
             {u"0011"_s, u"0001"_s, u"0901"_s, b, QString(), QString(), 1.0},
             u"O argumento 5 de GetVd_Est_Disp (produto) deve ser informado."_s},
            {"VerificaMarcaPref",
             {u"0011"_s, p, QString(), p, b},
             u"O argumento 3 de VerificaMarcaPref (marca) deve ser informado."_s},
            {"VerificaMarcaPref1",
             {u"0011"_s, QString(), b, QString(), QString()},
             u"O argumento 2 de VerificaMarcaPref1 (produto) deve ser informado."_s},
            {"GetVdReserva",
             {QString(), u"0001"_s, u"1"_s, p, b, d, d, u"0901"_s, QString(), 1.0},
             u"O argumento 1 de GetVdReserva (filial destino (campo inteiro)) deve ser"
             " informado."_s},
        };
        for (const auto& [method, args, message] : cases)
            QCOMPARE(contracts::faultOf(call(method, args)).message, message);
    }
};

QTEST_GUILESS_MAIN(TestEditingRules)
#include "tst_editing_rules.moc"
