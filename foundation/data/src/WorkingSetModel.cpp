#include "sup/data/WorkingSetModel.h"

namespace sup::data {

WorkingSetModel::WorkingSetModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void WorkingSetModel::setDataSet(TWorkingSet* set) {
    for (const auto& c : conns_) {
        disconnect(c);
    }
    conns_.clear();
    beginResetModel();
    set_ = set;
    if (set) {
        conns_.push_back(connect(set, &TWorkingSet::contentReset, this, [this] { reset(); }));
        conns_.push_back(connect(set, &TWorkingSet::recordChanged, this,
                                 [this](int p, int f) { onRecordChanged(p, f); }));
        conns_.push_back(connect(set, &TWorkingSet::rowsAboutToBeInserted, this,
                                 [this](int p) { beginInsertRows({}, p, p); }));
        conns_.push_back(connect(set, &TWorkingSet::rowsInserted, this, [this] {
            ++rows_;
            endInsertRows();
        }));
        conns_.push_back(connect(set, &TWorkingSet::rowsAboutToBeRemoved, this,
                                 [this](int p) { beginRemoveRows({}, p, p); }));
        conns_.push_back(connect(set, &TWorkingSet::rowsRemoved, this, [this] {
            --rows_;
            endRemoveRows();
        }));
        conns_.push_back(connect(set, &QObject::destroyed, this, [this] { reset(); }));
    }
    rebuildColumns();
    rows_ = set ? set->recordCount() : 0;
    endResetModel();
}

void WorkingSetModel::reset() {
    beginResetModel();
    rebuildColumns();
    rows_ = set_ ? set_->recordCount() : 0;
    endResetModel();
}

void WorkingSetModel::setColumns(const QStringList& fieldNames) {
    beginResetModel();
    requested_ = fieldNames;
    rebuildColumns();
    endResetModel();
}

void WorkingSetModel::rebuildColumns() {
    columns_.clear();
    if (!set_) {
        return;
    }
    if (requested_.isEmpty()) {
        for (int i = 0; i < set_->fieldCount(); ++i) {
            if (set_->field(i)->def().visible) {
                columns_.push_back(i);
            }
        }
        return;
    }
    for (const QString& name : requested_) {
        const int i = set_->fieldIndex(name);
        if (i >= 0) {
            columns_.push_back(i);
        }
    }
}

int WorkingSetModel::fieldIndexOfColumn(int column) const {
    return column >= 0 && column < int(columns_.size()) ? columns_[std::size_t(column)] : -1;
}

int WorkingSetModel::columnOfField(QStringView fieldName) const {
    if (!set_) {
        return -1;
    }
    const int f = set_->fieldIndex(fieldName);
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (columns_[c] == f) {
            return int(c);
        }
    }
    return -1;
}

void WorkingSetModel::onRecordChanged(int position, int field) {
    if (position < 0 || position >= rows_ || columns_.empty()) {
        return;
    }
    if (field < 0) {
        emit dataChanged(index(position, 0), index(position, int(columns_.size()) - 1));
        return;
    }
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (columns_[c] == field) {
            emit dataChanged(index(position, int(c)), index(position, int(c)));
        }
    }
}

int WorkingSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int WorkingSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant WorkingSetModel::data(const QModelIndex& index, int role) const {
    if (!set_ || !index.isValid() || index.column() >= int(columns_.size())) {
        return {};
    }
    const int row = index.row();
    if (row >= set_->recordCount()) {
        return {}; // the set changed while its controls were disabled; a reset follows
    }
    const int field = columns_[std::size_t(index.column())];
    try {
        switch (role) {
        case Qt::DisplayRole:
            return set_->textAt(row, field, true);
        case Qt::EditRole:
            return set_->textAt(row, field, false);
        case Qt::UserRole:
            return set_->valueAt(row, field);
        case Qt::TextAlignmentRole: {
            const FieldType t = set_->field(field)->dataType();
            const bool number = t == FieldType::Double || t == FieldType::Integer;
            return QVariant::fromValue(
                Qt::Alignment((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
        }
        default:
            return {};
        }
    } catch (const std::exception&) {
        return {}; // a failing get-text handler must not cross the view's painting
    }
}

bool WorkingSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!set_ || role != Qt::EditRole || !index.isValid() ||
        index.column() >= int(columns_.size()) || index.row() >= set_->recordCount()) {
        return false;
    }
    const int field = columns_[std::size_t(index.column())];
    try {
        if (set_->currentPosition() != index.row()) {
            set_->moveTo(index.row());
        }
        set_->edit();
        set_->field(field)->setValue(value);
        set_->post();
        return true;
    } catch (const std::exception& e) {
        if (OnEditError) {
            OnEditError(e);
        }
        try {
            set_->cancel();
        } catch (const std::exception&) {
            // cancel only fails when the set is gone or closed; nothing to undo then
        }
        return false;
    }
}

QVariant WorkingSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Vertical) {
        return section + 1;
    }
    const int f = fieldIndexOfColumn(section);
    if (!set_ || f < 0) {
        return {};
    }
    return set_->field(f)->displayLabel();
}

Qt::ItemFlags WorkingSetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    const int field = fieldIndexOfColumn(index.column());
    if (set_ && set_->active() && field >= 0 && !set_->field(field)->def().readOnly) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

} // namespace sup::data
