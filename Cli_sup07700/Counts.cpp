// The counts of loaded, marked and changed items on the status bar.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/Column.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Messages.h"

#include <QLabel>

using sup::data::Column;
using sup::data::TWorkingSet;

namespace {

// The one-character flag "S" of a row, read from the column's slots without building a text.
inline bool isYes(const Column& c, qsizetype row) {
    const int slot = c.textSlotSize();
    if (slot > 1) {
        const char* s = c.textSlots() + row * slot;
        if (quint8(s[0]) != 255) {
            return s[0] == 1 && s[1] == 'S';
        }
    }
    return c.utf8(row) == QByteArrayView("S");
}

} // namespace

quint8 TfrmAltPedidosOL::itemFlags(qsizetype row) const {
    const TWorkingSet* items = dm_->cdsItem;
    return quint8((isYes(items->currentColumn(calcField_), row) ? 1 : 0) |
                  (isYes(items->currentColumn(alteradoField_), row) ? 2 : 0));
}

void TfrmAltPedidosOL::countItems() {
    const TWorkingSet* items = dm_->cdsItem;
    itemFlags_.clear();
    markedItems_ = changedItems_ = 0;
    if (items->active() && calcField_ >= 0 && alteradoField_ >= 0) {
        const Column& calc = items->currentColumn(calcField_);
        const Column& changed = items->currentColumn(alteradoField_);
        const qsizetype rows = calc.size();
        itemFlags_.resize(std::size_t(rows));
        for (qsizetype r = 0; r < rows; ++r) {
            const auto f = quint8((isYes(calc, r) ? 1 : 0) | (isYes(changed, r) ? 2 : 0));
            itemFlags_[std::size_t(r)] = f;
            markedItems_ += f & 1;
            changedItems_ += (f >> 1) & 1;
        }
    }
    showItemCounts();
}

void TfrmAltPedidosOL::countItem(int position) {
    const TWorkingSet* items = dm_->cdsItem;
    if (position < 0 || !items->active()) {
        return;
    }
    const qsizetype row = items->physicalRow(position);
    if (row < 0 || row >= qsizetype(itemFlags_.size())) {
        countItems();
        return;
    }
    const quint8 now = itemFlags(row);
    const quint8 was = itemFlags_[std::size_t(row)];
    if (now == was) {
        return;
    }
    markedItems_ += (now & 1) - (was & 1);
    changedItems_ += ((now >> 1) & 1) - ((was >> 1) & 1);
    itemFlags_[std::size_t(row)] = now;
    showItemCounts();
}

void TfrmAltPedidosOL::showItemCounts() {
    if (!lblContagem) {
        return;
    }
    if (itemFlags_.empty() && !dm_->cdsItem->active()) {
        lblContagem->clear();
        return;
    }
    lblContagem->setText(msgPadrao->Msg(QStringLiteral("Contagem"))
                             .arg(qsizetype(itemFlags_.size()))
                             .arg(markedItems_)
                             .arg(changedItems_));
}
