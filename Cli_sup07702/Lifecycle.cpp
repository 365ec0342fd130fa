// Creation and activation of the automatic alteration screen, and what it reads of the
// maintenance screen's items through the routine's data module.
#include "Cli_sup07702/Cli_sup07702.h"
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/host/Vantrel.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Registry.h"

#include <QAction>
#include <QLabel>

using namespace sup::host;
using sup::data::TWorkingSet;

void TfrmCadaAuto::FormCreate() {
    TfrmFiltroPadrao::FormCreate();
    const QString picture = Vantrel().DBPict(0);
    medCdProduto->setEditMask(picture);
    cdsPesqProduto->fieldByName(u"CDARVPROD")->setEditMask(picture);
    depEntrega->Clear();
    btfSaveOpc->setVisible(false);
    btfSaveOpc->setEnabled(false);
    StringConex();
    stNewProduto.clear();
    stNewMarca.clear();
    lblObs->setVisible(false);
}

void TfrmCadaAuto::StringConex() {
    TRegistry registry;
    if (!registry.OpenKeyReadOnly(
            QStringLiteral("SOFTWARE\\QUORVEL\\Sistemas Integrados Quorvel\\WebSrv")))
        return;
    if (registry.ReadString(QStringLiteral("StringConex")).isEmpty()) {
        btfLoadOpc->setEnabled(false);
        btfSaveOpc->setEnabled(false);
    }
}

void TfrmCadaAuto::FormActivate() {
    TfrmFiltroPadrao::FormActivate();
    const QString picture = Vantrel().DBPict(0);
    for (TWorkingSet* set : {cdsPesqProduto, cdsProdutos})
        for (const char16_t* field : {u"CDARVPROD", u"CDPRODARVOL"})
            if (auto* f = set->fieldByName(field))
                f->setEditMask(picture);
    // Items of different products take no product or quantity: only "Padrão" stays.
    if (differentProducts() && btfLoadOpc->isEnabled())
        for (QAction* a : {mnuEmbalagemDiferente, mnuProdutoDiferente, mnuProdutoEntrega,
                           mnuEntrega, mnuQuantidade})
            a->setEnabled(false);
    CarregaOpcoes();
}

QString TfrmCadaAuto::currentItem(const char16_t* field) const {
    return dm().cdsItem->fieldByName(field)->asString();
}

bool TfrmCadaAuto::differentProducts() const {
    return dm().cdsMarcaPref->tag() == 99;
}
