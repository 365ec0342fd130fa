#pragma once

// Small readings the automatic alteration's files share: a server answer's packet, and the
// factors and weights that count as 1 when missing.

#include "sup/data/DataPacket.h"
#include "sup/data/Field.h"

#include <QVariant>

namespace sup07700::cadaauto {

inline sup::data::DataPacket packetOf(const QVariant& payload) {
    return payload.value<sup::data::DataPacket>();
}

// A number of a field that counts as 1 when null (and, with `zeroToo`, when 0).
inline double orOne(const sup::data::TField* f, bool zeroToo) {
    if (!f || f->isNull())
        return 1;
    const double v = f->asFloat();
    return zeroToo && v == 0 ? 1 : v;
}

} // namespace sup07700::cadaauto
