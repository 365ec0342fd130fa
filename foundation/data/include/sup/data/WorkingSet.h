#pragma once

#include "sup/data/Column.h"
#include "sup/data/DataPacket.h"
#include "sup/data/Field.h"

#include <QByteArrayView>
#include <QObject>
#include <QVariant>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace sup::data {

class TWorkingSet;
class FilterExpression;
class KeyIndex;

enum class DataSetState : quint8 { Inactive, Browse, Edit, Insert };

// Raised for a misuse of a working set (no current record, unknown field, wrong state, a value
// that does not convert to the field's type). The message is Portuguese and names the set.
class DataSetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct LocateOptions {
    bool caseInsensitive = false;
    bool partialKey = false; // texts: the field starts with the value
};

// A field of a working set: its definition and access to its value in the current record.
//
// Value rules:
// - Texts are cut to the field's size; fixed texts are padded with blanks to the size (an empty
//   text stays empty). Comparisons made by the set (locate, filters, key indexes) ignore the
//   trailing blanks of fixed texts and treat a null text as an empty one.
// - Texts given for numbers and dates are read as a Brazilian user types them ("1.234,5",
//   "10,5", "31/12/2024 08:30"); "10.5" is also accepted. An empty text stores null.
// - asString gives numbers in the Brazilian form without grouping ("1234,5"), dates as
//   dd/MM/yyyy (plus HH:mm:ss when the time is not midnight), booleans as "S"/"N".
// - Date-times are naive wall-clock values; QDateTime results carry Qt::UTC so that no time-zone
//   rule shifts them. Use date() and time() to read them.
class TField {
public:
    TField(TWorkingSet* owner, int index, FieldDef def);

    const FieldDef& def() const { return def_; }
    int index() const { return index_; }
    const QString& fieldName() const { return def_.name; }
    FieldType dataType() const { return def_.type; }
    int size() const { return def_.size; }
    QString displayLabel() const { return def_.displayLabel(); }
    TWorkingSet* dataSet() const { return owner_; }

    // Presentation properties may change after creation (the screens set masks and widths).
    void setDisplayLabel(const QString& label) { def_.label = label; }
    void setDisplayFormat(const QString& format) { def_.displayFormat = format; }
    void setEditFormat(const QString& format) { def_.editFormat = format; }
    void setDisplayWidth(int width) { def_.displayWidth = width; }
    void setVisible(bool visible) { def_.visible = visible; }
    void setEditMask(const QString& mask) { def_.editMask = mask; }
    void setReadOnly(bool readOnly) { def_.readOnly = readOnly; }

    // Current record. Writes need the set in edit or insert state and a writable field; they
    // throw DataSetError otherwise, or when the value does not convert to the field's type.
    bool isNull() const;
    QVariant value() const;
    void setValue(const QVariant& value);
    QString asString() const;
    void setAsString(QStringView value);
    double asFloat() const;
    void setAsFloat(double value);
    qint64 asInteger() const;
    void setAsInteger(qint64 value);
    bool asBoolean() const;
    void setAsBoolean(bool value);
    QDateTime asDateTime() const; // invalid for null
    void setAsDateTime(const QDateTime& value);
    void clear(); // null

    // Allocation-free reads for passes over a set.
    QByteArrayView utf8() const;             // texts: the stored UTF-8 bytes (until next write)
    bool equalsText(QStringView text) const; // texts: equal, ignoring fixed padding

    // Display text of the current record: the get-text handler when set, else the display
    // format (Brazilian locale); `editText` uses the edit format.
    QString text() const;
    QString editText() const;

    // The value loaded into the set (before any pending change; null for an inserted record)
    // and the current value.
    QVariant oldValue() const;
    QVariant newValue() const { return value(); }
    // True when the current value differs from the loaded one (always for inserted records).
    bool isChanged() const;

    // Get-text handler: (field, displayText) -> the text to show. displayText is false when
    // the text is wanted for editing. It reads the record being shown through this field and
    // its siblings, like any other code.
    std::function<QString(const TField&, bool)> OnGetText;
    // Runs after each write of this field.
    std::function<void(TField&)> OnChange;

private:
    friend class TWorkingSet;
    void writeText(QStringView value);
    Column& col() const;   // this field's current column
    qsizetype row() const; // physical row of the current record
    TWorkingSet* owner_;
    int index_;
    FieldDef def_;
};

// An in-memory table: typed fields, records, a current record, a state (browse, edit, insert),
// a change log of posted but unsaved changes, a filter and an integer tag.
//
// Storage: one typed column per field holds the current values and one the loaded values. Right
// after a load both are the packet's own columns (shared, nothing copied); a column is copied
// the first time it is written. So load, data(), a snapshot copy, merge and cancel updates cost
// O(fields), not O(rows), whenever no row was inserted or deleted.
//
// Fields: with field definitions declared (setFieldDefs) the set keeps its TField objects, and
// their handlers and presentation, across loads; a packet is matched to them by name (extra
// packet fields are dropped, a missing one is an error). Without declared definitions the set
// takes the packet's fields, rebuilding its TField objects when they change.
//
// Change log: each posted edit, insert or delete counts one entry (a mark is a posted edit);
// an edit posted without any field written adds nothing. The loaded value of every field of
// every record stays available until mergeChangeLog or cancelUpdates.
//
// Hooks (BeforePost and friends) may throw to refuse an operation; the set then stays as it was
// before the call, except that a refused post stays in edit with the values written so far.
// A throwing After* hook does not undo its operation.
//
// Control notifications (the signals and OnStateChange) are not emitted while controls are
// disabled; the last enableControls emits one contentReset when anything was held back, plus
// stateChanged/OnStateChange when the state differs from the state at the first disable
// (listeners read the current record again on a reset).
// Event hooks (Before*, After*) always run.
class TWorkingSet : public QObject {
    Q_OBJECT
public:
    explicit TWorkingSet(QObject* parent = nullptr, const QString& name = {});
    ~TWorkingSet() override;

    // Structure.
    void setFieldDefs(const FieldDefs& defs); // only while closed; empty: take the packet's
    FieldDefs fieldDefs() const;
    int fieldCount() const;
    TField* field(int index) const;
    TField* fieldByName(QStringView name) const; // throws DataSetError for an unknown name
    TField* findField(QStringView name) const;   // nullptr for an unknown name
    int fieldIndex(QStringView name) const;      // -1 for an unknown name

    // Opening and closing.
    void createDataSet();                   // open empty from the field definitions
    void loadFromPacket(const DataPacket&); // replace content, clear the log, open
    DataPacket data() const;                // current content (posted changes included)
    void open();  // reopen the content kept since the last close (or an empty set)
    void close(); // drops an unposted edit; content is kept; the set becomes inactive
    bool active() const { return state_ != DataSetState::Inactive; }
    DataSetState state() const { return state_; }

    // Navigation over the visible (filtered, not deleted) records; positions are 0-based.
    // Moving while editing posts the edit first (or drops it when nothing was written).
    void first();
    void next();
    void prior();
    void last();
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    bool isEmpty() const { return recordCount() == 0; }
    int recordCount() const;
    int recNo() const { return pos_ + 1; } // 1-based; 0 when there is no current record
    void setRecNo(int recNo) { moveTo(recNo - 1); }
    int currentPosition() const { return pos_; } // -1 when none
    void moveTo(int position);                   // fires AfterScroll when the record changes
    // Moves to the first visible record whose fields in the ";"-separated list equal the
    // values (converted to each field's type); fires AfterScroll when found.
    bool locate(const QString& keyFields, const QVariantList& values, LocateOptions options = {});
    bool locate(const QString& keyField, const QVariant& value, LocateOptions options = {});

    // Editing the current record.
    void edit(); // on an empty set this inserts
    void post();
    void cancel(); // drops the unposted edit or insert
    void insert(); // a new record at the end; Insert state
    void append() { insert(); }
    void deleteRecord();
    bool modified() const;        // fields written since edit/insert
    RowKind updateStatus() const; // of the current record

    // Writes a text into a field of every visible record, as an edit, a write and a post of each
    // record would leave the set (values, change log, change count), in one pass: no edit or post
    // hook runs, and listeners hear one contentReset. For passes whose hooks would stand aside
    // anyway (the marking of every item). Browse state only; a filtered set, whose records could
    // leave the view, is refused (false) and is left to the record-by-record pass.
    bool setTextOfAll(int field, QStringView value);

    // Change log.
    int changeCount() const { return changeCount_; }
    // The changed records in set order, each with its kind, current and loaded values (a
    // deleted record carries its loaded values in both; an inserted one null loaded values).
    // A record edited back to all its loaded values is left out. A fresh identifier each call.
    DataPacket delta() const;
    void mergeChangeLog(); // current values become the loaded ones; deleted records go
    void cancelUpdates();  // every loaded value back; inserted records go

    // Filter.
    void setFilter(const QString& expression); // throws FilterError for bad syntax
    QString filter() const { return filterText_; }
    void setFiltered(bool on);
    bool filtered() const { return filtered_; }

    // Refresh suspension for passes over the set; nests.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disabledLevel_ > 0; }

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    QString name() const { return objectName(); }

    // Access by visible position, for grids and passes, with no state machine.
    QVariant valueAt(int position, int field) const;
    QVariant oldValueAt(int position, int field) const;
    QString textAt(int position, int field, bool displayText = true) const;
    bool isNullAt(int position, int field) const;
    RowKind updateStatusAt(int position) const;
    const Column& currentColumn(int field) const;
    const Column& loadedColumn(int field) const; // rows beyond its size were inserted
    qsizetype physicalRow(int position) const;

    // Events. Each receives the set.
    std::function<void(TWorkingSet&)> BeforeInsert, AfterInsert, BeforeDelete, AfterDelete,
        BeforeEdit, AfterEdit, BeforePost, AfterPost, AfterCancel, AfterScroll, AfterOpen,
        AfterClose, OnStateChange;

signals:
    void stateChanged(sup::data::DataSetState state);
    void recordChanged(int position, int field); // field -1: the whole record
    void currentChanged(int position);
    void contentReset(); // opened, closed, loaded, filtered, merged, cancelled, re-enabled
    void rowsAboutToBeInserted(int position);
    void rowsInserted(int position);
    void rowsAboutToBeRemoved(int position);
    void rowsRemoved(int position);

protected:
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    friend class TField;
    friend class KeyIndex;
    friend std::vector<int> countKeyMatches(const TWorkingSet&, const TWorkingSet&, const QString&,
                                            bool);
    struct Impl;

    [[noreturn]] void fail(const QString& message) const;
    void requireActive() const;
    void requireRecord() const;
    void beginWrite(int field);
    void endWrite(TField& field);
    void setState(DataSetState state);
    void checkBrowseMode();
    void setPosition(int position, bool fireScroll, bool forceScroll = false);
    void resetContent(bool scroll);
    void rebuildVisible();
    void removeFromView(int position);
    bool rowPassesFilter(qsizetype row) const;
    void notifyReset();
    void notifyRecord(int position, int field);
    void notifyCurrent();

    std::unique_ptr<Impl> d;
    mutable qsizetype curRow_ = -1; // physical row of the current (or shown) record
    DataSetState state_ = DataSetState::Inactive;
    int pos_ = -1;
    bool eof_ = true;
    bool bof_ = true;
    int changeCount_ = 0;
    int tag_ = 0;
    int disabledLevel_ = 0;
    bool filtered_ = false;
    QString filterText_;
};

} // namespace sup::data
