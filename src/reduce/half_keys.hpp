// The keys by which the terms without a dash are decided all at once
// (isolated_terms.cpp), and their sort.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tavro {

// A term without a dash by the bits of its '1' mask in two halves of the
// places: `own` of the half that a run shares, `other` of the rest.
struct HalfKey {
  uint64_t own;
  uint64_t other;
  uint32_t at;  // place in the list of terms being decided
  bool operator<(const HalfKey& k) const { return own != k.own ? own < k.own : other < k.other; }
};

// Sorts the keys by `own`, then `other`, where the two fit in one word
// (inputs of up to 64 places): a least-significant-digit radix sort, eleven
// bits a pass, whose passes read and write the keys in order where a
// comparison sort would jump about. No two keys are equal (no two terms have
// one input part), so the order is the comparison sort's.
inline void SortKeys(std::vector<HalfKey>& keys, std::vector<HalfKey>& scratch, size_t ownBits, size_t otherBits) {
  constexpr size_t kDigitBits = 11, kSmall = 4096;
  const size_t bits = ownBits + otherBits;
  if (bits > 64 || otherBits >= 64 || keys.size() < kSmall) {
    std::sort(keys.begin(), keys.end());
    return;
  }
  auto word = [otherBits](const HalfKey& k) { return k.own << otherBits | k.other; };
  scratch.resize(keys.size());
  std::vector<size_t> count(size_t{1} << kDigitBits);
  for (size_t shift = 0; shift < bits; shift += kDigitBits) {
    const uint64_t mask = (uint64_t{1} << kDigitBits) - 1;
    std::fill(count.begin(), count.end(), 0);
    for (const HalfKey& k : keys) ++count[word(k) >> shift & mask];
    size_t at = 0;
    for (size_t& c : count) at += std::exchange(c, at);
    for (const HalfKey& k : keys) scratch[count[word(k) >> shift & mask]++] = k;
    keys.swap(scratch);
  }
}

}  // namespace tavro
