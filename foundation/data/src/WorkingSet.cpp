#include "sup/data/WorkingSet.h"

#include "Values.h"
#include "WorkingSetImpl.h"

#include "sup/data/Filter.h"
#include "sup/data/Format.h"

#include <QMetaMethod>

#include <algorithm>

namespace sup::data {

namespace RowState = detail::RowState;

TWorkingSet::TWorkingSet(QObject* parent, const QString& name)
    : QObject(parent)
    , d(std::make_unique<Impl>()) {
    setObjectName(name);
}

TWorkingSet::~TWorkingSet() = default;

// ---------------------------------------------------------------------------------------------
// Errors and notifications

void TWorkingSet::fail(const QString& message) const {
    const QString n = objectName().isEmpty() ? QStringLiteral("(sem nome)") : objectName();
    throw DataSetError(
        QStringLiteral("Conjunto de dados \"%1\": %2").arg(n, message).toStdString());
}

void TWorkingSet::requireActive() const {
    if (state_ == DataSetState::Inactive) {
        fail(QStringLiteral("operação não permitida com o conjunto fechado."));
    }
}

void TWorkingSet::requireRecord() const {
    requireActive();
    if (curRow_ < 0) {
        fail(QStringLiteral("não há registro corrente."));
    }
}

void TWorkingSet::setState(DataSetState state) {
    if (state == state_) {
        return;
    }
    state_ = state;
    if (disabledLevel_ > 0) {
        d->held = true;
        return;
    }
    emit stateChanged(state);
    if (OnStateChange) {
        OnStateChange(*this);
    }
}

void TWorkingSet::notifyReset() {
    if (disabledLevel_ > 0) {
        d->held = true;
        return;
    }
    emit contentReset();
}

void TWorkingSet::notifyRecord(int position, int field) {
    if (disabledLevel_ > 0) {
        d->held = true;
        return;
    }
    if (d->recordListeners < 0) {
        d->recordListeners =
            isSignalConnected(QMetaMethod::fromSignal(&TWorkingSet::recordChanged)) ? 1 : 0;
    }
    if (d->recordListeners > 0) {
        emit recordChanged(position, field);
    }
}

void TWorkingSet::notifyCurrent() {
    if (disabledLevel_ > 0) {
        d->held = true;
        return;
    }
    if (d->currentListeners < 0) {
        d->currentListeners =
            isSignalConnected(QMetaMethod::fromSignal(&TWorkingSet::currentChanged)) ? 1 : 0;
    }
    if (d->currentListeners > 0) {
        emit currentChanged(pos_);
    }
}

// Passes emit these two per record; knowing whether anyone listens spares the emission. The
// answer is looked up again after any connection change.
void TWorkingSet::connectNotify(const QMetaMethod&) {
    d->currentListeners = d->recordListeners = -1;
}

void TWorkingSet::disconnectNotify(const QMetaMethod&) {
    d->currentListeners = d->recordListeners = -1;
}

// Takes the record at visible position `at` out of the view, telling the grids, and moves to
// the record that takes its place (the last one when it was the last).
void TWorkingSet::removeFromView(int at) {
    if (disabledLevel_ > 0) {
        d->held = true;
    } else {
        emit rowsAboutToBeRemoved(at);
    }
    d->visible.erase(d->visible.begin() + at);
    if (disabledLevel_ == 0) {
        emit rowsRemoved(at);
    }
    const int n = recordCount();
    pos_ = -2; // forces the current-record notification
    setPosition(at < n ? at : n - 1, false);
    bof_ = eof_ = n == 0;
}

void TWorkingSet::disableControls() {
    if (disabledLevel_++ == 0) {
        d->held = false;
        d->stateAtDisable = state_;
    }
}

void TWorkingSet::enableControls() {
    if (disabledLevel_ == 0 || --disabledLevel_ > 0) {
        return;
    }
    const bool held = d->held;
    d->held = false;
    if (!held) {
        return;
    }
    emit contentReset();
    if (state_ != d->stateAtDisable) {
        emit stateChanged(state_);
        if (OnStateChange) {
            OnStateChange(*this);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Structure

void TWorkingSet::Impl::buildFields(TWorkingSet* owner, const FieldDefs& defs) {
    fields.clear();
    fields.reserve(std::size_t(defs.size()));
    backup.clear();
    for (int i = 0; i < defs.size(); ++i) {
        fields.push_back(std::make_unique<TField>(owner, i, defs[i]));
        backup.emplace_back(defs[i]);
        backup.back().resize(1);
    }
    touchedFlag.assign(std::size_t(defs.size()), 0);
    touched.clear();
    ++layout;
}

void TWorkingSet::Impl::emptyContent() {
    cur.clear();
    for (const auto& f : fields) {
        cur.emplace_back(f->def());
    }
    loaded = cur;
    rows = loadedRows = 0;
    kinds.clear();
    hidden = 0;
    visible.clear();
    useVisible = false;
    editRow = -1;
    modified = false;
}

void TWorkingSet::setFieldDefs(const FieldDefs& defs) {
    if (active()) {
        fail(QStringLiteral("as definições de campos só podem mudar com o conjunto fechado."));
    }
    d->buildFields(this, defs);
    d->declared = !defs.isEmpty();
    d->emptyContent();
    d->hasContent = false;
    changeCount_ = 0;
    d->filter.reset();
}

FieldDefs TWorkingSet::fieldDefs() const {
    FieldDefs out;
    out.reserve(qsizetype(d->fields.size()));
    for (const auto& f : d->fields) {
        out.append(f->def());
    }
    return out;
}

int TWorkingSet::fieldCount() const {
    return int(d->fields.size());
}

TField* TWorkingSet::field(int index) const {
    if (index < 0 || index >= fieldCount()) {
        fail(QStringLiteral("campo de número %1 não existe.").arg(index));
    }
    return d->fields[std::size_t(index)].get();
}

int TWorkingSet::fieldIndex(QStringView name) const {
    const auto n = d->fields.size();
    for (std::size_t i = 0; i < n; ++i) {
        const QString& fn = d->fields[i]->def_.name;
        if (fn.size() == name.size() && QStringView(fn) == name) {
            return int(i);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (QStringView(d->fields[i]->def_.name).compare(name, Qt::CaseInsensitive) == 0) {
            return int(i);
        }
    }
    return -1;
}

TField* TWorkingSet::findField(QStringView name) const {
    const int i = fieldIndex(name);
    return i < 0 ? nullptr : d->fields[std::size_t(i)].get();
}

TField* TWorkingSet::fieldByName(QStringView name) const {
    TField* f = findField(name);
    if (!f) {
        fail(QStringLiteral("campo \"%1\" não encontrado.").arg(name));
    }
    return f;
}

// ---------------------------------------------------------------------------------------------
// Visibility

bool TWorkingSet::rowPassesFilter(qsizetype row) const {
    return !(filtered_ && d->filter) || d->filter->matches(d->cur, row);
}

void TWorkingSet::rebuildVisible() {
    const bool filtering = filtered_ && d->filter;
    d->useVisible = filtering || d->hidden > 0;
    d->visible.clear();
    if (!d->useVisible) {
        return; // the capacity stays for the next filter
    }
    const qsizetype n = d->rows;
    const quint8* kinds = d->kinds.data();
    if (filtering) {
        d->filter->select(d->cur, n, d->visible);
        if (d->hidden > 0) {
            std::erase_if(d->visible, [kinds](int r) { return kinds[r] >= RowState::Deleted; });
        }
    } else {
        d->visible.reserve(std::size_t(n - d->hidden));
        for (qsizetype r = 0; r < n; ++r) {
            if (kinds[r] < RowState::Deleted) {
                d->visible.push_back(int(r));
            }
        }
    }
}

int TWorkingSet::recordCount() const {
    if (state_ == DataSetState::Inactive) {
        return 0;
    }
    return d->useVisible ? int(d->visible.size()) : int(d->rows);
}

qsizetype TWorkingSet::physicalRow(int position) const {
    if (position < 0 || position >= recordCount()) {
        fail(QStringLiteral("posição %1 fora do conjunto.").arg(position));
    }
    return d->physical(position);
}

void TWorkingSet::setPosition(int position, bool fireScroll, bool forceScroll) {
    const bool changed = position != pos_ || (position >= 0 && d->physical(position) != curRow_);
    pos_ = position;
    curRow_ = position >= 0 ? d->physical(position) : -1;
    if (changed) {
        notifyCurrent();
    }
    if (fireScroll && (changed || forceScroll) && AfterScroll) {
        AfterScroll(*this);
    }
}

// Content replaced: visibility rebuilt, the cursor on the first record.
void TWorkingSet::resetContent(bool scroll) {
    rebuildVisible();
    const int n = recordCount();
    pos_ = -1;
    curRow_ = -1;
    bof_ = true;
    eof_ = n == 0;
    notifyReset();
    setPosition(n > 0 ? 0 : -1, scroll, true);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TWorkingSet::createDataSet() {
    if (d->fields.empty()) {
        fail(QStringLiteral("não há definições de campos para criar o conjunto."));
    }
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        d->clearEdit();
    }
    d->emptyContent();
    d->hasContent = true;
    changeCount_ = 0;
    setState(DataSetState::Browse);
    resetContent(false);
    if (AfterOpen) {
        AfterOpen(*this);
    }
    if (AfterScroll) {
        AfterScroll(*this);
    }
}

void TWorkingSet::loadFromPacket(const DataPacket& packet) {
    if (packet.isDelta()) {
        fail(QStringLiteral("um delta não pode ser carregado como conteúdo."));
    }
    std::vector<Column> columns;
    if (d->declared) {
        columns.reserve(d->fields.size());
        for (const auto& f : d->fields) {
            const FieldDef& def = f->def();
            const int src = packet.indexOf(def.name);
            if (src < 0) {
                if (!packet.isNull()) {
                    fail(
                        QStringLiteral("o pacote carregado não tem o campo \"%1\".").arg(def.name));
                }
                columns.emplace_back(def);
                continue;
            }
            const Column& from = packet.column(src);
            if (from.type() == def.type) {
                columns.push_back(from); // shared, nothing copied
                continue;
            }
            Column conv(def);
            conv.resize(from.size());
            for (qsizetype r = 0; r < from.size(); ++r) {
                try {
                    detail::assignVariant(conv, r, def, from.value(r));
                } catch (const std::invalid_argument& e) {
                    fail(QStringLiteral("campo \"%1\", registro %2 do pacote: %3")
                             .arg(def.name)
                             .arg(r + 1)
                             .arg(QString::fromStdString(e.what())));
                }
            }
            columns.push_back(std::move(conv));
        }
    } else {
        if (packet.fields() != fieldDefs()) {
            d->buildFields(this, packet.fields());
            d->filter.reset();
        }
        for (int i = 0; i < packet.fieldCount(); ++i) {
            columns.push_back(packet.column(i));
        }
    }

    // Nothing can fail from here on: replace the content.
    d->clearEdit();
    d->cur = std::move(columns);
    d->loaded = d->cur;
    d->rows = d->loadedRows = packet.isNull() ? 0 : packet.rowCount();
    d->kinds.assign(std::size_t(d->rows), RowState::Unmodified);
    d->hidden = 0;
    d->hasContent = true;
    changeCount_ = 0;

    // A filter set before the fields were known is compiled now.
    QString filterError;
    int filterPos = 0;
    if (!d->filter && !filterText_.trimmed().isEmpty()) {
        try {
            d->filter = std::make_unique<FilterExpression>(filterText_, fieldDefs());
        } catch (const FilterError& e) {
            filterError = QString::fromStdString(e.what());
            filterPos = e.position();
            filtered_ = false;
        }
    }

    setState(DataSetState::Browse);
    resetContent(false);
    if (AfterOpen) {
        AfterOpen(*this);
    }
    if (AfterScroll) {
        AfterScroll(*this);
    }
    if (!filterError.isEmpty()) {
        throw FilterError(filterError, filterPos);
    }
}

std::vector<Column> TWorkingSet::Impl::postedColumns(DataSetState state) const {
    std::vector<Column> c = cur; // shared
    if (state == DataSetState::Edit && modified) {
        for (int f : touched) {
            c[std::size_t(f)].copyCell(editRow, backup[std::size_t(f)], 0);
        }
    } else if (state == DataSetState::Insert) {
        for (Column& col : c) {
            col.resize(rows - 1); // the record being inserted is the last one
        }
    }
    return c;
}

DataPacket TWorkingSet::data() const {
    const FieldDefs defs = fieldDefs();
    if (!d->hasContent) {
        std::vector<Column> empty;
        for (const FieldDef& f : defs) {
            empty.emplace_back(f);
        }
        return DataPacket(defs, std::move(empty));
    }
    std::vector<Column> cols = d->postedColumns(state_);
    if (d->hidden == 0) {
        return DataPacket(defs, std::move(cols));
    }
    const qsizetype limit = cols.empty() ? 0 : cols.front().size();
    std::vector<Column> out;
    out.reserve(cols.size());
    for (std::size_t f = 0; f < cols.size(); ++f) {
        Column c(defs[qsizetype(f)]);
        c.reserve(limit - d->hidden);
        for (qsizetype r = 0; r < limit; ++r) {
            if (d->kinds[std::size_t(r)] < RowState::Deleted) {
                c.appendCell(cols[f], r);
            }
        }
        out.push_back(std::move(c));
    }
    return DataPacket(defs, std::move(out));
}

void TWorkingSet::open() {
    if (active()) {
        return;
    }
    if (!d->hasContent) {
        createDataSet();
        return;
    }
    setState(DataSetState::Browse);
    resetContent(false);
    if (AfterOpen) {
        AfterOpen(*this);
    }
    if (AfterScroll) {
        AfterScroll(*this);
    }
}

void TWorkingSet::close() {
    if (!active()) {
        return;
    }
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        d->restoreEdit(state_);
        if (state_ == DataSetState::Insert) {
            d->dropLastRow();
        }
        d->clearEdit();
    }
    setState(DataSetState::Inactive);
    pos_ = -1;
    curRow_ = -1;
    bof_ = eof_ = true;
    notifyReset();
    if (AfterClose) {
        AfterClose(*this);
    }
}

// ---------------------------------------------------------------------------------------------
// Navigation

void TWorkingSet::checkBrowseMode() {
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        if (d->modified) {
            post();
        } else {
            cancel();
        }
    }
}

void TWorkingSet::first() {
    requireActive();
    checkBrowseMode();
    const int n = recordCount();
    setPosition(n > 0 ? 0 : -1, true, true);
    bof_ = true;
    eof_ = n == 0;
}

void TWorkingSet::last() {
    requireActive();
    checkBrowseMode();
    const int n = recordCount();
    setPosition(n - 1, true, true);
    eof_ = true;
    bof_ = n == 0;
}

void TWorkingSet::next() {
    requireActive();
    checkBrowseMode();
    const int n = recordCount();
    if (pos_ + 1 < n) {
        setPosition(pos_ + 1, true);
        bof_ = eof_ = false;
    } else {
        eof_ = true;
        bof_ = n == 0;
    }
}

void TWorkingSet::prior() {
    requireActive();
    checkBrowseMode();
    const int n = recordCount();
    if (pos_ > 0) {
        setPosition(pos_ - 1, true);
        bof_ = eof_ = false;
    } else {
        bof_ = true;
        eof_ = n == 0;
    }
}

void TWorkingSet::moveTo(int position) {
    requireActive();
    if (position < 0 || position >= recordCount()) {
        fail(QStringLiteral("posição %1 fora do conjunto.").arg(position));
    }
    checkBrowseMode();
    // The post may have dropped the current record from a filtered view.
    if (position >= recordCount()) {
        position = recordCount() - 1;
    }
    setPosition(position, true);
    bof_ = eof_ = false;
}

bool TWorkingSet::locate(const QString& keyField, const QVariant& value, LocateOptions options) {
    return locate(keyField, QVariantList{value}, options);
}

bool TWorkingSet::locate(const QString& keyFields, const QVariantList& values,
                         LocateOptions options) {
    requireActive();
    const QStringList names = detail::splitFieldList(keyFields);
    if (names.isEmpty()) {
        fail(QStringLiteral("a lista de campos para localizar está vazia."));
    }
    if (names.size() != values.size()) {
        fail(QStringLiteral("a lista de campos tem %1 nome(s) e a de valores %2.")
                 .arg(names.size())
                 .arg(values.size()));
    }
    struct Part {
        const Column* column;
        detail::KeyValue key;
    };
    std::vector<Part> parts;
    parts.reserve(std::size_t(names.size()));
    std::vector<int> fieldOf;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const TField* f = fieldByName(names[i]);
        try {
            parts.push_back(
                {nullptr, detail::keyFromVariant(f->def(), values[i], options.caseInsensitive,
                                                 options.partialKey)});
        } catch (const std::invalid_argument& e) {
            fail(QStringLiteral("campo \"%1\": %2")
                     .arg(f->fieldName(), QString::fromStdString(e.what())));
        }
        fieldOf.push_back(f->index());
    }
    checkBrowseMode();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        parts[i].column = &d->cur[std::size_t(fieldOf[i])];
    }
    // Cheap comparisons first: numbers and dates, then texts.
    std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
        return (a.key.type != FieldType::Text) > (b.key.type != FieldType::Text);
    });
    const int n = recordCount();
    for (int pos = 0; pos < n; ++pos) {
        const qsizetype r = d->physical(pos);
        bool all = true;
        for (const Part& p : parts) {
            if (!detail::cellMatches(*p.column, r, p.key)) {
                all = false;
                break;
            }
        }
        if (all) {
            setPosition(pos, true, true);
            bof_ = eof_ = false;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Editing

void TWorkingSet::Impl::clearEdit() {
    for (int f : touched) {
        touchedFlag[std::size_t(f)] = 0;
    }
    touched.clear();
    editRow = -1;
    modified = false;
}

void TWorkingSet::Impl::restoreEdit(DataSetState state) {
    if (state != DataSetState::Edit) {
        return;
    }
    for (int f : touched) {
        cur[std::size_t(f)].copyCell(editRow, backup[std::size_t(f)], 0);
    }
}

void TWorkingSet::Impl::dropLastRow() {
    --rows;
    for (Column& c : cur) {
        c.resize(rows);
    }
    kinds.pop_back();
    if (useVisible && !visible.empty() && visible.back() == int(rows)) {
        visible.pop_back();
    }
}

void TWorkingSet::beginWrite(int field) {
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) {
        fail(QStringLiteral("não está em modo de edição ou inclusão."));
    }
    if (curRow_ != d->editRow) {
        fail(QStringLiteral("só o registro em edição pode ser alterado."));
    }
    const auto f = std::size_t(field);
    if (d->fields[f]->def_.readOnly) {
        fail(QStringLiteral("o campo \"%1\" não pode ser alterado.").arg(d->fields[f]->def_.name));
    }
    if (!d->touchedFlag[f]) {
        d->touchedFlag[f] = 1;
        d->touched.push_back(field);
        if (state_ == DataSetState::Edit) {
            d->backup[f].copyCell(0, d->cur[f], d->editRow);
        }
    }
}

void TWorkingSet::endWrite(TField& field) {
    d->modified = true;
    notifyRecord(pos_, field.index_);
    if (field.OnChange) {
        field.OnChange(field);
    }
}

bool TWorkingSet::setTextOfAll(int field, QStringView value) {
    requireActive();
    if (state_ != DataSetState::Browse) {
        fail(QStringLiteral("a gravação em todos os registros exige o modo de navegação."));
    }
    if (filtered_ && d->filter) {
        return false;
    }
    const TField* f = this->field(field);
    if (f->def_.type != FieldType::Text) {
        fail(QStringLiteral("o campo \"%1\" não é de texto.").arg(f->def_.name));
    }
    if (f->def_.readOnly) {
        fail(QStringLiteral("o campo \"%1\" não pode ser alterado.").arg(f->def_.name));
    }
    // The text as a write of the field stores it: cut to the size, padded when fixed.
    QString text = value.toString();
    if (f->def_.size > 0 && text.size() > f->def_.size) {
        text.truncate(f->def_.size);
    }
    if (f->def_.fixed && !text.isEmpty() && text.size() < f->def_.size) {
        text = text.leftJustified(f->def_.size, u' ');
    }
    const QByteArray utf8 = text.toUtf8();
    Column& column = d->cur[std::size_t(field)];
    const int n = recordCount();
    for (int p = 0; p < n; ++p) {
        const qsizetype row = d->physical(p);
        column.setUtf8(row, utf8);
        quint8& kind = d->kinds[std::size_t(row)];
        if (kind == RowState::Unmodified) {
            kind = RowState::Modified;
        }
    }
    changeCount_ += n;
    if (disabledLevel_ > 0) {
        d->held = true;
    } else {
        emit contentReset();
    }
    return true;
}

void TWorkingSet::edit() {
    requireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        return;
    }
    if (recordCount() == 0) {
        insert();
        return;
    }
    if (BeforeEdit) {
        BeforeEdit(*this);
    }
    if (curRow_ < 0) {
        fail(QStringLiteral("não há registro corrente."));
    }
    d->clearEdit();
    d->editRow = curRow_;
    setState(DataSetState::Edit);
    if (AfterEdit) {
        AfterEdit(*this);
    }
}

void TWorkingSet::insert() {
    requireActive();
    checkBrowseMode();
    if (BeforeInsert) {
        BeforeInsert(*this);
    }
    const int position = recordCount();
    d->insertFrom = pos_;
    if (disabledLevel_ > 0) {
        d->held = true;
    } else {
        emit rowsAboutToBeInserted(position);
    }
    const qsizetype row = d->rows;
    for (Column& c : d->cur) {
        c.appendNull();
    }
    d->kinds.push_back(RowState::Inserted);
    ++d->rows;
    if (d->useVisible) {
        d->visible.push_back(int(row));
    }
    d->clearEdit();
    d->editRow = row;
    if (disabledLevel_ == 0) {
        emit rowsInserted(position);
    }
    setPosition(position, false);
    bof_ = eof_ = false;
    setState(DataSetState::Insert);
    if (AfterInsert) {
        AfterInsert(*this);
    }
    if (AfterScroll) {
        AfterScroll(*this);
    }
}

void TWorkingSet::post() {
    requireActive();
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) {
        return;
    }
    if (BeforePost) {
        BeforePost(*this); // a throw leaves the set in edit with the values written so far
    }
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) {
        return; // the hook cancelled the edit itself
    }
    const qsizetype row = d->editRow;
    if (state_ == DataSetState::Insert) {
        ++changeCount_;
    } else if (d->modified) {
        ++changeCount_;
        if (d->kinds[std::size_t(row)] == RowState::Unmodified) {
            d->kinds[std::size_t(row)] = RowState::Modified;
        }
    }
    const bool wasModified = d->modified || state_ == DataSetState::Insert;
    d->clearEdit();
    if (wasModified && filtered_ && d->filter && !d->filter->matches(d->cur, row)) {
        // The record left the filter: it disappears from the view.
        int at = pos_;
        if (at < 0 || d->visible[std::size_t(at)] != int(row)) {
            at =
                int(std::find(d->visible.begin(), d->visible.end(), int(row)) - d->visible.begin());
        }
        removeFromView(at);
    } else if (wasModified) {
        notifyRecord(pos_, -1);
    }
    setState(DataSetState::Browse);
    if (AfterPost) {
        AfterPost(*this);
    }
}

void TWorkingSet::cancel() {
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) {
        return;
    }
    if (state_ == DataSetState::Edit) {
        const bool had = d->modified;
        d->restoreEdit(state_);
        d->clearEdit();
        if (had) {
            notifyRecord(pos_, -1);
        }
    } else {
        const int at = pos_;
        if (disabledLevel_ > 0) {
            d->held = true;
        } else {
            emit rowsAboutToBeRemoved(at);
        }
        d->dropLastRow();
        d->clearEdit();
        if (disabledLevel_ == 0) {
            emit rowsRemoved(at);
        }
        const int n = recordCount();
        int back = d->insertFrom;
        if (back >= n) {
            back = n - 1;
        }
        pos_ = -2;
        setPosition(back, false);
        bof_ = n == 0;
        eof_ = n == 0;
    }
    setState(DataSetState::Browse);
    if (AfterCancel) {
        AfterCancel(*this);
    }
}

void TWorkingSet::deleteRecord() {
    requireActive();
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    if (recordCount() == 0 || curRow_ < 0) {
        fail(QStringLiteral("o conjunto está vazio."));
    }
    if (BeforeDelete) {
        BeforeDelete(*this);
    }
    if (state_ == DataSetState::Edit) {
        d->restoreEdit(state_);
        d->clearEdit();
    }
    const qsizetype row = curRow_;
    quint8& kind = d->kinds[std::size_t(row)];
    kind = kind == RowState::Inserted ? RowState::Dead : RowState::Deleted;
    ++d->hidden;
    ++changeCount_;
    const int at = pos_;
    if (!d->useVisible) {
        // Build the view as it was, then take the record out of it.
        d->useVisible = true;
        d->visible.resize(std::size_t(d->rows));
        for (qsizetype r = 0; r < d->rows; ++r) {
            d->visible[std::size_t(r)] = int(r);
        }
    }
    removeFromView(at);
    setState(DataSetState::Browse);
    if (AfterDelete) {
        AfterDelete(*this);
    }
    if (AfterScroll) {
        AfterScroll(*this);
    }
}

bool TWorkingSet::modified() const {
    return d->modified;
}

RowKind TWorkingSet::updateStatus() const {
    requireRecord();
    return detail::rowKind(d->kinds[std::size_t(curRow_)]);
}

RowKind TWorkingSet::updateStatusAt(int position) const {
    return detail::rowKind(d->kinds[std::size_t(physicalRow(position))]);
}

// ---------------------------------------------------------------------------------------------
// Change log

DataPacket TWorkingSet::delta() const {
    const FieldDefs defs = fieldDefs();
    const std::size_t nf = d->fields.size();
    std::vector<Column> posted = d->hasContent ? d->postedColumns(state_) : d->cur;
    const qsizetype limit = posted.empty() ? 0 : posted.front().size();

    auto differs = [&](qsizetype r) {
        for (std::size_t f = 0; f < nf; ++f) {
            if (!posted[f].cellEquals(r, d->loaded[f], r)) {
                return true;
            }
        }
        return false;
    };

    std::vector<qsizetype> picked;
    std::vector<RowKind> kinds;
    for (qsizetype r = 0; r < limit; ++r) {
        const quint8 k = d->kinds[std::size_t(r)];
        if (k == RowState::Unmodified || k == RowState::Dead) {
            continue;
        }
        if (k == RowState::Modified && !differs(r)) {
            continue;
        }
        picked.push_back(r);
        kinds.push_back(detail::rowKind(k));
    }

    std::vector<Column> current, loaded;
    current.reserve(nf);
    loaded.reserve(nf);
    for (std::size_t f = 0; f < nf; ++f) {
        Column c(defs[qsizetype(f)]);
        Column l(defs[qsizetype(f)]);
        c.reserve(qsizetype(picked.size()));
        l.reserve(qsizetype(picked.size()));
        for (std::size_t i = 0; i < picked.size(); ++i) {
            const qsizetype r = picked[i];
            switch (kinds[i]) {
            case RowKind::Inserted:
                c.appendCell(posted[f], r);
                l.appendNull();
                break;
            case RowKind::Deleted:
                c.appendCell(d->loaded[f], r);
                l.appendCell(d->loaded[f], r);
                break;
            default:
                c.appendCell(posted[f], r);
                l.appendCell(d->loaded[f], r);
                break;
            }
        }
        current.push_back(std::move(c));
        loaded.push_back(std::move(l));
    }
    return DataPacket::makeDelta(defs, std::move(current), std::move(loaded), std::move(kinds));
}

void TWorkingSet::mergeChangeLog() {
    if (!d->hasContent) {
        return;
    }
    if (active()) {
        checkBrowseMode();
    }
    const bool compact = d->hidden > 0;
    if (compact) {
        // Deleted records go for good; the current record keeps its place where it can.
        std::vector<Column> out;
        out.reserve(d->cur.size());
        for (std::size_t f = 0; f < d->cur.size(); ++f) {
            Column c(d->fields[f]->def());
            c.reserve(d->rows - d->hidden);
            for (qsizetype r = 0; r < d->rows; ++r) {
                if (d->kinds[std::size_t(r)] < RowState::Deleted) {
                    c.appendCell(d->cur[f], r);
                }
            }
            out.push_back(std::move(c));
        }
        d->cur = std::move(out);
        d->rows -= d->hidden;
        d->hidden = 0;
    }
    d->loaded = d->cur;
    d->loadedRows = d->rows;
    d->kinds.assign(std::size_t(d->rows), RowState::Unmodified);
    changeCount_ = 0;
    if (compact && active()) {
        const int keep = pos_;
        rebuildVisible();
        const int n = recordCount();
        notifyReset();
        pos_ = -2;
        setPosition(keep < n ? keep : n - 1, false);
        bof_ = eof_ = n == 0;
    }
}

void TWorkingSet::cancelUpdates() {
    if (!d->hasContent) {
        return;
    }
    if (active()) {
        cancel();
    }
    const bool any = changeCount_ > 0 || d->rows != d->loadedRows;
    d->cur = d->loaded;
    d->rows = d->loadedRows;
    d->kinds.assign(std::size_t(d->rows), RowState::Unmodified);
    d->hidden = 0;
    changeCount_ = 0;
    if (any && active()) {
        const int keep = pos_;
        rebuildVisible();
        const int n = recordCount();
        notifyReset();
        pos_ = -2;
        setPosition(keep >= 0 && keep < n ? keep : (n > 0 ? 0 : -1), false);
        bof_ = eof_ = n == 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Filter

void TWorkingSet::setFilter(const QString& expression) {
    std::unique_ptr<FilterExpression> compiled;
    if (!expression.trimmed().isEmpty() && !d->fields.empty()) {
        compiled = std::make_unique<FilterExpression>(expression, fieldDefs()); // may throw
    }
    if (active()) {
        checkBrowseMode();
    }
    filterText_ = expression;
    d->filter = std::move(compiled);
    if (filtered_ && active()) {
        resetContent(true);
    }
}

void TWorkingSet::setFiltered(bool on) {
    if (on == filtered_) {
        return;
    }
    if (active()) {
        checkBrowseMode();
    }
    filtered_ = on;
    if (active()) {
        resetContent(true);
    }
}

// ---------------------------------------------------------------------------------------------
// Access by position

QVariant TWorkingSet::valueAt(int position, int field) const {
    return d->cur[std::size_t(this->field(field)->index_)].value(physicalRow(position));
}

QVariant TWorkingSet::oldValueAt(int position, int field) const {
    const qsizetype r = physicalRow(position);
    const auto f = std::size_t(this->field(field)->index_);
    if (r >= d->loadedRows || d->kinds[std::size_t(r)] == RowState::Inserted) {
        return {};
    }
    return d->loaded[f].value(r);
}

bool TWorkingSet::isNullAt(int position, int field) const {
    return d->cur[std::size_t(this->field(field)->index_)].isNull(physicalRow(position));
}

QString TWorkingSet::textAt(int position, int field, bool displayText) const {
    const TField* f = this->field(field);
    const qsizetype r = physicalRow(position);
    if (f->OnGetText) {
        // The handler reads the shown record through the fields, as the current one.
        struct Shown {
            qsizetype& slot;
            qsizetype saved;
            ~Shown() { slot = saved; }
        } shown{curRow_, curRow_};
        curRow_ = r;
        return f->OnGetText(*f, displayText);
    }
    const FieldDef& def = f->def();
    if (displayText && def.type == FieldType::Text && !def.editMask.isEmpty())
        return formatMasked(d->cur[std::size_t(field)].text(r), def.editMask);
    return formatCell(d->cur[std::size_t(field)], r,
                      displayText ? def.displayFormat : def.editFormat);
}

const Column& TWorkingSet::currentColumn(int field) const {
    return d->cur[std::size_t(this->field(field)->index_)];
}

const Column& TWorkingSet::loadedColumn(int field) const {
    return d->loaded[std::size_t(this->field(field)->index_)];
}

} // namespace sup::data
