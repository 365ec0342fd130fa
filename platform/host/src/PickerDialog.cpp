#include "sup/host/Dialogs.h"

#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"

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
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <vector>

namespace sup::host {

using sup::data::FieldType;
using sup::data::TWorkingSet;

namespace {

// Letter case and accents removed: "São" and "sao" match.
QString fold(const QString& text) {
    const QString d = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(d.size());
    for (QChar c : d)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out.toCaseFolded();
}

} // namespace

class PickerDialog::Model : public QAbstractTableModel {
public:
    Model(TWorkingSet* set, bool multiple, QObject* parent)
        : QAbstractTableModel(parent)
        , set_(set)
        , multiple_(multiple) {
        for (int i = 0; i < set->fieldCount(); ++i)
            if (set->field(i)->def().visible)
                fields_.push_back(i);
        if (fields_.empty()) // a set without visible fields still shows something to choose
            for (int i = 0; i < set->fieldCount(); ++i)
                fields_.push_back(i);
        marks_.assign(std::size_t(set->recordCount()), 0);
    }

    int dataColumn() const { return multiple_ ? 1 : 0; }
    int fieldOfColumn(int column) const {
        const int c = column - dataColumn();
        return c >= 0 && c < int(fields_.size()) ? fields_[std::size_t(c)] : -1;
    }
    int fieldColumns() const { return int(fields_.size()); }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(marks_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(fields_.size()) + dataColumn();
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        const int row = index.row();
        if (multiple_ && index.column() == 0) {
            if (role == Qt::CheckStateRole)
                return marks_[std::size_t(row)] ? Qt::Checked : Qt::Unchecked;
            if (role == Qt::UserRole)
                return int(marks_[std::size_t(row)]);
            return {};
        }
        const int f = fieldOfColumn(index.column());
        if (f < 0)
            return {};
        try {
            switch (role) {
            case Qt::DisplayRole:
                return set_->textAt(row, f, true);
            case Qt::UserRole:
                return set_->valueAt(row, f);
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
        setMarked(index.row(), value.toInt() == Qt::Checked);
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

    const QString& folded(int row, int column) const {
        if (folded_.empty())
            folded_.resize(marks_.size() * fields_.size());
        const int c = column - dataColumn();
        QString& cell = folded_[std::size_t(row) * fields_.size() + std::size_t(c)];
        if (cell.isNull()) {
            cell = fold(set_->textAt(row, fields_[std::size_t(c)], true));
            if (cell.isNull())
                cell = QLatin1String("");
        }
        return cell;
    }

    bool marked(int row) const { return marks_[std::size_t(row)] != 0; }
    void setMarked(int row, bool on) {
        if (marked(row) == on)
            return;
        marks_[std::size_t(row)] = on ? 1 : 0;
        const QModelIndex i = index(row, 0);
        emit dataChanged(i, i, {Qt::CheckStateRole});
    }
    void markRows(const QStringList& keys, int keyField) {
        if (keyField < 0 || keys.isEmpty())
            return;
        for (int r = 0; r < rowCount(); ++r) {
            QString v = set_->valueAt(r, keyField).toString();
            while (v.endsWith(QLatin1Char(' ')))
                v.chop(1);
            if (keys.contains(v, Qt::CaseInsensitive))
                marks_[std::size_t(r)] = 1;
        }
    }
    int markedCount() const {
        int n = 0;
        for (char m : marks_)
            n += m ? 1 : 0;
        return n;
    }
    TWorkingSet* set() const { return set_; }

private:
    TWorkingSet* set_;
    bool multiple_;
    std::vector<int> fields_;
    std::vector<char> marks_;
    mutable std::vector<QString> folded_;
};

class PickerDialog::Filter : public QSortFilterProxyModel {
public:
    explicit Filter(QObject* parent)
        : QSortFilterProxyModel(parent) {}

    void setSearch(const QString& text, bool anyColumn, int column) {
        needle_ = fold(text.trimmed());
        anyColumn_ = anyColumn;
        column_ = column;
        invalidateFilter();
    }
    const QString& needle() const { return needle_; }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override {
        if (needle_.isEmpty())
            return true;
        const auto* m = static_cast<const Model*>(sourceModel());
        if (anyColumn_) {
            for (int c = m->dataColumn(); c < m->columnCount(); ++c)
                if (m->folded(row, c).contains(needle_))
                    return true;
            return false;
        }
        return m->folded(row, column_).startsWith(needle_);
    }

private:
    QString needle_;
    bool anyColumn_ = false;
    int column_ = 0;
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
    filter_ = new Filter(this);
    filter_->setSourceModel(model_);
    filter_->setSortRole(Qt::UserRole);
    filter_->sort(-1);

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
    view_->setModel(filter_);
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
        if (chars <= 0)
            chars = def.type == FieldType::DateTime ? 10 : 12;
        chars = std::clamp(chars, 4, 50);
        const int w = std::max(fm.averageCharWidth() * chars + 14,
                               fm.horizontalAdvance(def.displayLabel()) + 20);
        view_->setColumnWidth(c, w);
        total += w;
    }

    auto* bottom = new QHBoxLayout;
    if (request.multiple) {
        markAll_ = new QCheckBox(QStringLiteral("Marcar &todos"), this);
        markAll_->setObjectName(QStringLiteral("chbMarcarTodos"));
        bottom->addWidget(markAll_);
        connect(markAll_, &QCheckBox::toggled, this, [this](bool on) {
            for (int r = 0; r < filter_->rowCount(); ++r)
                model_->setMarked(filter_->mapToSource(filter_->index(r, 0)).row(), on);
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
        const bool same = filter_->sortColumn() == section;
        const Qt::SortOrder order = same && filter_->sortOrder() == Qt::AscendingOrder
                                        ? Qt::DescendingOrder
                                        : Qt::AscendingOrder;
        filter_->sort(section, order);
        view_->horizontalHeader()->setSortIndicatorShown(true);
        view_->horizontalHeader()->setSortIndicator(section, order);
        applySearch();
    });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] { updateCount(); });
    search_->installEventFilter(this);
    view_->installEventFilter(this);

    // Start on the set's current record.
    const int start = set->currentPosition();
    const QModelIndex first =
        filter_->mapFromSource(model_->index(start >= 0 ? start : 0, model_->dataColumn()));
    view_->setCurrentIndex(first.isValid() ? first : filter_->index(0, model_->dataColumn()));
    updateCount();

    int maxWidth = 1200;
    if (QScreen* s = parent ? parent->screen() : QApplication::primaryScreen())
        maxWidth = int(s->availableGeometry().width() * 0.9);
    resize(std::clamp(total + 60, 420, maxWidth), 440);
    search_->setFocus();
}

PickerDialog::~PickerDialog() = default;

void PickerDialog::applySearch() {
    int column = model_->dataColumn();
    if (filter_->sortColumn() >= model_->dataColumn())
        column = filter_->sortColumn();
    filter_->setSearch(search_->text(), request_.anyColumn, column);
    if (filter_->rowCount() > 0 &&
        (!view_->currentIndex().isValid() || !view_->selectionModel()->hasSelection()))
        view_->setCurrentIndex(filter_->index(0, model_->dataColumn()));
    else if (filter_->rowCount() > 0)
        view_->selectRow(view_->currentIndex().row());
    updateCount();
}

void PickerDialog::acceptCurrent() {
    if (!request_.searchAsYouType && fold(search_->text().trimmed()) != filter_->needle()) {
        applySearch();
        return;
    }
    if (request_.multiple) {
        // Confirmed with nothing marked: the highlighted row is the choice.
        const QModelIndex highlighted = view_->currentIndex();
        if (model_->markedCount() == 0 && highlighted.isValid())
            model_->setMarked(filter_->mapToSource(highlighted).row(), true);
        accept();
        return;
    }
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid() || filter_->rowCount() == 0) {
        QApplication::beep();
        return;
    }
    chosen_ = filter_->mapToSource(current).row();
    accept();
}

void PickerDialog::toggleCurrent() {
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid())
        return;
    const int row = filter_->mapToSource(current).row();
    model_->setMarked(row, !model_->marked(row));
    updateCount();
}

int PickerDialog::visibleRows() const {
    return filter_->rowCount();
}
int PickerDialog::markedCount() const {
    return model_->markedCount();
}

void PickerDialog::updateCount() {
    const int shown = filter_->rowCount();
    const int all = model_->rowCount();
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
    for (int row = 0; row < model_->rowCount(); ++row)
        if (model_->marked(row) && key)
            r.keys << set->valueAt(row, key->index()).toString();
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
