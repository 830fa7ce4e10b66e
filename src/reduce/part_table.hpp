// The pass's table of the input parts it made: from a packed part (literal
// bits, then '1' bits) to the made term that holds it. The graph's own terms
// are found through the graph's index of input parts. An open-addressing
// table with linear probing, at most three quarters full; each entry keeps 32 bits of
// its part's hash, so that probing reads a term's masks only on a likely match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reduce/mask_store.hpp"

namespace tavro {

class PartTable {
 public:
  /// Empties the table for parts of `words` 64-bit words (literal and '1'
  /// words together).
  void Reset(size_t words);

  /// The term whose masks equal `part`, or -1.
  int32_t Find(const uint64_t* part, const MaskStore& masks) const;
  /// Adds term `id` with the part `part`; the part must not be held yet.
  void Insert(int32_t id, const uint64_t* part);
  /// Takes term `id`, with the part `part`, out; nothing when it is absent.
  void Erase(int32_t id, const uint64_t* part);

 private:
  struct Entry {
    int32_t id = -1;
    uint32_t tag = 0;
  };
  uint64_t Hash(const uint64_t* part) const;
  size_t Home(uint32_t tag) const { return tag & (entries_.size() - 1); }
  void Place(Entry entry);
  void Grow();
  static bool Crowded(size_t used, size_t capacity);

  std::vector<Entry> entries_;  // a power of two, or empty
  size_t used_ = 0;
  size_t words_ = 0;
};

}  // namespace tavro
