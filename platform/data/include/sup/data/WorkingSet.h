#pragma once

#include "sup/data/Column.h"
#include "sup/data/DataPacket.h"
#include "sup/data/Field.h"

#include <QObject>
#include <QVariant>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace sup::data {

class TWorkingSet;
class FilterExpression;

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

    // Current record. Writes need the set in edit or insert state and a writable field.
    bool isNull() const;
    QVariant value() const;
    void setValue(const QVariant& value);
    QString asString() const;
    void setAsString(QStringView value); // texts are cut to the size, fixed texts padded
    double asFloat() const;
    void setAsFloat(double value);
    qint64 asInteger() const;
    void setAsInteger(qint64 value);
    bool asBoolean() const;
    void setAsBoolean(bool value);
    QDateTime asDateTime() const;
    void setAsDateTime(const QDateTime& value);
    void clear(); // null

    // Display text of the current record: the get-text handler when set, else the display
    // format (Brazilian locale); `editText` uses the edit format.
    QString text() const;
    QString editText() const;

    // The value loaded into the set (before any pending change; null for an inserted record)
    // and the current value.
    QVariant oldValue() const;
    QVariant newValue() const { return value(); }

    // Get-text handler: (field, displayText) -> the text to show. displayText is false when
    // the text is wanted for editing.
    std::function<QString(const TField&, bool)> OnGetText;

private:
    friend class TWorkingSet;
    TWorkingSet* owner_;
    int index_;
    FieldDef def_;
};

// An in-memory table: typed fields, records, a current record, a state (browse, edit, insert),
// a change log of posted but unsaved changes, a filter and an integer tag.
//
// The loaded values of every record are kept beside the current ones until the change log is
// merged or cancelled; `data()` exports the current content and loading that into another set
// gives a copy whose loaded values are this set's current values (a snapshot).
//
// Hooks (BeforePost and friends) may throw to refuse an operation; the set then stays as it was
// before the call, except that a refused post stays in edit with the values written so far.
class TWorkingSet : public QObject {
    Q_OBJECT
public:
    explicit TWorkingSet(QObject* parent = nullptr, const QString& name = {});
    ~TWorkingSet() override;

    // Structure.
    void setFieldDefs(const FieldDefs& defs); // only while closed
    FieldDefs fieldDefs() const;
    int fieldCount() const;
    TField* field(int index) const;
    TField* fieldByName(QStringView name) const; // throws DataSetError for an unknown name
    TField* findField(QStringView name) const;   // nullptr for an unknown name

    // Opening and closing.
    void createDataSet();                   // open empty from the field definitions
    void loadFromPacket(const DataPacket&); // replace fields and content, clear the log, open
    DataPacket data() const;                // current content (posted changes included)
    void open();  // reopen the content kept since the last close (or an empty set)
    void close(); // content is kept; the set becomes inactive
    bool active() const;
    DataSetState state() const { return state_; }

    // Navigation over the visible (filtered) records; positions are 0-based.
    void first();
    void next();
    void prior();
    void last();
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    bool isEmpty() const { return recordCount() == 0; }
    int recordCount() const;
    int recNo() const; // 1-based; 0 when there is no current record
    void setRecNo(int recNo);
    int currentPosition() const { return pos_; } // -1 when none
    void moveTo(int position);                   // fires AfterScroll when the record changes
    bool locate(const QString& keyFields, const QVariantList& values, LocateOptions options = {});
    bool locate(const QString& keyField, const QVariant& value, LocateOptions options = {});

    // Editing the current record.
    void edit();
    void post();
    void cancel();
    void insert(); // a new record at the end; Insert state
    void append() { insert(); }
    void deleteRecord();
    bool modified() const; // fields written since edit/insert
    RowKind updateStatus() const; // of the current record

    // Change log.
    int changeCount() const { return changeCount_; }
    DataPacket delta() const;
    void mergeChangeLog();
    void cancelUpdates();

    // Filter.
    void setFilter(const QString& expression); // throws FilterError for bad syntax
    QString filter() const { return filterText_; }
    void setFiltered(bool on);
    bool filtered() const { return filtered_; }

    // Refresh suspension for passes over the set; nests. While disabled no per-record signal
    // is emitted; enabling the last level emits one `contentReset`.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disabledLevel_ > 0; }

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    QString name() const { return objectName(); }

    // Access by visible position, for grids and passes, with no state machine.
    QVariant valueAt(int position, int field) const;
    QString textAt(int position, int field, bool displayText = true) const;
    bool isNullAt(int position, int field) const;
    const Column& currentColumn(int field) const;
    const Column& loadedColumn(int field) const;
    qsizetype physicalRow(int position) const;

    // Events. Each receives the set.
    std::function<void(TWorkingSet&)> BeforeInsert, BeforeDelete, BeforeEdit, BeforePost,
        AfterPost, AfterCancel, AfterScroll, AfterOpen, AfterClose, OnStateChange;

signals:
    void stateChanged(sup::data::DataSetState state);
    void recordChanged(int position, int field); // field -1: the whole record
    void currentChanged(int position);
    void contentReset(); // opened, closed, loaded, filtered, merged, cancelled, re-enabled
    void rowsInserted(int position);
    void rowsRemoved(int position);

private:
    friend class TField;
    struct Impl;
    std::unique_ptr<Impl> d;
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
