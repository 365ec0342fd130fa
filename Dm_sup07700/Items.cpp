// The item request of the data module: GetItem and the loading of its four packets.
#include "Dm_sup07700/TdmAltPedidosOL.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/Consiste.h"
#include "sup/widgetkit/Messages.h"

#include <array>

using sup::data::DataPacket;
using sup::data::TWorkingSet;

namespace {

QString badAnswer() {
    return QString::fromUtf8("A resposta do servidor à consulta dos pedidos não veio no formato "
                             "esperado; os pedidos mostrados não foram alterados.");
}

// One packet of the answer, checked against the set it is meant for. A set with declared fields
// gets a copy already in its own field types (a trial load), so that the real load that follows
// cannot fail half way through the four sets.
DataPacket conformed(const QVariant& value, const TWorkingSet& target, bool declared) {
    if (value.metaType() != QMetaType::fromType<DataPacket>()) {
        throw sup::host::EHostError(badAnswer());
    }
    const DataPacket packet = value.value<DataPacket>();
    if (packet.isDelta()) {
        throw sup::host::EHostError(badAnswer());
    }
    if (!declared) {
        return packet;
    }
    TWorkingSet trial;
    trial.setFieldDefs(target.fieldDefs());
    trial.loadFromPacket(packet);
    return trial.data();
}

} // namespace

void TdmAltPedidosOL::loadItems(sup::contracts::ItemCriteria& criteria) {
    const QVariant answer = sup::contracts::calls::GetItem(server(), criteria);
    const QVariant payload = sup::host::CheckResultServ(answer, true, 0);
    if (payload.typeId() != QMetaType::QVariantList) {
        throw sup::host::EHostError(badAnswer());
    }
    const QVariantList list = payload.toList();
    if (list.size() < 4) {
        throw sup::host::EHostError(badAnswer());
    }
    // The whole answer is checked before any set changes.
    const std::array<TWorkingSet*, 4> targets = {cdsItem, cdsParamFilial, cdsAjusteQtde,
                                                 cdsAutGruPop};
    std::array<DataPacket, 4> packets;
    for (int i = 0; i < 4; ++i) {
        // The group authorisations take the fields of their packet.
        packets[i] = conformed(list[i], *targets[i], targets[i] != cdsAutGruPop);
    }
    // The items last: whatever reacts to their load finds the other sets filled.
    for (int i = 3; i >= 0; --i) {
        targets[i]->loadFromPacket(packets[i]);
    }
    emit itemsLoaded();
}
