// The item grid: the marker and reservation cells, marking one item or all, the keys and the
// columns that edit in place.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"

#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStyleOptionViewItem>

using namespace sup::host;
using sup::data::DataSetState;
using sup::data::TWorkingSet;

namespace {

bool editing(const TWorkingSet* set) {
    return set->state() == DataSetState::Edit || set->state() == DataSetState::Insert;
}

// While the snapshot's tag is 99 the item rules stand aside: marks are posted without them.
class MarkingPass {
public:
    explicit MarkingPass(TWorkingSet* aux)
        : aux_(aux) {
        aux_->setTag(99);
    }
    ~MarkingPass() { aux_->setTag(0); }
    MarkingPass(const MarkingPass&) = delete;
    MarkingPass& operator=(const MarkingPass&) = delete;

private:
    TWorkingSet* aux_;
};

} // namespace

bool TfrmAltPedidosOL::dbgPadraoDrawColumnCell(QPainter& painter,
                                               const QStyleOptionViewItem& option, int column) {
    TWorkingSet* item = dm_->cdsItem;
    if (!item->active() || item->isEmpty() || !option.index.isValid())
        return false;
    const QString field = dbgPadrao->columns().value(column).fieldName.toUpper();
    const int row = option.index.row();
    const bool selected = option.state & QStyle::State_Selected;
    const QBrush brush =
        selected ? option.palette.brush(QPalette::Highlight) : option.palette.brush(QPalette::Base);
    if (field == u"CALC") {
        painter.fillRect(option.rect, brush);
        const bool marked = item->textAt(row, calcField_, false) == u"S";
        const QPixmap picture = (marked ? imgChecked : imgUnChecked)->pixmap();
        painter.drawPixmap(option.rect.left() + 2, option.rect.top(), picture.width(),
                           std::min(picture.height(), option.rect.height()), picture, 0, 0,
                           picture.width(), std::min(picture.height(), option.rect.height()));
        return true;
    }
    if (field == u"QTRESERVESTOL") {
        painter.fillRect(option.rect, brush);
        const int reserved = item->fieldIndex(u"QTRESERVESTOL");
        const bool pending =
            item->textAt(row, item->fieldIndex(u"IDUTRESPEDEXOL"), false) == u"S" &&
            item->valueAt(row, reserved).toDouble() == 0;
        QFont font = option.font;
        font.setBold(pending);
        painter.save();
        painter.setFont(font);
        painter.setPen(pending ? QColor(Qt::red)
                               : option.palette.color(selected ? QPalette::HighlightedText
                                                               : QPalette::WindowText));
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.rect = option.rect.adjusted(1, 1, -1, -1);
            focus.palette = option.palette;
            focus.state = QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
            dbgPadrao->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter,
                                              dbgPadrao);
        }
        painter.drawText(option.rect.adjusted(2, 2, -2, 0), Qt::AlignLeft | Qt::AlignTop,
                         item->textAt(row, reserved, false));
        painter.restore();
        return true;
    }
    return false;
}

void TfrmAltPedidosOL::toggleCurrentMark() {
    TWorkingSet* item = dm_->cdsItem;
    sup::data::TField* calc = item->field(calcField_);
    item->edit();
    calc->setAsString(calc->asString() == u"S" ? u"N" : u"S");
    item->post();
}

void TfrmAltPedidosOL::dbgPadraoDblClick() {
    TWorkingSet* item = dm_->cdsItem;
    {
        MarkingPass pass(dm_->cdsAuxItem);
        if (dbgPadrao->SelectedField().toUpper() == u"CALC" && item->active() &&
            item->state() == DataSetState::Browse && !item->isEmpty())
            toggleCurrentMark();
    }
    setPickerButtons(editing(item));
}

void TfrmAltPedidosOL::markAll() {
    TWorkingSet* item = dm_->cdsItem;
    sup::data::TField* calc = item->field(calcField_);
    const QString mark = boTodos ? QStringLiteral("N") : QStringLiteral("S");
    // The rules stand aside for marks (tag 99), so every record takes its mark in one pass
    // unless a filter could hide records as they change.
    if (item->setTextOfAll(calcField_, mark)) {
        Habilita();
        return;
    }
    item->disableControls();
    try {
        item->first();
        while (!item->eof()) {
            item->edit();
            calc->setAsString(mark);
            item->post();
            item->next();
        }
    } catch (...) {
        item->enableControls();
        throw;
    }
    item->enableControls();
    Habilita();
}

// A click on any title: the marker's title marks or unmarks every item, and every title turns
// the next marking-all the other way.
void TfrmAltPedidosOL::dbgPadraoTitleClick(int column) {
    TWorkingSet* item = dm_->cdsItem;
    MarkingPass pass(dm_->cdsAuxItem);
    if (!item->active() || item->isEmpty())
        return;
    THourGlass hourGlass;
    if (item->state() == DataSetState::Browse &&
        dbgPadrao->columns().value(column).fieldName.toUpper() == u"CALC")
        markAll();
    boTodos = !boTodos;
    item->first();
}

void TfrmAltPedidosOL::dbgPadraoKeyDown(int& key, Qt::KeyboardModifiers modifiers) {
    TfrmPadraoGrid::dbgPadraoKeyDown(key, modifiers);
    TWorkingSet* item = dm_->cdsItem;
    const bool ctrl = modifiers & Qt::ControlModifier;
    const QString field = dbgPadrao->SelectedField().toUpper();
    if (key == Qt::Key_Space && ctrl)
        dbgPadraoTitleClick(dbgPadrao->columnIndexOfField(u"CALC"));
    if (key == Qt::Key_Space && field == u"CALC" && item->active() && !item->isEmpty()) {
        dbgPadraoDblClick();
        key = 0;
    }
    if (key == Qt::Key_Delete && ctrl)
        key = 0; // no item is deleted from the keyboard
    if ((key == Qt::Key_Delete || key == Qt::Key_Backspace) && editing(item)) {
        if (field == u"CDARVPROD")
            item->fieldByName(u"NMPRODUTO")->clear();
        else if (field == u"CDMARCA")
            item->fieldByName(u"NMMARCA")->clear();
    }
}

void TfrmAltPedidosOL::dbgPadraoKeyPress(QChar& key) {
    TfrmPadraoGrid::dbgPadraoKeyPress(key);
    TWorkingSet* item = dm_->cdsItem;
    if (!item->active() || item->isEmpty()) {
        key = QChar();
        return;
    }
    // Quantities take neither a sign nor an exponent.
    if (dbgPadrao->SelectedField().toUpper() == u"QTPROGENPEOL" &&
        QStringLiteral("-+eE").contains(key))
        key = QChar();
}

void TfrmAltPedidosOL::dbgPadraoColEnter() {
    const QString field = dbgPadrao->SelectedField().toUpper();
    dbgPadrao->setEditing(field == u"CDARVPROD" || field == u"CDMARCA" || field == u"QTPROGENPEOL");
}

void TfrmAltPedidosOL::dbgPadraoColExit() {
    if (!editing(dm_->cdsItem))
        return;
    const QString field = dbgPadrao->SelectedField().toUpper();
    if (field == u"CDARVPROD")
        Vd_Produto(false);
    else if (field == u"CDMARCA")
        vd_CdMarca(false);
}
