#include "sup/host/Dialogs.h"

#include "sup/data/DataSource.h"
#include "sup/data/Format.h"
#include "sup/data/WorkingSet.h"
#include "sup/host/PickSearch.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <vector>

namespace sup::host {

using sup::data::FieldType;
using sup::data::TWorkingSet;

class PickerDialog::Model : public QAbstractTableModel {
public:
    Model(TWorkingSet* set, bool multiple, QObject* parent)
        : QAbstractTableModel(parent)
        , set_(set)
        , multiple_(multiple)
        , search_(*set, fieldList_) {
        marks_.assign(std::size_t(set->recordCount()), 0);
        search_.prepare();
    }

    static std::vector<int> visibleFields(const TWorkingSet& set) {
        std::vector<int> fields;
        for (int i = 0; i < set.fieldCount(); ++i)
            if (set.field(i)->def().visible)
                fields.push_back(i);
        if (fields.empty()) // a set without visible fields still shows something to choose
            for (int i = 0; i < set.fieldCount(); ++i)
                fields.push_back(i);
        return fields;
    }

    int dataColumn() const { return multiple_ ? 1 : 0; }
    int fieldOfColumn(int column) const {
        const int c = column - dataColumn();
        return c >= 0 && c < int(fieldList_.size()) ? fieldList_[std::size_t(c)] : -1;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : search_.rowCount();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(fieldList_.size()) + dataColumn();
    }
    int allRows() const { return int(marks_.size()); }
    int positionOf(int row) const { return search_.positionAt(row); }
    int rowOf(int position) const { return search_.rowOfPosition(position); }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= search_.rowCount())
            return {};
        const int position = search_.positionAt(index.row());
        if (multiple_ && index.column() == 0) {
            if (role == Qt::CheckStateRole)
                return marks_[std::size_t(position)] ? Qt::Checked : Qt::Unchecked;
            return {};
        }
        const int f = fieldOfColumn(index.column());
        if (f < 0)
            return {};
        try {
            switch (role) {
            case Qt::DisplayRole:
                return set_->textAt(position, f, true);
            case Qt::TextAlignmentRole: {
                const FieldType t = set_->field(f)->dataType();
                const bool number = t == FieldType::Double || t == FieldType::Integer;
                return int((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            }
            default:
                return {};
            }
        } catch (const std::exception&) {
            return {};
        }
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!multiple_ || index.column() != 0 || role != Qt::CheckStateRole)
            return false;
        setMarked(search_.positionAt(index.row()), value.toInt() == Qt::Checked);
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
        if (multiple_ && index.column() == 0)
            f |= Qt::ItemIsUserCheckable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal)
            return {};
        if (multiple_ && section == 0) {
            if (role == Qt::ToolTipRole)
                return QStringLiteral("Marcar (Espaço)");
            return {};
        }
        const int f = fieldOfColumn(section);
        if (f < 0 || role != Qt::DisplayRole)
            return {};
        return set_->field(f)->displayLabel();
    }

    // Sorting and searching replace the rows shown.
    void sortBy(int column, bool descending) {
        beginResetModel();
        search_.sortBy(column - dataColumn(), descending);
        endResetModel();
    }
    void search(const QString& text, bool anyColumn, int column) {
        beginResetModel();
        search_.search(text, anyColumn, column - dataColumn());
        endResetModel();
    }
    const QString& needle() const { return search_.needle(); }

    bool marked(int position) const { return marks_[std::size_t(position)] != 0; }
    void setMarked(int position, bool on) {
        if (marked(position) == on)
            return;
        marks_[std::size_t(position)] = on ? 1 : 0;
        markedCount_ += on ? 1 : -1;
        const int row = search_.rowOfPosition(position);
        if (row >= 0)
            emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
    }
    // Marks or unmarks every row shown, with one notification.
    void markShown(bool on) {
        for (int position : search_.shown()) {
            char& m = marks_[std::size_t(position)];
            markedCount_ += (on ? 1 : 0) - (m ? 1 : 0);
            m = on ? 1 : 0;
        }
        if (rowCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
    }
    void markRows(const QStringList& keys, int keyField) {
        if (keyField < 0 || keys.isEmpty())
            return;
        for (int r = 0; r < allRows(); ++r) {
            QString v = set_->valueAt(r, keyField).toString();
            while (v.endsWith(QLatin1Char(' ')))
                v.chop(1);
            if (keys.contains(v, Qt::CaseInsensitive) && !marks_[std::size_t(r)]) {
                marks_[std::size_t(r)] = 1;
                ++markedCount_;
            }
        }
    }
    int markedCount() const { return markedCount_; }
    TWorkingSet* set() const { return set_; }

private:
    TWorkingSet* set_;
    bool multiple_;
    std::vector<int> fieldList_ = visibleFields(*set_);
    PickSearch search_;
    std::vector<char> marks_;
    int markedCount_ = 0;
};

PickerDialog::PickerDialog(const PickRequest& request, QWidget* parent)
    : QDialog(parent)
    , request_(request) {
    setObjectName(QStringLiteral("frmPesquisa"));
    setWindowTitle(request.caption.trimmed().isEmpty() ? QStringLiteral("Pesquisa")
                                                       : request.caption);
    setWindowModality(Qt::ApplicationModal);
    TWorkingSet* set = request.source->dataSet();
    model_ = new Model(set, request.multiple, this);
    if (request.multiple)
        model_->markRows(request.marked, set->findField(request.keyField)
                                             ? set->findField(request.keyField)->index()
                                             : -1);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("&Pesquisar:"), this);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("edtPesquisa"));
    search_->setClearButtonEnabled(true);
    search_->setPlaceholderText(request.anyColumn ? QStringLiteral("parte de qualquer coluna")
                                                  : QStringLiteral("início da coluna ordenada"));
    label->setBuddy(search_);
    top->addWidget(label);
    top->addWidget(search_, 1);
    layout->addLayout(top);

    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("grdPesquisa"));
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->setAlternatingRowColors(true);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    view_->horizontalHeader()->setSectionsClickable(true);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(view_, 1);

    const QFontMetrics fm(font());
    int total = 0;
    if (request.multiple) {
        view_->setColumnWidth(0, 28);
        total += 28;
    }
    for (int c = model_->dataColumn(); c < model_->columnCount(); ++c) {
        const auto& def = set->field(model_->fieldOfColumn(c))->def();
        int chars = def.displayWidth > 0 ? def.displayWidth : def.size;
        if (def.type == FieldType::Text && !def.editMask.isEmpty() && def.size > 0)
            chars = int(sup::data::formatMasked(QString(def.size, u'0'), def.editMask).size());
        if (chars <= 0)
            chars = def.type == FieldType::DateTime ? 10 : 12;
        chars = std::clamp(chars, 4, 50);
        const int perChar = std::max(fm.averageCharWidth(), fm.horizontalAdvance(u'0'));
        const int w = std::max(perChar * chars + 14, fm.horizontalAdvance(def.displayLabel()) + 20);
        view_->setColumnWidth(c, w);
        total += w;
    }

    auto* bottom = new QHBoxLayout;
    if (request.multiple) {
        markAll_ = new QCheckBox(QStringLiteral("Marcar &todos"), this);
        markAll_->setObjectName(QStringLiteral("chbMarcarTodos"));
        bottom->addWidget(markAll_);
        connect(markAll_, &QCheckBox::toggled, this, [this](bool on) {
            model_->markShown(on);
            updateCount();
        });
    }
    count_ = new QLabel(this);
    bottom->addWidget(count_, 1);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("btnOK"));
    ok_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel->setObjectName(QStringLiteral("btnCancelar"));
    bottom->addWidget(ok_);
    bottom->addWidget(cancel);
    layout->addLayout(bottom);

    connect(ok_, &QPushButton::clicked, this, [this] { acceptCurrent(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(search_, &QLineEdit::textChanged, this, [this] {
        if (request_.searchAsYouType)
            applySearch();
    });
    connect(view_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (request_.multiple && index.column() == 0)
            return; // the check box itself took the click
        if (request_.multiple)
            toggleCurrent();
        else
            acceptCurrent();
    });
    connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (request_.multiple && section == 0)
            return;
        const bool same = sortSection_ == section;
        const Qt::SortOrder order =
            same && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        sortSection_ = section;
        sortOrder_ = order;
        const int position = currentPosition();
        {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            model_->sortBy(section, order == Qt::DescendingOrder);
            QApplication::restoreOverrideCursor();
        }
        view_->horizontalHeader()->setSortIndicatorShown(true);
        view_->horizontalHeader()->setSortIndicator(section, order);
        applySearch();
        showPosition(position);
    });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] { updateCount(); });
    search_->installEventFilter(this);
    view_->installEventFilter(this);

    // Start on the set's current record.
    showPosition(set->currentPosition());
    updateCount();

    int maxWidth = 1200;
    if (QScreen* s = parent ? parent->screen() : QApplication::primaryScreen())
        maxWidth = int(s->availableGeometry().width() * 0.9);
    resize(std::clamp(total + 60, 420, maxWidth), 440);
    search_->setFocus();
}

PickerDialog::~PickerDialog() = default;

int PickerDialog::currentPosition() const {
    const QModelIndex current = view_->currentIndex();
    return current.isValid() ? model_->positionOf(current.row()) : -1;
}

void PickerDialog::showPosition(int position) {
    if (model_->rowCount() == 0)
        return;
    const int row = position >= 0 ? model_->rowOf(position) : -1;
    const QModelIndex index = model_->index(row >= 0 ? row : 0, model_->dataColumn());
    view_->setCurrentIndex(index);
    view_->scrollTo(index);
}

void PickerDialog::applySearch() {
    const int position = currentPosition();
    const int column = sortSection_ >= model_->dataColumn() ? sortSection_ : model_->dataColumn();
    model_->search(search_->text(), request_.anyColumn, column);
    showPosition(position);
    updateCount();
}

void PickerDialog::acceptCurrent() {
    if (!request_.searchAsYouType && foldForSearch(search_->text().trimmed()) != model_->needle()) {
        applySearch();
        return;
    }
    if (request_.multiple) {
        // Confirmed with nothing marked: the highlighted row is the choice.
        const int highlighted = currentPosition();
        if (model_->markedCount() == 0 && highlighted >= 0)
            model_->setMarked(highlighted, true);
        accept();
        return;
    }
    const int position = currentPosition();
    if (position < 0 || model_->rowCount() == 0) {
        QApplication::beep();
        return;
    }
    chosen_ = position;
    accept();
}

void PickerDialog::toggleCurrent() {
    const int position = currentPosition();
    if (position < 0)
        return;
    model_->setMarked(position, !model_->marked(position));
    updateCount();
}

int PickerDialog::visibleRows() const {
    return model_->rowCount();
}
int PickerDialog::markedCount() const {
    return model_->markedCount();
}

void PickerDialog::updateCount() {
    const int shown = model_->rowCount();
    const int all = model_->allRows();
    QString text = shown == all ? QStringLiteral("%1 registro(s)").arg(all)
                                : QStringLiteral("%1 de %2 registro(s)").arg(shown).arg(all);
    if (shown == 0 && all > 0)
        text = QStringLiteral("Nenhum registro contém \"%1\" (%2 no total)")
                   .arg(search_->text().trimmed())
                   .arg(all);
    if (request_.multiple)
        text += QStringLiteral(" — %1 marcado(s)").arg(model_->markedCount());
    count_->setText(text);
}

PickResult PickerDialog::pickResult() const {
    PickResult r;
    r.chosen = result() == QDialog::Accepted;
    if (!r.chosen)
        return r;
    if (!request_.multiple) {
        r.position = chosen_;
        return r;
    }
    TWorkingSet* set = model_->set();
    const auto* key = set->findField(request_.keyField);
    for (int position = 0; key && position < model_->allRows(); ++position)
        if (model_->marked(position))
            r.keys << set->valueAt(position, key->index()).toString();
    return r;
}

bool PickerDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto* ke = static_cast<QKeyEvent*>(event);
    const int key = ke->key();
    const bool ctrl = ke->modifiers() & Qt::ControlModifier;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        acceptCurrent();
        return true;
    }
    if (watched == search_) {
        switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QApplication::sendEvent(view_, event);
            return true;
        case Qt::Key_Space:
            if (ctrl && request_.multiple) {
                toggleCurrent();
                return true;
            }
            break;
        default:
            break;
        }
        return false;
    }
    if (watched == view_) {
        if (key == Qt::Key_Space && request_.multiple) {
            toggleCurrent();
            return true;
        }
        const QString text = ke->text();
        if (!ctrl && !text.isEmpty() && text.at(0).isPrint()) {
            search_->setFocus();
            search_->insert(text);
            return true;
        }
        if (key == Qt::Key_Backspace) {
            search_->setFocus();
            search_->backspace();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace sup::host
