// The brand particularities of the destination branch: the check of a changed brand, and the
// text of a particularity type in the conflict list of the automatic alteration.
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::TField;
using sup::data::TWorkingSet;
namespace calls = sup::contracts::calls;

namespace {

DataPacket packetAt(const QVariant& payload, int i) {
    const QVariantList list = payload.toList();
    if (i >= list.size() || list[i].metaType() != QMetaType::fromType<DataPacket>())
        throw EHostError(QString::fromUtf8("A resposta do servidor à verificação das "
                                           "particularidades não veio no formato esperado."));
    return list[i].value<DataPacket>();
}

QString firstText(TWorkingSet* set, QStringView field) {
    if (!set->active() || set->isEmpty())
        return {};
    set->first();
    return set->fieldByName(field)->asString();
}

} // namespace

void TfrmAltPedidosOL::VerificaMarcaPreferencial() {
    TWorkingSet* item = dm_->cdsItem;
    const TField* produto = item->fieldByName(u"CDPRODUTO");
    const TField* marca = item->fieldByName(u"CDMARCA");
    const QString loadedProduct = produto->oldValue().toString();
    const QString loadedBrand = marca->oldValue().toString();
    QString refProduto = !EmptyString(loadedProduct) ? loadedProduct : produto->asString();
    QString refMarca = !EmptyString(loadedBrand) ? loadedBrand : marca->asString();
    if (refMarca == marca->asString())
        return; // the brand is the loaded one

    QString destino = destinationBranch();
    const QString produtoAtual = produto->asString();
    const QString marcaAtual = marca->asString();
    const QString busyText = msgPadrao->Msg(QStringLiteral("Get_Marc_Pref"));
    // The user's "Não" (or a closed question) refuses the change without a word.
    auto ask = [this](const QString& question) {
        const int answer = MsgAlertEx(
            question, mtError,
            {msgPadrao->Msg(QStringLiteral("Sim")), msgPadrao->Msg(QStringLiteral("Nao"))}, 2, 0,
            0);
        if (answer != 10) {
            focusColumn("CDMARCA");
            Abort();
        }
    };

    QVariant payload;
    {
        TBusyGuard busy(this, aviRecebendo, busyText);
        payload = CheckResultServ(calls::VerificaMarcaPref(dm_->server(), destino, produtoAtual,
                                                           marcaAtual, refProduto, refMarca),
                                  true, 0);
    }
    if (payload.toList().value(0).toString() == u"N") {
        TWorkingSet* pref = dm_->cdsMarcaPref1;
        pref->loadFromPacket(packetAt(payload, 1));
        const QString typeText = firstText(pref, u"CDTIPPART").trimmed();
        bool whole = false;
        const int type = typeText.toInt(&whole);
        if (!whole)
            throw EHostError(
                QString::fromUtf8("O servidor informou um tipo de particularidade inválido "
                                  "(\"%1\"); a marca não pôde ser verificada.")
                    .arg(typeText));
        QString key;
        if (type == 1 || type == 7)
            key = QStringLiteral("CdMarca_pref1");
        else if (type == 2 || type == 8)
            key = QStringLiteral("CdMarca_pref2");
        else if (type == 3 || type == 9)
            key = QStringLiteral("CdMarca_pref7");
        const QString detail =
            key.isEmpty() ? QString()
                          : Format(msgPadrao->Msg(key), {firstText(pref, u"CDMARCA").trimmed()});
        ask(msgPadrao->Msg(QStringLiteral("CdMarca_pref")) + QStringLiteral("\r\n") + detail);
    }

    {
        TBusyGuard busy(this, aviRecebendo, busyText);
        payload = CheckResultServ(calls::VerificaMarcaPref1(dm_->server(), destino, produtoAtual,
                                                            marcaAtual, refProduto, refMarca),
                                  true, 0);
    }
    dm_->cdsProdPref->loadFromPacket(packetAt(payload, 2));
    const QString preferred = firstText(dm_->cdsProdPref, u"CDARVPROD").trimmed();
    if (!preferred.isEmpty())
        ask(msgPadrao->Msg(QStringLiteral("CdProduto_pref")) + QStringLiteral("\r\n") +
            Format(msgPadrao->Msg(QStringLiteral("CdMarca_pref8")), {preferred}));
}

QString TfrmAltPedidosOL::cdsMarcaPref2CDTIPPARTGetText(const TField& field) const {
    const TWorkingSet* set = field.dataSet();
    if (!set || set->isEmpty())
        return {};
    const QString type = field.asString().trimmed();
    QString key;
    if (type == u"1" || type == u"7")
        key = QStringLiteral("CdMarca_pref3");
    else if (type == u"2" || type == u"5")
        key = QStringLiteral("CdMarca_pref4");
    else if (type == u"3" || type == u"9")
        key = QStringLiteral("CdMarca_pref5");
    else if (type == u"0")
        key = QStringLiteral("CdMarca_pref6");
    if (key.isEmpty())
        return {};
    return Format(msgPadrao->Msg(key), {set->fieldByName(u"CDMARCA")->asString().trimmed()});
}
