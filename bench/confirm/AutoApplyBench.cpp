// The automatic alteration on the large database. Of the items the criteria match (about
// 100,000 of the seeded 1,000,000), 10,000 spread evenly are selected as the launcher gathers
// them (15 attributes each) and altered by AltAtuItem, called with the arguments the screen
// sends:
//   - product change: every item to one product and brand, its quantity converted by a unit
//     adjustment of 100% and a quantity adjustment of 10%, the particularity answer "S";
//   - date change: every item to one delivery date (a Monday after every order date), its
//     shipping date moved as much, checked against the purchase calendar.
// Beside each, on SQLite and PostgreSQL, a raw peer writes the same items in one transaction with
// the bare library (sqlite3, libpq), set-based: the new values worked out in C++ and sent as one
// JSON parameter that one UPDATE reads as a table (json_each, json_to_recordset) joined by item
// key, and one INSERT of the audit rows the server writes for them.
//
// The items a change takes, as loaded: no adjustment items, and
//   - product change: items holding no reservation (giving one back writes the OL's stock and the
//     reservations, which the peer does not), one per order (two items of an order would become
//     equal), of orders that do not hold the new product already; the new product is the bought,
//     active one the loaded items name least, in its first brand;
//   - date change: items whose branch's purchase calendar takes the new date for their product.
// Every pass leaves the database as it was, untimed: the items' stored columns come back from a
// copy taken at the start and the audit rows the pass added go.
//
// Beside each call of AltAtuItem, its preview VisAltAtuItem on the same items and arguments: the
// same run, rolled back, answering one row per item; it must leave every item as it was and show
// each of them altered.

#include "AutoApplyBench.h"

#include "Fixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "JsonRows.h"
#include "Methods.h"
#include "SqlValues.h"
#include "sup/contracts/ServerResult.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/server/Seed.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Guard.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QHash>
#include <QPushButton>
#include <QSet>
#include <QSqlDriver>
#include <QSqlQuery>

#include <sqlite3.h>

#ifdef SUP_BENCH_LIBPQ
#include <libpq-fe.h>
#endif

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <stdexcept>

using namespace sup;

namespace confirmbench {

namespace {

using data::Column;
using data::DataPacket;
using data::TWorkingSet;

const QString& kModule = server::kModuleAltPedidosOL;
const QString kReason = QStringLiteral("Alteração do Pedido OL.");
constexpr int kSelected = 10000;
constexpr double kUnitAdjust = 100, kQtyAdjust = 10;
const QDate kNewDate(2026, 5, 4); // a Monday, after every order date of the data set

enum class Alt { Product, Date };

QString number(double v) {
    return QString::number(v, 'g', 15);
}

// The loaded items, and how the changes read them.
class Loaded {
public:
    explicit Loaded(const DataPacket& items)
        : items_(items) {}
    const DataPacket& packet() const { return items_; }
    qsizetype rows() const { return items_.rowCount(); }
    const Column& column(QStringView name) const {
        const int f = items_.indexOf(name);
        if (f < 0)
            fail(QStringLiteral("the items have no field %1").arg(name));
        return items_.column(f);
    }
    QString text(QStringView name, qsizetype r) const {
        const Column& c = column(name);
        return c.isNull(r) ? QString() : c.text(r).trimmed();
    }
    QString dest(qsizetype r) const { return text(u"CDFILDEST", r).left(4); }
    QString date(QStringView name, qsizetype r) const {
        const Column& c = column(name);
        return c.isNull(r) ? QString() : QString::fromLatin1(server::msToSqlText(c.dateTimeMs(r)));
    }
    double real(QStringView name, qsizetype r) const {
        const Column& c = column(name);
        return c.isNull(r) ? 0 : c.real(r);
    }
    server::ItemKey key(qsizetype r) const {
        return {dest(r),
                text(u"CDFILLANC", r),
                text(u"NRPEDEXOL", r),
                date(u"DTPROGENPEOL", r),
                text(u"CDPRODUTO", r),
                text(u"CDMARCA", r)};
    }

private:
    DataPacket items_;
};

// The product and brand of the product change.
struct Target {
    QString code, tree, name, unit, stock, factor, brand, brandName;
};

Target leastNamed(const sql::Connection& conn, const Loaded& items) {
    QHash<QString, int> named;
    for (qsizetype r = 0; r < items.rows(); ++r)
        ++named[items.text(u"CDPRODUTO", r).toUpper()];
    QSqlQuery q = conn.exec(QStringLiteral(
        "SELECT P.CDPRODUTO, P.CDARVPROD, P.NMPRODUTO, P.SGUNIDADE, P.CDPRODESTO, P.VRFATOCONV,"
        " MIN(B.CDMARCA) FROM PRODUTO P JOIN PRODMARCA B ON B.CDPRODUTO = P.CDPRODUTO"
        " WHERE P.CDPRODESTO IS NOT NULL AND P.IDPRODATIVPR = 'S'"
        " GROUP BY P.CDPRODUTO, P.CDARVPROD, P.NMPRODUTO, P.SGUNIDADE, P.CDPRODESTO, P.VRFATOCONV"
        " ORDER BY P.CDPRODUTO"));
    Target t;
    int least = -1;
    while (q.next()) {
        const int n = named.value(q.value(0).toString().trimmed().toUpper());
        if (least >= 0 && n >= least)
            continue;
        least = n;
        t = Target{q.value(0).toString().trimmed(), q.value(1).toString().trimmed(),
                   q.value(2).toString().trimmed(), q.value(3).toString().trimmed(),
                   q.value(4).toString().trimmed(), number(q.value(5).toDouble()),
                   q.value(6).toString().trimmed(), QString()};
    }
    if (least < 0)
        fail(QStringLiteral("no product to change the items to"));
    t.brandName =
        conn.scalar(QStringLiteral("SELECT NMMARCA FROM MARCA WHERE CDMARCA = ?"), {t.brand})
            .toString();
    return t;
}

// The items a change takes: 10,000 positions spread evenly over the loaded items it accepts.
struct Chosen {
    std::vector<qsizetype> positions;
    QList<qint64> ids;
};

// `ol`: only items of that OL (the launcher gathers the items of one OL).
Chosen choose(const sql::Connection& conn, const Loaded& items, Alt alt, const Target& target,
              const QString& ol = {}) {
    std::vector<qsizetype> accepted;
    auto order = [&](qsizetype r) {
        return QStringList{items.dest(r), items.text(u"CDFILLANC", r), items.text(u"NRPEDEXOL", r),
                           items.date(u"DTPROGENPEOL", r)}
            .join(u'|')
            .toUpper();
    };
    auto adjustment = [&](qsizetype r) {
        return items.text(u"IDITEMAJUSTE", r) != u"N" ||
               (!ol.isEmpty() && items.text(u"CDFILIOPELOG", r) != ol);
    };
    if (alt == Alt::Product) {
        // Orders holding the new product, among all their items (loaded or not).
        QSet<QString> holding, taken;
        QSqlQuery q =
            conn.exec(QStringLiteral("SELECT DISTINCT CDFILDEST, CDFILLANC, NRPEDEXOL, %1"
                                     " FROM PEDIDOOLITEM WHERE CDARVPROD = ?")
                          .arg(server::dateOut(conn.dialect(), QStringLiteral("DTPROGENPEOL"))),
                      {target.tree});
        while (q.next())
            holding.insert(QStringList{q.value(0).toString().trimmed(),
                                       q.value(1).toString().trimmed(),
                                       q.value(2).toString().trimmed(), q.value(3).toString()}
                               .join(u'|')
                               .toUpper());
        for (qsizetype r = 0; r < items.rows(); ++r) {
            const QString o = order(r);
            if (adjustment(r) || items.real(u"QTRESERVESTOL", r) != 0 || holding.contains(o) ||
                taken.contains(o))
                continue;
            taken.insert(o);
            accepted.push_back(r);
        }
    } else {
        QHash<QString, qsizetype> pairOf;
        QList<server::CalendarPair> pairs;
        std::vector<qsizetype> pairAt(std::size_t(items.rows()));
        for (qsizetype r = 0; r < items.rows(); ++r) {
            const QString k = (items.dest(r) + u'|' + items.text(u"CDARVPROD", r)).toUpper();
            auto it = pairOf.find(k);
            if (it == pairOf.end()) {
                it = pairOf.insert(k, pairs.size());
                pairs.append({items.dest(r), items.text(u"CDARVPROD", r)});
            }
            pairAt[std::size_t(r)] = *it;
        }
        const QList<bool> outside = server::outsideCalendar(conn, pairs, kNewDate);
        for (qsizetype r = 0; r < items.rows(); ++r)
            if (!adjustment(r) && !outside[pairAt[std::size_t(r)]])
                accepted.push_back(r);
    }
    if (accepted.size() < std::size_t(kSelected))
        fail(QStringLiteral("only %1 of the loaded items take the change").arg(accepted.size()));
    Chosen c;
    for (std::size_t i = 0; i < std::size_t(kSelected); ++i) {
        const qsizetype p = accepted[i * accepted.size() / std::size_t(kSelected)];
        c.positions.push_back(p);
        c.ids << qint64(items.real(u"CDRASTRITM", p));
    }
    return c;
}

// The selected-items array of the chosen items, as the launcher gathers it.
QVariantList gathered(const Loaded& items, const Chosen& c) {
    return contracts::SelectedItems::gather(
               [&](QStringView f) -> const Column& { return items.column(f); }, c.positions,
               server::kDemoOperator)
        .toList();
}

// The 21 arguments of the call.
QVariantList argsOf(Alt alt, const QVariantList& selected, const Target& t) {
    const bool product = alt == Alt::Product;
    return {selected,
            product,
            false,
            !product,
            product ? QDate() : kNewDate,
            0.0,
            product ? t.code : QString(),
            product ? kUnitAdjust : 0.0,
            product ? kQtyAdjust : 0.0,
            QStringLiteral("Operação bloqueada. Nova data não contemplada pela periodicidade da "
                           "filial %s para o produto %s ."),
            false,
            product ? t.unit : QString(),
            false,
            server::kDemoOperator,
            kReason,
            QStringLiteral("0001"),
            0.0,
            QString(),
            QString(),
            product ? t.brand : QString(),
            QStringLiteral("S")};
}

// ---- putting the database back ---------------------------------------------------------------

// The chosen items' stored columns, copied at the start and put back after every pass with the
// audit rows the pass added deleted.
class Undo {
public:
    Undo(sql::Connection& conn, const QList<qint64>& ids)
        : conn_(conn)
        , ids_(server::idsValue(conn.dialect(), ids))
        , audit_(conn.scalar(QStringLiteral("SELECT COALESCE(MAX(NRSEQAUDIT), 0) FROM AUDITORIA"))
                     .toLongLong()) {
        sql::Transaction tx(conn_);
        drop();
        conn_.exec(QStringLiteral("CREATE TEMP TABLE bench_alt_items AS SELECT %1 FROM PEDIDOOLITEM"
                                  " WHERE 1 = 0")
                       .arg(columns()));
        conn_.exec(QStringLiteral("INSERT INTO bench_alt_items SELECT %1 FROM PEDIDOOLITEM"
                                  " WHERE %2")
                       .arg(columns(), server::idsIn(conn.dialect(), QStringLiteral("CDRASTRITM"))),
                   {ids_});
        tx.commit();
        if (conn_.dialect() == sql::Dialect::PostgreSQL)
            conn_.exec(QStringLiteral("ANALYZE bench_alt_items"));
    }
    ~Undo() {
        try {
            afterPass();
            drop();
        } catch (const std::exception& e) {
            std::cerr << "  the selected items were not put back: " << e.what() << '\n';
        }
    }
    Undo(const Undo&) = delete;
    Undo& operator=(const Undo&) = delete;

    // The chosen items the pass wrote: those of the new product, or of the new date.
    qint64 written(Alt alt, const Target& t) const {
        const sql::Dialect d = conn_.dialect();
        const QString in = server::idsIn(d, QStringLiteral("CDRASTRITM"));
        if (alt == Alt::Product)
            return conn_
                .scalar(QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE %1"
                                       " AND CDPRODUTO = ?")
                            .arg(in),
                        {ids_, t.code})
                .toLongLong();
        return conn_
            .scalar(
                QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE %1 AND DTPROGENPEOL = %2")
                    .arg(in, server::timestampParam(d)),
                {ids_, kNewDate.toString(QStringLiteral("yyyy-MM-dd 00:00:00"))})
            .toLongLong();
    }

    void afterPass() {
        sql::Transaction tx(conn_);
        conn_.exec(QStringLiteral("DELETE FROM AUDITORIA WHERE NRSEQAUDIT > ?"), {audit_});
        QStringList sets;
        for (const QString& c : columns().split(QStringLiteral(", ")).mid(1))
            sets << c + QStringLiteral(" = s.") + c;
        conn_.exec(QStringLiteral("UPDATE PEDIDOOLITEM AS t SET %1 FROM bench_alt_items AS s"
                                  " WHERE t.CDRASTRITM = s.CDRASTRITM")
                       .arg(sets.join(QStringLiteral(", "))));
        tx.commit();
        settle(conn_);
    }

private:
    static QString columns() {
        return QStringLiteral("CDRASTRITM, CDPRODUTO, CDARVPROD, NMPRODUTO, SGUNIDADE, CDPRODESTO,"
                              " VRFATOCONV, CDMARCA, NMMARCA, QTPROGENPEOL, DTPROGENPEOL,"
                              " DTPROGEMBARQ");
    }
    void drop() {
        conn_.exec(QStringLiteral("DROP TABLE IF EXISTS %1.bench_alt_items")
                       .arg(conn_.dialect() == sql::Dialect::PostgreSQL ? QStringLiteral("pg_temp")
                                                                        : QStringLiteral("temp")));
    }

    sql::Connection& conn_;
    QVariant ids_;
    qint64 audit_;
};

// What a benchmark of one change works on.
struct Setup {
    Loaded items;
    Target target;
    Chosen chosen;
    QVariantList args;
};

Setup setupOf(Database& db, Alt alt) {
    Setup s{Loaded(request(db).answer.toList().value(0).value<DataPacket>()), {}, {}, {}};
    s.target = leastNamed(*db.conn, s.items);
    s.chosen = choose(*db.conn, s.items, alt, s.target);
    s.args = argsOf(alt, gathered(s.items, s.chosen), s.target);
    return s;
}

// Runs `write` (one pass, written and timed; returns its seconds) pass after pass, checking that
// each wrote every chosen item and putting them back after it.
template <class Write> void passes(benchmark::State& state, Store store, Alt alt, Write&& write) {
    Database* db = database(store);
    if (!db) {
        state.SkipWithError("SUP_TEST_PG not set");
        return;
    }
    const Setup s = setupOf(*db, alt);
    Undo undo(*db->conn, s.chosen.ids);
    for (auto _ : state) {
        const double took = write(*db, s);
        if (undo.written(alt, s.target) != kSelected)
            fail(QStringLiteral("the pass wrote %1 of the %2 selected items")
                     .arg(undo.written(alt, s.target))
                     .arg(kSelected));
        undo.afterPass();
        state.SetIterationTime(took);
    }
    state.counters["selected"] = double(kSelected);
}

// ---- the server's call -----------------------------------------------------------------------

template <Alt alt, Store store> void BM_Server(benchmark::State& state) {
    guarded(state, [&] {
        passes(state, store, alt, [](Database& db, const Setup& s) {
            QVariantList a = s.args;
            QElapsedTimer t;
            t.start();
            const QVariant answer = db.server->call(kModule, QStringLiteral("AltAtuItem"), a,
                                                    {server::kDemoOperator, {}});
            const double took = seconds(t);
            if (contracts::isFault(answer))
                fail(contracts::faultOf(answer).message);
            if (answer.toList().value(0).toInt() != kSelected)
                fail(QStringLiteral("the call altered %1 items")
                         .arg(answer.toList().value(0).toInt()));
            return took;
        });
    });
}

// ---- the preview ------------------------------------------------------------------------------

template <Alt alt, Store store> void BM_Preview(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(store);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        const Setup s = setupOf(*db, alt);
        const Undo undo(*db->conn, s.chosen.ids);
        for (auto _ : state) {
            QVariantList a = s.args;
            QElapsedTimer t;
            t.start();
            const QVariant answer = db->server->call(kModule, QStringLiteral("VisAltAtuItem"), a,
                                                     {server::kDemoOperator, {}});
            const double took = seconds(t);
            if (contracts::isFault(answer))
                fail(contracts::faultOf(answer).message);
            const DataPacket rows = answer.value<DataPacket>();
            const data::Column& altered = rows.column(rows.indexOf(u"IDALTERA"));
            qsizetype shown = 0;
            for (qsizetype r = 0; r < rows.rowCount(); ++r)
                shown += altered.text(r) == u"S" ? 1 : 0;
            if (rows.rowCount() != kSelected || shown != kSelected)
                fail(QStringLiteral("the preview showed %1 of %2 rows altered")
                         .arg(shown)
                         .arg(rows.rowCount()));
            if (undo.written(alt, s.target) != 0)
                fail(QStringLiteral("the preview wrote %1 items").arg(undo.written(alt, s.target)));
            state.SetIterationTime(took);
        }
        state.counters["selected"] = double(kSelected);
    });
}

// ---- raw peers -------------------------------------------------------------------------------

// One statement of a peer and its parameters in order (nullopt: null).
struct Statement {
    QByteArray sql;
    std::vector<std::optional<QByteArray>> params;
    bool countsItems = true; // its row count must be the selected items'
};

// A parameter: "?n" on SQLite, "$n" (cast to `pgType` when given) on PostgreSQL.
QByteArray param(bool pg, int n, const char* pgType = nullptr) {
    if (!pg)
        return '?' + QByteArray::number(n);
    const QByteArray p = '$' + QByteArray::number(n);
    return pgType ? "CAST(" + p + " AS " + pgType + ')' : p;
}

// The JSON rows of parameter 1 as the table d(columns).
QByteArray jsonTable(bool pg, std::initializer_list<std::pair<const char*, const char*>> columns) {
    QByteArray out;
    for (const auto& [name, type] : columns) {
        if (!out.isEmpty())
            out += ", ";
        out += pg ? QByteArray(name) + ' ' + type
                  : "json_extract(value, '$." + QByteArray(name) + "') AS " + name;
    }
    return pg ? "json_to_recordset(CAST($1 AS json)) AS d(" + out + ')'
              : "(SELECT " + out + " FROM json_each(?1)) AS d";
}

const char* const kKeyJoin = "t.CDFILDEST = d.b AND t.CDFILLANC = d.l AND t.NRPEDEXOL = d.o AND"
                             " t.DTPROGENPEOL = d.t AND t.CDPRODUTO = d.p AND t.CDMARCA = d.m";

// The peer's statements: the items' UPDATE by key, the audit rows' INSERT.
std::vector<Statement> peerStatements(Alt alt, const Setup& s, bool pg) {
    const Loaded& items = s.items;
    const Target& t = s.target;
    server::JsonRows rows, audit;
    qsizetype a = 0;
    auto audited = [&](const QString& key, const char* field, const QString& from,
                       const QString& to) {
        audit.begin(a++);
        audit.text("k", key);
        audit.text("f", QString::fromLatin1(field));
        audit.text("o", from);
        audit.text("n", to);
        audit.end();
    };
    const QString day = kNewDate.toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
    for (std::size_t i = 0; i < s.chosen.positions.size(); ++i) {
        const qsizetype r = s.chosen.positions[i];
        const server::ItemKey k = items.key(r);
        rows.begin(qsizetype(i));
        rows.text("b", k.dest);
        rows.text("l", k.lanc);
        rows.text("o", k.order);
        rows.text("t", k.date);
        rows.text("p", k.product);
        rows.text("m", k.brand);
        const QString key = k.audit();
        if (alt == Alt::Product) {
            const double qty = items.real(u"QTPROGENPEOL", r);
            const double after =
                std::round(qty * (1 + kUnitAdjust / 100) * (1 + kQtyAdjust / 100) * 1000) / 1000;
            rows.number("q", after);
            if (k.product.compare(t.code, Qt::CaseInsensitive) != 0)
                audited(key, "CDPRODUTO", k.product, t.code);
            if (k.brand.compare(t.brand, Qt::CaseInsensitive) != 0)
                audited(key, "CDMARCA", k.brand, t.brand);
            audited(key, "QTPROGENPEOL", number(qty), number(after));
        } else {
            const QString ship = items.date(u"DTPROGEMBARQ", r);
            const QString shipped =
                ship.isEmpty()
                    ? QString()
                    : QDate::fromString(ship.left(10), Qt::ISODate)
                              .addDays(
                                  QDate::fromString(k.date.left(10), Qt::ISODate).daysTo(kNewDate))
                              .toString(QStringLiteral("yyyy-MM-dd")) +
                          ship.mid(10);
            rows.text("e", shipped);
            audited(key, "DTPROGENPEOL", k.date, day);
            if (!ship.isEmpty())
                audited(key, "DTPROGEMBARQ", ship, shipped);
        }
        rows.end();
    }
    const QByteArray json = rows.value().toUtf8();
    std::vector<Statement> out;
    if (alt == Alt::Product) {
        out.push_back(
            {"UPDATE PEDIDOOLITEM AS t SET CDPRODUTO = " + param(pg, 2) +
                 ", CDARVPROD = " + param(pg, 3) + ", NMPRODUTO = " + param(pg, 4) +
                 ", SGUNIDADE = " + param(pg, 5) + ", CDPRODESTO = " + param(pg, 6) +
                 ", VRFATOCONV = " + param(pg, 7, "double precision") + ", CDMARCA = " +
                 param(pg, 8) + ", NMMARCA = " + param(pg, 9) + ", QTPROGENPEOL = d.q FROM " +
                 jsonTable(pg, {{"b", "text COLLATE public.sup_code"},
                                {"l", "text COLLATE public.sup_code"},
                                {"o", "text COLLATE public.sup_code"},
                                {"t", "timestamp(0)"},
                                {"p", "text COLLATE public.sup_code"},
                                {"m", "text COLLATE public.sup_code"},
                                {"q", "double precision"}}) +
                 " WHERE " + kKeyJoin,
             {json, t.code.toUtf8(), t.tree.toUtf8(), t.name.toUtf8(),
              t.unit.isEmpty() ? std::nullopt : std::optional(t.unit.toUtf8()), t.stock.toUtf8(),
              t.factor.toUtf8(), t.brand.toUtf8(), t.brandName.toUtf8()}});
    } else {
        out.push_back({"UPDATE PEDIDOOLITEM AS t SET DTPROGENPEOL = " +
                           param(pg, 2, "timestamp(0)") + ", DTPROGEMBARQ = d.e FROM " +
                           jsonTable(pg, {{"b", "text COLLATE public.sup_code"},
                                          {"l", "text COLLATE public.sup_code"},
                                          {"o", "text COLLATE public.sup_code"},
                                          {"t", "timestamp(0)"},
                                          {"p", "text COLLATE public.sup_code"},
                                          {"m", "text COLLATE public.sup_code"},
                                          {"e", "timestamp(0)"}}) +
                           " WHERE " + kKeyJoin,
                       {json, day.toUtf8()}});
    }
    out.push_back(
        {"INSERT INTO AUDITORIA (DTEVENTO, CDOPERADOR, NMMETODO, NMTABELA, DSCHAVE, NMCAMPO,"
         " DSVALORANT, DSVALORNOVO, IDDELTA, DSMOTIVO) SELECT " +
             param(pg, 2, "timestamp(0)") + ", " + param(pg, 3, "text") +
             ", 'AltAtuItem', 'PEDIDOOLITEM', d.k, d.f, d.o, d.n, NULL, " + param(pg, 4, "text") +
             " FROM " + jsonTable(pg, {{"k", "text"}, {"f", "text"}, {"o", "text"}, {"n", "text"}}),
         {audit.value().toUtf8(), server::timestampText().toUtf8(), server::kDemoOperator.toUtf8(),
          kReason.toUtf8()},
         false});
    return out;
}

// Runs the statements of a pass, each with `exec` (returns its row count), in one committed
// transaction; throws unless the items' UPDATE wrote every selected item.
template <class Exec> double runPeer(Database& db, Alt alt, const Setup& s, bool pg, Exec&& exec) {
    QElapsedTimer t;
    t.start();
    const std::vector<Statement> statements = peerStatements(alt, s, pg);
    std::vector<qint64> counts;
    sql::Transaction tx(*db.conn);
    for (const Statement& st : statements)
        counts.push_back(exec(st));
    tx.commit();
    const double took = seconds(t);
    for (std::size_t i = 0; i < statements.size(); ++i)
        if (statements[i].countsItems && counts[i] != kSelected)
            fail(QStringLiteral("a statement of the peer wrote %1 rows").arg(counts[i]));
    return took;
}

template <Alt alt> void BM_RawSQLite(benchmark::State& state) {
    guarded(state, [&] {
        passes(state, Store::SQLite, alt, [](Database& db, const Setup& s) {
            sqlite3* h = db.conn->sqliteHandle();
            return runPeer(db, alt, s, false, [&](const Statement& st) {
                sqlite3_stmt* stmt = nullptr;
                if (sqlite3_prepare_v2(h, st.sql.constData(), int(st.sql.size()), &stmt, nullptr) !=
                    SQLITE_OK)
                    fail(QString::fromUtf8(sqlite3_errmsg(h)));
                for (std::size_t i = 0; i < st.params.size(); ++i) {
                    if (st.params[i])
                        sqlite3_bind_text(stmt, int(i + 1), st.params[i]->constData(),
                                          int(st.params[i]->size()), SQLITE_STATIC);
                    else
                        sqlite3_bind_null(stmt, int(i + 1));
                }
                const int rc = sqlite3_step(stmt);
                const QString error =
                    rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(h));
                sqlite3_finalize(stmt);
                if (!error.isEmpty())
                    fail(error);
                return qint64(sqlite3_changes(h));
            });
        });
    });
}

#ifdef SUP_BENCH_LIBPQ
template <Alt alt> void BM_RawPostgreSQL(benchmark::State& state) {
    guarded(state, [&] {
        passes(state, Store::PostgreSQL, alt, [](Database& db, const Setup& s) {
            PGconn* pg =
                *static_cast<PGconn* const*>(db.conn->database().driver()->handle().constData());
            return runPeer(db, alt, s, true, [&](const Statement& st) {
                std::vector<const char*> values;
                for (const std::optional<QByteArray>& p : st.params)
                    values.push_back(p ? p->constData() : nullptr);
                PGresult* res = PQexecParams(pg, st.sql.constData(), int(values.size()), nullptr,
                                             values.data(), nullptr, nullptr, 0);
                const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
                const qint64 n = ok ? std::atoll(PQcmdTuples(res)) : 0;
                const QString error = ok ? QString() : QString::fromUtf8(PQresultErrorMessage(res));
                PQclear(res);
                if (!ok)
                    fail(error);
                return n;
            });
        });
    });
}
#endif

// ---- the whole confirmation -----------------------------------------------------------------

// The user's road on the maintenance screen over the embedded SQLite database, the 10,000 items
// of the date change marked (as a marking pass leaves them): the automatic alteration launched,
// "Entrega" checked and the date given, the confirmation answered Yes, until the reloaded grid
// is painted. The launch's gathering, the screen's checks, the call and the reload are all in.
void BM_DateOnScreen(benchmark::State& state) {
    guarded(state, [&] {
        Database* db = database(Store::SQLite);
        Client client(*db, Transport::InProcess);
        TWorkingSet* item = frmAltPedidosOL->data().cdsItem;
        const Loaded items(item->data());
        // The OL of most items.
        QHash<QString, int> perOl;
        for (qsizetype r = 0; r < items.rows(); ++r)
            ++perOl[items.text(u"CDFILIOPELOG", r)];
        QString ol;
        for (auto it = perOl.cbegin(); it != perOl.cend(); ++it)
            if (ol.isEmpty() || it.value() > perOl.value(ol))
                ol = it.key();
        const Chosen chosen = choose(*db->conn, items, Alt::Date, leastNamed(*db->conn, items), ol);
        Undo undo(*db->conn, chosen.ids);
        const std::vector<int> positions(chosen.positions.begin(), chosen.positions.end());
        testkit::ScriptedHost& h = client.host();
        const auto once = [&] {
            markOnScreen(positions);
            h.clearLog();
            h.onModal(QStringLiteral("frmCadaAuto"), [&](QDialog& d) {
                auto& a = static_cast<TfrmCadaAuto&>(d);
                if (!a.chbEntrega->isChecked())
                    a.chbEntrega->click();
                a.depEntrega->setDate(kNewDate);
                h.answerMessage(host::mrYes);
                a.sbtConfirma->click();
            });
            QElapsedTimer t;
            t.start();
            host::Guarded([] { frmAltPedidosOL->sbtAutomaticoClick(); });
            frmAltPedidosOL->repaint();
            const double took = seconds(t);
            for (const testkit::LoggedMessage& m : h.messages)
                if (m.kind == testkit::LoggedMessage::Error)
                    fail(QStringLiteral("the alteration failed: ") + m.text);
            if (undo.written(Alt::Date, {}) != kSelected)
                fail(QStringLiteral("the confirmation wrote %1 of the %2 selected items")
                         .arg(undo.written(Alt::Date, {}))
                         .arg(kSelected));
            undo.afterPass();
            h.clearLog();
            client.reload(); // the items as they were, in the order the marks are set by
            return took;
        };
        for (auto _ : state)
            state.SetIterationTime(once());
        state.counters["selected"] = double(kSelected);
    });
}

} // namespace

void addAutoApplyBenchmarks(const AddBenchmark& add) {
    // Every one writes: two passes in each repetition, as the other writes.
    const auto writing = [&](const char* name, void (*fn)(benchmark::State&)) {
        add(name, fn, true, 2);
    };
    writing("alt/date/screen/sqlite", BM_DateOnScreen);
    writing("alt/product/server/sqlite", BM_Server<Alt::Product, Store::SQLite>);
    writing("alt/product/raw/sqlite", BM_RawSQLite<Alt::Product>);
    writing("alt/date/server/sqlite", BM_Server<Alt::Date, Store::SQLite>);
    writing("alt/date/raw/sqlite", BM_RawSQLite<Alt::Date>);
    writing("alt/product/server/postgresql", BM_Server<Alt::Product, Store::PostgreSQL>);
    writing("alt/date/server/postgresql", BM_Server<Alt::Date, Store::PostgreSQL>);
    // The previews write nothing; they time themselves over as many passes as the calls beside.
    add("alt/product/preview/sqlite", BM_Preview<Alt::Product, Store::SQLite>, true, 2);
    add("alt/date/preview/sqlite", BM_Preview<Alt::Date, Store::SQLite>, true, 2);
    add("alt/product/preview/postgresql", BM_Preview<Alt::Product, Store::PostgreSQL>, true, 2);
    add("alt/date/preview/postgresql", BM_Preview<Alt::Date, Store::PostgreSQL>, true, 2);
#ifdef SUP_BENCH_LIBPQ
    writing("alt/product/raw/postgresql", BM_RawPostgreSQL<Alt::Product>);
    writing("alt/date/raw/postgresql", BM_RawPostgreSQL<Alt::Date>);
#endif
}

std::vector<bench::Comparison> autoApplyComparisons() {
    const auto beside = [](const char* label, const char* figure, const char* peerLabel,
                           const char* peer) {
        return line(label, figure, peerLabel, peer, 2, "<= 2");
    };
    return {
        limit("confirmation of a date, whole", "alt/date/screen/sqlite", "2 s", 2, 1, "< 2 s"),
        beside("AltAtuItem prod., SQLite", "alt/product/server/sqlite",
               "raw sqlite3 UPDATE + audit", "alt/product/raw/sqlite"),
        beside("AltAtuItem date, SQLite", "alt/date/server/sqlite", "raw sqlite3 UPDATE + audit",
               "alt/date/raw/sqlite"),
        beside("AltAtuItem prod., PostgreSQL", "alt/product/server/postgresql",
               "raw libpq UPDATE + audit", "alt/product/raw/postgresql"),
        beside("AltAtuItem date, PostgreSQL", "alt/date/server/postgresql",
               "raw libpq UPDATE + audit", "alt/date/raw/postgresql"),
        // The preview is the alteration's own run, rolled back: it costs what the alteration does.
        line("VisAltAtuItem prod., SQLite", "alt/product/preview/sqlite", "AltAtuItem prod.",
             "alt/product/server/sqlite", 1.25, "<= 1.25"),
        line("VisAltAtuItem date, SQLite", "alt/date/preview/sqlite", "AltAtuItem date",
             "alt/date/server/sqlite", 1.25, "<= 1.25"),
        line("VisAltAtuItem prod., PostgreSQL", "alt/product/preview/postgresql",
             "AltAtuItem prod.", "alt/product/server/postgresql", 1.25, "<= 1.25"),
        line("VisAltAtuItem date, PostgreSQL", "alt/date/preview/postgresql", "AltAtuItem date",
             "alt/date/server/postgresql", 1.25, "<= 1.25"),
    };
}

} // namespace confirmbench
