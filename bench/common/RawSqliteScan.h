#pragma once

// The raw peer of the server's item queries on SQLite: the statement prepared and stepped with
// the C API, every value touched. Returns the number of rows.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QByteArray>

#include <cstddef>

namespace bench {

inline qsizetype rawSqliteScan(sqlite3* db, const QByteArray& sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st, nullptr);
    std::size_t bytes = 0;
    double sum = 0;
    qsizetype rows = 0;
    const int n = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) {
            switch (sqlite3_column_type(st, i)) {
            case SQLITE_TEXT:
                benchmark::DoNotOptimize(sqlite3_column_text(st, i));
                bytes += std::size_t(sqlite3_column_bytes(st, i));
                break;
            case SQLITE_FLOAT:
            case SQLITE_INTEGER:
                sum += sqlite3_column_double(st, i);
                break;
            default:
                break;
            }
        }
        ++rows;
    }
    sqlite3_finalize(st);
    benchmark::DoNotOptimize(bytes);
    benchmark::DoNotOptimize(sum);
    return rows;
}

} // namespace bench
