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
            s.conn
                ->scalar(QStringLiteral("SELECT MIN(CDPRODUTO) FROM PRODUTO WHERE CDNVPRODUTO = "
                                        "'4' AND CDPRODUTO <> ?"),
                         {loaded.value(2, u"CDPRODUTO")})
                .toString();
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
