// Packets read from PostgreSQL with libpq: the same cells as from SQLite for the same rows, the
// statement's "?" numbered outside quotes and comments, and errors as SqlError.

#include "../sql/TestDatabases.h"

#include "PgRead.h"
#include "SqlValues.h"

#include <QSqlQuery>
#include <QTest>

using namespace sup;
using namespace Qt::StringLiterals;
using data::FieldType;

namespace {

// Texts of every kind a packet keeps: empty, accented, longer than a bounded slot in UTF-8,
// long and unbounded.
const QString kAccents = QStringLiteral("Ação São João — ü ñ €");
const QString kLong = QString(3000, u'x') + QStringLiteral("ção");

struct Row {
    QVariant code, name, qty, count, flag, day;
};

QList<Row> rows() {
    return {
        {QStringLiteral("a01"), kAccents, -1234.5678, qint64(-42), QStringLiteral("S"),
         QStringLiteral("2024-02-29 13:45:07")},
        {QStringLiteral("A02"), QString(""), 0.1, qint64(0), QStringLiteral("N"),
         QStringLiteral("2024-03-01 00:00:00")},
        {QStringLiteral("b03"), kLong, 1e-7, qint64(9007199254740993), QStringLiteral("t"),
         QStringLiteral("1999-12-31 23:59:59")},
        {QStringLiteral("B04"), QVariant(), -0.5, qint64(1) << 40, QVariant(), QVariant()},
        {QStringLiteral("c05"), QStringLiteral("Ü"), 123456789.125, qint64(7), QStringLiteral("N"),
         QStringLiteral("1899-12-30 00:00:00")},
        {QStringLiteral("C06"), QStringLiteral("ok"), QVariant(), QVariant(), QStringLiteral("1"),
         QStringLiteral("1970-01-01 00:00:01")},
    };
}

const data::FieldDefs& fields() {
    static const data::FieldDefs defs = {
        data::FieldDef::text(QStringLiteral("CODE"), 4),
        data::FieldDef::text(QStringLiteral("NAME"), 0),
        data::FieldDef::text(QStringLiteral("SHORT"), 10),
        data::FieldDef::real(QStringLiteral("QTY")),
        data::FieldDef::real(QStringLiteral("QTYNUM")),
        data::FieldDef::integer(QStringLiteral("COUNT")),
        data::FieldDef::integer(QStringLiteral("COUNT4")),
        data::FieldDef::boolean(QStringLiteral("FLAG")),
        data::FieldDef::boolean(QStringLiteral("POSITIVE")),
        data::FieldDef::dateTime(QStringLiteral("DAY")),
        data::FieldDef::dateTime(QStringLiteral("DAYRAW")),
        data::FieldDef::text(QStringLiteral("CONST"), 1),
    };
    return defs;
}

// The rows above in table T of a new database of that kind, read back as a packet with every
// column type (dates both through dateOut and as stored), filtered by bound values.
data::DataPacket readBack(const suptest::TestDatabase& tdb) {
    auto c = tdb.open();
    sql::installSqlFunctions(*c);
    const bool pg = c->dialect() == sql::Dialect::PostgreSQL;
    c->exec(QStringLiteral("CREATE TABLE T (CODE %1 PRIMARY KEY, NAME %2, QTY %3, N %4, FLAG %2,"
                           " DAY %5)")
                .arg(sql::codeType(c->dialect()), pg ? u"text"_s : u"TEXT"_s,
                     pg ? u"double precision"_s : u"REAL"_s, pg ? u"bigint"_s : u"INTEGER"_s,
                     pg ? u"timestamp(0)"_s : u"TEXT"_s));
    for (const Row& r : rows())
        c->exec(QStringLiteral("INSERT INTO T VALUES (?, ?, ?, ?, ?, ?)"),
                {r.code, r.name, r.qty, r.count, r.flag, r.day});
    const QString sql =
        QStringLiteral("SELECT CODE, NAME, substr(NAME, 1, 10), QTY, CAST(QTY AS NUMERIC),"
                       " N, CAST(N % 1000 AS INTEGER), FLAG, N > 0, %1, DAY, 'N' FROM T"
                       " WHERE CODE <> ? AND (QTY IS NULL OR QTY > ?) ORDER BY CODE")
            .arg(server::dateOut(c->dialect(), QStringLiteral("DAY")));
    return server::selectPacket(*c, fields(), sql, {QStringLiteral("zzz"), -1e9});
}

} // namespace

class TestPgRead : public QObject {
    Q_OBJECT

private slots:
    void samePacketAsSqlite() {
        if (suptest::pgBaseUrl().isEmpty())
            QSKIP("SUP_TEST_PG not set");
        suptest::TestDatabase lite(QStringLiteral("sqlite")), pg(QStringLiteral("postgresql"));
        const data::DataPacket a = readBack(lite), b = readBack(pg);
        QCOMPARE(a.rowCount(), rows().size());
        QCOMPARE(b.rowCount(), a.rowCount());
        for (int f = 0; f < a.fieldCount(); ++f)
            for (qsizetype r = 0; r < a.rowCount(); ++r) {
                const QByteArray where =
                    fields()[f].name.toLatin1() + " row " + QByteArray::number(r);
                QVERIFY2(a.column(f).cellEquals(r, b.column(f), r),
                         (where + ": " + a.column(f).value(r).toString().left(40).toUtf8() + " / " +
                          b.column(f).value(r).toString().left(40).toUtf8())
                             .constData());
            }
        // A few cells by value, so that both reading alike wrongly does not pass.
        const qsizetype accents = 0, empty = 1, longRow = 2, nulls = 3, epoch = 4;
        QCOMPARE(b.column(1).text(accents), kAccents);
        QVERIFY(!b.column(1).isNull(empty) && b.column(1).text(empty).isEmpty());
        QCOMPARE(b.column(1).text(longRow), kLong);
        QVERIFY(b.column(1).isNull(nulls) && b.column(7).isNull(nulls) &&
                b.column(9).isNull(nulls) && b.column(10).isNull(nulls));
        QCOMPARE(b.column(3).real(accents), -1234.5678);
        QCOMPARE(b.column(3).real(empty), 0.1);
        QCOMPARE(b.column(5).integer(longRow), qint64(9007199254740993));
        QCOMPARE(b.column(6).integer(accents), qint64(-42));
        QVERIFY(b.column(7).boolean(accents) && !b.column(7).boolean(empty));
        QVERIFY(!b.column(8).boolean(accents) && b.column(8).boolean(longRow));
        QCOMPARE(b.column(9).dateTimeMs(epoch), qint64(0));
        QCOMPARE(b.column(10).dateTimeMs(epoch), qint64(0));
        QCOMPARE(b.column(10).dateTimeMs(longRow), (qint64(36525) * 86400 + 86399) * 1000);
        QCOMPARE(b.column(10).dateTimeMs(empty), *server::sqlTextToMs("2024-03-01", 10));
        QCOMPARE(b.column(11).text(nulls), QStringLiteral("N"));
    }

    // Values of each kind a caller binds reach PostgreSQL as the types they stand for, and
    // results of types read from their text form (intervals, time zones) still arrive.
    void bindsAndTextFallback() {
        if (suptest::pgBaseUrl().isEmpty())
            QSKIP("SUP_TEST_PG not set");
        suptest::TestDatabase tdb(QStringLiteral("postgresql"));
        auto c = tdb.open();
        const data::FieldDefs defs = {
            data::FieldDef::real(u"D"_s),    data::FieldDef::integer(u"I"_s),
            data::FieldDef::boolean(u"B"_s), data::FieldDef::dateTime(u"DT"_s),
            data::FieldDef::text(u"S"_s, 0), data::FieldDef::text(u"N"_s, 0)};
        const data::DataPacket p = server::selectPacket(
            *c, defs,
            QStringLiteral("SELECT CAST(? AS double precision), CAST(? AS bigint),"
                           " CAST(? AS boolean), CAST(? AS timestamp), ? || '?', ?"),
            {0.1, qint64(-5), true, QDate(2024, 2, 29), QStringLiteral("ã'"), QVariant()});
        QCOMPARE(p.rowCount(), 1);
        QCOMPARE(p.column(0).real(0), 0.1);
        QCOMPARE(p.column(1).integer(0), qint64(-5));
        QVERIFY(p.column(2).boolean(0));
        QCOMPARE(p.column(3).dateTimeMs(0), *server::sqlTextToMs("2024-02-29", 10));
        QCOMPARE(p.column(4).text(0), QStringLiteral("ã'?"));
        QVERIFY(p.column(5).isNull(0));

        const data::DataPacket t = server::selectPacket(
            *c, {data::FieldDef::text(u"S"_s, 0), data::FieldDef::dateTime(u"DT"_s)},
            QStringLiteral("SELECT interval '1 day', CAST('2024-01-02 10:00:00' AS timestamptz)"));
        QCOMPARE(t.column(0).text(0), QStringLiteral("1 day"));
        QCOMPARE(t.column(1).dateTimeMs(0), *server::sqlTextToMs("2024-01-02 10:00:00", 19));
    }

    // Errors become SqlError in Portuguese, and the driver's connection goes on working.
    void errorsAndDriverQueries() {
        if (suptest::pgBaseUrl().isEmpty())
            QSKIP("SUP_TEST_PG not set");
        suptest::TestDatabase tdb(QStringLiteral("postgresql"));
        auto c = tdb.open();
        const data::FieldDefs one = {data::FieldDef::integer(u"I"_s)};
        try {
            server::selectPacket(*c, one, QStringLiteral("SELECT 1 / (0 * ?)"), {1});
            QFAIL("no error");
        } catch (const sql::SqlError& e) {
            QVERIFY2(e.message().startsWith(u"Erro no banco de dados: "), qPrintable(e.message()));
            QVERIFY(e.driverText().contains(u"division by zero"));
        }
        QVERIFY_THROWS_EXCEPTION(sql::SqlError,
                                 server::selectPacket(*c, one, QStringLiteral("SELECT ?, ?"), {1}));
        QVERIFY_THROWS_EXCEPTION(
            sql::SqlError, server::selectPacket(*c, {one[0], one[0]}, QStringLiteral("SELECT 1")));
        QCOMPARE(c->scalar(QStringLiteral("SELECT 2")).toInt(), 2);

        // The driver reads a query row by row; one started after it ends it (as the driver's
        // own next query would), and the connection goes on serving both.
        for (int round = 0; round < 2; ++round) {
            QSqlQuery open = c->exec(QStringLiteral("SELECT generate_series(1, 3000)"));
            QVERIFY(open.next());
            const data::DataPacket p =
                server::selectPacket(*c, one, QStringLiteral("SELECT generate_series(1, ?)"), {5});
            QCOMPARE(p.rowCount(), 5);
            QCOMPARE(p.column(0).integer(4), qint64(5));
            QCOMPARE(c->scalar(QStringLiteral("SELECT 3")).toInt(), 3);
        }
    }

    void numbersPlaceholders_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("numbered");
        QTest::addColumn<int>("count");
        QTest::newRow("plain") << u"SELECT a FROM t WHERE b = ? AND c IN (?, ?)"_s
                               << u"SELECT a FROM t WHERE b = $1 AND c IN ($2, $3)"_s << 3;
        QTest::newRow("quoted") << u"SELECT '?', 'it''s ?', \"a?\" FROM t WHERE b = ?"_s
                                << u"SELECT '?', 'it''s ?', \"a?\" FROM t WHERE b = $1"_s << 1;
        QTest::newRow("escapes") << u"SELECT E'\\'?' || ?"_s << u"SELECT E'\\'?' || $1"_s << 1;
        QTest::newRow("comments") << u"SELECT ? -- why?\n, /* ? /* ? */ ? */ ?"_s
                                  << u"SELECT $1 -- why?\n, /* ? /* ? */ ? */ $2"_s << 2;
        QTest::newRow("dollar") << u"SELECT $$?$$, $q$ ? $q$, ?, $1x"_s
                                << u"SELECT $$?$$, $q$ ? $q$, $1, $1x"_s << 1;
        QTest::newRow("casts") << u"SELECT CAST(? AS citext[]), x::text, ?::int"_s
                               << u"SELECT CAST($1 AS citext[]), x::text, $2::int"_s << 2;
        QTest::newRow("accents") << u"SELECT 'ação' || ?"_s << u"SELECT 'ação' || $1"_s << 1;
        QTest::newRow("named") << u"SELECT a FROM t WHERE b = :CODE"_s << QString() << -1;
    }
    void numbersPlaceholders() {
        QFETCH(QString, sql);
        QFETCH(QString, numbered);
        QFETCH(int, count);
        const auto out = server::numberPlaceholders(sql);
        if (count < 0) {
            QVERIFY(!out);
            return;
        }
        QVERIFY(out);
        QCOMPARE(QString::fromUtf8(out->first), numbered);
        QCOMPARE(out->second, count);
    }
};

QTEST_GUILESS_MAIN(TestPgRead)
#include "tst_pgread.moc"
