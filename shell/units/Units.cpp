#include "units/Units.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07702/Cli_sup07702.h"
#include "Cli_sup07703/Cli_sup07703.h"
#include "Cli_sup07704/Cli_sup07704.h"
#include "Cli_sup07705/Cli_sup07705.h"
#include "Cli_sup07706/Cli_sup07706.h"

#include <cstring>
#include <iterator>

namespace sup07700 {

namespace {

// Used units come before the units that use them: the maintenance screen's unit uses all the
// others and starts last.
const TUnitEntry kUnits[] = {
    {"Cli_sup07704", Cli_sup07704_Initialization, Cli_sup07704_Finalization},
    {"Cli_sup07705", Cli_sup07705_Initialization, Cli_sup07705_Finalization},
    {"Cli_sup07706", Cli_sup07706_Initialization, Cli_sup07706_Finalization},
    {"Cli_sup07701", Cli_sup07701_Initialization, Cli_sup07701_Finalization},
    {"Cli_sup07702", Cli_sup07702_Initialization, Cli_sup07702_Finalization},
    {"Cli_sup07703", Cli_sup07703_Initialization, Cli_sup07703_Finalization},
    {"Cli_sup07700", Cli_sup07700_Initialization, Cli_sup07700_Finalization},
};
constexpr int kUnitCount = int(std::size(kUnits));

int gStarts[kUnitCount] = {};

} // namespace

const TUnitEntry* Units(int* count) {
    *count = kUnitCount;
    return kUnits;
}

void InitializeUnits() {
    for (int i = 0; i < kUnitCount; ++i) {
        if (gStarts[i]++ == 0) {
            kUnits[i].initialization();
        }
    }
}

void FinalizeUnits() {
    for (int i = kUnitCount - 1; i >= 0; --i) {
        if (gStarts[i] > 0 && --gStarts[i] == 0) {
            kUnits[i].finalization();
        }
    }
}

int UnitStartCount(const char* name) {
    for (int i = 0; i < kUnitCount; ++i) {
        if (std::strcmp(kUnits[i].name, name) == 0) {
            return gStarts[i];
        }
    }
    return 0;
}

} // namespace sup07700
