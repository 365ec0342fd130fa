#pragma once

#include "sup/widgetkit/BaseScreens.h"

#include <memory>

class QLabel;

namespace Ui {
class HistItem;
}

namespace sup::data {
class TDataSource;
} // namespace sup::data

namespace sup::host {
class TDBGrid;
} // namespace sup::host

// The history of one order item: every change the server recorded for it (product, brand,
// quantity, block, reservation, dispatch batch, closing), newest first, with when, who and why.
// Read-only; "&Fechar" or Esc closes it.
class TfrmHistItem : public sup::host::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmHistItem(QWidget* parent = nullptr);
    ~TfrmHistItem() override;

    void FormActivate() override;
    // Reads the item's history (GetHistItem) into the routine's data module (cdsHistItem) under
    // the busy indicator. A failed call tells the user why and abandons; the rows read before
    // stay as they were.
    void loadHistory();

    QLabel* lblItem = nullptr;     // names the item
    QLabel* lblContagem = nullptr; // how many changes, or that there are none
    sup::host::TDBGrid* dbgHistorico = nullptr;
    // The history rows of the routine's data module (cdsHistItem).
    sup::data::TDataSource* dtsHistorico = nullptr;

private:
    void bindControls();
    // The grid's columns, titles and widths; again once the rows bring their fields.
    void showColumns();
    void showCount();

    std::unique_ptr<Ui::HistItem> ui_;
};
