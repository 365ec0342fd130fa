#include "DeltaHelpers.h"
#include "ServerFixture.h"

#include "sup/server/DeltaApply.h"
#include "sup/server/Items.h"

#include <QAtomicInt>
#include <QTest>
#include <QThread>

#include <sqlite3.h>

#include <atomic>
#include <cstring>

using namespace sup;
using server::DeltaError;
using suptest::field;
using suptest::makeDelta;
using suptest::SeededServer;

namespace {

data::DataPacket items(const sql::Connection& c, const QString& where) {
    return server::selectItems(c, where);
}

server::DeltaOptions opts(const char* method = "teste") {
    server::DeltaOptions o;
    o.method = QString::fromLatin1(method);
    o.operatorCode = server::kDemoOperator;
    return o;
}

server::DeltaResult apply(sql::Connection& c, const data::DataPacket& delta,
                          const server::DeltaOptions& o = opts()) {
    sql::Transaction tx(c);
    const server::DeltaResult r = server::applyDelta(c, server::orderItemTarget(), delta, o);
    tx.commit();
    return r;
}

double quantity(const sql::Connection& c, qint64 id) {
    return c
        .scalar(QStringLiteral("SELECT QTPROGENPEOL FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"), {id})
        .toDouble();
}

server::DeltaOptions optsAs(const QString& op) {
    server::DeltaOptions o = opts();
    o.operatorCode = op;
    return o;
}

server::DeltaResult applyTo(sql::Connection& c, const server::DeltaTarget& target,
                            const data::DataPacket& delta, const server::DeltaOptions& o) {
    sql::Transaction tx(c);
    const server::DeltaResult r = server::applyDelta(c, target, delta, o);
    tx.commit();
    return r;
}

// How an attempt to apply a delta ended: the refusal's code and message ("exception" for any
// other failure), an empty code when the delta was applied.
struct Attempt {
    QString code, message;
    // For failure descriptions: what was tried, then how it ended.
    QByteArray text(const char* what = "") const {
        return QString::fromLatin1(what).toUtf8() + ' ' + (code + u' ' + message).toUtf8();
    }
};

Attempt attempt(sql::Connection& c, const server::DeltaTarget& target,
                const data::DataPacket& delta, const server::DeltaOptions& o) {
    try {
        applyTo(c, target, delta, o);
        return {};
    } catch (const DeltaError& e) {
        return {e.code(), e.message()};
    } catch (const std::exception& e) {
        return {QStringLiteral("exception"), QString::fromUtf8(e.what())};
    }
}

// An open item of `branch`; when the data set gave the branch none, one is moved there.
qint64 itemOf(const sql::Connection& c, const QString& branch) {
    const QString sql = QStringLiteral("SELECT MIN(CDRASTRITM) FROM PEDIDOOLITEM"
                                       " WHERE IDSITUITEM = 'A' AND CDFILDEST %1 ?");
    const QVariant own = c.scalar(sql.arg(QStringLiteral("=")), {branch});
    if (!own.isNull())
        return own.toLongLong();
    const qint64 id = c.scalar(sql.arg(QStringLiteral("<>")), {branch}).toLongLong();
    c.exec(QStringLiteral("UPDATE PEDIDOOLITEM SET CDFILDEST = ? WHERE CDRASTRITM = ?"),
           {branch, id});
    return id;
}

// An open item of a branch other than `branch`.
qint64 itemNotOf(const sql::Connection& c, const QString& branch) {
    return c
        .scalar(QStringLiteral("SELECT MAX(CDRASTRITM) FROM PEDIDOOLITEM"
                               " WHERE IDSITUITEM = 'A' AND CDFILDEST <> ?"),
                {branch})
        .toLongLong();
}

// A leaf product other than `product`.
QString productOtherThan(const sql::Connection& c, const QString& product) {
    return c
        .scalar(QStringLiteral("SELECT MIN(CDPRODUTO) FROM PRODUTO WHERE CDNVPRODUTO = '4'"
                               " AND CDPRODUTO <> ?"),
                {product})
        .toString();
}

data::DataPacket item(const sql::Connection& c, qint64 id) {
    return items(c, QStringLiteral("I.CDRASTRITM = %1").arg(id));
}

int auditRows(const sql::Connection& c) {
    return c.scalar(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA")).toInt();
}

// A different value in a cell of any type the item record has.
void changeCell(data::Column& c, qsizetype r) {
    switch (c.type()) {
    case data::FieldType::Double:
        c.setReal(r, c.real(r) + 3);
        break;
    case data::FieldType::DateTime:
        c.setDateTimeMs(r, c.isNull(r) ? qint64(46000) * 86400000 : c.dateTimeMs(r) + 86400000);
        break;
    default: {
        const QString t = c.text(r);
        c.setText(r, t == u"S"   ? QStringLiteral("N")
                     : t == u"N" ? QStringLiteral("S")
                                 : QStringLiteral("ZZ"));
    }
    }
}

// ---- A VFS that fails every write from the n-th on (for the I/O error test).
struct FaultyFile {
    sqlite3_file base;
    sqlite3_file* real;
};
std::atomic<int> writeCount{0};
std::atomic<int> failFrom{0};
sqlite3_vfs faultyVfs;

sqlite3_file* realOf(sqlite3_file* f) {
    return reinterpret_cast<FaultyFile*>(f)->real;
}
int fClose(sqlite3_file* f) {
    return realOf(f)->pMethods->xClose(realOf(f));
}
int fRead(sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
    return realOf(f)->pMethods->xRead(realOf(f), b, n, o);
}
int fWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
    const int k = ++writeCount;
    if (failFrom > 0 && k >= failFrom)
        return SQLITE_IOERR_WRITE;
    return realOf(f)->pMethods->xWrite(realOf(f), b, n, o);
}
int fTruncate(sqlite3_file* f, sqlite3_int64 s) {
    return realOf(f)->pMethods->xTruncate(realOf(f), s);
}
int fSync(sqlite3_file* f, int flags) {
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}
int fSize(sqlite3_file* f, sqlite3_int64* s) {
    return realOf(f)->pMethods->xFileSize(realOf(f), s);
}
int fLock(sqlite3_file* f, int l) {
    return realOf(f)->pMethods->xLock(realOf(f), l);
}
int fUnlock(sqlite3_file* f, int l) {
    return realOf(f)->pMethods->xUnlock(realOf(f), l);
}
int fCheck(sqlite3_file* f, int* r) {
    return realOf(f)->pMethods->xCheckReservedLock(realOf(f), r);
}
int fControl(sqlite3_file* f, int op, void* a) {
    return realOf(f)->pMethods->xFileControl(realOf(f), op, a);
}
int fSector(sqlite3_file* f) {
    return realOf(f)->pMethods->xSectorSize(realOf(f));
}
int fDevice(sqlite3_file* f) {
    return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
}
int fShmMap(sqlite3_file* f, int i, int sz, int e, void volatile** p) {
    return realOf(f)->pMethods->xShmMap(realOf(f), i, sz, e, p);
}
int fShmLock(sqlite3_file* f, int o, int n, int fl) {
    return realOf(f)->pMethods->xShmLock(realOf(f), o, n, fl);
}
void fShmBarrier(sqlite3_file* f) {
    realOf(f)->pMethods->xShmBarrier(realOf(f));
}
int fShmUnmap(sqlite3_file* f, int d) {
    return realOf(f)->pMethods->xShmUnmap(realOf(f), d);
}

sqlite3_io_methods faultyMethods = {2,           fClose,    fRead,   fWrite,  fTruncate,
                                    fSync,       fSize,     fLock,   fUnlock, fCheck,
                                    fControl,    fSector,   fDevice, fShmMap, fShmLock,
                                    fShmBarrier, fShmUnmap, nullptr, nullptr};

int fOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* real = static_cast<sqlite3_vfs*>(vfs->pAppData);
    auto* f = reinterpret_cast<FaultyFile*>(file);
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    const int rc = real->xOpen(real, name, f->real, flags, outFlags);
    f->base.pMethods = rc == SQLITE_OK && f->real->pMethods ? &faultyMethods : nullptr;
    return rc;
}

void registerFaultyVfs() {
    static bool done = false;
    if (done)
        return;
    sqlite3_vfs* def = sqlite3_vfs_find(nullptr);
    std::memcpy(&faultyVfs, def, sizeof(sqlite3_vfs));
    faultyVfs.iVersion = qMin(def->iVersion, 3);
    faultyVfs.zName = "faulty";
    faultyVfs.szOsFile = int(sizeof(FaultyFile)) + def->szOsFile;
    faultyVfs.pAppData = def;
    faultyVfs.xOpen = fOpen;
    faultyVfs.pNext = nullptr;
    sqlite3_vfs_register(&faultyVfs, 0);
    done = true;
}

} // namespace

class TestDelta : public QObject {
    Q_OBJECT

private slots:
    void appliesAndAudits_data() { suptest::addDatabaseRows(); }
    void appliesAndAudits() {
        QFETCH(QString, db);
        SeededServer s(db);
        const data::DataPacket loaded = items(*s.conn, QStringLiteral("I.CDRASTRITM <= 20"));
        QVERIFY(loaded.rowCount() >= 4);
        const QString otherProduct =
            productOtherThan(*s.conn, loaded.value(2, u"CDPRODUTO").toString());
        const int qty = field(loaded, "QTPROGENPEOL"), brand = field(loaded, "CDMARCA"),
                  product = field(loaded, "CDPRODUTO"), calc = field(loaded, "CALC");
        const data::DataPacket delta =
            makeDelta(loaded, {0, 1, 2, 3}, [&](qsizetype r, std::vector<data::Column>& c) {
                if (r == 0)
                    c[std::size_t(qty)].setReal(r, 12.5);
                if (r == 1)
                    c[std::size_t(brand)].setText(r, u"00030");
                if (r == 2)
                    c[std::size_t(product)].setText(r, otherProduct);
                if (r == 3)
                    c[std::size_t(calc)].setText(r, u"S"); // a mark only: nothing to write
            });
        const server::DeltaResult r = apply(*s.conn, delta);
        QCOMPARE(r.updated, 3);
        QCOMPARE(r.unchanged, 1);

        const qint64 id0 = qint64(loaded.value(0, u"CDRASTRITM").toDouble());
        const qint64 id1 = qint64(loaded.value(1, u"CDRASTRITM").toDouble());
        const qint64 id2 = qint64(loaded.value(2, u"CDRASTRITM").toDouble());
        QCOMPARE(quantity(*s.conn, id0), 12.5);
        // Brand and product data follow the new codes from their tables.
        QCOMPARE(
            s.conn
                ->scalar(QStringLiteral("SELECT NMMARCA FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"),
                         {id1})
                .toString(),
            s.conn->scalar(QStringLiteral("SELECT NMMARCA FROM MARCA WHERE CDMARCA = '00030'"))
                .toString());
        QCOMPARE(
            s.conn
                ->scalar(QStringLiteral("SELECT NMPRODUTO FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"),
                         {id2})
                .toString(),
            s.conn
                ->scalar(QStringLiteral("SELECT NMPRODUTO FROM PRODUTO WHERE CDPRODUTO = ?"),
                         {otherProduct})
                .toString());
        QCOMPARE(
            s.conn
                ->scalar(QStringLiteral("SELECT CDARVPROD FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"),
                         {id2})
                .toString(),
            s.conn
                ->scalar(QStringLiteral("SELECT CDARVPROD FROM PRODUTO WHERE CDPRODUTO = ?"),
                         {otherProduct})
                .toString());

        // One audit row per written field, with who, old and new value; the delta is recorded.
        QSqlQuery a = s.conn->exec(
            QStringLiteral("SELECT CDOPERADOR, NMCAMPO, DSVALORANT, DSVALORNOVO, DSCHAVE, IDDELTA"
                           " FROM AUDITORIA ORDER BY NRSEQAUDIT"));
        QStringList rows;
        while (a.next()) {
            QCOMPARE(a.value(0).toString(), server::kDemoOperator);
            QCOMPARE(a.value(5).toString(), delta.deltaId().toString(QUuid::WithoutBraces));
            // The stored key of the row: destination, launching branch, order, date, product,
            // brand.
            const qsizetype n = rows.size();
            const QString key = QStringList{loaded.value(n, u"CDFILDEST").toString().left(4),
                                            loaded.value(n, u"CDFILLANC").toString(),
                                            loaded.value(n, u"NRPEDEXOL").toString(),
                                            loaded.value(n, u"DTPROGENPEOL")
                                                .toDateTime()
                                                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                            loaded.value(n, u"CDPRODUTO").toString(),
                                            loaded.value(n, u"CDMARCA").toString()}
                                    .join(u'|');
            QCOMPARE(a.value(4).toString(), key);
            rows << a.value(1).toString() + u'=' + a.value(2).toString() + u'>' +
                        a.value(3).toString();
        }
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], QStringLiteral("QTPROGENPEOL=%1>12.5")
                              .arg(loaded.value(0, u"QTPROGENPEOL").toDouble()));
        QCOMPARE(rows[1],
                 QStringLiteral("CDMARCA=%1>00030").arg(loaded.value(1, u"CDMARCA").toString()));
        QCOMPARE(rows[2], QStringLiteral("CDPRODUTO=%1>%2")
                              .arg(loaded.value(2, u"CDPRODUTO").toString(), otherProduct));
        QCOMPARE(s.conn->scalar(QStringLiteral("SELECT QTLINHAS FROM DELTAAPLICADO")).toInt(), 4);
    }

    void conflictsAreReportedAndNothingIsWritten_data() { suptest::addDatabaseRows(); }
    void conflictsAreReportedAndNothingIsWritten() {
        QFETCH(QString, db);
        SeededServer s(db);
        const data::DataPacket loaded = items(*s.conn, QStringLiteral("I.CDRASTRITM <= 20"));
        QVERIFY(loaded.rowCount() >= 3);
        const int qty = field(loaded, "QTPROGENPEOL");
        const qint64 ids[3] = {qint64(loaded.value(0, u"CDRASTRITM").toDouble()),
                               qint64(loaded.value(1, u"CDRASTRITM").toDouble()),
                               qint64(loaded.value(2, u"CDRASTRITM").toDouble())};
        const data::DataPacket delta =
            makeDelta(loaded, {0, 1, 2}, [&](qsizetype r, std::vector<data::Column>& c) {
                c[std::size_t(qty)].setReal(r, 40 + double(r));
            });
        // Meanwhile another user changes item 1 and removes item 2.
        s.conn->exec(
            QStringLiteral("UPDATE PEDIDOOLITEM SET QTPROGENPEOL = 999 WHERE CDRASTRITM = ?"),
            {ids[1]});
        for (const char* t : {"RESERVAESTOL", "BLOQITEMHIST", "SOLICOMPRA"})
            s.conn->exec(
                QStringLiteral("DELETE FROM %1 WHERE CDRASTRITM = ?").arg(QString::fromLatin1(t)),
                {ids[2]});
        s.conn->exec(QStringLiteral("DELETE FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"), {ids[2]});
        const QByteArray before = suptest::digest(*s.conn, suptest::kWrittenTables);
        try {
            apply(*s.conn, delta);
            QFAIL("a conflicting delta was applied");
        } catch (const DeltaError& e) {
            QCOMPARE(e.code(), QStringLiteral("conflict"));
            QCOMPARE(e.conflicts().size(), 2);
            QCOMPARE(e.conflicts()[0].row, 1);
            QVERIFY(!e.conflicts()[0].removed);
            const QString expected =
                QStringLiteral("Qtde.: lido %1, enviado 41, atual 999")
                    .arg(QLocale(QLocale::Portuguese, QLocale::Brazil)
                             .toString(loaded.value(1, u"QTPROGENPEOL").toDouble(), 'g', 15));
            QVERIFY2(e.conflicts()[0].details.contains(expected),
                     qPrintable(e.conflicts()[0].details.join(u'|')));
            QCOMPARE(e.conflicts()[1].row, 2);
            QVERIFY(e.conflicts()[1].removed);
            QVERIFY(e.message().contains(u"excluído por outro usuário"));
            QVERIFY(e.message().contains(e.conflicts()[0].key));
            QVERIFY(e.conflicts()[0].key.contains(QStringLiteral("Pedido ") +
                                                  loaded.value(1, u"NRPEDEXOL").toString()));
        }
        QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), before);
        QCOMPARE(quantity(*s.conn, ids[0]), loaded.value(0, u"QTPROGENPEOL").toDouble());

        // A row written off meanwhile cannot be changed either.
        const data::DataPacket again =
            items(*s.conn, QStringLiteral("I.CDRASTRITM = %1").arg(ids[0]));
        s.conn->exec(
            QStringLiteral("UPDATE PEDIDOOLITEM SET IDSITUITEM = 'B' WHERE CDRASTRITM = ?"),
            {ids[0]});
        try {
            apply(*s.conn, makeDelta(again, {0}, [&](qsizetype r, std::vector<data::Column>& c) {
                c[std::size_t(qty)].setReal(r, 1);
            }));
            QFAIL("a written-off item was changed");
        } catch (const DeltaError& e) {
            QCOMPARE(e.code(), QStringLiteral("conflict"));
            QVERIFY(e.message().contains(u"não pode mais ser alterado"));
        }
    }

    void failureAtEveryRowLeavesDatabaseUnchanged_data() { suptest::addDatabaseRows(); }
    void failureAtEveryRowLeavesDatabaseUnchanged() {
        QFETCH(QString, db);
        SeededServer s(db);
        const data::DataPacket loaded = items(*s.conn, QStringLiteral("I.CDRASTRITM <= 6"));
        const int qty = field(loaded, "QTPROGENPEOL");
        QList<qsizetype> rows;
        for (qsizetype r = 0; r < loaded.rowCount(); ++r)
            rows << r;
        const data::DataPacket delta =
            makeDelta(loaded, rows, [&](qsizetype r, std::vector<data::Column>& c) {
                c[std::size_t(qty)].setReal(r, 1000 + double(r));
            });
        const QByteArray before = suptest::digest(*s.conn, suptest::kWrittenTables);
        for (qsizetype failAt = 0; failAt < rows.size(); ++failAt) {
            server::DeltaOptions o = opts();
            o.beforeRow = [failAt](qsizetype row) {
                if (row == failAt)
                    throw std::runtime_error("falha injetada");
            };
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, apply(*s.conn, delta, o));
            QCOMPARE(s.conn->transactionDepth(), 0);
            QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), before);
        }
        QCOMPARE(apply(*s.conn, delta).updated, rows.size());
        QVERIFY(suptest::digest(*s.conn, suptest::kWrittenTables) != before);
    }

    void sameDeltaTwiceIsAppliedOnce_data() { suptest::addDatabaseRows(); }
    void sameDeltaTwiceIsAppliedOnce() {
        QFETCH(QString, db);
        SeededServer s(db);
        const data::DataPacket loaded = items(*s.conn, QStringLiteral("I.CDRASTRITM <= 20"));
        const qint64 id = qint64(loaded.value(0, u"CDRASTRITM").toDouble());
        const int qty = field(loaded, "QTPROGENPEOL");
        const data::DataPacket delta =
            makeDelta(loaded, {0}, [&](qsizetype r, std::vector<data::Column>& c) {
                c[std::size_t(qty)].setReal(r, c[std::size_t(qty)].real(r) + 5);
            });
        apply(*s.conn, delta);
        const QByteArray after = suptest::digest(*s.conn, suptest::kWrittenTables);
        try {
            apply(*s.conn, delta); // the retry after a lost answer
            QFAIL("a delta was applied twice");
        } catch (const DeltaError& e) {
            QCOMPARE(e.code(), QStringLiteral("duplicate"));
            QVERIFY(e.message().contains(u"envio repetido"));
        }
        QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), after);
        QCOMPARE(quantity(*s.conn, id), loaded.value(0, u"QTPROGENPEOL").toDouble() + 5);
        // A delta without an identifier is refused.
        QVERIFY_THROWS_EXCEPTION(DeltaError,
                                 apply(*s.conn, makeDelta(
                                                    loaded, {0}, [](qsizetype, auto&) {},
                                                    data::RowKind::Modified, QUuid())));
    }

    void deletesAndInserts_data() { suptest::addDatabaseRows(); }
    void deletesAndInserts() {
        QFETCH(QString, db);
        SeededServer s(db);
        // A generic table: insert a row, then delete it, then fail to delete it again.
        s.conn->exec(
            QStringLiteral("CREATE TABLE NOTA (CDNOTA %1 NOT NULL PRIMARY KEY, DSNOTA TEXT)")
                .arg(sql::codeType(s.conn->dialect())));
        server::DeltaTarget t;
        t.table = QStringLiteral("NOTA");
        server::DeltaColumn k;
        k.field = k.column = QStringLiteral("CDNOTA");
        k.key = true;
        server::DeltaColumn d;
        d.field = d.column = QStringLiteral("DSNOTA");
        t.columns = {k, d};
        data::DataPacketBuilder b({data::FieldDef::text(QStringLiteral("CDNOTA"), 10),
                                   data::FieldDef::text(QStringLiteral("DSNOTA"), 40)});
        b.appendRow({QStringLiteral("N1"), QStringLiteral("primeira")});
        b.appendRow({QStringLiteral("N2"), QStringLiteral("segunda")});
        const data::DataPacket rows = b.finish();
        auto run = [&](const data::DataPacket& delta) {
            sql::Transaction tx(*s.conn);
            const auto r = server::applyDelta(*s.conn, t, delta, opts());
            tx.commit();
            return r;
        };
        QCOMPARE(run(makeDelta(
                         rows, {0, 1}, [](qsizetype, auto&) {}, data::RowKind::Inserted))
                     .inserted,
                 2);
        QCOMPARE(s.conn->scalar(QStringLiteral("SELECT DSNOTA FROM NOTA WHERE CDNOTA = 'n2'"))
                     .toString(),
                 QStringLiteral("segunda"));
        try {
            run(makeDelta(
                rows, {1}, [](qsizetype, auto&) {}, data::RowKind::Inserted));
            QFAIL("a duplicate row was inserted");
        } catch (const DeltaError& e) {
            QCOMPARE(e.code(), QStringLiteral("conflict"));
            QVERIFY(e.message().contains(u"já existe"));
        }
        QCOMPARE(run(makeDelta(
                         rows, {0}, [](qsizetype, auto&) {}, data::RowKind::Deleted))
                     .deleted,
                 1);
        QVERIFY_THROWS_EXCEPTION(DeltaError,
                                 run(makeDelta(
                                     rows, {0}, [](qsizetype, auto&) {}, data::RowKind::Deleted)));
        QCOMPARE(s.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM NOTA")).toInt(), 1);
    }

    void writesOutsideTheOperatorsBranchesAreRefused_data() { suptest::addDatabaseRows(); }
    void writesOutsideTheOperatorsBranchesAreRefused() {
        QFETCH(QString, db);
        SeededServer s(db);
        const QString store = QStringLiteral("0012");
        const qint64 own = itemOf(*s.conn, store), foreign = itemNotOf(*s.conn, store);
        const data::DataPacket ownRow = item(*s.conn, own), foreignRow = item(*s.conn, foreign);
        QCOMPARE(ownRow.rowCount(), 1);
        QCOMPARE(foreignRow.rowCount(), 1);
        const QString foreignBranch = foreignRow.value(0, u"CDFILDEST").toString().left(4);
        const int qty = field(foreignRow, "QTPROGENPEOL"), order = field(foreignRow, "NRPEDEXOL");
        const auto setQty = [qty](double v) {
            return [qty, v](qsizetype r, std::vector<data::Column>& c) {
                c[std::size_t(qty)].setReal(r, v);
            };
        };
        server::DeltaTarget anyKind = server::orderItemTarget();
        anyKind.allowInsert = anyKind.allowDelete = true;

        // A foreign item next to one of the operator's own: the whole delta is refused.
        const data::DataPacket both =
            items(*s.conn, QStringLiteral("I.CDRASTRITM IN (%1, %2)").arg(own).arg(foreign));
        QCOMPARE(both.rowCount(), 2);
        const double foreignQty = foreignRow.value(0, u"QTPROGENPEOL").toDouble();
        const double ownQty = ownRow.value(0, u"QTPROGENPEOL").toDouble();

        struct Case {
            const char* what;
            server::DeltaTarget target;
            data::DataPacket delta;
        };
        const QList<Case> cases = {
            {"update", server::orderItemTarget(), makeDelta(foreignRow, {0}, setQty(4242))},
            {"delete", anyKind,
             makeDelta(
                 foreignRow, {0}, [](qsizetype, auto&) {}, data::RowKind::Deleted)},
            {"insert", anyKind,
             makeDelta(
                 foreignRow, {0},
                 [order](qsizetype r, std::vector<data::Column>& c) {
                     c[std::size_t(order)].setText(r, u"NOVO0001");
                 },
                 data::RowKind::Inserted)},
            {"own and foreign", server::orderItemTarget(), makeDelta(both, {0, 1}, setQty(4242))},
        };
        const QByteArray before = suptest::digest(*s.conn, suptest::kWrittenTables);
        for (const Case& c : cases) {
            const Attempt a = attempt(*s.conn, c.target, c.delta, optsAs(server::kBranchOperator));
            QVERIFY2(a.code == u"scope", a.text(c.what).constData());
            QVERIFY2(
                a.message.contains(
                    QStringLiteral("O item Destino %1, ").arg(foreignBranch) +
                    QStringLiteral("Lanç. %1").arg(foreignRow.value(0, u"CDFILLANC").toString())),
                a.text(c.what).constData());
            QVERIFY2(
                a.message.contains(QStringLiteral("não pertence às filiais do operador LOJA0012")),
                a.text(c.what).constData());
            QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), before);
            QCOMPARE(auditRows(*s.conn), 0);
        }
        QCOMPARE(quantity(*s.conn, foreign), foreignQty);
        QCOMPARE(quantity(*s.conn, own), ownQty);

        // The branches that count are those of the operator named for them, not the auditor's.
        server::DeltaOptions onBehalf = opts();
        onBehalf.branchOperator = server::kBranchOperator;
        QCOMPARE(attempt(*s.conn, server::orderItemTarget(),
                         makeDelta(foreignRow, {0}, setQty(4242)), onBehalf)
                     .code,
                 QStringLiteral("scope"));

        // Within the operator's branches the change goes through, audited under its name.
        QCOMPARE(applyTo(*s.conn, server::orderItemTarget(), makeDelta(ownRow, {0}, setQty(77)),
                         optsAs(server::kBranchOperator))
                     .updated,
                 1);
        QCOMPARE(quantity(*s.conn, own), 77.0);
        QCOMPARE(s.conn->scalar(QStringLiteral("SELECT CDOPERADOR FROM AUDITORIA")).toString(),
                 server::kBranchOperator);

        // With the general parameter off, as for the item queries, every branch is open.
        s.conn->exec(QStringLiteral("UPDATE PARAMGERAL SET IDRESTRFILIOPER = 'N'"));
        QCOMPARE(applyTo(*s.conn, server::orderItemTarget(),
                         makeDelta(foreignRow, {0}, setQty(4242)), optsAs(server::kBranchOperator))
                     .updated,
                 1);
        QCOMPARE(quantity(*s.conn, foreign), 4242.0);
    }

    void forgedBranchDoesNotBringAForeignRowIntoScope_data() { suptest::addDatabaseRows(); }
    void forgedBranchDoesNotBringAForeignRowIntoScope() {
        QFETCH(QString, db);
        SeededServer s(db);
        const qint64 foreign = itemNotOf(*s.conn, QStringLiteral("0012"));
        const data::DataPacket loaded = item(*s.conn, foreign);
        QCOMPARE(loaded.rowCount(), 1);
        const double storedQty = loaded.value(0, u"QTPROGENPEOL").toDouble();
        const int qty = field(loaded, "QTPROGENPEOL"), dest = field(loaded, "CDFILDEST");
        const auto claim = [dest](qsizetype r, std::vector<data::Column>& c) {
            c[std::size_t(dest)].setText(r, u"0012 - Loja Guarulhos");
        };
        const auto claimAndChange = [&](qsizetype r, std::vector<data::Column>& c) {
            claim(r, c);
            c[std::size_t(qty)].setReal(r, 4242);
        };
        const server::DeltaOptions store = optsAs(server::kBranchOperator);
        const QByteArray before = suptest::digest(*s.conn, suptest::kWrittenTables);

        // The operator's branch as the new destination of a foreign item.
        Attempt a = attempt(*s.conn, server::orderItemTarget(),
                            makeDelta(loaded, {0}, claimAndChange), store);
        QVERIFY2(a.code == u"scope", a.text().constData());
        QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), before);

        // The operator's branch as the loaded destination too: the item key then names no stored
        // item, and nothing is written.
        a = attempt(*s.conn, server::orderItemTarget(),
                    suptest::makeForgedDelta(loaded, {0}, claimAndChange, claim), store);
        QVERIFY2(!a.code.isEmpty(), a.text().constData());
        QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), before);

        // Rows found by their own identifier, the branch neither a key nor compared: the stored
        // branch decides, whatever the delta claims it was loaded with.
        server::DeltaTarget byId = server::orderItemTarget();
        for (server::DeltaColumn& c : byId.columns)
            if (c.column == u"CDFILDEST")
                c.key = c.check = false;
        server::DeltaColumn id;
        id.field = id.column = QStringLiteral("CDRASTRITM");
        id.label = QStringLiteral("Item");
        id.key = true;
        id.write = false;
        byId.columns.prepend(id);
        a = attempt(*s.conn, byId, suptest::makeForgedDelta(loaded, {0}, claimAndChange, claim),
                    store);
        QVERIFY2(a.code == u"scope", a.text().constData());
        QVERIFY2(
            a.message.contains(
                QStringLiteral("Item ") +
                QLocale(QLocale::Portuguese, QLocale::Brazil).toString(double(foreign), 'g', 15)),
            a.text().constData());
        QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), before);
        QCOMPARE(quantity(*s.conn, foreign), storedQty);
    }

    void changesTheTargetDoesNotWriteAreRefused_data() { suptest::addDatabaseRows(); }
    void changesTheTargetDoesNotWriteAreRefused() {
        QFETCH(QString, db);
        SeededServer s(db);
        const data::DataPacket loaded = items(*s.conn, QStringLiteral("I.CDRASTRITM <= 20"));
        QVERIFY(loaded.rowCount() >= 2);
        const int qty = field(loaded, "QTPROGENPEOL");
        const QByteArray before = suptest::digest(*s.conn, suptest::kWrittenTables);
        // Stored but not written by the method, the destination and a launching-branch key,
        // product data that follow a product left as it was, and fields the table mapping does
        // not know at all.
        for (const char* name :
             {"QTRESERVESTOL", "IDITMPEDOLBLOQ", "CDFILDEST", "CDFILLANC", "DTPROGEMBARQ",
              "NMPRODUTO", "CDARVPROD", "NMMARCA", "CDRASTRITM", "IDITEMAJUSTE"}) {
            const int f = field(loaded, name);
            QVERIFY2(f >= 0, name);
            const data::DataPacket delta =
                makeDelta(loaded, {0, 1}, [&](qsizetype r, std::vector<data::Column>& c) {
                    c[std::size_t(qty)].setReal(r, 500 + double(r));
                    if (r == 1)
                        changeCell(c[std::size_t(f)], r);
                });
            const Attempt a = attempt(*s.conn, server::orderItemTarget(), delta, opts());
            QVERIFY2(a.code == u"args", a.text(name).constData());
            QVERIFY2(a.message.contains(
                         QStringLiteral("O campo %1 não pode ser alterado por este método")
                             .arg(QString::fromLatin1(name))),
                     a.text(name).constData());
            QVERIFY2(a.message.contains(QStringLiteral("Pedido ") +
                                        loaded.value(1, u"NRPEDEXOL").toString()),
                     a.text(name).constData());
            QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), before);
        }

        // The client's marks and the product data that follow a new product go along; the
        // table takes the product's own data, not the client's.
        const QString otherProduct =
            productOtherThan(*s.conn, loaded.value(0, u"CDPRODUTO").toString());
        const int product = field(loaded, "CDPRODUTO"), name = field(loaded, "NMPRODUTO"),
                  calc = field(loaded, "CALC"), mark = field(loaded, "ALTERADO");
        const data::DataPacket delta =
            makeDelta(loaded, {0, 1}, [&](qsizetype r, std::vector<data::Column>& c) {
                c[std::size_t(calc)].setText(r, u"S");
                c[std::size_t(mark)].setText(r, u"S");
                if (r == 0) {
                    c[std::size_t(product)].setText(r, otherProduct);
                    c[std::size_t(name)].setText(r, u"Nome digitado");
                }
            });
        const server::DeltaResult done = apply(*s.conn, delta);
        QCOMPARE(done.updated, 1);
        QCOMPARE(done.unchanged, 1);
        const qint64 id0 = qint64(loaded.value(0, u"CDRASTRITM").toDouble());
        QCOMPARE(
            s.conn
                ->scalar(QStringLiteral("SELECT NMPRODUTO FROM PEDIDOOLITEM WHERE CDRASTRITM = ?"),
                         {id0})
                .toString(),
            s.conn
                ->scalar(QStringLiteral("SELECT NMPRODUTO FROM PRODUTO WHERE CDPRODUTO = ?"),
                         {otherProduct})
                .toString());
    }

    void insertsAndDeletesOnlyWhereTheMethodTakesThem_data() { suptest::addDatabaseRows(); }
    void insertsAndDeletesOnlyWhereTheMethodTakesThem() {
        QFETCH(QString, db);
        SeededServer s(db);
        const data::DataPacket loaded = items(*s.conn, QStringLiteral("I.CDRASTRITM <= 20"));
        QVERIFY(loaded.rowCount() >= 2);
        const int order = field(loaded, "NRPEDEXOL");
        const QByteArray before = suptest::digest(*s.conn, suptest::kWrittenTables);
        const qlonglong itemCount =
            s.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM")).toLongLong();

        // A new item with a free key, and an item removed.
        Attempt a = attempt(*s.conn, server::orderItemTarget(),
                            makeDelta(
                                loaded, {0},
                                [order](qsizetype r, std::vector<data::Column>& c) {
                                    c[std::size_t(order)].setText(r, u"NOVO0001");
                                },
                                data::RowKind::Inserted),
                            opts());
        QCOMPARE(a.code, QStringLiteral("args"));
        QCOMPARE(a.message, QStringLiteral("Este método não aceita inclusão de itens."));
        a = attempt(*s.conn, server::orderItemTarget(),
                    makeDelta(
                        loaded, {1}, [](qsizetype, auto&) {}, data::RowKind::Deleted),
                    opts());
        QCOMPARE(a.code, QStringLiteral("args"));
        QCOMPARE(a.message, QStringLiteral("Este método não aceita exclusão de itens."));
        QCOMPARE(suptest::digest(*s.conn, suptest::kWrittenTables), before);
        QCOMPARE(s.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM PEDIDOOLITEM")).toLongLong(),
                 itemCount);

        // Where inserts are taken, a row the table refuses for a missing value is an error, not
        // a row "already there".
        s.conn->exec(QStringLiteral(
                         "CREATE TABLE NOTA (CDNOTA %1 NOT NULL PRIMARY KEY, DSNOTA TEXT NOT NULL)")
                         .arg(sql::codeType(s.conn->dialect())));
        server::DeltaTarget t;
        t.table = QStringLiteral("NOTA");
        server::DeltaColumn k;
        k.field = k.column = QStringLiteral("CDNOTA");
        k.key = true;
        t.columns = {k};
        data::DataPacketBuilder b({data::FieldDef::text(QStringLiteral("CDNOTA"), 10)});
        b.appendRow({QStringLiteral("N1")});
        a = attempt(*s.conn, t,
                    makeDelta(
                        b.finish(), {0}, [](qsizetype, auto&) {}, data::RowKind::Inserted),
                    opts());
        QVERIFY2(!a.code.isEmpty() && a.code != u"conflict", a.text().constData());
        QVERIFY2(!a.message.contains(u"já existe") && !a.message.contains(u"outro usuário"),
                 a.text().constData());
        QCOMPARE(s.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM NOTA")).toInt(), 0);
    }

    void concurrentWritersReconcile_data() {
        QTest::addColumn<QString>("db");
        QTest::addColumn<int>("writers");
        for (int n : {2, 4, 8}) {
            QTest::addRow("sqlite-%d", n) << QStringLiteral("sqlite-file") << n;
            if (!suptest::pgBaseUrl().isEmpty())
                QTest::addRow("postgresql-%d", n) << QStringLiteral("postgresql") << n;
        }
    }
    void concurrentWritersReconcile() {
        QFETCH(QString, db);
        QFETCH(int, writers);
        SeededServer s(db, 200);
        const QString where = QStringLiteral("I.CDRASTRITM IN (10, 11, 12)");
        const data::DataPacket start = items(*s.conn, where);
        QCOMPARE(start.rowCount(), 3);
        double startTotal = 0;
        for (qsizetype r = 0; r < 3; ++r)
            startTotal += start.value(r, u"QTPROGENPEOL").toDouble();
        const int perWriter = 6;
        QAtomicInt applied = 0, conflicts = 0, failures = 0;
        QList<QThread*> threads;
        for (int w = 0; w < writers; ++w) {
            threads << QThread::create([&, w] {
                try {
                    auto c = s.db.open();
                    int done = 0;
                    for (int attempt = 0; done < perWriter && attempt < 400; ++attempt) {
                        const data::DataPacket loaded = items(*c, where);
                        const int qty = field(loaded, "QTPROGENPEOL");
                        const data::DataPacket delta = makeDelta(
                            loaded, {0, 1, 2}, [&](qsizetype r, std::vector<data::Column>& cols) {
                                cols[std::size_t(qty)].setReal(r, cols[std::size_t(qty)].real(r) +
                                                                      1 + w % 2);
                            });
                        try {
                            apply(*c, delta);
                            ++done;
                            applied.fetchAndAddRelaxed(1 + w % 2);
                        } catch (const DeltaError& e) {
                            if (e.code() != u"conflict")
                                throw;
                            conflicts.fetchAndAddRelaxed(1);
                        } catch (const sql::SqlError& e) {
                            if (!e.isBusy())
                                throw;
                        }
                    }
                    if (done < perWriter)
                        failures.fetchAndAddRelaxed(1);
                } catch (...) {
                    failures.fetchAndAddRelaxed(1);
                }
            });
            threads.last()->start();
        }
        for (QThread* t : threads) {
            QVERIFY(t->wait(120000));
            delete t;
        }
        QCOMPARE(failures.loadRelaxed(), 0);
        // Every applied delta added its increment to each of the three rows, and no increment
        // was lost or applied twice.
        const data::DataPacket end = items(*s.conn, where);
        double endTotal = 0;
        for (qsizetype r = 0; r < 3; ++r)
            endTotal += end.value(r, u"QTPROGENPEOL").toDouble();
        QCOMPARE(endTotal, startTotal + 3.0 * applied.loadRelaxed());
        QCOMPARE(s.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM DELTAAPLICADO")).toInt(),
                 writers * perWriter);
        QCOMPARE(s.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA")).toInt(),
                 writers * perWriter * 3);
        qInfo("%d writers: %d conflicts retried", writers, conflicts.loadRelaxed());
    }

    void ioErrorAtEveryWriteLeavesDatabaseIntact() {
        registerFaultyVfs();
        suptest::TestDatabase tdb(QStringLiteral("sqlite-file"));
        const QString path = tdb.dir() + QStringLiteral("/test.db");
        {
            auto c = tdb.open();
            server::installSchema(*c);
            server::SeedOptions o;
            o.items = 60;
            o.fastHash = true;
            server::seedDatabase(*c, o);
        }
        const QString faultyUrl = QStringLiteral("sqlite:file:%1?vfs=faulty").arg(path);
        QByteArray before, after;
        data::DataPacket delta;
        {
            auto c = tdb.open();
            before = suptest::digest(*c, suptest::kWrittenTables);
            const data::DataPacket loaded = items(*c, QStringLiteral("I.CDRASTRITM <= 20"));
            QVERIFY(loaded.rowCount() >= 5);
            const int qty = field(loaded, "QTPROGENPEOL");
            QList<qsizetype> rows{0, 1, 2, 3, 4};
            delta = makeDelta(loaded, rows, [&](qsizetype r, std::vector<data::Column>& cols) {
                cols[std::size_t(qty)].setReal(r, 500 + double(r));
            });
        }
        int failed = 0;
        for (int n = 1; n < 500; ++n) {
            bool ok = false;
            {
                auto c = sql::Connection::open(faultyUrl);
                writeCount = 0;
                failFrom = n;
                try {
                    apply(*c, delta);
                    ok = true;
                } catch (const std::exception& e) {
                    ++failed;
                    QVERIFY2(QString::fromUtf8(e.what()).contains(u"disk I/O error") ||
                                 QString::fromUtf8(e.what()).contains(u"banco de dados"),
                             e.what());
                }
                failFrom = 0;
            }
            auto check = tdb.open();
            QCOMPARE(check->scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
                     QStringLiteral("ok"));
            const QByteArray now = suptest::digest(*check, suptest::kWrittenTables);
            if (ok) {
                after = now;
                break;
            }
            QVERIFY2(
                now == before,
                qPrintable(QStringLiteral("a failed write at %1 changed the database").arg(n)));
        }
        QVERIFY(failed > 0);
        qInfo("%d failing write positions, all rolled back", failed);
        QVERIFY(!after.isEmpty());
        QVERIFY(after != before);
    }
};

QTEST_GUILESS_MAIN(TestDelta)
#include "tst_delta.moc"
