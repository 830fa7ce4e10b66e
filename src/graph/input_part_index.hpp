// The index from a pure input part to the term that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/huge_pages.hpp"
#include "graph/term.hpp"
#include "graph/term_pool.hpp"

namespace tavro {

/// Index from pure input part to term slot: an open-addressing table with
/// linear probing, at most three quarters full, each entry keeping 32 bits of
/// its part's hash (its tag) so that neither probing nor growing reads a
/// term; a filter of two bits per tag, an eighth of the table's size, that
/// tells most absent parts without reading the table; and up to 64 entries not yet placed
/// in the table, placed together so that their table memory is fetched at once.
struct InputPartIndex {
  struct Entry {
    uint32_t slot = kNoSlot;
    uint32_t tag = 0;
  };
  std::vector<Entry, HugePageAllocator<Entry>> entries;  // any size of whole cache lines, or empty
  std::vector<Entry> pending;
  std::vector<uint64_t, HugePageAllocator<uint64_t>> filter;
  int filterShift = 63;
  size_t used = 0;  // entries in the table and pending
  size_t erasedSinceFilter = 0;
};


/// The hash of a pure input part's planes (`words` words each) under which
/// the index holds it.
uint64_t HashOfPlanes(const uint64_t* planes, size_t words);

/// The planes of one input part, on the stack for up to 256 inputs.
class PlaneBuffer {
 public:
  explicit PlaneBuffer(size_t words) {
    if (2 * words > kLocal) heap_.resize(2 * words);
  }
  uint64_t* data() { return heap_.empty() ? local_ : heap_.data(); }

 private:
  static constexpr size_t kLocal = 8;
  uint64_t local_[kLocal];
  std::vector<uint64_t> heap_;
};

/// The planes of a term with a pure input part, packed or held as text.
const uint64_t* PlanesOf(const Term& t, PlaneBuffer& buffer);

/// The term of `pool` indexed under these planes (`words` words each) and
/// their hash, or nullptr.
Term* FindInIndex(const InputPartIndex& index, const TermPool& pool, const uint64_t* planes, size_t words,
                  uint64_t hash);

/// Starts fetching the memory that a lookup of a part of this hash will read.
void PrefetchInIndex(const InputPartIndex& index, uint64_t hash);

/// Enters the term in slot `slot` under the hash of its planes.
void InsertIntoIndex(InputPartIndex& index, uint64_t hash, uint32_t slot);

/// Takes the term out of the index, if it stands in it.
void EraseFromIndex(InputPartIndex& index, const Term& term);

/// Sizes the index for `terms` entries in all, so that it need not grow
/// while they are entered.
void ReserveIndex(InputPartIndex& index, size_t terms);

}  // namespace tavro
