#include "sup/widgetkit/DBGrid.h"

#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/data/WorkingSetModel.h"
#include "sup/widgetkit/Controls.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QToolButton>

namespace sup::host {

using sup::data::DataSetState;
using sup::data::FieldType;
using sup::data::TField;
using sup::data::TWorkingSet;

namespace {

// Titles, fonts and per-column editability over the working-set model; the row indicator.
class GridProxy : public QIdentityProxyModel {
public:
    explicit GridProxy(TDBGrid* grid)
        : QIdentityProxyModel(grid)
        , grid_(grid) {}

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && section >= 0 && section < grid_->columns().size()) {
            const TDBGrid::Column& c = grid_->columns().at(section);
            if (role == Qt::DisplayRole && !c.title.isEmpty())
                return c.title;
            if (role == Qt::FontRole && c.titleFontSet)
                return c.titleFont;
        }
        if (orientation == Qt::Vertical) {
            if (role == Qt::DisplayRole) {
                const TWorkingSet* set = grid_->dataSet();
                if (!set || set->currentPosition() != section)
                    return QString();
                const bool editing =
                    set->state() == DataSetState::Edit || set->state() == DataSetState::Insert;
                return editing ? QStringLiteral("✎") : QStringLiteral("▶");
            }
            if (role == Qt::TextAlignmentRole)
                return int(Qt::AlignCenter);
        }
        return QIdentityProxyModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = QIdentityProxyModel::flags(index);
        if (grid_->columnEditable(index.column()))
            f |= Qt::ItemIsEditable;
        else
            f &= ~Qt::ItemIsEditable;
        return f;
    }

    void rowIndicatorChanged(int first, int last) {
        if (first < 0 && last < 0)
            return;
        const int a = first < 0 ? last : (last < 0 ? first : std::min(first, last));
        const int b = std::max(first, last);
        if (rowCount() > 0)
            emit headerDataChanged(Qt::Vertical, std::max(0, a), std::min(b, rowCount() - 1));
    }

private:
    TDBGrid* grid_;
};

// The cell editor of a column with an ellipsis button.
class EllipsisEditor : public QWidget {
public:
    EllipsisEditor(QLineEdit* edit, TDBGrid* grid, QWidget* parent)
        : QWidget(parent)
        , edit_(edit) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        edit->setParent(this);
        layout->addWidget(edit, 1);
        auto* button = new QToolButton(this);
        button->setText(QStringLiteral("…"));
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(QStringLiteral("Pesquisar (Ctrl+Enter)"));
        layout->addWidget(button);
        setFocusProxy(edit);
        QObject::connect(button, &QToolButton::clicked, grid, [grid] { grid->runEditButton(); });
    }
    QLineEdit* edit() const { return edit_; }

private:
    QLineEdit* edit_;
};

QLineEdit* lineEditOf(QWidget* editor) {
    if (auto* e = dynamic_cast<EllipsisEditor*>(editor))
        return e->edit();
    return qobject_cast<QLineEdit*>(editor);
}

class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TDBGrid* grid)
        : QStyledItemDelegate(grid)
        , grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        const TField* field = fieldOf(index.column());
        QLineEdit* edit = nullptr;
        if (field && !field->def().editMask.isEmpty()) {
            auto* masked = new TMaskEdit(parent);
            masked->setEditMask(field->def().editMask);
            edit = masked;
        } else {
            edit = new QLineEdit(parent);
        }
        if (field && field->dataType() == FieldType::Text && field->size() > 0 &&
            field->def().editMask.isEmpty())
            edit->setMaxLength(field->size());
        if (field &&
            (field->dataType() == FieldType::Double || field->dataType() == FieldType::Integer))
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->setFrame(false);
        edit->installEventFilter(grid_);
        QWidget* editor = edit;
        if (grid_->columnHasEllipsis(index.column()))
            editor = new EllipsisEditor(edit, grid_, parent);
        grid_->noteEditor(editor);
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        QLineEdit* edit = lineEditOf(editor);
        const TField* field = fieldOf(index.column());
        if (!edit || !field)
            return;
        const QString text = field->editText();
        if (auto* masked = qobject_cast<TMaskEdit*>(edit))
            masked->SetText(text);
        else
            edit->setText(text);
        edit->selectAll();
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        QLineEdit* edit = lineEditOf(editor);
        if (!edit)
            return;
        const QString text =
            qobject_cast<TMaskEdit*>(edit) ? static_cast<TMaskEdit*>(edit)->Text() : edit->text();
        Guarded([&] { grid_->writeCell(index.column(), text); });
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        bool drawn = false;
        if (grid_->OnDrawColumnCell) {
            QStyleOptionViewItem opt = option;
            initStyleOption(&opt, index);
            painter->save();
            Guarded(
                [&] { drawn = grid_->OnDrawColumnCell(*grid_, *painter, opt, index.column()); });
            painter->restore();
        }
        if (!drawn)
            QStyledItemDelegate::paint(painter, option, index);
        if (grid_->columnHasEllipsis(index.column()) && grid_->currentIndex() == index &&
            !grid_->editorOpen()) {
            QStyleOptionButton button;
            button.rect = grid_->ellipsisRect(option.rect);
            button.text = QStringLiteral("…");
            button.state = QStyle::State_Enabled | QStyle::State_Raised;
            grid_->style()->drawControl(QStyle::CE_PushButton, &button, painter, grid_);
        }
    }

private:
    TField* fieldOf(int column) const {
        TWorkingSet* set = grid_->dataSet();
        if (!set || !grid_->dataModel())
            return nullptr;
        const int f = grid_->dataModel()->fieldIndexOfColumn(column);
        return f >= 0 && f < set->fieldCount() ? set->field(f) : nullptr;
    }

    TDBGrid* grid_;
};

double parseNumber(const QString& text, bool* ok) {
    static const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    const QString t = text.trimmed();
    double v = br.toDouble(t, ok);
    if (!*ok)
        v = QLocale::c().toDouble(t, ok);
    return v;
}

} // namespace

TDBGrid::TDBGrid(QWidget* parent, const QString& name)
    : QTableView(parent) {
    setObjectName(name);
    model_ = new sup::data::WorkingSetModel(this);
    auto* proxy = new GridProxy(this);
    proxy->setSourceModel(model_);
    setModel(proxy);
    setItemDelegate(new GridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    setTabKeyNavigation(true);
    setAlternatingRowColors(false);
    setWordWrap(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionsMovable(true);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                // The user's own width is the column's new base.
                if (!stretching_ && stretchBase_.contains(column))
                    stretchBase_[column] = size;
            });
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("▶▶")) + 4);
    verticalHeader()->setSectionsClickable(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (OnTitleClick)
            Guarded([&] { OnTitleClick(*this, section); });
    });
    // A reset of the rows (a load, a marking pass) keeps the column the user is in and the
    // columns as the user left them.
    connect(proxy, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        lastColumn_ = currentIndex().column();
        savedHeader_ = horizontalHeader()->saveState();
        savedSections_ = horizontalHeader()->count();
    });
    connect(proxy, &QAbstractItemModel::modelReset, this, [this] { syncFromSet(); });
}

TDBGrid::~TDBGrid() {
    for (const auto& c : setConns_)
        disconnect(c);
}

TWorkingSet* TDBGrid::dataSet() const {
    return source_ ? source_->dataSet() : nullptr;
}

void TDBGrid::setDataSource(sup::data::TDataSource* source) {
    if (source_)
        disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    if (source_)
        connect(source_, &sup::data::TDataSource::dataSetChanged, this, [this] { bindSet(); });
    bindSet();
}

void TDBGrid::bindSet() {
    for (const auto& c : setConns_)
        disconnect(c);
    setConns_.clear();
    TWorkingSet* set = dataSet();
    model_->setDataSet(set);
    if (set) {
        auto* proxy = static_cast<GridProxy*>(model());
        setConns_ << connect(set, &TWorkingSet::currentChanged, this, [this, proxy](int position) {
            const int before = currentIndex().row();
            if (!syncing_ && position >= 0 && position != before) {
                syncing_ = true;
                const int col = std::max(0, currentIndex().column());
                setCurrentIndex(model()->index(position, col));
                syncing_ = false;
            }
            proxy->rowIndicatorChanged(before, position);
        });
        setConns_ << connect(set, &TWorkingSet::stateChanged, this, [this, proxy] {
            const int row = dataSet() ? dataSet()->currentPosition() : -1;
            proxy->rowIndicatorChanged(row, row);
            viewport()->update();
        });
    }
    rebuildColumns();
}

void TDBGrid::syncFromSet() {
    TWorkingSet* set = dataSet();
    if (!set)
        return;
    const int pos = set->currentPosition();
    if (pos < 0 || pos >= model()->rowCount())
        return;
    syncing_ = true;
    int col = currentIndex().column();
    if (col < 0)
        col = std::max(0, lastColumn_);
    setCurrentIndex(model()->index(pos, col < model()->columnCount() ? col : 0));
    syncing_ = false;
    if (!savedHeader_.isEmpty() && savedSections_ == model()->columnCount() &&
        horizontalHeader()->restoreState(savedHeader_)) {
        savedHeader_.clear();
        return;
    }
    savedHeader_.clear();
    applyColumns();
}

void TDBGrid::setColumns(const QList<Column>& columns) {
    columns_ = columns;
    rebuildColumns();
}

void TDBGrid::rebuildColumns() {
    QStringList names;
    for (const Column& c : columns_)
        names << c.fieldName;
    model_->setColumns(names);
    applyColumns();
}

void TDBGrid::applyColumns() {
    TWorkingSet* set = dataSet();
    const QFontMetrics fm(font());
    const int count = model()->columnCount();
    for (int i = 0; i < count; ++i) {
        int width = 0;
        bool visible = true;
        if (i < columns_.size()) {
            width = columns_.at(i).width;
            visible = columns_.at(i).visible;
        }
        if (width <= 0 && set) {
            const int f = model_->fieldIndexOfColumn(i);
            if (f >= 0 && f < set->fieldCount()) {
                const auto& def = set->field(f)->def();
                int chars = def.displayWidth > 0 ? def.displayWidth : def.size;
                if (chars <= 0)
                    chars = def.type == FieldType::DateTime ? 10 : 12;
                chars = std::clamp(chars, 2, 60);
                const int title = fm.horizontalAdvance(set->field(f)->displayLabel()) + 12;
                width = std::max(fm.averageCharWidth() * chars + 10, title);
            }
        }
        if (width > 0)
            setColumnWidth(i, width);
        setColumnHidden(i, !visible);
    }
    setStretchFields(stretchFields_);
}

int TDBGrid::columnCountShown() const {
    return model() ? model()->columnCount() : 0;
}

int TDBGrid::columnIndexOfField(QStringView fieldName) const {
    if (!columns_.isEmpty()) {
        for (int i = 0; i < columns_.size(); ++i)
            if (QStringView(columns_.at(i).fieldName).compare(fieldName, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }
    return model_->columnOfField(fieldName);
}

void TDBGrid::setColumnVisible(int index, bool visible) {
    if (index >= 0 && index < columns_.size())
        columns_[index].visible = visible;
    setColumnHidden(index, !visible);
}

bool TDBGrid::isColumnVisible(int index) const {
    if (index >= 0 && index < columns_.size())
        return columns_.at(index).visible;
    return !isColumnHidden(index);
}

void TDBGrid::setButtonStyle(int index, ButtonStyle style) {
    if (index < 0 || index >= columns_.size())
        return;
    if (columns_[index].buttonStyle == style)
        return;
    columns_[index].buttonStyle = style;
    viewport()->update();
}

int TDBGrid::SelectedIndex() const {
    if (exitingColumn_ >= 0)
        return exitingColumn_;
    const QModelIndex current = currentIndex();
    if (current.isValid())
        return current.column();
    for (int i = 0; i < columnCountShown(); ++i)
        if (!isColumnHidden(i))
            return i;
    return -1;
}

void TDBGrid::setSelectedIndex(int index) {
    if (index < 0 || index >= columnCountShown())
        return;
    if (postingRow_) { // the row being left is kept: the column applies to it
        requestedColumn_ = index;
        return;
    }
    const int row = std::max(0, currentIndex().row());
    syncing_ = true;
    if (model()->rowCount() > 0)
        setCurrentIndex(model()->index(row, index));
    syncing_ = false;
}

QString TDBGrid::SelectedField() const {
    const int col = SelectedIndex();
    if (col < 0)
        return {};
    if (col < columns_.size())
        return columns_.at(col).fieldName;
    const TWorkingSet* set = dataSet();
    const int f = model_->fieldIndexOfColumn(col);
    return set && f >= 0 && f < set->fieldCount() ? set->field(f)->fieldName() : QString();
}

TField* TDBGrid::selectedFieldObject() const {
    const TWorkingSet* set = dataSet();
    const QString name = SelectedField();
    return set && !name.isEmpty() ? set->findField(name) : nullptr;
}

void TDBGrid::setSelectedField(QStringView fieldName) {
    setSelectedIndex(columnIndexOfField(fieldName));
}

void TDBGrid::setRowSelect(bool on) {
    setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

void TDBGrid::setEditing(bool on) {
    if (editing_ == on)
        return;
    if (!on)
        commitEditor();
    editing_ = on;
    viewport()->update();
}

bool TDBGrid::editorOpen() const {
    return state() == QAbstractItemView::EditingState;
}

void TDBGrid::commitEditor() {
    if (!editorOpen() || !editor_)
        return;
    QWidget* editor = editor_;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TDBGrid::cancelEditor() {
    if (!editorOpen() || !editor_)
        return;
    closeEditor(editor_, QAbstractItemDelegate::RevertModelCache);
}

bool TDBGrid::columnHasEllipsis(int column) const {
    return column >= 0 && column < columns_.size() &&
           columns_.at(column).buttonStyle == ButtonStyle::Ellipsis;
}

bool TDBGrid::columnEditable(int column) const {
    if (!editing_ || column < 0)
        return false;
    if (column < columns_.size() && columns_.at(column).readOnly)
        return false;
    const TWorkingSet* set = dataSet();
    if (!set || !set->active() || set->isEmpty())
        return false;
    const int f = model_->fieldIndexOfColumn(column);
    if (f < 0 || f >= set->fieldCount())
        return false;
    return !set->field(f)->def().readOnly;
}

QRect TDBGrid::ellipsisRect(const QRect& cell) const {
    const int w = std::min(cell.height() + 2, cell.width() / 2);
    return QRect(cell.right() - w + 1, cell.top(), w, cell.height());
}

void TDBGrid::runEditButton() {
    if (OnEditButtonClick)
        Guarded([this] { OnEditButtonClick(*this); });
}

void TDBGrid::writeCell(int column, const QString& text) {
    TWorkingSet* set = dataSet();
    if (!set)
        return;
    const int f = model_->fieldIndexOfColumn(column);
    if (f < 0 || f >= set->fieldCount())
        return;
    TField* field = set->field(f);
    if (field->editText() == text)
        return;
    if (set->state() == DataSetState::Browse)
        set->edit();
    const QString t = text.trimmed();
    if (t.isEmpty() && field->dataType() != FieldType::Text) {
        field->clear();
        return;
    }
    switch (field->dataType()) {
    case FieldType::Text:
        field->setAsString(text);
        break;
    case FieldType::Double: {
        bool ok = false;
        const double v = parseNumber(t, &ok);
        if (!ok)
            throw EHostError(QStringLiteral("\"%1\" não é um número válido.").arg(t));
        field->setAsFloat(v);
        break;
    }
    case FieldType::Integer: {
        bool ok = false;
        const double v = parseNumber(t, &ok);
        if (!ok || v != double(qint64(v)))
            throw EHostError(QStringLiteral("\"%1\" não é um número inteiro válido.").arg(t));
        field->setAsInteger(qint64(v));
        break;
    }
    case FieldType::DateTime: {
        QDateTime dt = QDateTime::fromString(t, QStringLiteral("dd/MM/yyyy HH:mm"));
        if (!dt.isValid()) {
            const QDate d = QDate::fromString(t, QStringLiteral("dd/MM/yyyy"));
            if (d.isValid())
                dt = d.startOfDay();
        }
        if (!dt.isValid())
            throw EHostError(QStringLiteral("\"%1\" não é uma data válida.").arg(t));
        field->setAsDateTime(dt);
        break;
    }
    case FieldType::Boolean:
        field->setAsBoolean(t.compare(QLatin1String("S"), Qt::CaseInsensitive) == 0 ||
                            t.compare(QLatin1String("Sim"), Qt::CaseInsensitive) == 0 ||
                            t == QLatin1String("1"));
        break;
    }
}

bool TDBGrid::runKeyDown(int& key, Qt::KeyboardModifiers modifiers) {
    if (OnKeyDown)
        Guarded([&] { OnKeyDown(*this, key, modifiers); });
    return key != 0;
}

bool TDBGrid::runKeyPress(QChar& ch) {
    if (OnKeyPress)
        Guarded([&] { OnKeyPress(*this, ch); });
    return !ch.isNull();
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (syncing_ || !previous.isValid() || !current.isValid())
        return;
    TWorkingSet* set = dataSet();
    // Back to `cell`: now, and again once the key or click that moved away has finished, since
    // the view selects the cell it moved to after this returns.
    auto backTo = [this](const QModelIndex& cell) {
        syncing_ = true;
        setCurrentIndex(cell);
        syncing_ = false;
        QMetaObject::invokeMethod(
            this,
            [this, target = QPersistentModelIndex(cell)] {
                if (!target.isValid())
                    return;
                syncing_ = true;
                setCurrentIndex(target);
                selectionModel()->select(target, QItemSelectionModel::ClearAndSelect);
                syncing_ = false;
            },
            Qt::QueuedConnection);
    };
    auto revert = [&] {
        backTo(previous);
    };
    const bool columnChanged = current.column() != previous.column();
    const bool rowChanged = current.row() != previous.row();
    if (columnChanged && OnColExit) {
        exitingColumn_ = previous.column();
        const bool ok = Guarded([this] { OnColExit(*this); });
        exitingColumn_ = -1;
        if (!ok) {
            revert();
            return;
        }
    }
    if (rowChanged && set) {
        if (set->state() == DataSetState::Edit || set->state() == DataSetState::Insert) {
            // A refused post keeps the user on the row, in the column its rule chose.
            postingRow_ = true;
            requestedColumn_ = -1;
            const bool posted = Guarded([set] { set->post(); });
            postingRow_ = false;
            if (!posted) {
                backTo(model()->index(previous.row(), requestedColumn_ >= 0 ? requestedColumn_
                                                                            : previous.column()));
                return;
            }
        }
        if (set->currentPosition() != current.row()) {
            syncing_ = true;
            Guarded([&] { set->moveTo(current.row()); });
            syncing_ = false;
        }
    }
    if (columnChanged && OnColEnter)
        Guarded([this] { OnColEnter(*this); });
}

bool TDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger != QAbstractItemView::AllEditTriggers && !columnEditable(index.column()))
        return false;
    return QTableView::edit(index, trigger, event);
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    int key = event->key();
    if (!runKeyDown(key, event->modifiers()))
        return;
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        QChar ch = text.at(0);
        if (!runKeyPress(ch))
            return;
        if (ch != text.at(0)) {
            QKeyEvent changed(QEvent::KeyPress, event->key(), event->modifiers(), QString(ch));
            QTableView::keyPressEvent(&changed);
            return;
        }
    }
    TWorkingSet* set = dataSet();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ctrl && columnHasEllipsis(SelectedIndex())) {
            runEditButton();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (set && (set->state() == DataSetState::Edit || set->state() == DataSetState::Insert)) {
            Guarded([set] { set->cancel(); });
            return;
        }
        break;
    case Qt::Key_Insert:
        if (editing_ && set && set->active()) {
            Guarded([set] { set->insert(); });
            return;
        }
        break;
    case Qt::Key_Delete:
        if (ctrl && editing_ && set && set->active() && !set->isEmpty()) {
            Guarded([set] {
                if (MessageDlg(QStringLiteral("Excluir o registro?"), mtConfirmation, mbYesNo) ==
                    mrYes)
                    set->deleteRecord();
            });
            return;
        }
        break;
    case Qt::Key_Down:
        if (editing_ && set && set->active() && !ctrl &&
            currentIndex().row() == model()->rowCount() - 1 &&
            set->state() == DataSetState::Browse) {
            Guarded([set] { set->append(); });
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
        auto* ke = static_cast<QKeyEvent*>(event);
        int key = ke->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            (ke->modifiers() & Qt::ControlModifier) && columnHasEllipsis(SelectedIndex())) {
            runEditButton();
            return true;
        }
        if (!runKeyDown(key, ke->modifiers()))
            return true;
        const QString text = ke->text();
        if (!text.isEmpty() && text.at(0).isPrint()) {
            QChar ch = text.at(0);
            if (!runKeyPress(ch))
                return true;
            if (ch != text.at(0)) {
                QKeyEvent changed(QEvent::KeyPress, ke->key(), ke->modifiers(), QString(ch));
                QApplication::sendEvent(watched, &changed);
                return true;
            }
        }
    }
    return QTableView::eventFilter(watched, event);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index != currentIndex())
        setCurrentIndex(index);
    if (OnDblClick && index.isValid())
        Guarded([this] { OnDblClick(*this); });
    event->accept();
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index == currentIndex() && columnHasEllipsis(index.column()) &&
        ellipsisRect(visualRect(index)).contains(event->position().toPoint())) {
        runEditButton();
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

} // namespace sup::host
