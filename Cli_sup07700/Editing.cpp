// The editing rules of an item: the product and brand checks, the blocked-item guard, the
// checks and bookkeeping before a post, and the OL stock warning of the save.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"
#include "sup/data/Format.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Product.h"
#include "sup/widgetkit/Query.h"

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataSetState;
using sup::data::TField;
using sup::data::TWorkingSet;
namespace calls = sup::contracts::calls;

namespace {

bool editing(const TWorkingSet* set) {
    return set->state() == DataSetState::Edit || set->state() == DataSetState::Insert;
}

// A text field of the current record of a set; empty when the set is closed or empty.
QString valueOf(const TWorkingSet* set, QStringView field) {
    if (!set->active() || set->isEmpty())
        return {};
    return set->fieldByName(field)->asString();
}

// The quantity as text, the form in which a change of quantity is told (10 and 10.0 are
// both "10").
QString quantityText(const QVariant& value) {
    return value.isValid() ? sup::data::formatNumber(value.toDouble(), u"") : QString();
}

bool changedText(const TField* f) {
    return f->asString() != f->oldValue().toString();
}

// Element `i` of a list answer, as a data packet; anything else is a malformed answer.
DataPacket packetAt(const QVariant& payload, int i) {
    const QVariantList list = payload.toList();
    if (i >= list.size() || list[i].metaType() != QMetaType::fromType<DataPacket>())
        throw EHostError(QString::fromUtf8("A resposta do servidor não veio no formato "
                                           "esperado; o item não foi alterado."));
    return list[i].value<DataPacket>();
}

} // namespace

QString TfrmAltPedidosOL::destinationBranch() const {
    return dm_->cdsItem->fieldByName(u"CDFILDEST")->asString().left(4);
}

void TfrmAltPedidosOL::focusColumn(const char* field) {
    dbgPadrao->setSelectedField(QString::fromLatin1(field));
    dbgPadrao->setFocus(Qt::OtherFocusReason);
}

void TfrmAltPedidosOL::Vd_Produto(bool mandatory) {
    TWorkingSet* item = dm_->cdsItem;
    TField* arvProd = item->fieldByName(u"CDARVPROD");
    TField* produto = item->fieldByName(u"CDPRODUTO");
    try {
        if (editing(item)) {
            produto->setAsString(Dados_Produto(arvProd->asString()).value(2).toString());
            if (EmptyString(arvProd->asString())) {
                if (mandatory)
                    MensErro(msgPadrao->Msg(QStringLiteral("CDPRODUTO_Vazio")));
                return;
            }
            QString typed = arvProd->asString();
            ValidEx(dtsPesqProduto, 0, typed, TValidExOptions{voCadastroLivre}, {}, true);

            TADOIBQuery* q = dm_->qryVdProduto;
            q->Close();
            q->ParamByName(QStringLiteral("P_CDPRODUTO")) = produto->asString();
            q->Open();
            if (q->IsEmpty()) {
                item->fieldByName(u"NMPRODUTO")->clear();
                item->fieldByName(u"SGUNIDADE")->clear();
                MensErro(msgPadrao->Msg(QStringLiteral("CDPRODUTO_N_EXISTE")));
            }
            for (const char16_t* f : {u"CDPRODUTO", u"CDARVPROD", u"NMPRODUTO", u"SGUNIDADE"})
                item->fieldByName(f)->setAsString(q->FieldByName(f)->asString());
        }

        TADOIBQuery* ncmp = dm_->qryVer_ProdNCmp;
        ncmp->Close();
        ncmp->ParamByName(QStringLiteral("P_CDFILDEST")) = destinationBranch();
        ncmp->ParamByName(QStringLiteral("P_CDPRODUTO")) = arvProd->asString();
        ncmp->Open();
        if (!ncmp->IsEmpty() && ncmp->FieldByName(u"CONTA")->asFloat() > 0)
            MensErro(msgPadrao->Msg(QStringLiteral("PROD_N_COMP_FILDEST")));

        Vd_BloqIncluiProdCmpOL();
    } catch (...) {
        focusColumn("CDARVPROD");
        throw;
    }
}

void TfrmAltPedidosOL::vd_CdMarca(bool mandatory) {
    TWorkingSet* item = dm_->cdsItem;
    TField* marca = item->fieldByName(u"CDMARCA");
    TField* nome = item->fieldByName(u"NMMARCA");
    try {
        if (EmptyString(marca->asString())) {
            if (mandatory)
                MensErro(msgPadrao->Msg(QStringLiteral("CDMARCA_Vazia")));
            return;
        }
        marca->setAsString(Ajusta(marca->asString(), 5));

        TADOIBQuery* q = dm_->qryMarca;
        q->Close();
        q->ParamByName(QStringLiteral("P_CDMARCA")) = marca->asString();
        q->Open();
        if (q->IsEmpty()) {
            nome->clear();
            MensErro(msgPadrao->Msg(QStringLiteral("marca_ncad")));
        }
        marca->setAsString(q->FieldByName(u"CDMARCA")->asString());
        nome->setAsString(q->FieldByName(u"NMMARCA")->asString());

        if (valueOf(dm_->cdsParamFilial, u"IDPROSEMMAR") != u"S") {
            {
                TBusyGuard busy(this, aviRecebendo);
                const QVariant answer =
                    calls::GetPesqMarca(dm_->server(), item->fieldByName(u"CDARVPROD")->asString());
                dm_->cdsPesqMarca->loadFromPacket(
                    CheckResultServ(answer, true, 0).value<DataPacket>());
            }
            if (!dm_->cdsPesqMarca->locate(QStringLiteral("CDMARCA"), marca->asString(),
                                           {.caseInsensitive = true})) {
                nome->clear();
                MensErro(msgPadrao->Msg(QStringLiteral("CDMARCA_N_EXISTE")));
            }
        }

        if (valueOf(dm_->cdsParamFilial, u"IDUTLMARPREFOL") == u"S")
            VerificaMarcaPreferencial();
    } catch (...) {
        focusColumn("CDMARCA");
        throw;
    }
}

// An operator without group authorisation may not change the product or brand of a blocked
// item; the quantity stays open to him.
void TfrmAltPedidosOL::guardBlockedItem() {
    if (dm_->cdsAuxItem->tag() == 99)
        return;
    const QString column = dbgPadrao->SelectedField().toUpper();
    if (valueOf(dm_->cdsItem, u"IDITMPEDOLBLOQ") == u"S" &&
        (!dm_->cdsAutGruPop->active() || dm_->cdsAutGruPop->isEmpty()) &&
        (column == u"CDARVPROD" || column == u"CDMARCA")) {
        try {
            MensErro(msgPadrao->Msg(QStringLiteral("Ped_Bloqueado")));
        } catch (...) {
            focusColumn("CALC");
            throw;
        }
    }
}

void TfrmAltPedidosOL::cdsItemBeforeEdit() {
    guardBlockedItem();
}

void TfrmAltPedidosOL::cdsItemBeforePost() {
    if (dm_->cdsAuxItem->tag() == 99)
        return;
    guardBlockedItem();
    Vd_Produto(true);
    vd_CdMarca(true);
    Vd_BloqProdSemRelacOL();
    VdReserva();
    Vd_NUpdProdutoeQtd();

    TWorkingSet* item = dm_->cdsItem;
    TField* qty = item->fieldByName(u"QTPROGENPEOL");
    TField* produto = item->fieldByName(u"CDPRODUTO");
    TField* marca = item->fieldByName(u"CDMARCA");
    if (quantityText(qty->value()) != quantityText(qty->oldValue()) || changedText(produto) ||
        changedText(marca))
        item->fieldByName(u"ALTERADO")->setAsString(u"S");

    if (qty->asFloat() == 0) // an empty quantity reads 0 too
        msgPadrao->ShowMsg(QStringLiteral("Item_Zerado"), mtInformation, mbOK, 0);

    // The snapshot follows the item it was loaded with.
    static const QString key =
        QStringLiteral("CDFILDEST;CDFILLANC;NRPEDEXOL;DTPROGENPEOL;CDMARCA;CDPRODUTO");
    QVariantList loaded;
    for (const QString& f : key.split(QLatin1Char(';')))
        loaded << item->fieldByName(f)->oldValue();
    TWorkingSet* aux = dm_->cdsAuxItem;
    if (aux->active() && aux->locate(key, loaded, {.caseInsensitive = true})) {
        aux->edit();
        aux->fieldByName(u"CDPRODUTO")->setAsString(produto->asString());
        aux->fieldByName(u"CDMARCA")->setAsString(marca->asString());
        aux->fieldByName(u"QTPROGENPEOL")->setValue(qty->value());
        aux->post();
    }
}

void TfrmAltPedidosOL::Vd_BloqIncluiProdCmpOL() {
    TWorkingSet* param = dm_->cdsParametroOL;
    if (valueOf(param, u"IDUTLPRARVOLCMP") != u"S")
        return;
    try {
        const QVariant answer = calls::GetBloqIncluiProdCmpOL(
            dm_->server(), valueOf(param, u"CDGRUPPROD"), valueOf(param, u"CDSUBGRARVOR"),
            dm_->cdsItem->fieldByName(u"CDPRODUTO")->asString());
        TWorkingSet* blocked = dm_->cdsBloqIncluiProdCmpOL;
        blocked->loadFromPacket(CheckResultServ(answer, true, 0).value<DataPacket>());
        blocked->first();
        if (!EmptyString(valueOf(blocked, u"CDPRODUTO")))
            MensErro(msgPadrao->Msg(QStringLiteral("N_Prod_CMP_OL")));
    } catch (...) {
        DeactiveShowAvi();
        throw;
    }
}

void TfrmAltPedidosOL::Vd_BloqProdSemRelacOL() {
    TWorkingSet* item = dm_->cdsItem;
    const QVariant answer = calls::GetBloqProdSemRelacOL(
        dm_->server(), item->fieldByName(u"CDPRODUTO")->asString(),
        item->fieldByName(u"CDMARCA")->asString(), destinationBranch());
    const QVariant payload = CheckResultServ(answer, true, 0);
    const DataPacket supply = packetAt(payload, 0);
    const DataPacket relations = packetAt(payload, 1);
    dm_->cdsParaSupriOL->loadFromPacket(supply);
    dm_->cdsProdRelacOL->loadFromPacket(relations);
    if (valueOf(dm_->cdsParaSupriOL, u"IDBLQLANITSEMRELACOL") == u"S" &&
        dm_->cdsProdRelacOL->isEmpty()) {
        focusColumn("CDARVPROD");
        MensErro(msgPadrao->Msg(QStringLiteral("Prod_Sem_Relac_OL")));
    }
}

// Product or brand may change, or the quantity, never both: the comparison is with the loaded
// values, so two separate edits count as one change.
void TfrmAltPedidosOL::Vd_NUpdProdutoeQtd() {
    TWorkingSet* item = dm_->cdsItem;
    const TField* qty = item->fieldByName(u"QTPROGENPEOL");
    const QVariant old = qty->oldValue();
    const bool quantityChanged =
        qty->isNull() != !old.isValid() || (!qty->isNull() && qty->asFloat() != old.toDouble());
    if (!quantityChanged)
        return;
    if (changedText(item->fieldByName(u"CDARVPROD")))
        MensErro(msgPadrao->Msg(QStringLiteral("Alt_Prod_Qtd")));
    else if (changedText(item->fieldByName(u"CDMARCA")))
        MensErro(msgPadrao->Msg(QStringLiteral("Alt_Marca_Qtd")));
}

void TfrmAltPedidosOL::Vd_Estoque_Disponivel(const QString& filialDestino,
                                             const QString& filialLancamento, const QString& ol,
                                             const QString& marca, const QString& produto,
                                             const QString& arvProd, double quantidade) {
    // The server gets copies: what it may write back is not read.
    QString destino = filialDestino, lancamento = filialLancamento, operador = ol, cdMarca = marca,
            cdProduto = produto, cdArvProd = arvProd;
    double qty = quantidade;
    bool enough = true;
    {
        TBusyGuard busy(this, aviRecebendo);
        const QVariant answer = calls::GetVd_Est_Disp(dm_->server(), destino, lancamento, operador,
                                                      cdMarca, cdProduto, cdArvProd, qty);
        enough = resultAsBoolean(CheckResultServ(answer, true, 1));
    }
    if (!enough)
        msgPadrao->ShowMsg(QStringLiteral("NAOHAESTOQUE"), mtWarning, mbOK, 0);
}
