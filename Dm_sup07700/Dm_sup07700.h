#pragma once

#include "units/Export.h"

class TdmAltPedidosOL;

namespace sup07700 {

// The routine's data module while the maintenance screen exists (the screen owns it); nullptr
// otherwise. Every screen of the routine reaches the items, their sibling sets and the server
// through it.
SUP07700_HIDDEN TdmAltPedidosOL* dmAltPedidosOL();
// The data module; without a maintenance screen an error that says so ("A tela de Alteração de
// Pedidos do OL não está aberta; ...").
SUP07700_HIDDEN TdmAltPedidosOL& DataModule();

} // namespace sup07700
