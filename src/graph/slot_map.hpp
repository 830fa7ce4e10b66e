// A map from term slot to a 64-bit word, for the lists' record of where the
// terms that moved stand: keys are only added or reassigned, never erased,
// and lookups come from walks of whole lists, one per moved entry.
//
// A small map is node-based. From kFlatFrom keys on it is one table with
// open addressing and linear probing, at most three quarters full, its keys
// and its words in two arrays: a lookup reads one or two neighbouring keys
// where a node-based map follows a pointer to a node of its own, and a key
// takes about 21 bytes where a node and its bucket take about 40. Maps of up
// to kFlatFrom keys stay node-based: a table that doubles from a few entries
// leaves each of its old arrays behind as a hole in the heap, and a table
// made from a map holds both at once, which for maps of some ten thousand
// keys added up to more than the nodes. When a table's keys come to be a
// large part of the slots below the highest (a pass that takes out most of
// a large graph's terms), a word per slot and a bit that tells the slots
// with a key take less than the table would as it doubles: the map then
// holds its words by slot.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tavro {

class SlotMap {
 public:
  bool empty() const { return size() == 0; }
  size_t size() const { return capacity_ == 0 && !bySlot_ ? small_.size() : size_; }

  /// The word of `slot`, or nullptr when it has none.
  const uint64_t* Find(uint32_t slot) const {
    if (bySlot_) return slot < slotWords_.size() && Holds(slot) ? &slotWords_[slot] : nullptr;
    if (capacity_ == 0) {
      const auto it = small_.find(slot);
      return it == small_.end() ? nullptr : &it->second;
    }
    for (size_t at = Home(slot);; at = (at + 1) & (capacity_ - 1)) {
      if (keys_[at] == slot) return &words_[at];
      if (keys_[at] == kEmpty) return nullptr;
    }
  }

  /// The word of `slot`, made 0 when it had none. `slot` must not be
  /// UINT32_MAX, which marks an empty place of the table.
  uint64_t& operator[](uint32_t slot) {
    highest_ = std::max(highest_, size_t{slot});
    if (bySlot_) {
      if (slot >= slotWords_.size()) ResizeBySlot(std::max(size_t{slot} + 1, slotWords_.size() + slotWords_.size() / 4));
      if (!Holds(slot)) {
        Hold(slot);
        slotWords_[slot] = 0;
        ++size_;
      }
      return slotWords_[slot];
    }
    if (capacity_ == 0) {
      if (small_.size() < kFlatFrom || small_.count(slot) != 0) return small_[slot];
      Grow();
    } else if (4 * (size_ + 1) > 3 * capacity_) {
      Grow();
      if (bySlot_) return (*this)[slot];
    }
    size_t at = Home(slot);
    for (; keys_[at] != kEmpty; at = (at + 1) & (capacity_ - 1)) {
      if (keys_[at] == slot) return words_[at];
    }
    ++size_;
    keys_[at] = slot;
    words_[at] = 0;
    return words_[at];
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  static constexpr size_t kFlatFrom = size_t{1} << 15;

  // Fibonacci hashing: the high bits of the product, as many as the table's
  // size has.
  size_t Home(uint32_t slot) const { return static_cast<size_t>((slot * uint64_t{0x9E3779B97F4A7C15}) >> shift_); }

  bool Holds(uint32_t slot) const { return (held_[slot / 64] >> (slot % 64) & 1) != 0; }
  void Hold(uint32_t slot) { held_[slot / 64] |= uint64_t{1} << (slot % 64); }

  void ResizeBySlot(size_t slots) {
    slotWords_.resize(slots);
    held_.resize((slots + 63) / 64, 0);
  }

  // Doubles the table, or makes it from the node-based map, or holds the
  // words by slot when that takes less than the doubled table.
  void Grow() {
    const size_t oldCapacity = capacity_;
    const size_t slots = highest_ + 1 + (highest_ + 1) / 4;
    if (oldCapacity != 0 && slots * (sizeof(uint64_t) * 8 + 1) <= 2 * oldCapacity * (sizeof(uint32_t) + sizeof(uint64_t)) * 8) {
      ResizeBySlot(slots);
      for (size_t i = 0; i < oldCapacity; ++i) {
        if (keys_[i] == kEmpty) continue;
        Hold(keys_[i]);
        slotWords_[keys_[i]] = words_[i];
      }
      keys_.reset();
      words_.reset();
      capacity_ = 0;
      bySlot_ = true;
      return;
    }
    std::unique_ptr<uint32_t[]> oldKeys = std::move(keys_);
    std::unique_ptr<uint64_t[]> oldWords = std::move(words_);
    capacity_ = oldCapacity == 0 ? 4 * kFlatFrom : 2 * oldCapacity;
    keys_.reset(new uint32_t[capacity_]);
    words_.reset(new uint64_t[capacity_]);  // a word is written when its key is
    std::fill_n(keys_.get(), capacity_, kEmpty);
    shift_ = 64;
    for (size_t c = capacity_; c > 1; c >>= 1) --shift_;
    size_ = 0;
    auto put = [&](uint32_t slot, uint64_t word) {
      size_t at = Home(slot);
      while (keys_[at] != kEmpty) at = (at + 1) & (capacity_ - 1);
      keys_[at] = slot;
      words_[at] = word;
      ++size_;
    };
    for (const auto& [slot, word] : small_) put(slot, word);
    small_ = {};
    for (size_t i = 0; i < oldCapacity; ++i) {
      if (oldKeys[i] != kEmpty) put(oldKeys[i], oldWords[i]);
    }
  }

  std::unordered_map<uint32_t, uint64_t> small_;
  std::unique_ptr<uint32_t[]> keys_;
  std::unique_ptr<uint64_t[]> words_;
  size_t capacity_ = 0;  // 0 while the map is node-based or by slot
  size_t size_ = 0;      // keys in the table, or by slot
  int shift_ = 64;
  size_t highest_ = 0;   // the highest key
  bool bySlot_ = false;
  std::vector<uint64_t> slotWords_, held_;  // by slot: the words, and a bit per slot that has one
};

}  // namespace tavro
