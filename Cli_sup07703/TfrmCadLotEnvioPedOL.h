#pragma once

#include "sup/widgetkit/BaseScreens.h"
#include "sup/widgetkit/Controls.h"
#include "sup/widgetkit/Pickers.h"

#include <QString>

#include <memory>

class QLabel;
class QLineEdit;

namespace Ui {
class CadLotEnvioPedOL;
}

namespace sup::data {
class TDataSource;
} // namespace sup::data

// The dispatch batch of the marked items: one batch given to every marked item of the
// maintenance screen, or the batch taken from them (an empty code). A modal dialog; the items
// come back with their new batches in the reload that follows its close.
class TfrmCadLotEnvioPedOL : public sup::host::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmCadLotEnvioPedOL(QWidget* parent = nullptr);
    ~TfrmCadLotEnvioPedOL() override;

    void FormCreate() override;
    void FormActivate() override;

    // The picker of the open batches.
    void btpLoteEnvioPedOLBeforePesq();
    void btpLoteEnvioPedOLAfterPesq();
    // The code typed: its name goes; leaving the edit checks it.
    void medLoteEnvioPedOLChange();
    void medLoteEnvioPedOLExit();
    // Checks the typed batch with the server (its code in its stored form of ten places) and
    // shows its name; a batch the server does not know ends the running action with the focus
    // on the code.
    void Vd_LotEnvPedOL();
    // Asks and then gives the batch to the marked items (a code) or takes it from them (none).
    void sbtConfirmaClick() override;
    // Sends the batch of the marked items that change: "A" gives them the batch of the edit,
    // "E" takes their batch away. Nothing to change is told and the screen stays open; done, the
    // screen closes.
    void CadLoteEnvPedOL(const QString& mode);

    QLabel* lblLoteEnvioPedOL = nullptr;
    sup::host::TMaskEdit* medLoteEnvioPedOL = nullptr;
    sup::host::TBtnPesquisa* btpLoteEnvioPedOL = nullptr;
    QLineEdit* edtNmLoteEnvioPedOL = nullptr;
    // The batches the picker lists (the data module's cds_VdLotePedOL).
    sup::data::TDataSource* dtsLotePedOL = nullptr;

private:
    void bindControls();
    void connectHandlers();

    std::unique_ptr<Ui::CadLotEnvioPedOL> ui_;
    bool firstActivation_ = true;
};
