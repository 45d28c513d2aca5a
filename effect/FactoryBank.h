// The flanger's eight factory programs in the stored form the plug-in base loads: the bank's
// chunk as hexadecimal digits, one 112-byte record per program (twelve big-endian floats, then a
// 64-byte name).
#pragma once

#include <cstddef>

namespace flanger::effect {

extern const char kFactoryBank[];
extern const std::size_t kFactoryBankDigits;  // 1792, the terminator not counted

}  // namespace flanger::effect
