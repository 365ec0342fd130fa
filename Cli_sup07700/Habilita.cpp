// The enabling of every action from the state of the item set.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"

using sup::data::DataSetState;

bool TfrmAltPedidosOL::reservationColumnShown() const {
    return dbgPadrao->isColumnVisible(kReservationColumn);
}

void TfrmAltPedidosOL::Habilita() {
    const sup::data::TWorkingSet* set = dtsPadrao->dataSet();
    const bool E = !set || !set->active() || set->isEmpty();
    const sup::data::TWorkingSet* cdsItem = dm_->cdsItem;
    const int C = cdsItem->active() ? cdsItem->changeCount() : 0;
    const DataSetState S = dtsPadrao->state();
    const bool editing = S == DataSetState::Edit || S == DataSetState::Insert;
    const bool browse = S == DataSetState::Browse;
    const bool operations = !E && C > 0 && !editing;

    mnuConfirmar->setEnabled(!E && (C > 0 || editing));
    mnuCancelar->setEnabled(!E && (C > 0 || editing));
    mnuFiltro->setEnabled(C == 0 && !editing);
    mnuIncluir->setEnabled(false);
    mnuAlterar->setEnabled(!E && browse && C == 0);
    mnuExcluir->setEnabled(false);
    mnuProcurar->setEnabled(!E && browse);
    mnuVerificar->setEnabled(!E && C == 0 && !editing);
    mnuBaixaManual->setEnabled(operations);
    mnuED->setEnabled(operations);
    mnuAltAut->setEnabled(operations);
    mnuEnvPedOL->setEnabled(operations);
    mnuBloqItem->setEnabled(operations && dm_->cdsAutGruPop->active() &&
                            !dm_->cdsAutGruPop->isEmpty());
    mnuReservaOL->setEnabled(operations && reservationColumnShown());
    mnuConfImpressora->setEnabled(false);
    mnuListagem->setEnabled(false);
    dbnPadrao->setEnabled(browse);
}
