#include "reduce/part_table.hpp"

#include <algorithm>

namespace tavro {

// At most three quarters full: a probe for an absent part then reads about
// five entries, within a line or two of memory.
bool PartTable::Crowded(size_t used, size_t capacity) { return 4 * used > 3 * capacity; }

void PartTable::Reset(size_t words) {
  entries_ = std::vector<Entry>(16);
  used_ = 0;
  words_ = words;
}

uint64_t PartTable::Hash(const uint64_t* part) const {
  uint64_t h = 0x9e3779b97f4a7c15ULL;
  for (size_t w = 0; w < words_; ++w) {
    h = (h ^ part[w]) * 0x9fb21c651e98df25ULL;
    h ^= h >> 29;
  }
  h *= 0xff51afd7ed558ccdULL;
  return h ^ (h >> 32);
}

int32_t PartTable::Find(const uint64_t* part, const MaskStore& masks) const {
  const uint32_t tag = static_cast<uint32_t>(Hash(part) >> 32);
  for (size_t at = Home(tag);; at = (at + 1) & (entries_.size() - 1)) {
    const Entry& e = entries_[at];
    if (e.id < 0) return -1;
    if (e.tag == tag && std::equal(part, part + words_, masks.Of(e.id))) return e.id;
  }
}

void PartTable::Place(Entry entry) {
  size_t at = Home(entry.tag);
  while (entries_[at].id >= 0) at = (at + 1) & (entries_.size() - 1);
  entries_[at] = entry;
}

void PartTable::Grow() {
  std::vector<Entry> old(2 * entries_.size(), Entry{});
  old.swap(entries_);
  for (const Entry& e : old) {
    if (e.id >= 0) Place(e);
  }
}

void PartTable::Insert(int32_t id, const uint64_t* part) {
  if (Crowded(used_ + 1, entries_.size())) Grow();
  Place(Entry{id, static_cast<uint32_t>(Hash(part) >> 32)});
  ++used_;
}

// Backward-shift deletion: later entries of the probe run move up into the
// hole unless their home lies after the hole, so no marker of a deleted entry
// is needed.
void PartTable::Erase(int32_t id, const uint64_t* part) {
  const size_t mask = entries_.size() - 1;
  size_t hole = Home(static_cast<uint32_t>(Hash(part) >> 32));
  while (entries_[hole].id != id) {
    if (entries_[hole].id < 0) return;
    hole = (hole + 1) & mask;
  }
  for (size_t next = (hole + 1) & mask; entries_[next].id >= 0; next = (next + 1) & mask) {
    const size_t home = Home(entries_[next].tag);
    const bool homeBetween = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (!homeBetween) {
      entries_[hole] = entries_[next];
      hole = next;
    }
  }
  entries_[hole] = Entry{};
  --used_;
}

}  // namespace tavro
