#pragma once

#include "units/Export.h"

// The module's description for the host's module loader.
struct TPackageUnitInfo {
    const char* name;
};

struct TPackageInfoTable {
    const char* packageName; // "Pkg_sup07700"
    const char* description; // "SUP07700 - Alteração de Pedidos do OL"
    int unitCount;
    const TPackageUnitInfo* units; // in start order
};

extern "C" {
// Opens the routine: the host calls it each time the user starts "SUP07700".
SUP07700_EXPORT void IniProc();
// Start and stop of every unit, once per load (the host's module loader calls them).
SUP07700_EXPORT void Initialize();
SUP07700_EXPORT void Finalize();
SUP07700_EXPORT const TPackageInfoTable* GetPackageInfoTable();
}
