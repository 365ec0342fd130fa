#pragma once

#include "sup/data/DataSource.h"

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTableView>

#include <functional>

class QPainter;
class QStyleOptionViewItem;

namespace sup::data {
class TField;
class TWorkingSet;
class WorkingSetModel;
} // namespace sup::data

namespace sup::host {

// A data grid over the working set of a data source, row = record, column = field.
//
// - The grid's current row is the set's current record, both ways.
// - In-place editing (`setEditing`) writes into the current record: the first change puts the
//   set in edit, leaving the row posts it (a refused post keeps the user on the row), Esc with
//   no cell editor open cancels the edit. Read-only columns and read-only fields never edit.
// - Columns have a field, a title, a width, a read-only flag and a button style; a column with
//   an ellipsis button shows it in its current cell and in its cell editor; a click on it or
//   Ctrl+Enter runs OnEditButtonClick.
// - Events, each run through the guard: OnColEnter and OnColExit (SelectedField names the
//   column being left while OnColExit runs; a failure there keeps the user in the column),
//   OnTitleClick, OnDblClick, OnKeyDown (set the key to 0 to discard it; also for keys typed
//   in a cell editor), OnKeyPress (set the character to null to discard it; also in a cell
//   editor), OnDrawColumnCell (return true when the cell was drawn).
class TDBGrid : public QTableView {
    Q_OBJECT
public:
    enum class ButtonStyle { None, Ellipsis };
    struct Column {
        QString fieldName;
        QString title; // empty: the field's label
        int width = 0; // pixels; 0: from the field's display width
        bool readOnly = false;
        bool visible = true;
        ButtonStyle buttonStyle = ButtonStyle::None;
        QFont titleFont; // used when titleFontSet
        bool titleFontSet = false;
    };

    explicit TDBGrid(QWidget* parent = nullptr, const QString& name = {});
    ~TDBGrid() override;

    void setDataSource(sup::data::TDataSource* source);
    sup::data::TDataSource* DataSource() const { return source_; }
    sup::data::TWorkingSet* dataSet() const;
    sup::data::WorkingSetModel* dataModel() const { return model_; }

    // Columns. Without columns the grid shows the set's visible fields.
    void setColumns(const QList<Column>& columns);
    const QList<Column>& columns() const { return columns_; }
    int columnCountShown() const;
    Column& column(int index) { return columns_[index]; }
    int columnIndexOfField(QStringView fieldName) const; // -1 when not a column
    void setColumnVisible(int index, bool visible);
    bool isColumnVisible(int index) const;
    void setButtonStyle(int index, ButtonStyle style);
    void applyColumns(); // after changing columns through column()

    // The selected column and its field. Selecting a column from code runs neither OnColExit
    // nor OnColEnter.
    int SelectedIndex() const;
    void setSelectedIndex(int index);
    QString SelectedField() const;
    sup::data::TField* selectedFieldObject() const;
    void setSelectedField(QStringView fieldName);

    // Whole rows are selected (read-only lists) instead of one cell.
    void setRowSelect(bool on);

    // In-place editing of the grid as a whole (editable columns still follow their flags).
    void setEditing(bool on);
    bool Editing() const { return editing_; }
    // Writes an open cell editor's text into the record / drops it.
    void commitEditor();
    void cancelEditor();
    bool editorOpen() const;

    std::function<void(TDBGrid&)> OnColEnter;
    std::function<void(TDBGrid&)> OnColExit;
    std::function<void(TDBGrid&, int column)> OnTitleClick;
    std::function<void(TDBGrid&)> OnDblClick;
    std::function<void(TDBGrid&)> OnEditButtonClick;
    std::function<void(TDBGrid&, int& key, Qt::KeyboardModifiers modifiers)> OnKeyDown;
    std::function<void(TDBGrid&, QChar& key)> OnKeyPress;
    std::function<bool(TDBGrid&, QPainter&, const QStyleOptionViewItem&, int column)>
        OnDrawColumnCell;

    // Writes an edited text into a field of the current record (edit state on first change).
    void writeCell(int column, const QString& text);
    // Runs the key hooks as the keyboard does (used by cell editors and tests).
    bool runKeyDown(int& key, Qt::KeyboardModifiers modifiers);
    bool runKeyPress(QChar& ch);
    // Rect of the ellipsis button in a cell.
    QRect ellipsisRect(const QRect& cell) const;
    bool columnHasEllipsis(int column) const;
    bool columnEditable(int column) const;
    void runEditButton();
    void noteEditor(QWidget* editor) { editor_ = editor; } // the cell editor just created

    // The columns as the user left them (order and widths), keyed by field: "FIELD=visual,width"
    // joined by ";". applyLayout takes such a text back; unknown fields and bad entries are
    // skipped. Visibility is the screen's affair and is not kept.
    QString layoutText() const;
    void applyLayout(const QString& text);
    // Columns that take the room a wider grid gives, in proportion to their widths, and give it
    // back down to those widths when the grid narrows (the name columns).
    void setStretchFields(const QStringList& fields);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void stretchColumns();
    int baseWidth(int column) const;
    void bindSet();
    void syncFromSet();
    void rebuildColumns();

    QPointer<sup::data::TDataSource> source_;
    QPointer<QWidget> editor_;
    sup::data::WorkingSetModel* model_ = nullptr;
    QList<Column> columns_;
    QList<QMetaObject::Connection> setConns_;
    bool editing_ = false;
    bool syncing_ = false;
    int exitingColumn_ = -1;
    int lastColumn_ = -1;    // the current column before a reset of the rows
    QByteArray savedHeader_; // the columns' widths and order before it
    int savedSections_ = -1;
    bool postingRow_ = false;  // posting the row being left
    int requestedColumn_ = -1; // the column a rule chose meanwhile
    QStringList stretchFields_;
    QHash<int, int> stretchBase_; // column -> width before stretching
    bool stretching_ = false;
};

} // namespace sup::host
