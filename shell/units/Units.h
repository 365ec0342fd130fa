#pragma once

// The routine's units and their start and stop, run once per load of the module in dependency
// order (stop in the reverse order).
namespace sup07700 {

struct TUnitEntry {
    const char* name;
    void (*initialization)();
    void (*finalization)();
};

// The units in dependency order.
const TUnitEntry* Units(int* count);

// Runs the start of every unit that has not started yet (a per-unit counter makes a repeated
// start a no-op) and, for Finalize, the stop of every started unit in reverse order.
void InitializeUnits();
void FinalizeUnits();

// Number of starts of a unit minus its stops (0 when stopped), for the shell and the tests.
int UnitStartCount(const char* name);

} // namespace sup07700
