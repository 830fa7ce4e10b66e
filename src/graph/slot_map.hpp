// A map from term slot to a 64-bit word, for the lists' record of where the
// terms that moved stand: keys are only added or reassigned, never erased,
// and lookups come from walks of whole lists, one per moved entry. Open
// addressing with linear probing in one array, at most three quarters full:
// a lookup reads one or two neighbouring entries where a node-based map
// follows a pointer to a node of its own, and an entry takes 16 bytes where
// a node and its bucket take about 40.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavro {

class SlotMap {
 public:
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }

  /// The word of `slot`, or nullptr when it has none.
  const uint64_t* Find(uint32_t slot) const {
    if (size_ == 0) return nullptr;
    for (size_t at = Home(slot);; at = (at + 1) & mask_) {
      const Entry& e = entries_[at];
      if (e.key == slot) return &e.value;
      if (e.key == kEmpty) return nullptr;
    }
  }

  /// The word of `slot`, made 0 when it had none. `slot` must not be
  /// UINT32_MAX, which marks an empty entry.
  uint64_t& operator[](uint32_t slot) {
    if (4 * (size_ + 1) > 3 * entries_.size()) Grow();
    size_t at = Home(slot);
    for (; entries_[at].key != kEmpty; at = (at + 1) & mask_) {
      if (entries_[at].key == slot) return entries_[at].value;
    }
    ++size_;
    entries_[at] = {slot, 0};
    return entries_[at].value;
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  struct Entry {
    uint32_t key = kEmpty;
    uint64_t value = 0;
  };

  // Fibonacci hashing: the high bits of the product, as many as the table's
  // size has.
  size_t Home(uint32_t slot) const { return static_cast<size_t>((slot * uint64_t{0x9E3779B97F4A7C15}) >> shift_); }

  void Grow() {
    std::vector<Entry> old = std::move(entries_);
    const size_t capacity = old.empty() ? 16 : 2 * old.size();
    entries_.assign(capacity, Entry{});
    mask_ = capacity - 1;
    shift_ = 64;
    for (size_t c = capacity; c > 1; c >>= 1) --shift_;
    for (const Entry& e : old) {
      if (e.key == kEmpty) continue;
      size_t at = Home(e.key);
      while (entries_[at].key != kEmpty) at = (at + 1) & mask_;
      entries_[at] = e;
    }
  }

  std::vector<Entry> entries_;
  size_t size_ = 0;
  size_t mask_ = 0;
  int shift_ = 64;
};

}  // namespace tavro
