// The operations on marked items on the large database. The screen holds the items the criteria
// match (about 100,000 of the seeded 1,000,000); 10,000 of them, spread evenly, are marked as a
// marking pass leaves them (the rules stand aside under tag 99 of the snapshot), then blocked,
// written off or reserved. Measured:
//   - end to end on embedded SQLite: the operation's handler (BloqItem; the write-off button,
//     its question answered Yes; the inclusion of reservations) until the reloaded grid is
//     painted;
//   - the server's call alone, with the request the screen sends (SetBloqItem; UpdItemPedidoOL
//     in its write-off form; SetReserva), on SQLite and PostgreSQL, beside a raw peer writing the
//     same rows in one transaction with the bare library (sqlite3, libpq), set-based: the rows
//     go as one JSON parameter that each statement reads as a table (json_each,
//     json_to_recordset). Blocking: one UPDATE of the flag and its date, one INSERT of the
//     blocking history. Write-off: one UPDATE of the situation, one INSERT of the audit rows.
//     Reservation: the items' UPDATE, the reservations' INSERT and the OL stock's UPDATE. On
//     PostgreSQL the INSERT of the history or the reservations takes the item ids from the
//     UPDATE's RETURNING in the same statement, so that the case-insensitive keys are looked up
//     once, as the server does; SQLite, without data-modifying WITH, looks them up again, which
//     costs little there.
//
// The items an operation takes, as loaded: blocking, unblocked items that are not adjustment
// items; write-off, items holding no reservation (one would go back to the OL's stock, which the
// peer does not write); reservation, unblocked items that are not adjustment items, of branches
// working with reservations, holding none, of a product and brand the OL keeps stock of. Where
// the OL's free stock would not cover the marked items' quantities, its balance is raised before
// the passes (untimed) and put back after them.
//
// Every pass leaves the database as it was, untimed: blocking passes alternate block and unblock;
// a write-off's items are reopened and a reservation's items and stock get their stored values
// back; the audit rows, delta ids, blocking history and reservations a pass added are deleted.
// At the end the marked items' stored columns (the blocking dates too) and the stock are put
// back from copies taken at the start. The screen reloads its items after a write-off or a
// reservation (untimed) so that the next pass marks the same items.

#include "OpsBench.h"

#include "Fixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "JsonRows.h"
#include "SqlValues.h"
#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/server/Seed.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/widgetkit/Guard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSet>
#include <QSqlDriver>
#include <QSqlQuery>

#include <sqlite3.h>

#ifdef SUP_BENCH_LIBPQ
#include <libpq-fe.h>
#endif

#include <cstdlib>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <utility>

using namespace sup;

namespace confirmbench {

namespace {

using data::Column;
using data::DataPacket;
using data::TWorkingSet;

const QString& kModule = server::kModuleAltPedidosOL;
constexpr int kMarked = 10000;

enum class Op { Block, WriteOff, Reserve };

const Column& columnOf(const DataPacket& p, QStringView name) {
    const int f = p.indexOf(name);
    if (f < 0)
        fail(QStringLiteral("the items have no field %1").arg(name));
    return p.column(f);
}

QString textAt(const Column& c, qsizetype r) {
    return c.isNull(r) ? QString() : c.text(r).trimmed();
}

double realAt(const Column& c, qsizetype r) {
    if (c.isNull(r))
        return 0;
    return c.type() == data::FieldType::Integer ? double(c.integer(r)) : c.real(r);
}

QString stockKey(const QString& ol, const QString& product, const QString& brand) {
    return QStringList{ol, product, brand}.join(u'|').toUpper();
}

// The products and brands each OL keeps stock of.
QSet<QString> stockKeys(const sql::Connection& conn) {
    QSet<QString> out;
    QSqlQuery q =
        conn.exec(QStringLiteral("SELECT CDFILIOPELOG, CDPRODUTO, CDMARCA FROM ESTOQUEOL"));
    while (q.next())
        out.insert(stockKey(q.value(0).toString().trimmed(), q.value(1).toString().trimmed(),
                            q.value(2).toString().trimmed()));
    return out;
}

// The items an operation takes: 10,000 positions spread evenly over the loaded items it accepts,
// and the items' ids.
struct Marked {
    std::vector<int> positions;
    QList<qint64> ids;
    qsizetype count() const { return ids.size(); }
    // Positions checked after a reload: the first, the middle and the last marked item.
    std::vector<std::size_t> samples() const {
        return {0, positions.size() / 2, positions.size() - 1};
    }
};

Marked choose(const DataPacket& items, Op op, const sql::Connection& conn) {
    const Column& blocked = columnOf(items, u"IDITMPEDOLBLOQ");
    const Column& adjustment = columnOf(items, u"IDITEMAJUSTE");
    const Column& reserving = columnOf(items, u"IDUTRESPEDEXOL");
    const Column& reserved = columnOf(items, u"QTRESERVESTOL");
    const Column& qty = columnOf(items, u"QTPROGENPEOL");
    const Column& ol = columnOf(items, u"CDFILIOPELOG");
    const Column& product = columnOf(items, u"CDPRODUTO");
    const Column& brand = columnOf(items, u"CDMARCA");
    const Column& id = columnOf(items, u"CDRASTRITM");
    const QSet<QString> stock = op == Op::Reserve ? stockKeys(conn) : QSet<QString>();
    std::vector<int> accepted;
    for (qsizetype r = 0; r < items.rowCount(); ++r) {
        const bool unblocked = textAt(blocked, r) == u"N" && textAt(adjustment, r) == u"N";
        const bool holdsNone = realAt(reserved, r) == 0;
        bool takes = false;
        switch (op) {
        case Op::Block:
            takes = unblocked;
            break;
        case Op::WriteOff:
            takes = holdsNone && realAt(qty, r) != 0;
            break;
        case Op::Reserve:
            takes = unblocked && holdsNone && textAt(reserving, r) == u"S" && realAt(qty, r) > 0 &&
                    stock.contains(stockKey(textAt(ol, r), textAt(product, r), textAt(brand, r)));
            break;
        }
        if (takes)
            accepted.push_back(int(r));
    }
    if (accepted.size() < std::size_t(kMarked))
        fail(QStringLiteral("only %1 of the loaded items take the operation").arg(accepted.size()));
    Marked m;
    for (std::size_t i = 0; i < std::size_t(kMarked); ++i) {
        const int p = accepted[i * accepted.size() / std::size_t(kMarked)];
        m.positions.push_back(p);
        m.ids << qint64(realAt(id, p));
    }
    return m;
}

// ---- the requests ----------------------------------------------------------------------------

// The request rows of the marked items in the fields of a request set, as the screen fills them
// (the destination cut to its code); `extra` sets the fields that are not the item's.
DataPacket requestOf(const DataPacket& items, const Marked& m, const data::FieldDefs& f,
                     const std::function<void(qsizetype, data::DataPacketBuilder&)>& extra) {
    data::DataPacketBuilder b(f);
    b.reserve(m.count());
    for (std::size_t i = 0; i < m.positions.size(); ++i) {
        const int p = m.positions[i];
        for (int c = 0; c < int(f.size()); ++c) {
            const int from = items.indexOf(f[c].name);
            if (from < 0)
                b.column(c).appendNull();
            else if (f[c].name == u"CDFILDEST")
                b.column(c).appendText(items.column(from).text(p).left(4));
            else
                b.column(c).appendCell(items.column(from), p);
        }
        extra(qsizetype(i), b);
    }
    return b.finish();
}

// What the server is sent pass after pass: blocking passes alternate block (odd passes) and
// unblock; each write-off is a delta of the marks with an id of its own; every reservation pass
// includes the same items for their whole quantity.
class Requests {
public:
    Requests(const DataPacket& items, const Marked& marked, Op op)
        : op_(op)
        , positions_(marked.positions) {
        switch (op) {
        case Op::Block: {
            const data::FieldDefs f = contracts::bloqItemFields();
            const int flag = data::indexOfField(f, u"IDITMPEDOLBLOQ");
            for (const char16_t* to : {u"S", u"N"})
                flags_.push_back(requestOf(items, marked, f, [&](qsizetype r, auto& b) {
                    b.column(flag).setText(r, QStringView(to));
                }));
        } break;
        case Op::WriteOff:
            set_.setFieldDefs(contracts::orderItemFields());
            set_.loadFromPacket(items);
            break;
        case Op::Reserve: {
            const data::FieldDefs f = contracts::reservaFields();
            const int operation = data::indexOfField(f, u"OPERACAO");
            const int asked = data::indexOfField(f, u"QTRESERVESTOL");
            const int qty = data::indexOfField(f, u"QTPROGENPEOL");
            reserve_ = requestOf(items, marked, f, [&](qsizetype r, auto& b) {
                b.column(operation).setText(r, u"I");
                b.column(asked).setReal(r, b.column(qty).real(r));
            });
        } break;
        }
    }

    // The rows of pass `pass` (from 1).
    DataPacket rows(int pass) {
        switch (op_) {
        case Op::Block:
            return flags_[std::size_t(pass % 2 ? 0 : 1)];
        case Op::WriteOff: {
            data::TField* calc = set_.fieldByName(u"CALC");
            for (int p : positions_) {
                set_.moveTo(p);
                set_.edit();
                calc->setAsString(u"S");
                set_.post();
            }
            DataPacket delta = set_.delta();
            set_.cancelUpdates();
            return delta;
        }
        case Op::Reserve:
            break;
        }
        return reserve_;
    }

    const QString& method() const {
        static const QString names[] = {QStringLiteral("SetBloqItem"),
                                        QStringLiteral("UpdItemPedidoOL"),
                                        QStringLiteral("SetReserva")};
        return names[int(op_)];
    }

    // The call's arguments as the screen sends them.
    QVariantList args(const DataPacket& rows) const {
        switch (op_) {
        case Op::Block:
            return {QVariant::fromValue(rows), server::kDemoOperator};
        case Op::WriteOff:
            return {QVariant::fromValue(rows),
                    QStringLiteral("S"),
                    QStringLiteral("N"),
                    server::kDemoOperator,
                    3,
                    QStringLiteral("Alteração do Pedido OL."),
                    QStringLiteral("Remanejamento OL para ED")};
        case Op::Reserve:
            break;
        }
        return {QVariant::fromValue(rows)};
    }

private:
    Op op_;
    std::vector<int> positions_;
    std::vector<DataPacket> flags_;
    TWorkingSet set_;
    DataPacket reserve_;
};

// ---- putting the database back ---------------------------------------------------------------

// Puts back, untimed, what the passes change: after each pass the rows it added (audit rows and
// their delta ids, blocking history, reservations) and, when asked, the marked items' stored
// columns (situation, block flag and dates, reserved quantity) and the OL stock of their products
// and brands, from copies taken at the start; at the end all of it, the stock balances too.
class Undo {
public:
    Undo(sql::Connection& conn, const QList<qint64>& ids, bool stock)
        : conn_(conn)
        , pg_(conn.dialect() == sql::Dialect::PostgreSQL)
        , stock_(stock)
        , ids_(server::idsValue(conn.dialect(), ids))
        , audit_(last("AUDITORIA", "NRSEQAUDIT"))
        , history_(last("BLOQITEMHIST", "NRSEQBLOQ"))
        , reservations_(last("RESERVAESTOL", "NRRESERVA")) {
        const sql::Dialect d = conn.dialect();
        sql::Transaction tx(conn_);
        dropCopies();
        conn_.exec(QStringLiteral("CREATE TEMP TABLE bench_ops_items AS SELECT %1 FROM PEDIDOOLITEM"
                                  " WHERE 1 = 0")
                       .arg(itemColumns()));
        conn_.exec(QStringLiteral("INSERT INTO bench_ops_items SELECT %1 FROM PEDIDOOLITEM"
                                  " WHERE %2")
                       .arg(itemColumns(), server::idsIn(d, QStringLiteral("CDRASTRITM"))),
                   {ids_});
        if (stock_) {
            conn_.exec(QStringLiteral("CREATE TEMP TABLE bench_ops_stock AS SELECT CDFILIOPELOG,"
                                      " CDPRODUTO, CDMARCA, QTSALDO, QTRESERVADO FROM ESTOQUEOL"
                                      " WHERE 1 = 0"));
            conn_.exec(QStringLiteral("INSERT INTO bench_ops_stock SELECT DISTINCT e.CDFILIOPELOG,"
                                      " e.CDPRODUTO, e.CDMARCA, e.QTSALDO, e.QTRESERVADO"
                                      " FROM PEDIDOOLITEM i JOIN ESTOQUEOL e"
                                      " ON e.CDFILIOPELOG = i.CDFILIOPELOG"
                                      " AND e.CDPRODUTO = i.CDPRODUTO AND e.CDMARCA = i.CDMARCA"
                                      " WHERE %1")
                           .arg(server::idsIn(d, QStringLiteral("i.CDRASTRITM"))),
                       {ids_});
        }
        tx.commit();
        if (pg_)
            conn_.exec(stock_ ? QStringLiteral("ANALYZE bench_ops_items, bench_ops_stock")
                              : QStringLiteral("ANALYZE bench_ops_items"));
    }

    ~Undo() {
        try {
            sql::Transaction tx(conn_);
            deleteAdded();
            restore(true);
            dropCopies();
            tx.commit();
        } catch (const std::exception& e) {
            std::cerr << "  the marked items were not put back: " << e.what() << '\n';
        }
    }

    Undo(const Undo&) = delete;
    Undo& operator=(const Undo&) = delete;

    // Raises the OL stock balances whose free part would not cover the marked items' quantities.
    void makeRoom() {
        sql::Transaction tx(conn_);
        conn_.exec(
            QStringLiteral("UPDATE ESTOQUEOL AS e SET QTSALDO = e.QTRESERVADO + n.q + 1"
                           " FROM (SELECT i.CDFILIOPELOG AS o, i.CDPRODUTO AS p, i.CDMARCA AS m,"
                           " SUM(i.QTPROGENPEOL) AS q FROM PEDIDOOLITEM i WHERE %1"
                           " GROUP BY i.CDFILIOPELOG, i.CDPRODUTO, i.CDMARCA) AS n"
                           " WHERE e.CDFILIOPELOG = n.o AND e.CDPRODUTO = n.p AND e.CDMARCA = n.m"
                           " AND e.QTSALDO - e.QTRESERVADO < n.q + 1")
                .arg(server::idsIn(conn_.dialect(), QStringLiteral("i.CDRASTRITM"))),
            {ids_});
        tx.commit();
    }

    // The marked items the pass wrote, read from what it leaves: the blocking history rows, the
    // items written off, the reservation rows.
    qint64 written(Op op) const {
        switch (op) {
        case Op::Block:
            return conn_
                .scalar(QStringLiteral("SELECT COUNT(*) FROM BLOQITEMHIST WHERE NRSEQBLOQ > ?"),
                        {history_})
                .toLongLong();
        case Op::WriteOff:
            return conn_
                .scalar(QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM WHERE %1"
                                       " AND IDSITUITEM = 'B'")
                            .arg(server::idsIn(conn_.dialect(), QStringLiteral("CDRASTRITM"))),
                        {ids_})
                .toLongLong();
        case Op::Reserve:
            break;
        }
        return conn_
            .scalar(QStringLiteral("SELECT COUNT(*) FROM RESERVAESTOL WHERE NRRESERVA > ?"),
                    {reservations_})
            .toLongLong();
    }

    // Deletes the rows the pass added; with `items`, puts the items and the stock back as well.
    void afterPass(bool items) {
        sql::Transaction tx(conn_);
        deleteAdded();
        if (items)
            restore(false);
        tx.commit();
        settle(conn_);
    }

private:
    // The stored columns of the items the operations write.
    static QString itemColumns() {
        return QStringLiteral("CDRASTRITM, IDSITUITEM, IDITMPEDOLBLOQ, DTBLOQITMPEDOL,"
                              " DTDESBLOQITMPEDOL, QTRESERVESTOL");
    }

    qint64 last(const char* table, const char* key) const {
        return conn_
            .scalar(QStringLiteral("SELECT COALESCE(MAX(%1), 0) FROM %2")
                        .arg(QString::fromLatin1(key), QString::fromLatin1(table)))
            .toLongLong();
    }

    void dropCopies() {
        const QString schema = pg_ ? QStringLiteral("pg_temp") : QStringLiteral("temp");
        for (const char* table : {"bench_ops_items", "bench_ops_stock"})
            conn_.exec(QStringLiteral("DROP TABLE IF EXISTS %1.%2")
                           .arg(schema, QString::fromLatin1(table)));
    }

    void deleteAdded() {
        conn_.exec(QStringLiteral("DELETE FROM DELTAAPLICADO WHERE IDDELTA IN"
                                  " (SELECT IDDELTA FROM AUDITORIA WHERE NRSEQAUDIT > ?)"),
                   {audit_});
        conn_.exec(QStringLiteral("DELETE FROM AUDITORIA WHERE NRSEQAUDIT > ?"), {audit_});
        conn_.exec(QStringLiteral("DELETE FROM BLOQITEMHIST WHERE NRSEQBLOQ > ?"), {history_});
        conn_.exec(QStringLiteral("DELETE FROM RESERVAESTOL WHERE NRRESERVA > ?"), {reservations_});
    }

    void restore(bool balances) {
        conn_.exec(QStringLiteral(
            "UPDATE PEDIDOOLITEM AS t SET IDSITUITEM = s.IDSITUITEM,"
            " IDITMPEDOLBLOQ = s.IDITMPEDOLBLOQ, DTBLOQITMPEDOL = s.DTBLOQITMPEDOL,"
            " DTDESBLOQITMPEDOL = s.DTDESBLOQITMPEDOL, QTRESERVESTOL = s.QTRESERVESTOL"
            " FROM bench_ops_items AS s WHERE t.CDRASTRITM = s.CDRASTRITM"));
        if (stock_)
            conn_.exec(QStringLiteral("UPDATE ESTOQUEOL AS e SET QTRESERVADO = s.QTRESERVADO%1"
                                      " FROM bench_ops_stock AS s"
                                      " WHERE e.CDFILIOPELOG = s.CDFILIOPELOG"
                                      " AND e.CDPRODUTO = s.CDPRODUTO AND e.CDMARCA = s.CDMARCA")
                           .arg(balances ? QStringLiteral(", QTSALDO = s.QTSALDO") : QString()));
    }

    sql::Connection& conn_;
    bool pg_;
    bool stock_;
    QVariant ids_;
    qint64 audit_, history_, reservations_;
};

DataPacket loadedItems(Database& db) {
    return request(db).answer.toList().value(0).value<DataPacket>();
}

// ---- end to end ------------------------------------------------------------------------------

// The user's part: the operation's handler, Yes where it asks, until the reloaded grid is
// painted. Blocking blocks when `forth`, else unblocks.
void runOnScreen(Client& client, Op op, bool forth) {
    testkit::ScriptedHost& h = client.host();
    h.clearLog();
    switch (op) {
    case Op::Block: {
        const QString from = forth ? QStringLiteral("N") : QStringLiteral("S");
        const QString to = forth ? QStringLiteral("S") : QStringLiteral("N");
        host::Guarded([&] { frmAltPedidosOL->BloqItem(from, to); });
    } break;
    case Op::WriteOff:
        h.answerMessage(host::mrYes);
        host::Guarded([] { frmAltPedidosOL->btnBaixaManualClick(); });
        break;
    case Op::Reserve:
        host::Guarded([] { frmAltPedidosOL->Excl_Incl_Reserva(QStringLiteral("I")); });
        break;
    }
    frmAltPedidosOL->repaint();
}

void checkOnScreen(Client& client, Op op) {
    testkit::ScriptedHost& h = client.host();
    for (const testkit::LoggedMessage& m : h.messages)
        if (m.kind == testkit::LoggedMessage::Error)
            fail(QStringLiteral("the operation failed: ") + m.text);
    if (h.answersLeft() || !h.unanswered.isEmpty())
        fail(QStringLiteral("the operation did not ask what the user answers"));
    if (op == Op::Reserve && h.lastMessage().key != u"OK")
        fail(QStringLiteral("the reservation was not served in full: ") + h.lastMessage().text);
    h.clearLog();
    if (screenData().cdsItem->changeCount() != 0)
        fail(QStringLiteral("marks are still pending after the operation"));
}

// Throws unless the grid holds the marked items where they were (a reload keeps the order), with
// `field` as `check` wants it.
void checkGrid(const Marked& m, const char16_t* field,
               const std::function<bool(const TWorkingSet&, int)>& check) {
    const TWorkingSet& item = *screenData().cdsItem;
    const int id = item.fieldIndex(u"CDRASTRITM");
    for (std::size_t i : m.samples()) {
        const int p = m.positions[i];
        if (qint64(item.valueAt(p, id).toDouble()) != m.ids[qsizetype(i)])
            fail(QStringLiteral("the reloaded grid holds another item at row %1").arg(p));
        if (check && !check(item, p))
            fail(QStringLiteral("the reloaded grid shows %1 = %2 at row %3")
                     .arg(QStringView(field))
                     .arg(item.valueAt(p, item.fieldIndex(field)).toString())
                     .arg(p));
    }
}

void onScreen(benchmark::State& state, Op op) {
    guarded(state, [&] {
        Database* db = database(Store::SQLite);
        Client client(*db, Transport::InProcess);
        const Marked marked = choose(screenData().cdsItem->data(), op, *db->conn);
        Undo undo(*db->conn, marked.ids, op == Op::Reserve);
        if (op == Op::Reserve)
            undo.makeRoom();
        int pass = 0;
        const auto once = [&] {
            const bool forth = ++pass % 2 == 1;
            markOnScreen(marked.positions);
            QElapsedTimer t;
            t.start();
            runOnScreen(client, op, forth);
            const double took = seconds(t);
            checkOnScreen(client, op);
            if (undo.written(op) != marked.count())
                fail(QStringLiteral("the operation wrote %1 of the %2 marked items")
                         .arg(undo.written(op))
                         .arg(marked.count()));
            switch (op) {
            case Op::Block:
                checkGrid(marked, u"IDITMPEDOLBLOQ", [&](const TWorkingSet& s, int p) {
                    return s.valueAt(p, s.fieldIndex(u"IDITMPEDOLBLOQ")).toString() ==
                           QStringView(forth ? u"S" : u"N");
                });
                break;
            case Op::WriteOff:
                if (client.items() != db->rows - marked.count())
                    fail(QStringLiteral("the reload left %1 items, %2 expected")
                             .arg(client.items())
                             .arg(db->rows - marked.count()));
                break;
            case Op::Reserve:
                checkGrid(marked, u"QTRESERVESTOL", [](const TWorkingSet& s, int p) {
                    return s.valueAt(p, s.fieldIndex(u"QTRESERVESTOL")).toDouble() ==
                           s.valueAt(p, s.fieldIndex(u"QTPROGENPEOL")).toDouble();
                });
                break;
            }
            undo.afterPass(op != Op::Block);
            if (op != Op::Block) {
                client.reload(); // the written-off items back, the reservations gone
                checkGrid(marked, u"CDRASTRITM", {});
            }
            return took;
        };
        for (auto _ : state)
            state.SetIterationTime(once());
        if (client.items() != db->rows)
            fail(QStringLiteral("the reload left %1 items, %2 expected")
                     .arg(client.items())
                     .arg(db->rows));
        state.counters["marked"] = double(marked.count());
    });
}

void BM_BlockSQLite(benchmark::State& s) {
    onScreen(s, Op::Block);
}
void BM_WriteOffSQLite(benchmark::State& s) {
    onScreen(s, Op::WriteOff);
}
void BM_ReserveSQLite(benchmark::State& s) {
    onScreen(s, Op::Reserve);
}

// ---- the server's call -----------------------------------------------------------------------

// Runs `write` (the rows of a pass, written and timed; returns its seconds) pass after pass on the
// marked items of `db`, checking what each pass wrote and putting it back after it.
template <class Write> void passes(benchmark::State& state, Database& db, Op op, Write&& write) {
    const DataPacket items = loadedItems(db);
    const Marked marked = choose(items, op, *db.conn);
    Requests requests(items, marked, op);
    Undo undo(*db.conn, marked.ids, op == Op::Reserve);
    if (op == Op::Reserve)
        undo.makeRoom();
    int pass = 0;
    const auto once = [&] {
        const double took = write(requests, requests.rows(++pass));
        if (undo.written(op) != marked.count())
            fail(QStringLiteral("the pass wrote %1 of the %2 marked items")
                     .arg(undo.written(op))
                     .arg(marked.count()));
        undo.afterPass(op != Op::Block);
        return took;
    };
    for (auto _ : state)
        state.SetIterationTime(once());
    state.counters["marked"] = double(marked.count());
}

void serverStage(benchmark::State& state, Op op, Store store) {
    guarded(state, [&] {
        Database* db = database(store);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        passes(state, *db, op, [&](const Requests& requests, const DataPacket& rows) {
            QVariantList a = requests.args(rows);
            QElapsedTimer t;
            t.start();
            const QVariant answer =
                db->server->call(kModule, requests.method(), a, {server::kDemoOperator, {}});
            const double took = seconds(t);
            if (contracts::isFault(answer))
                fail(contracts::faultOf(answer).message);
            if (op == Op::Reserve && !answer.toBool())
                fail(QStringLiteral("the reservation was not served in full"));
            return took;
        });
    });
}

template <Op op, Store store> void BM_Server(benchmark::State& s) {
    serverStage(s, op, store);
}

// ---- raw peers -------------------------------------------------------------------------------

// Rows as one JSON array of objects: the peers' one parameter.
class Json {
public:
    void row() {
        out_ += out_.isEmpty() ? "[{" : "},{";
        first_ = true;
    }
    void text(const char* key, QByteArrayView v) {
        name(key);
        out_ += '"';
        for (const char c : v) {
            if (c == '"' || c == '\\')
                out_ += '\\';
            out_ += c;
        }
        out_ += '"';
    }
    void number(const char* key, double v) {
        name(key);
        out_ += QByteArray::number(v, 'g', 17);
    }
    QByteArray finish() const { return out_.isEmpty() ? QByteArray("[]") : out_ + "}]"; }

private:
    void name(const char* key) {
        if (!first_)
            out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += key;
        out_ += "\":";
    }
    QByteArray out_;
    bool first_ = true;
};

// The item key of a request row (from the loaded values of a delta) in the JSON row: b, l, o, t,
// p, m. Returns the key as the audit log writes it.
QByteArray putKey(Json& j, const DataPacket& rows, qsizetype r, bool loaded) {
    const auto col = [&](const char16_t* name) -> const Column& {
        const int f = rows.indexOf(name);
        return loaded ? rows.loadedColumn(f) : rows.column(f);
    };
    const QByteArrayView dest = col(u"CDFILDEST").utf8(r);
    const QByteArray parts[] = {dest.first(qMin<qsizetype>(4, dest.size())).toByteArray(),
                                col(u"CDFILLANC").utf8(r).toByteArray(),
                                col(u"NRPEDEXOL").utf8(r).toByteArray(),
                                server::msToSqlText(col(u"DTPROGENPEOL").dateTimeMs(r)),
                                col(u"CDPRODUTO").utf8(r).toByteArray(),
                                col(u"CDMARCA").utf8(r).toByteArray()};
    const char* const keys[] = {"b", "l", "o", "t", "p", "m"};
    QByteArray audit;
    for (std::size_t i = 0; i < 6; ++i) {
        j.text(keys[i], parts[i]);
        if (i)
            audit += '|';
        audit += parts[i];
    }
    return audit;
}

// One statement of a peer, its parameters in order, and whether its row count is the marked
// items' (the stock's UPDATE counts products and brands).
struct Statement {
    QByteArray sql;
    std::vector<QByteArray> params;
    bool countsItems = true;
};

// A parameter: "?n" on SQLite, "$n" (cast to `pgType` when given) on PostgreSQL.
QByteArray param(bool pg, int n, const char* pgType = nullptr) {
    if (!pg)
        return '?' + QByteArray::number(n);
    const QByteArray p = '$' + QByteArray::number(n);
    return pgType ? "CAST(" + p + " AS " + pgType + ')' : p;
}

using Columns = std::initializer_list<std::pair<const char*, const char*>>;
const Columns kKey = {{"b", "text COLLATE public.sup_code"}, {"l", "text COLLATE public.sup_code"},
                      {"o", "text COLLATE public.sup_code"}, {"t", "timestamp(0)"},
                      {"p", "text COLLATE public.sup_code"}, {"m", "text COLLATE public.sup_code"}};
const char* const kKeyJoin = "t.CDFILDEST = d.b AND t.CDFILLANC = d.l AND t.NRPEDEXOL = d.o AND"
                             " t.DTPROGENPEOL = d.t AND t.CDPRODUTO = d.p AND t.CDMARCA = d.m";

// The JSON rows of parameter 1 as the table d(columns).
QByteArray jsonTable(bool pg, std::vector<std::pair<const char*, const char*>> columns) {
    QByteArray out;
    for (const auto& [name, type] : columns) {
        if (!out.isEmpty())
            out += ", ";
        if (pg)
            out += QByteArray(name) + ' ' + type;
        else
            out += "json_extract(value, '$." + QByteArray(name) + "') AS " + name;
    }
    return pg ? "json_to_recordset(CAST($1 AS json)) AS d(" + out + ')'
              : "(SELECT " + out + " FROM json_each(?1)) AS d";
}

std::vector<std::pair<const char*, const char*>> keyAnd(Columns more) {
    std::vector<std::pair<const char*, const char*>> out(kKey);
    out.insert(out.end(), more);
    return out;
}

QByteArray nowText() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
}

// The peer's statements for the rows of a pass, their parameters built from the rows.
std::vector<Statement> peerStatements(Op op, const DataPacket& rows, bool pg) {
    const QByteArray now = nowText();
    const QByteArray who = server::kDemoOperator.toUtf8();
    const QByteArray at = param(pg, 2, "timestamp(0)");
    const QByteArray by = param(pg, 3, "text");
    Json j;
    switch (op) {
    case Op::Block: {
        const int flag = rows.indexOf(u"IDITMPEDOLBLOQ");
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            j.row();
            putKey(j, rows, r, false);
            j.text("f", rows.column(flag).utf8(r));
        }
        const QByteArray json = j.finish();
        const QByteArray table = jsonTable(pg, keyAnd({{"f", "text"}}));
        const QByteArray update =
            "UPDATE PEDIDOOLITEM AS t SET IDITMPEDOLBLOQ = d.f, DTBLOQITMPEDOL = CASE WHEN d.f = "
            "'S'"
            " THEN " +
            at + " ELSE t.DTBLOQITMPEDOL END, DTDESBLOQITMPEDOL = CASE WHEN d.f = 'N' THEN " + at +
            " ELSE t.DTDESBLOQITMPEDOL END FROM " + table + " WHERE " + kKeyJoin;
        const QByteArray insert =
            "INSERT INTO BLOQITEMHIST (CDRASTRITM, IDITMPEDOLBLOQ, DTEVENTO, CDOPERADOR)";
        if (pg)
            return {{"WITH u AS (" + update + " RETURNING t.CDRASTRITM, d.f) " + insert +
                         " SELECT u.CDRASTRITM, u.f, " + at + ", " + by + " FROM u",
                     {json, now, who}}};
        return {{update, {json, now}},
                {insert + " SELECT t.CDRASTRITM, d.f, " + at + ", " + by + " FROM " + table +
                     " JOIN PEDIDOOLITEM t ON " + kKeyJoin,
                 {json, now, who}}};
    }
    case Op::WriteOff: {
        const int calc = rows.indexOf(u"CALC");
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            if (rows.kind(r) != data::RowKind::Modified ||
                rows.column(calc).utf8(r) != QByteArrayView("S"))
                continue;
            j.row();
            const QByteArray audit = putKey(j, rows, r, true);
            j.text("k", audit);
        }
        const QByteArray json = j.finish();
        return {
            {"UPDATE PEDIDOOLITEM AS t SET IDSITUITEM = 'B' FROM " + jsonTable(pg, keyAnd({})) +
                 " WHERE " + kKeyJoin,
             {json}},
            {"INSERT INTO AUDITORIA (DTEVENTO, CDOPERADOR, NMMETODO, NMTABELA, DSCHAVE, NMCAMPO,"
             " DSVALORANT, DSVALORNOVO, IDDELTA, DSMOTIVO) SELECT " +
                 at + ", " + by +
                 ", 'UpdItemPedidoOL', 'PEDIDOOLITEM', d.k, 'IDSITUITEM', 'A', 'B', " +
                 param(pg, 4, "text") + ", " + param(pg, 5, "text") + " FROM " +
                 jsonTable(pg, {{"k", "text"}}),
             {json, now, who, rows.deltaId().toString(QUuid::WithoutBraces).toLatin1(),
              QByteArray("Alteração do Pedido OL.")}}};
    }
    case Op::Reserve:
        break;
    }
    const int ol = rows.indexOf(u"CDFILIOPELOG");
    const int asked = rows.indexOf(u"QTRESERVESTOL");
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        j.row();
        putKey(j, rows, r, false);
        j.text("g", rows.column(ol).utf8(r));
        j.number("q", rows.column(asked).real(r));
    }
    const QByteArray json = j.finish();
    const QByteArray table =
        jsonTable(pg, keyAnd({{"g", "text COLLATE public.sup_code"}, {"q", "double precision"}}));
    const QByteArray update = "UPDATE PEDIDOOLITEM AS t SET QTRESERVESTOL = t.QTRESERVESTOL + d.q"
                              " FROM " +
                              table + " WHERE " + kKeyJoin;
    const QByteArray insert = "INSERT INTO RESERVAESTOL (CDRASTRITM, CDFILIOPELOG, CDPRODUTO,"
                              " CDMARCA, QTRESERVADA, DTRESERVA, CDOPERADOR)";
    const Statement stock{
        "UPDATE ESTOQUEOL AS e SET QTRESERVADO = e.QTRESERVADO + s.q FROM (SELECT d.g AS g,"
        " d.p AS p, d.m AS m, SUM(d.q) AS q FROM " +
            jsonTable(pg, {{"g", "text COLLATE public.sup_code"},
                           {"p", "text COLLATE public.sup_code"},
                           {"m", "text COLLATE public.sup_code"},
                           {"q", "double precision"}}) +
            " GROUP BY d.g, d.p, d.m) AS s WHERE e.CDFILIOPELOG = s.g AND e.CDPRODUTO = s.p"
            " AND e.CDMARCA = s.m",
        {json},
        false};
    if (pg)
        return {{"WITH u AS (" + update + " RETURNING t.CDRASTRITM, d.g, d.p, d.m, d.q) " + insert +
                     " SELECT u.CDRASTRITM, u.g, u.p, u.m, u.q, " + at + ", " + by + " FROM u",
                 {json, now, who}},
                stock};
    return {{update, {json}},
            {insert + " SELECT t.CDRASTRITM, d.g, d.p, d.m, d.q, " + at + ", " + by + " FROM " +
                 table + " JOIN PEDIDOOLITEM t ON " + kKeyJoin,
             {json, now, who}},
            stock};
}

// Runs the statements of a pass, each with `exec` (returns its row count), in one committed
// transaction; throws unless each statement that counts items wrote every row sent.
template <class Exec>
double runPeer(Database& db, Op op, const DataPacket& rows, bool pg, Exec&& exec) {
    QElapsedTimer t;
    t.start();
    const std::vector<Statement> statements = peerStatements(op, rows, pg);
    std::vector<qint64> counts;
    sql::Transaction tx(*db.conn);
    for (const Statement& s : statements)
        counts.push_back(exec(s));
    tx.commit();
    const double took = seconds(t);
    for (std::size_t i = 0; i < statements.size(); ++i)
        if (statements[i].countsItems && counts[i] != kMarked)
            fail(QStringLiteral("a statement of the peer wrote %1 rows: %2")
                     .arg(counts[i])
                     .arg(QString::fromUtf8(statements[i].sql)));
    return took;
}

// The peer on SQLite: each statement prepared, its parameters bound as text, stepped once.
void rawSQLite(benchmark::State& state, Op op) {
    guarded(state, [&] {
        Database* db = database(Store::SQLite);
        sqlite3* h = db->conn->sqliteHandle();
        passes(state, *db, op, [&](const Requests&, const DataPacket& rows) {
            return runPeer(*db, op, rows, false, [&](const Statement& s) {
                sqlite3_stmt* st = nullptr;
                if (sqlite3_prepare_v2(h, s.sql.constData(), int(s.sql.size()), &st, nullptr) !=
                    SQLITE_OK)
                    fail(QString::fromUtf8(sqlite3_errmsg(h)));
                for (std::size_t i = 0; i < s.params.size(); ++i)
                    sqlite3_bind_text(st, int(i + 1), s.params[i].constData(),
                                      int(s.params[i].size()), SQLITE_STATIC);
                const int rc = sqlite3_step(st);
                const QString error =
                    rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(h));
                sqlite3_finalize(st);
                if (!error.isEmpty())
                    fail(error);
                return qint64(sqlite3_changes(h));
            });
        });
    });
}

template <Op op> void BM_RawSQLite(benchmark::State& s) {
    rawSQLite(s, op);
}

#ifdef SUP_BENCH_LIBPQ
// The peer on PostgreSQL: each statement sent with its parameters by PQexecParams.
void rawPostgreSQL(benchmark::State& state, Op op) {
    guarded(state, [&] {
        Database* db = database(Store::PostgreSQL);
        if (!db) {
            state.SkipWithError("SUP_TEST_PG not set");
            return;
        }
        PGconn* pg =
            *static_cast<PGconn* const*>(db->conn->database().driver()->handle().constData());
        passes(state, *db, op, [&](const Requests&, const DataPacket& rows) {
            return runPeer(*db, op, rows, true, [&](const Statement& s) {
                std::vector<const char*> values;
                for (const QByteArray& p : s.params)
                    values.push_back(p.constData());
                PGresult* res = PQexecParams(pg, s.sql.constData(), int(values.size()), nullptr,
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

template <Op op> void BM_RawPostgreSQL(benchmark::State& s) {
    rawPostgreSQL(s, op);
}
#endif

} // namespace

void addOpsBenchmarks(const AddBenchmark& add) {
    // Every one writes: two passes in each repetition, as the save's.
    const auto writing = [&](const char* name, void (*fn)(benchmark::State&)) {
        add(name, fn, true, 2);
    };
    writing("ops/block/sqlite", BM_BlockSQLite);
    writing("ops/writeoff/sqlite", BM_WriteOffSQLite);
    writing("ops/reserve/sqlite", BM_ReserveSQLite);
    writing("ops/block/server/sqlite", BM_Server<Op::Block, Store::SQLite>);
    writing("ops/block/raw/sqlite", BM_RawSQLite<Op::Block>);
    writing("ops/writeoff/server/sqlite", BM_Server<Op::WriteOff, Store::SQLite>);
    writing("ops/writeoff/raw/sqlite", BM_RawSQLite<Op::WriteOff>);
    writing("ops/reserve/server/sqlite", BM_Server<Op::Reserve, Store::SQLite>);
    writing("ops/reserve/raw/sqlite", BM_RawSQLite<Op::Reserve>);
    writing("ops/block/server/postgresql", BM_Server<Op::Block, Store::PostgreSQL>);
    writing("ops/writeoff/server/postgresql", BM_Server<Op::WriteOff, Store::PostgreSQL>);
    writing("ops/reserve/server/postgresql", BM_Server<Op::Reserve, Store::PostgreSQL>);
#ifdef SUP_BENCH_LIBPQ
    writing("ops/block/raw/postgresql", BM_RawPostgreSQL<Op::Block>);
    writing("ops/writeoff/raw/postgresql", BM_RawPostgreSQL<Op::WriteOff>);
    writing("ops/reserve/raw/postgresql", BM_RawPostgreSQL<Op::Reserve>);
#endif
}

std::vector<bench::Comparison> opsComparisons() {
    return {
        limit("block, embedded SQLite", "ops/block/sqlite", "2 s", 2.0, 1, "< 2 s"),
        line("  SetBloqItem, SQLite", "ops/block/server/sqlite", "raw sqlite3 UPDATE + INSERT",
             "ops/block/raw/sqlite", 1.5, "<= 1.5"),
        line("  SetBloqItem, PostgreSQL", "ops/block/server/postgresql",
             "raw libpq UPDATE + INSERT", "ops/block/raw/postgresql", 1.5, "<= 1.5"),
        line("  reload (Verificar + paint)", "confirm/sqlite", "block, embedded",
             "ops/block/sqlite"),

        limit("write-off, embedded SQLite", "ops/writeoff/sqlite", "2 s", 2.0, 1, "< 2 s"),
        line("  write-off call, SQLite", "ops/writeoff/server/sqlite", "raw sqlite3 UPDATE + audit",
             "ops/writeoff/raw/sqlite", 1.5, "<= 1.5"),
        line("  write-off call, PostgreSQL", "ops/writeoff/server/postgresql",
             "raw libpq UPDATE + audit", "ops/writeoff/raw/postgresql", 1.5, "<= 1.5"),

        limit("reservation, embedded SQLite", "ops/reserve/sqlite", "2 s", 2.0, 1, "< 2 s"),
        line("  SetReserva, SQLite", "ops/reserve/server/sqlite", "raw sqlite3 item+res.+stock",
             "ops/reserve/raw/sqlite", 1.5, "<= 1.5"),
        line("  SetReserva, PostgreSQL", "ops/reserve/server/postgresql",
             "raw libpq item+res.+stock", "ops/reserve/raw/postgresql", 1.5, "<= 1.5"),
    };
}

} // namespace confirmbench
