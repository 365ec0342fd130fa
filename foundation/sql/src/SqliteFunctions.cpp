// NVLSTR, INSTR and the table function PARAM for SQLite, registered on each connection.

#include "sup/sql/Database.h"

#include <sqlite3.h>

#include <cstring>

namespace sup::sql {

namespace {

void nvlstrFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_value(ctx, sqlite3_value_type(argv[0]) == SQLITE_NULL ? argv[1] : argv[0]);
}

// 1-based character position of argv[1] in argv[0]; 0 when absent; NULL when either is NULL.
// A byte search is exact on UTF-8 (no character starts inside another).
void instrFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* hay = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const auto* needle = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    if (!hay || !needle) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    const char* hit = std::strstr(hay, needle);
    if (!hit) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    int chars = 1;
    for (const char* p = hay; p < hit; ++p)
        if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80)
            ++chars;
    sqlite3_result_int(ctx, chars);
}

// PARAM(text): an eponymous virtual table with one row whose column PARAM holds the argument.
// The argument is the hidden column ARG, bound through an equality constraint.
struct ParamCursor {
    sqlite3_vtab_cursor base;
    sqlite3_value* value;
    bool eof;
};

int paramConnect(sqlite3* db, void*, int, const char* const*, sqlite3_vtab** out, char**) {
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(PARAM COLLATE NOCASE, ARG HIDDEN)");
    if (rc != SQLITE_OK)
        return rc;
    auto* vtab = static_cast<sqlite3_vtab*>(sqlite3_malloc(sizeof(sqlite3_vtab)));
    if (!vtab)
        return SQLITE_NOMEM;
    std::memset(vtab, 0, sizeof(*vtab));
    *out = vtab;
    return SQLITE_OK;
}

int paramDisconnect(sqlite3_vtab* vtab) {
    sqlite3_free(vtab);
    return SQLITE_OK;
}

int paramBestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
    int usable = -1;
    bool unusable = false;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.iColumn != 1 || c.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        if (c.usable)
            usable = i;
        else
            unusable = true;
    }
    if (usable >= 0) {
        info->aConstraintUsage[usable].argvIndex = 1;
        info->aConstraintUsage[usable].omit = 1;
        info->idxNum = 1;
        info->estimatedCost = 1;
        info->estimatedRows = 1;
        return SQLITE_OK;
    }
    if (unusable)
        return SQLITE_CONSTRAINT; // this plan cannot supply the argument; SQLite picks another
    info->idxNum = 0;             // PARAM without an argument: one row holding NULL
    info->estimatedCost = 1;
    info->estimatedRows = 1;
    return SQLITE_OK;
}

int paramOpen(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    auto* cur = static_cast<ParamCursor*>(sqlite3_malloc(sizeof(ParamCursor)));
    if (!cur)
        return SQLITE_NOMEM;
    std::memset(cur, 0, sizeof(*cur));
    cur->eof = true;
    *out = &cur->base;
    return SQLITE_OK;
}

int paramClose(sqlite3_vtab_cursor* base) {
    auto* cur = reinterpret_cast<ParamCursor*>(base);
    sqlite3_value_free(cur->value);
    sqlite3_free(cur);
    return SQLITE_OK;
}

int paramFilter(sqlite3_vtab_cursor* base, int idxNum, const char*, int argc,
                sqlite3_value** argv) {
    auto* cur = reinterpret_cast<ParamCursor*>(base);
    sqlite3_value_free(cur->value);
    cur->value = nullptr;
    if (idxNum == 1 && argc >= 1) {
        cur->value = sqlite3_value_dup(argv[0]);
        if (!cur->value)
            return SQLITE_NOMEM;
    }
    cur->eof = false;
    return SQLITE_OK;
}

int paramNext(sqlite3_vtab_cursor* base) {
    reinterpret_cast<ParamCursor*>(base)->eof = true;
    return SQLITE_OK;
}

int paramEof(sqlite3_vtab_cursor* base) {
    return reinterpret_cast<ParamCursor*>(base)->eof ? 1 : 0;
}

int paramColumn(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int) {
    auto* cur = reinterpret_cast<ParamCursor*>(base);
    if (cur->value)
        sqlite3_result_value(ctx, cur->value);
    else
        sqlite3_result_null(ctx);
    return SQLITE_OK;
}

int paramRowid(sqlite3_vtab_cursor*, sqlite3_int64* rowid) {
    *rowid = 1;
    return SQLITE_OK;
}

sqlite3_module makeParamModule() {
    sqlite3_module m;
    std::memset(&m, 0, sizeof(m));
    m.iVersion = 0;
    m.xCreate = nullptr; // eponymous only: PARAM(...) in a FROM list, no CREATE VIRTUAL TABLE
    m.xConnect = paramConnect;
    m.xBestIndex = paramBestIndex;
    m.xDisconnect = paramDisconnect;
    m.xDestroy = paramDisconnect;
    m.xOpen = paramOpen;
    m.xClose = paramClose;
    m.xFilter = paramFilter;
    m.xNext = paramNext;
    m.xEof = paramEof;
    m.xColumn = paramColumn;
    m.xRowid = paramRowid;
    return m;
}

const sqlite3_module paramModule = makeParamModule();

} // namespace

bool registerSqliteFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    bool ok = sqlite3_create_function_v2(db, "NVLSTR", 2, flags, nullptr, nvlstrFunc, nullptr,
                                         nullptr, nullptr) == SQLITE_OK;
    // NVL as well: some of the routine's default-dialect texts are written with it.
    ok = ok && sqlite3_create_function_v2(db, "NVL", 2, flags, nullptr, nvlstrFunc, nullptr,
                                          nullptr, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_create_function_v2(db, "INSTR", 2, flags, nullptr, instrFunc, nullptr,
                                          nullptr, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_create_module(db, "PARAM", &paramModule, nullptr) == SQLITE_OK;
    return ok;
}

} // namespace sup::sql
