// The order of the working list, and the terms that wait for their visit in
// one pass, in that order.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace tavro {

inline constexpr uint64_t kNoArrival = std::numeric_limits<uint64_t>::max();

// A term's place in the working list, which is in order of dashCount, largest
// first, then of arrival: a term made in the pass arrives at the end of its
// dashCount's block, where a stable sort and merge put it.
struct ListPlace {
  int32_t dash = std::numeric_limits<int32_t>::max();  // the default: before every term
  uint64_t arrival = 0;

  friend bool operator<(const ListPlace& a, const ListPlace& b) {
    return a.dash != b.dash ? a.dash > b.dash : a.arrival < b.arrival;
  }
  // The place right after this one.
  ListPlace After() const { return {dash, arrival + 1}; }
};

// The pending terms of one block, as bits by arrival number, with a summary
// bit per word so that the search for the next one skips empty stretches.
struct PendingBlock {
  std::vector<uint64_t> bits, summary;
  int64_t count = 0;

  void Set(uint64_t a) {
    const size_t w = a / 64;
    if (w >= bits.size()) {
      bits.resize(std::max(w + 1, bits.size() + bits.size() / 4), 0);
      summary.resize((bits.size() + 63) / 64, 0);
    }
    bits[w] |= uint64_t{1} << (a % 64);
    summary[w / 64] |= uint64_t{1} << (w % 64);
    ++count;
  }

  void Clear(uint64_t a) {
    const size_t w = a / 64;
    bits[w] &= ~(uint64_t{1} << (a % 64));
    if (bits[w] == 0) summary[w / 64] &= ~(uint64_t{1} << (w % 64));
    --count;
  }

  // The smallest pending arrival at or after `from`, or kNoArrival.
  uint64_t Next(uint64_t from) const {
    if (count == 0) return kNoArrival;
    size_t w = from / 64;
    if (w >= bits.size()) return kNoArrival;
    if (const uint64_t m = bits[w] & (~uint64_t{0} << (from % 64)); m != 0) {
      return w * 64 + static_cast<size_t>(std::countr_zero(m));
    }
    ++w;
    for (size_t sw = w / 64; sw < summary.size(); ++sw) {
      uint64_t m = summary[sw];
      if (sw == w / 64) m &= ~uint64_t{0} << (w % 64);
      if (m == 0) continue;
      const size_t found = sw * 64 + static_cast<size_t>(std::countr_zero(m));
      return found * 64 + static_cast<size_t>(std::countr_zero(bits[found]));
    }
    return kNoArrival;
  }
};

// The pending terms of a pass: a block per dashCount, a bit per block that
// holds any (so that a pass over a few terms with many dashes neither clears
// nor searches every block), and the slot of each pending arrival.
struct PendingTerms {
  std::vector<PendingBlock> blocks;
  std::vector<uint64_t> busy;
  std::vector<int32_t> slotOfArrival;
  size_t count = 0;

  void Add(size_t dash, uint64_t arrival, int32_t slot) {
    if (dash >= blocks.size()) {
      blocks.resize(dash + 1);
      busy.resize(std::max(busy.size(), dash / 64 + 1), 0);
    }
    blocks[dash].Set(arrival);
    busy[dash / 64] |= uint64_t{1} << (dash % 64);
    ++count;
    if (arrival >= slotOfArrival.size()) {
      slotOfArrival.resize(std::max<size_t>(arrival + 1, slotOfArrival.size() + slotOfArrival.size() / 4));
    }
    slotOfArrival[arrival] = slot;
  }

  void Remove(size_t dash, uint64_t arrival) {
    blocks[dash].Clear(arrival);
    if (blocks[dash].count == 0) busy[dash / 64] &= ~(uint64_t{1} << (dash % 64));
    --count;
  }

  // Empties every block, keeping its memory.
  void Clear() {
    for (size_t w = 0; w < busy.size(); ++w) {
      for (uint64_t bits = busy[w]; bits != 0; bits &= bits - 1) {
        PendingBlock& block = blocks[w * 64 + static_cast<size_t>(std::countr_zero(bits))];
        std::fill(block.bits.begin(), block.bits.end(), 0);
        std::fill(block.summary.begin(), block.summary.end(), 0);
        block.count = 0;
      }
      busy[w] = 0;
    }
    count = 0;
  }

  struct Found {
    int32_t slot = -1;
    ListPlace place;
  };

  // The first pending term at `from` or after it, or one with slot -1: the
  // busy blocks at or below from's dashCount, highest first.
  Found Next(ListPlace from) const {
    if (busy.empty()) return {};
    const size_t dash = static_cast<size_t>(from.dash);
    size_t w = std::min(dash / 64, busy.size() - 1);
    uint64_t bits = busy[w];
    if (dash / 64 == w) bits &= ~uint64_t{0} >> (63 - dash % 64);
    for (;;) {
      while (bits != 0) {
        const size_t k = w * 64 + 63 - static_cast<size_t>(std::countl_zero(bits));
        const uint64_t a = blocks[k].Next(k == dash ? from.arrival : 0);
        if (a != kNoArrival) return {slotOfArrival[a], {static_cast<int32_t>(k), a}};
        bits &= ~(uint64_t{1} << (k % 64));
      }
      if (w == 0) return {};
      bits = busy[--w];
    }
  }
};

}  // namespace tavro
