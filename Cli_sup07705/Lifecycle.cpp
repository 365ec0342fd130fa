// Activation of the automatic alteration's preview: the counts line and the list's first row.
#include "Cli_sup07705/TfrmVisCadaAuto.h"

#include "Dm_sup07700/Dm_sup07700.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Messages.h"

#include <QLabel>

using namespace sup::host;

void TfrmVisCadaAuto::FormActivate() {
    TfrmRotiGeral::FormActivate();
    ShowCounts();
    sup07700::DataModule().cdsVisAltAtuItem->first();
    dbgPadrao->setFocus();
}

void TfrmVisCadaAuto::ShowCounts() {
    const sup::data::TWorkingSet* set = sup07700::DataModule().cdsVisAltAtuItem;
    int altered = 0, refused = 0, shortOfStock = 0;
    for (int row = 0; row < set->recordCount(); ++row) {
        switch (rowKind(row)) {
        case RowKind::ShortOfStock:
            ++shortOfStock;
            [[fallthrough]];
        case RowKind::Altered:
            ++altered;
            break;
        case RowKind::Refused:
        case RowKind::Unchanged:
            ++refused;
            break;
        }
    }
    QString text = Format(
        msgPadrao->Msg(QStringLiteral("Resumo")),
        {QString::number(altered), QString::number(refused), QString::number(set->recordCount())});
    if (shortOfStock > 0)
        text +=
            Format(msgPadrao->Msg(QStringLiteral("Sem_Saldo")), {QString::number(shortOfStock)});
    lblResumo->setText(text + u' ' + msgPadrao->Msg(QStringLiteral("Nada_Gravado")));
}

void TfrmVisCadaAuto::btnFecharClick() {
    setModalResult(mrOk);
}
