#pragma once

// Inside of TWorkingSet, shared by its source files.

#include "sup/data/Filter.h"
#include "sup/data/WorkingSet.h"

#include <memory>
#include <vector>

namespace sup::data {

namespace detail {

// Per-record state; Dead is a record inserted and deleted again before any merge.
namespace RowState {
constexpr quint8 Unmodified = 0;
constexpr quint8 Modified = 1;
constexpr quint8 Inserted = 2;
constexpr quint8 Deleted = 3;
constexpr quint8 Dead = 4;
} // namespace RowState

inline RowKind rowKind(quint8 state) {
    switch (state) {
    case RowState::Modified:
        return RowKind::Modified;
    case RowState::Inserted:
        return RowKind::Inserted;
    case RowState::Deleted:
    case RowState::Dead:
        return RowKind::Deleted;
    default:
        return RowKind::Unmodified;
    }
}

} // namespace detail

struct TWorkingSet::Impl {
    std::vector<std::unique_ptr<TField>> fields;
    bool declared = false;   // fields fixed by setFieldDefs
    bool hasContent = false; // loaded or created (kept across close)
    quint64 layout = 0;      // changes whenever the fields are rebuilt

    // Current and loaded values, one column per field. Rows past loadedRows were inserted.
    std::vector<Column> cur;
    std::vector<Column> loaded;
    qsizetype rows = 0;
    qsizetype loadedRows = 0;
    std::vector<quint8> kinds; // detail::RowState per physical row
    qsizetype hidden = 0;      // deleted (or dead) rows still held

    // Visible records while filtered or while deleted rows are held: their physical rows.
    bool useVisible = false;
    std::vector<int> visible;
    std::unique_ptr<FilterExpression> filter;

    // Edit buffer: the current columns are written through; the first write of each field in
    // an edit keeps the cell's previous value here, so cancel can put it back.
    qsizetype editRow = -1;
    std::vector<Column> backup; // one row per field
    std::vector<quint8> touchedFlag;
    std::vector<int> touched;
    bool modified = false;
    int insertFrom = -1; // position before an insert, for its cancel

    // Whether the per-record signals have receivers: 1 yes, 0 no, -1 to be looked up.
    int currentListeners = -1;
    int recordListeners = -1;

    // Notifications held back while controls are disabled.
    bool held = false;
    DataSetState stateAtDisable = DataSetState::Inactive;

    qsizetype physical(int position) const {
        return useVisible ? qsizetype(visible[std::size_t(position)]) : qsizetype(position);
    }

    void buildFields(TWorkingSet* owner, const FieldDefs& defs);
    void emptyContent();
    void clearEdit();
    void restoreEdit(DataSetState state);
    void dropLastRow();
    std::vector<Column> postedColumns(DataSetState state) const;
};

} // namespace sup::data
