#pragma once

// Bounded-memory checks for the decoder tests.
//
// - Every operator new of the test executable is counted (bytes live and the peak since the
//   last reset): the decoder's column storage is std::vector and QHash.
// - Outside the sanitizers, an AddressSpaceCap limits the process's address space to what it
//   has plus a margin, so that any attempt to reserve a huge block (Qt containers use malloc,
//   which operator new does not see) fails with std::bad_alloc instead of quietly succeeding.
//   Under AddressSanitizer the shadow memory makes an address-space limit unusable; there an
//   oversized allocation is reported by the sanitizer itself.

#include <QtGlobal>

#include <cstddef>

namespace probe {

void resetPeak();
std::size_t liveBytes();
std::size_t peakBytes(); // peak of operator new bytes since resetPeak(), above the live bytes then

class AddressSpaceCap {
public:
    explicit AddressSpaceCap(std::size_t marginBytes);
    ~AddressSpaceCap();
    AddressSpaceCap(const AddressSpaceCap&) = delete;
    AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
    unsigned long long oldSoft_ = 0;
};

} // namespace probe
