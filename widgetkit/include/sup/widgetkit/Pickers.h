#pragma once

#include "sup/data/DataSource.h"
#include "sup/widgetkit/Controls.h"

#include <QPointer>
#include <QString>

#include <functional>

class QLineEdit;

namespace sup::host {

// The two parts of a pick-list title "caption|empty-list text".
struct PickTitle {
    QString caption;
    QString emptyText;
};
PickTitle SplitPickTitle(const QString& title);

// Single pick over a data source: the list shows the visible fields of the source's set with
// their labels and widths, filters as the user types, picks with Enter or a double click and
// cancels with Esc. Returns true when a row was chosen; the set then stands on it.
//
// `title` is "caption|empty-list text": an empty list shows no list but an information box
// with that text ("Não há dados a serem listados." when none is given) and returns false. A
// closed set is opened first (a local query runs its text).
// `closeIfSingle`: a list of exactly one row picks it without asking.
// `searchAsYouType`: the search box filters on every key (else when Enter is pressed in it).
// Pesquisar searches the start of the column the list is ordered by (the first visible one
// until the user clicks another title); Pesquisar_Plus searches every visible column for the
// text anywhere.
bool Pesquisar(sup::data::TDataSource* source, const QString& title, bool closeIfSingle = false,
               bool searchAsYouType = true);
bool Pesquisar_Plus(sup::data::TDataSource* source, const QString& title,
                    bool closeIfSingle = false, bool searchAsYouType = true);

// Multiple pick: the same list with a mark column and a "mark all" box; Space or a click marks a
// row, Enter confirms. Returns true when confirmed and writes the key list of the marked rows
// (KeyList.h: values of `keyField`) into `keys`; keys already in `keys` are marked when the list
// opens. Cancelled, it returns false and leaves `keys` as it was. An empty list shows the
// empty-list text as above and leaves `keys` as it was.
// `closeIfSingle`: a list of exactly one row marks it without asking.
bool PesquisaLista(sup::data::TDataSource* source, const QString& keyField, const QString& title,
                   bool closeIfSingle, QString& keys);

// A search button tied to an edit. Pressing it (or F9 in the edit):
//  1. runs OnBeforePesq (fills the data source);
//  2. an empty list raises EmptyError (MensErro; "Não há dados a serem listados." when empty);
//  3. opens the pick list (Pesquisar, or Pesquisar_Plus with `setPlus(true)`) titled Title;
//  4. on a pick runs OnAfterPesq (copies the row); without OnAfterPesq the text of KeyField (the
//     first visible field when empty) goes into the associated edit;
//  5. the focus returns to the associated edit.
class TBtnPesquisa : public TButtonFlat {
    Q_OBJECT
public:
    explicit TBtnPesquisa(QWidget* parent = nullptr, const QString& name = {});

    void setAssociate(QLineEdit* edit);
    QLineEdit* Associate() const { return associate_; }
    void setTitle(const QString& title) { title_ = title; }
    const QString& Title() const { return title_; }
    void setDataSource(sup::data::TDataSource* source) { source_ = source; }
    sup::data::TDataSource* DataSource() const { return source_; }
    void setEmptyError(const QString& text) { emptyError_ = text; }
    const QString& EmptyError() const { return emptyError_; }
    void setKeyField(const QString& field) { keyField_ = field; }
    const QString& KeyField() const { return keyField_; }
    void setPlus(bool on) { plus_ = on; }

    std::function<void(TBtnPesquisa&)> OnBeforePesq;
    std::function<void(TBtnPesquisa&)> OnAfterPesq;

    // The pick as a click runs it, without the guard (for handlers and tests). Returns whether a
    // row was picked.
    bool Execute();

private:
    QPointer<QLineEdit> associate_;
    QPointer<sup::data::TDataSource> source_;
    QString title_;
    QString emptyError_;
    QString keyField_;
    bool plus_ = false;
};

} // namespace sup::host
