// Key lists: parsed in one place and bound as values, never pasted into SQL.

#include "../sql/TestDatabases.h"

#include "KeyList.h"

#include <QSqlQuery>
#include <QTest>

using namespace sup;

class TestKeyList : public QObject {
    Q_OBJECT

private slots:
    void parses() {
        QCOMPARE(server::parseKeyList(QStringLiteral("_0001__0002_")),
                 (QStringList{QStringLiteral("0001"), QStringLiteral("0002")}));
        QCOMPARE(server::parseKeyList(QStringLiteral("_0001_")),
                 QStringList{QStringLiteral("0001")});
        QCOMPARE(server::parseKeyList(QString()), QStringList{});
        QCOMPARE(server::parseKeyList(QStringLiteral("__")), QStringList{});
        QCOMPARE(server::parseKeyList(QStringLiteral("0001,0002;0003")).size(), 3);
        // Repeated keys (in any letter case) count once; blanks around a key are dropped.
        QCOMPARE(server::parseKeyList(QStringLiteral("_ab01__AB01_ _ 0002 _")),
                 (QStringList{QStringLiteral("ab01"), QStringLiteral("0002")}));
    }

    void hostileKeysMatchNothing_data() { suptest::addDatabaseRows(); }
    void hostileKeysMatchNothing() {
        QFETCH(QString, db);
        suptest::TestDatabase tdb(db);
        auto c = tdb.open();
        sql::installSqlFunctions(*c);
        c->exec(QStringLiteral("CREATE TABLE FILIAL (CDFILIAL %1 PRIMARY KEY)")
                    .arg(sql::codeType(c->dialect())));
        for (const char* code : {"0001", "0002", "0003"})
            c->exec(QStringLiteral("INSERT INTO FILIAL VALUES (?)"), {QString::fromLatin1(code)});
        const QString sql =
            QStringLiteral("SELECT CDFILIAL FROM FILIAL WHERE %1 ORDER BY CDFILIAL")
                .arg(server::keyListCondition(c->dialect(), QStringLiteral("CDFILIAL")));
        auto run = [&](const QString& list) {
            QStringList out;
            QSqlQuery q =
                c->exec(sql, {server::keyListValue(c->dialect(), server::parseKeyList(list))});
            while (q.next())
                out << q.value(0).toString();
            return out;
        };
        QCOMPARE(run(QStringLiteral("_0001__0003_")),
                 (QStringList{QStringLiteral("0001"), QStringLiteral("0003")}));
        QCOMPARE(run(QStringLiteral("_0002_")), QStringList{QStringLiteral("0002")});
        QCOMPARE(run(QString()), QStringList{});
        for (const char* hostile :
             {"_1) OR (1=1_", "1) OR (1=1", "_0001') OR ('1'='1_", "_\"}_", "_\\\"_",
              "_0001\"]) OR 1=1 --_", "_{0001,0002}_", "_'; DROP TABLE FILIAL; --_"})
            QCOMPARE(run(QString::fromUtf8(hostile)), QStringList{});
        // A hostile key beside a real one matches only the real one.
        QCOMPARE(run(QStringLiteral("_0002__1) OR (1=1_")), QStringList{QStringLiteral("0002")});
        QCOMPARE(c->scalar(QStringLiteral("SELECT COUNT(*) FROM FILIAL")).toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(TestKeyList)
#include "tst_keylist.moc"
