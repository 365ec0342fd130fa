#pragma once

#include "sup/widgetkit/BaseScreens.h"

#include <memory>

class QLabel;
class QPainter;
class QPushButton;
class QStyleOptionViewItem;

namespace Ui {
class VisCadaAuto;
}

namespace sup::data {
class TDataSource;
} // namespace sup::data

namespace sup::host {
class TDBGrid;
} // namespace sup::host

// The preview of the automatic alteration: per chosen item, the product, brand, quantity and
// delivery date it has and the ones the alteration would give it, whether it would be altered
// and why not. Read-only; the rows of items that would not be altered stand out (refused ones in
// red, unchanged ones greyed), those short of OL stock in yellow; a line above the list counts
// them. "&Fechar" or Esc closes it. The list is the routine's data module's cdsVisAltAtuItem,
// filled by the automatic alteration screen before it opens this one.
class TfrmVisCadaAuto : public sup::host::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmVisCadaAuto(QWidget* parent = nullptr);
    ~TfrmVisCadaAuto() override;

    void FormActivate() override;
    void btnFecharClick();

    // How a row of the list is shown.
    enum class RowKind { Altered, ShortOfStock, Refused, Unchanged };
    RowKind rowKind(int row) const;
    // The counts line: altered, refused (a particularity's items included) and short of stock.
    void ShowCounts();

    QLabel* lblResumo = nullptr;
    sup::host::TDBGrid* dbgPadrao = nullptr;
    QPushButton* btnFechar = nullptr;
    sup::data::TDataSource* dtsVisAltAtuItem = nullptr;

private:
    void bindControls();
    void connectHandlers();
    bool dbgPadraoDrawColumnCell(QPainter& painter, const QStyleOptionViewItem& option);

    std::unique_ptr<Ui::VisCadaAuto> ui_;
};
