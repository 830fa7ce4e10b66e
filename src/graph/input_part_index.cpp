// The index from a pure input part to its term: parts by the tag's top bits,
// each a table of open addressing with linear probing, a filter in front, and
// entries placed in batches.
#include "graph/input_part_index.hpp"

#include <algorithm>
#include <bit>

namespace tavro {

namespace {

uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

}  // namespace

// A word at a time; the number of words enters the last step.
uint64_t HashOfPlanes(const uint64_t* planes, size_t words) {
  uint64_t h = 0x9e3779b97f4a7c15ULL;
  for (size_t w = 0; w < 2 * words; ++w) {
    h = (h ^ planes[w]) * 0x9fb21c651e98df25ULL;
    h ^= h >> 29;
  }
  return Mix(h ^ (static_cast<uint64_t>(words) << 56));
}

const uint64_t* PlanesOf(const Term& t, PlaneBuffer& buffer) {
  if (t.packed()) return t.inputWords();
  packing::PackInputs(t.inputs().str(), buffer.data(), packing::InputWords(t.inputSize()));
  return buffer.data();
}

namespace {

// The tag is the upper half of the hash. Its top bits choose the part, and an
// entry's home position is the rest of the tag scaled to the part's size (a
// multiply and a shift, so the size need not be a power of two), so the tag
// alone places an entry (slots, and so entries, are fewer than 2^32); the
// filter's bits come from the tag too.
uint32_t TagOf(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

using Entry = InputPartTable::Entry;
using Table = InputPartTable;

Table& PartFor(InputPartIndex& index, uint32_t tag) {
  return index.parts[tag >> (32 - InputPartIndex::kPartBits)];
}
const Table& PartFor(const InputPartIndex& index, uint32_t tag) {
  return index.parts[tag >> (32 - InputPartIndex::kPartBits)];
}

size_t Home(const Table& index, uint32_t tag) {
  const uint32_t rest = tag << InputPartIndex::kPartBits;
  return static_cast<size_t>((uint64_t{rest} * index.entries.size()) >> 32);
}

// The place after `at` in probe order, which wraps at the table's end.
size_t Next(const Table& index, size_t at) { return at + 1 == index.entries.size() ? 0 : at + 1; }

void Prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  static_cast<void>(address);
#endif
}

// Two bits of one filter word per tag.
uint64_t FilterMix(uint32_t tag) { return tag * 0x9e3779b97f4a7c15ULL; }
size_t FilterWord(const Table& index, uint64_t mix) {
  return static_cast<size_t>(mix >> index.filterShift);
}
uint64_t FilterBits(uint64_t mix) { return (uint64_t{1} << (mix & 63)) | (uint64_t{1} << ((mix >> 6) & 63)); }

void FilterAdd(Table& index, uint32_t tag) {
  const uint64_t mix = FilterMix(tag);
  index.filter[FilterWord(index, mix)] |= FilterBits(mix);
}

bool FilterMayHold(const Table& index, uint32_t tag) {
  const uint64_t mix = FilterMix(tag);
  const uint64_t bits = FilterBits(mix);
  return (index.filter[FilterWord(index, mix)] & bits) == bits;
}

void PlaceEntry(Table& index, uint32_t tag, uint32_t slot) {
  size_t at = Home(index, tag);
  while (index.entries[at].slot != kNoSlot) at = Next(index, at);
  index.entries[at] = Entry{slot, tag};
}

// Places the pending entries; their homes are fetched some entries ahead, so
// that the table's memory is waited for by many entries at once.
void Flush(Table& index) {
  constexpr size_t kAhead = 8;
  const size_t count = index.pending.size();
  for (size_t i = 0; i < std::min(count, kAhead); ++i) {
    Prefetch(&index.entries[Home(index, index.pending[i].tag)]);
  }
  for (size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) Prefetch(&index.entries[Home(index, index.pending[i + kAhead].tag)]);
    PlaceEntry(index, index.pending[i].tag, index.pending[i].slot);
  }
  index.pending.clear();
}

void RebuildFilter(Table& index) {
  // Eight to sixteen bits per place of the table (at least 11 per entry it
  // may hold), a power of two of words, and at least two, so that the word
  // index takes at least one bit of the mix (a shift by 64 would not be
  // defined).
  const size_t words = std::bit_ceil(std::max<size_t>(2, index.entries.size() / 8));
  index.filter.assign(words, 0);
  index.filterShift = 64 - std::countr_zero(words);
  for (const Entry& e : index.entries) {
    if (e.slot != kNoSlot) FilterAdd(index, e.tag);
  }
  for (const Entry& e : index.pending) FilterAdd(index, e.tag);
  index.erasedSinceFilter = 0;
}

void Resize(Table& index, size_t capacity) {
  decltype(index.entries) old;
  old.swap(index.entries);
  index.entries.assign(capacity, Entry{});
  for (const Entry& e : old) {
    if (e.slot != kNoSlot) PlaceEntry(index, e.tag, e.slot);
  }
  Flush(index);
  RebuildFilter(index);
}

// At most three quarters full: with the filter in front, most lookups of
// absent parts never probe, and those that do stay within a line or two.
bool Crowded(size_t entries, size_t capacity) { return 4 * entries > 3 * capacity; }

// The least capacity that holds `terms` uncrowded, in whole cache lines.
size_t CapacityFor(size_t terms) {
  constexpr size_t kLine = 64 / sizeof(Entry);
  const size_t capacity = std::max<size_t>(16, (4 * terms + 2) / 3);
  return (capacity + kLine - 1) / kLine * kLine;
}

// A crowded part grows by a quarter: the index is reserved for the terms a
// file may hold, and grows beyond that only by the terms the reduction makes
// (a tenth more, say), which doubling would pay for with twice the table for
// the rest of the run. Each part holds its old and new table at once only
// while it alone grows.
void Insert(Table& index, uint32_t tag, uint32_t slot) {
  constexpr size_t kPendingAtMost = 64;
  if (Crowded(index.used + 1, index.entries.size())) {
    Resize(index, CapacityFor(index.used + 1 + index.used / 4));
  }
  FilterAdd(index, tag);
  index.pending.push_back(Entry{slot, tag});
  ++index.used;
  if (index.pending.size() == kPendingAtMost) Flush(index);
}

// The term in a slot of the pool, as the planes that a lookup compares.
const uint64_t* PoolPlanes(const void* pool, uint32_t slot, PlaneBuffer& buffer) {
  return PlanesOf((*static_cast<const TermPool*>(pool))[slot], buffer);
}

}  // namespace

// Most parts looked up name no term; the filter, far smaller than the table,
// answers those without reading the table.
uint32_t FindSlotInIndex(const InputPartIndex& whole, const uint64_t* planes, size_t words, uint64_t hash,
                         SlotPlanes planesOf, const void* context) {
  const uint32_t tag = TagOf(hash);
  const Table& index = PartFor(whole, tag);
  if (index.entries.empty() || !FilterMayHold(index, tag)) return kNoSlot;
  PlaneBuffer buffer(words);
  const auto same = [&](uint32_t slot) {
    const uint64_t* own = planesOf(context, slot, buffer);
    return std::equal(planes, planes + 2 * words, own);
  };
  for (const Entry& e : index.pending) {
    if (e.tag == tag && same(e.slot)) return e.slot;
  }
  for (size_t at = Home(index, tag);; at = Next(index, at)) {
    const Entry& e = index.entries[at];
    if (e.slot == kNoSlot) return kNoSlot;
    if (e.tag == tag && same(e.slot)) return e.slot;
  }
}

Term* FindInIndex(const InputPartIndex& index, const TermPool& pool, const uint64_t* planes, size_t words,
                  uint64_t hash) {
  const uint32_t slot = FindSlotInIndex(index, planes, words, hash, PoolPlanes, &pool);
  return slot == kNoSlot ? nullptr : const_cast<Term*>(&pool[slot]);
}

void PrefetchInIndex(const InputPartIndex& whole, uint64_t hash) {
  const uint32_t tag = TagOf(hash);
  const Table& index = PartFor(whole, tag);
  if (index.entries.empty()) return;
  Prefetch(&index.filter[FilterWord(index, FilterMix(tag))]);
  Prefetch(&index.entries[Home(index, tag)]);
}

void InsertIntoIndex(InputPartIndex& index, uint64_t hash, uint32_t slot) {
  const uint32_t tag = TagOf(hash);
  Insert(PartFor(index, tag), tag, slot);
}

namespace {

// Backward-shift deletion: later entries of the probe run move up, so no
// marker of a deleted entry is needed. The filter keeps the entry's bits
// until it is rebuilt. False when the table has no such entry.
bool EraseEntry(Table& index, uint32_t tag, uint32_t slot) {
  if (index.entries.empty()) return false;
  Flush(index);
  size_t at = Home(index, tag);
  while (index.entries[at].slot != slot) {
    if (index.entries[at].slot == kNoSlot) return false;
    at = Next(index, at);
  }
  size_t hole = at;
  for (size_t next = Next(index, at);; next = Next(index, next)) {
    const Entry e = index.entries[next];
    if (e.slot == kNoSlot) break;
    const size_t home = Home(index, e.tag);
    // The entry may fill the hole unless its home lies after the hole, in
    // probe order, up to its own place.
    const bool homeBetween = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (!homeBetween) {
      index.entries[hole] = e;
      hole = next;
    }
  }
  index.entries[hole] = Entry{};
  --index.used;
  return true;
}

}  // namespace

void EraseSlotFromIndex(InputPartIndex& index, uint64_t hash, uint32_t slot) {
  const uint32_t tag = TagOf(hash);
  EraseEntry(PartFor(index, tag), tag, slot);
}

void EraseFromIndex(InputPartIndex& whole, const Term& term) {
  const size_t words = packing::InputWords(term.inputSize());
  PlaneBuffer buffer(words);
  const uint32_t tag = TagOf(HashOfPlanes(PlanesOf(term, buffer), words));
  Table& index = PartFor(whole, tag);
  if (!EraseEntry(index, tag, static_cast<uint32_t>(term.slot))) return;
  // A table far larger than its entries would make every filter rebuild
  // cost the table's size; it shrinks once it is an eighth full.
  if (index.entries.size() > 64 && 8 * index.used < index.entries.size()) {
    Resize(index, CapacityFor(index.used));
  } else if (++index.erasedSinceFilter > index.used) {
    RebuildFilter(index);
  }
}

// The parts share the terms about evenly (the tag's top bits are those of a
// good hash): each is sized for its share and some more, and a part that
// gets more than that grows alone.
void ReserveIndex(InputPartIndex& index, size_t terms) {
  const size_t share = (terms + InputPartIndex::kParts - 1) / InputPartIndex::kParts;
  const size_t capacity = CapacityFor(share + share / 32 + std::min<size_t>(share, 64));
  for (Table& part : index.parts) {
    if (capacity > part.entries.size()) Resize(part, capacity);
  }
}

}  // namespace tavro
