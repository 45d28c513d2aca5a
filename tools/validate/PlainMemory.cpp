// Blocks of ordinary memory where the validator has no guard pages (Windows): the same layout,
// so a call of n frames still gets the last n samples, but an overrun goes unnoticed.
#include "tools/validate/GuardedMemory.h"

namespace flanger::tools {

bool isGuardAddress(uintptr_t) noexcept {
    return false;
}

GuardedBlock::GuardedBlock(size_t size, unsigned char fillValue) : length(size) {
    // One byte at least, so even an empty block has an address of its own.
    mappingSize = size > 0 ? size : 1;
    mapping = new unsigned char[mappingSize];
    start = mapping;
    fill(fillValue);
}

GuardedBlock::~GuardedBlock() {
    delete[] mapping;
}

}  // namespace flanger::tools
