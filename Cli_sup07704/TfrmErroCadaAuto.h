#pragma once

#include "sup/widgetkit/BaseScreens.h"

#include <memory>

class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;

namespace Ui {
class ErroCadaAuto;
}

namespace sup::data {
class TDataSource;
} // namespace sup::data

namespace sup::host {
class TDBGrid;
} // namespace sup::host

// The selected items whose new product or brand does not suit their destination branch's
// particularity, listed before the automatic alteration is sent. "&Sim" and "&Não" leave the
// answer in the routine's data module (stRespMarcaPref) and close; closing the window otherwise
// leaves the earlier answer as it was.
class TfrmErroCadaAuto : public sup::host::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmErroCadaAuto(QWidget* parent = nullptr);
    ~TfrmErroCadaAuto() override;

    void FormActivate() override;
    void btnSimClick();
    void btnNaoClick();

    QLabel* imgErroOri = nullptr;
    QLabel* lblErro = nullptr;
    QTabWidget* pgcPadrao = nullptr;
    QWidget* tshFolhaDados = nullptr;
    sup::host::TDBGrid* dbgPadrao = nullptr;
    QPushButton* btnSim = nullptr;
    QPushButton* btnNao = nullptr;
    // The conflict list of the routine's data module (cdsMarcaPref2).
    sup::data::TDataSource* dtsErro = nullptr;

private:
    void bindControls();
    void connectHandlers();
    void answer(const QString& value);

    std::unique_ptr<Ui::ErroCadaAuto> ui_;
};
