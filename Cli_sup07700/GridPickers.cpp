// The pick lists of the grid's product and brand columns (the ellipsis button of an item in
// edit): the products of the item's OL, the brands of its product or every brand.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Pickers.h"
#include "sup/widgetkit/Query.h"

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataSetState;
using sup::data::TWorkingSet;
namespace calls = sup::contracts::calls;

namespace {

void copyFields(TWorkingSet* to, const TWorkingSet* from,
                std::initializer_list<const char16_t*> fields) {
    for (const char16_t* f : fields)
        to->fieldByName(f)->setAsString(from->fieldByName(f)->asString());
}

} // namespace

void TfrmAltPedidosOL::dbgPadraoEditButtonClick() {
    TWorkingSet* item = dm_->cdsItem;
    const QString column = dbgPadrao->SelectedField().toUpper();
    if (column == u"CDARVPROD") {
        TWorkingSet* products = dm_->cdsPesqProduto;
        {
            TBusyGuard busy(this, aviRecebendo);
            const QVariant answer =
                calls::GetPesqProduto(dm_->server(), item->fieldByName(u"CDFILIOPELOG")->asString(),
                                      QString(), QString(), QStringLiteral("0"), QString());
            products->loadFromPacket(CheckResultServ(answer, true, 0).value<DataPacket>());
        }
        if (products->isEmpty())
            MensErro(msgPadrao->Msg(QStringLiteral("N_Prod_Cad")));
        if (!Pesquisar(dtsPesqProduto, msgPadrao->Msg(QStringLiteral("PRODUTO")), false, true))
            return;
        if (item->state() == DataSetState::Browse) {
            dbgPadrao->setButtonStyle(dbgPadrao->columnIndexOfField(u"CDARVPROD"),
                                      TDBGrid::ButtonStyle::None);
            item->edit(); // the blocked-item guard may refuse it
        }
        copyFields(item, products,
                   {u"CDPRODUTO", u"CDARVPROD", u"NMPRODUTO", u"SGUNIDADE", u"CDMARCA"});
        return;
    }
    if (column != u"CDMARCA")
        return;

    const bool anyBrand = dm_->cdsParamFilial->active() && !dm_->cdsParamFilial->isEmpty() &&
                          dm_->cdsParamFilial->fieldByName(u"IDPROSEMMAR")->asString() == u"S";
    TWorkingSet* source = nullptr;
    if (!anyBrand) {
        const QString product = item->fieldByName(u"CDARVPROD")->asString();
        if (EmptyString(product))
            MensErro(msgPadrao->Msg(QStringLiteral("CDPRODUTO_Vazio")));
        {
            TBusyGuard busy(this, aviRecebendo);
            dm_->cdsPesqMarca->loadFromPacket(
                CheckResultServ(calls::GetPesqMarca(dm_->server(), product), true, 0)
                    .value<DataPacket>());
        }
        if (!Pesquisar(dtsPesqMarca,
                       msgPadrao->Msg(QStringLiteral("MARCA")) + QLatin1Char('|') +
                           msgPadrao->Msg(QStringLiteral("N_marcCadProd")),
                       false, true))
            return;
        source = dm_->cdsPesqMarca;
    } else {
        TADOIBQuery* all = dm_->qryPesqMarcTodas;
        all->Close();
        all->Open();
        if (!Pesquisar_Plus(dtsPesqMarcaTodas,
                            msgPadrao->Msg(QStringLiteral("MARCA")) + QLatin1Char('|') +
                                msgPadrao->Msg(QStringLiteral("Marca_N_Existe")),
                            false, true))
            return;
        source = all;
    }
    if (item->state() == DataSetState::Browse)
        item->edit();
    copyFields(item, source, {u"CDMARCA", u"NMMARCA"});
}
