// The number of bits set in a word. Where the target has no population-count
// instruction (the baseline x86-64 that distributions build for), GCC and
// Clang compile std::popcount to a call into their support library; these
// few shifts and masks count in registers instead.
#pragma once

#include <bit>
#include <cstdint>

namespace tavro {

inline int PopCount(uint64_t x) {
#if defined(__GNUC__) && !defined(__POPCNT__)
  x -= (x >> 1) & 0x5555555555555555ULL;
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
#else
  return std::popcount(x);
#endif
}

}  // namespace tavro
