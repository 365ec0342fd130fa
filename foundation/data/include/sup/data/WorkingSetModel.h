#pragma once

#include "sup/data/WorkingSet.h"

#include <QAbstractTableModel>
#include <QPointer>

#include <exception>
#include <functional>

namespace sup::data {

// A Qt table model over a working set, without copying its rows: cells are read through the
// set by visible position. Columns are the set's visible fields, or the fields named with
// setColumns. Display text follows each field's display format in the Brazilian locale and its
// get-text handler; the edit role gives the edit text. Qt::UserRole gives the typed value.
//
// setData (edit role) moves to the record, edits, writes the field and posts; when the set
// refuses (a hook throws, the value does not convert) the error goes to OnEditError, the edit is
// cancelled and setData returns false.
//
// While the set's controls are disabled the set emits nothing, so the model stays quiet and
// resets once when they are enabled again.
class WorkingSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit WorkingSetModel(QObject* parent = nullptr);

    void setDataSet(TWorkingSet* set);
    TWorkingSet* dataSet() const { return set_; }
    void setColumns(const QStringList& fieldNames); // empty: the visible fields
    int fieldIndexOfColumn(int column) const;
    int columnOfField(QStringView fieldName) const; // -1 when not shown

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Called with the error when an edit made through setData is refused by the set.
    std::function<void(const std::exception&)> OnEditError;

private:
    void rebuildColumns();
    void reset();
    void onRecordChanged(int position, int field);
    QPointer<TWorkingSet> set_;
    QStringList requested_;
    std::vector<int> columns_;
    int rows_ = 0;
    std::vector<QMetaObject::Connection> conns_;
};

} // namespace sup::data
