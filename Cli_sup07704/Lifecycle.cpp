// Activation of the particularity dialog and its two answers.
#include "Cli_sup07704/TfrmErroCadaAuto.h"

#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/host/Vantrel.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Messages.h"

void TfrmErroCadaAuto::FormActivate() {
    TfrmRotiGeral::FormActivate();
    if (auto* f = sup07700::DataModule().cdsMarcaPref2->fieldByName(u"CDARVPROD"))
        f->setEditMask(sup::host::Vantrel().DBPict(0));
}

void TfrmErroCadaAuto::answer(const QString& value) {
    sup07700::DataModule().stRespMarcaPref = value;
    setModalResult(sup::host::mrOk);
}

void TfrmErroCadaAuto::btnSimClick() {
    answer(QStringLiteral("S"));
}

void TfrmErroCadaAuto::btnNaoClick() {
    answer(QStringLiteral("N"));
}
