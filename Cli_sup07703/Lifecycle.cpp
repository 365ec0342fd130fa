// Creation and activation of the dispatch batch screen.
#include "Cli_sup07703/TfrmCadLotEnvioPedOL.h"
#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/DataSource.h"

#include <QLineEdit>

void TfrmCadLotEnvioPedOL::FormCreate() {
    TfrmRotiGeral::FormCreate();
    // The batches live in the routine's data module; without a maintenance screen there is
    // nothing to give a batch to, and the creation ends here with the reason.
    dtsLotePedOL->setDataSet(sup07700::DataModule().cds_VdLotePedOL);
    medLoteEnvioPedOL->Clear();
    edtNmLoteEnvioPedOL->clear();
}

void TfrmCadLotEnvioPedOL::FormActivate() {
    TfrmRotiGeral::FormActivate();
    if (!firstActivation_)
        return;
    firstActivation_ = false;
    medLoteEnvioPedOL->setFocus(Qt::OtherFocusReason);
}
