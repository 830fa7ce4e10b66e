// The index from a pure input part to the term that holds it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/huge_pages.hpp"
#include "graph/term.hpp"
#include "graph/term_pool.hpp"

namespace tavro {

/// One part of the index from pure input part to term slot: an
/// open-addressing table with linear probing, at most three quarters full,
/// each entry keeping 32 bits of its part's hash (its tag) so that neither
/// probing nor growing reads a term; a filter of two bits per tag, an eighth
/// of the table's size, that tells most absent parts without reading the
/// table; and up to 64 entries not yet placed in the table, placed together
/// so that their table memory is fetched at once. Threads may enter parts in
/// different tables at once, so each table has cache lines of its own.
struct alignas(64) InputPartTable {
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

/// Index from pure input part to term slot, in parts chosen by the top bits
/// of the tag: each part is a table of its own, so that threads that each
/// own some parts may look up and enter parts at once, and a part that grows
/// holds only its own old table beside the new one.
struct InputPartIndex {
  static constexpr int kPartBits = 5;
  static constexpr size_t kParts = size_t{1} << kPartBits;
  std::array<InputPartTable, kParts> parts;
};

/// The entries of every part.
inline size_t IndexedCount(const InputPartIndex& index) {
  size_t used = 0;
  for (const InputPartTable& part : index.parts) used += part.used;
  return used;
}

/// The part of the index that holds the input parts of this hash.
inline size_t IndexPartOf(uint64_t hash) { return static_cast<size_t>(hash >> (64 - InputPartIndex::kPartBits)); }

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

/// The planes of the term in a slot, for a lookup that reads other terms
/// than those of a pool (terms being built): `buffer` may hold them.
using SlotPlanes = const uint64_t* (*)(const void* context, uint32_t slot, PlaneBuffer& buffer);

/// The slot indexed under these planes and their hash, or kNoSlot; the
/// planes of an entry's slot are what `planesOf` gives for it.
uint32_t FindSlotInIndex(const InputPartIndex& index, const uint64_t* planes, size_t words, uint64_t hash,
                         SlotPlanes planesOf, const void* context);

/// Starts fetching the memory that a lookup of a part of this hash will read.
void PrefetchInIndex(const InputPartIndex& index, uint64_t hash);

/// Enters the term in slot `slot` under the hash of its planes.
void InsertIntoIndex(InputPartIndex& index, uint64_t hash, uint32_t slot);

/// Takes the term out of the index, if it stands in it.
void EraseFromIndex(InputPartIndex& index, const Term& term);

/// Takes the entry of slot `slot` under this hash out of the index, if it
/// stands in it; no term is read. Unlike EraseFromIndex, the table keeps its
/// size and its filter, for entries that are about to come back.
void EraseSlotFromIndex(InputPartIndex& index, uint64_t hash, uint32_t slot);

/// Sizes the index for `terms` entries in all, so that it need not grow
/// while they are entered.
void ReserveIndex(InputPartIndex& index, size_t terms);

}  // namespace tavro
