#pragma once

// Databases for the test suites: SQLite in memory (or in a temporary file) always, PostgreSQL
// when SUP_TEST_PG names a database. Each PostgreSQL test database is a schema of its own with a
// unique name, dropped when the object goes away, so parallel runs never meet.

#include "sup/sql/Database.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace suptest {

inline QString pgBaseUrl() {
    return qEnvironmentVariable("SUP_TEST_PG");
}

// Adds the rows "sqlite" and, when SUP_TEST_PG is set, "postgresql" to a data-driven test
// with one QString column "db".
inline void addDatabaseRows() {
    QTest::addColumn<QString>("db");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    if (!pgBaseUrl().isEmpty())
        QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

class TestDatabase {
public:
    // kind: "sqlite" (in memory), "sqlite-file" (a file in a temporary folder) or "postgresql".
    explicit TestDatabase(const QString& kind) {
        if (kind == u"postgresql") {
            const QString base = pgBaseUrl();
            schema_ = QStringLiteral("t_%1_%2")
                          .arg(QCoreApplication::applicationPid())
                          .arg(QRandomGenerator::global()->generate64(), 0, 36);
            url_ = base + (base.contains(u'?') ? u'&' : u'?') + QStringLiteral("schema=") + schema_;
            admin_ = sup::sql::Connection::open(base);
            admin_->exec(QStringLiteral("CREATE SCHEMA %1").arg(schema_));
        } else if (kind == u"sqlite-file") {
            url_ = QStringLiteral("sqlite:") + dir_.filePath(QStringLiteral("test.db"));
        } else {
            url_ = QStringLiteral("sqlite::memory:");
        }
    }
    ~TestDatabase() {
        if (admin_) {
            try {
                admin_->exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema_));
            } catch (...) {
            }
        }
    }
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const QString& url() const { return url_; }
    bool isPostgres() const { return !schema_.isEmpty(); }
    std::unique_ptr<sup::sql::Connection> open() const { return sup::sql::Connection::open(url_); }
    QString dir() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString url_;
    QString schema_;
    std::unique_ptr<sup::sql::Connection> admin_;
};

} // namespace suptest
