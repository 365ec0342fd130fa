#include "sup/widgetkit/Pickers.h"
#include "sup/widgetkit/Glyphs.h"

#include "sup/contracts/host/Host.h"
#include "sup/data/DataSource.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/KeyList.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Query.h"

#include <QApplication>
#include <QLineEdit>
#include <QStyle>

namespace sup::host {

using sup::data::TDataSource;
using sup::data::TWorkingSet;

namespace {

const QString kNoData = QStringLiteral("Não há dados a serem listados.");

TWorkingSet* openSet(TDataSource* source) {
    if (!source || !source->dataSet())
        throw EHostError(QStringLiteral("A pesquisa não tem uma lista de dados associada."));
    TWorkingSet* set = source->dataSet();
    if (!set->active()) {
        if (auto* query = qobject_cast<TADOIBQuery*>(set))
            query->Open();
        else
            set->open();
    }
    return set;
}

bool singlePick(TDataSource* source, const QString& title, bool closeIfSingle, bool searchAsYouType,
                bool anyColumn) {
    TWorkingSet* set = openSet(source);
    const PickTitle t = SplitPickTitle(title);
    if (set->isEmpty()) {
        Host::instance().showMessage(t.emptyText.isEmpty() ? kNoData : t.emptyText, mtInformation,
                                     mbOK, KeyOfText(t.emptyText));
        return false;
    }
    if (closeIfSingle && set->recordCount() == 1) {
        set->first();
        return true;
    }
    PickRequest request;
    request.source = source;
    request.caption = t.caption;
    request.emptyText = t.emptyText;
    request.anyColumn = anyColumn;
    request.searchAsYouType = searchAsYouType;
    const PickResult result = Host::instance().pick(request);
    if (!result.chosen || result.position < 0 || result.position >= set->recordCount())
        return false;
    set->moveTo(result.position);
    return true;
}

} // namespace

PickTitle SplitPickTitle(const QString& title) {
    const qsizetype bar = title.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return {title, {}};
    return {title.left(bar), title.mid(bar + 1)};
}

bool Pesquisar(TDataSource* source, const QString& title, bool closeIfSingle,
               bool searchAsYouType) {
    return singlePick(source, title, closeIfSingle, searchAsYouType, false);
}

bool Pesquisar_Plus(TDataSource* source, const QString& title, bool closeIfSingle,
                    bool searchAsYouType) {
    return singlePick(source, title, closeIfSingle, searchAsYouType, true);
}

bool PesquisaLista(TDataSource* source, const QString& keyField, const QString& title,
                   bool closeIfSingle, QString& keys) {
    TWorkingSet* set = openSet(source);
    const sup::data::TField* key = set->fieldByName(keyField);
    const int width = key->dataType() == sup::data::FieldType::Text ? key->size() : 0;
    const PickTitle t = SplitPickTitle(title);
    if (set->isEmpty()) {
        Host::instance().showMessage(t.emptyText.isEmpty() ? kNoData : t.emptyText, mtInformation,
                                     mbOK, KeyOfText(t.emptyText));
        return false;
    }
    if (closeIfSingle && set->recordCount() == 1) {
        keys = BuildKeyList({set->valueAt(0, key->index()).toString()}, width);
        return true;
    }
    PickRequest request;
    request.source = source;
    request.caption = t.caption;
    request.emptyText = t.emptyText;
    request.multiple = true;
    request.keyField = key->fieldName();
    request.marked = ParseKeyList(keys);
    const PickResult result = Host::instance().pick(request);
    if (!result.chosen)
        return false;
    keys = BuildKeyList(result.keys, width);
    return true;
}

TBtnPesquisa::TBtnPesquisa(QWidget* parent, const QString& name)
    : TButtonFlat(parent, name) {
    setIcon(Glyph(u"edit-find"));
    setHint(QStringLiteral("Pesquisar (F9)"));
    connect(this, &QToolButton::clicked, this, [this] { Guarded([this] { Execute(); }); });
}

void TBtnPesquisa::setAssociate(QLineEdit* edit) {
    associate_ = edit;
    if (!edit)
        return;
    OnKeyDown(edit, [this, edit](int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_F9 && associate_ == edit && isEnabled()) {
            key = 0;
            Execute();
        }
    });
}

bool TBtnPesquisa::Execute() {
    struct FocusBack {
        QPointer<QLineEdit> edit;
        ~FocusBack() {
            if (edit && edit->isEnabled())
                edit->setFocus(Qt::OtherFocusReason);
        }
    } focusBack{associate_};

    if (OnBeforePesq)
        OnBeforePesq(*this);
    TWorkingSet* set = openSet(source_);
    if (set->isEmpty())
        MensErro(emptyError_.isEmpty() ? kNoData : emptyError_, true);
    const QString title = title_ + QLatin1Char('|') + emptyError_;
    const bool picked = plus_ ? Pesquisar_Plus(source_, title) : Pesquisar(source_, title);
    if (!picked)
        return false;
    if (OnAfterPesq) {
        OnAfterPesq(*this);
    } else if (associate_) {
        const sup::data::TField* field = nullptr;
        if (!keyField_.isEmpty())
            field = set->fieldByName(keyField_);
        for (int i = 0; !field && i < set->fieldCount(); ++i)
            if (set->field(i)->def().visible)
                field = set->field(i);
        if (field) {
            if (auto* masked = qobject_cast<TMaskEdit*>(associate_.data()))
                masked->SetText(field->asString());
            else
                associate_->setText(field->asString());
        }
    }
    return true;
}

} // namespace sup::host
