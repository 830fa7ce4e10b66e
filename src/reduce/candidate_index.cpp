#include "reduce/candidate_index.hpp"

#include "common/bit_count.hpp"
#include "reduce/tuning.hpp"

#include <algorithm>
#include <bit>
#include <new>


namespace tavro {
namespace {

// Fixed by the layout: a list block's place within its chunk is the low 16
// bits of List::at, its chunk the 15 above them.
constexpr uint32_t kChunk = uint32_t{1} << 16;
constexpr size_t kMostChunks = size_t{1} << 15;
// Leaves reached by the queries of one sweep of NearEach (16 bytes each, and
// as many again sorted): half the terms the index was shaped for, within
// these bounds, so that the sweep's memory stays small beside the index's.
constexpr size_t kFewestVisitsAtOnce = size_t{1} << 16, kMostVisitsAtOnce = size_t{1} << 20;

size_t Idx(int32_t i) { return static_cast<size_t>(i); }

}  // namespace

bool CandidateIndex::Suits(int32_t inputCount, size_t terms) const {
  if (inputCount != inputCount_ || groups_.empty()) return false;
  const int32_t width = GroupWidthFor(inputCount, shapedFor_);
  return GroupWidthFor(inputCount, terms / 3) <= width && width <= GroupWidthFor(inputCount, terms * 3);
}

void CandidateIndex::Reset(int32_t inputCount, size_t expectedTerms) {
  const int32_t width = GroupWidthFor(inputCount, expectedTerms);
  shapedFor_ = expectedTerms;
  // A walk that ended by an exception may have left bits set.
  std::fill(seen_.begin(), seen_.end(), 0);
  std::vector<Group> shape;
  for (const PlaceGroup& g : PlaceGroupsFor(inputCount, width)) shape.push_back({g.start, g.width, g.filterStart});
  // Every block is free again: the chunks are cut anew from the first, and
  // a chunk of one long list waits for a list of its size.
  free_.assign(64, {});
  cutChunk_ = 0;
  cutAt_ = 0;
  for (size_t c = 0; c < chunks_.size(); ++c) {
    if (chunkSize_[c] > kChunk) free_[SizeClass(Shaped(chunkSize_[c]))].push_back(static_cast<uint32_t>(c << 16));
  }
  if (inputCount == inputCount_ && shape == groups_) {
    // The same leaves again: empty them.
    for (size_t g = 0; g < groups_.size(); ++g) {
      const Group& group = groups_[g];
      ForEachOccupied(g, rows_.data() + group.rowsAt, ~uint64_t{0}, nullptr, [&](size_t at) { lists_[at] = List{}; });
      std::fill_n(rows_.data() + group.rowsAt, RowsWords(group), 0);
      std::fill_n(occupied_.data() + group.occupiedAt, Idx(group.rows * group.rowWords), 0);
    }
    return;
  }
  inputCount_ = inputCount;
  words_ = (static_cast<size_t>(inputCount) + 63) / 64;
  groups_ = std::move(shape);
  int32_t widest = 0;
  for (const Group& g : groups_) widest = std::max(widest, g.width);
  leavesPerGroup_ = kPowersOf3[Idx(widest)];
  lists_ = std::vector<List>(groups_.size() * leavesPerGroup_);
  size_t rowsWords = 0, occupiedWords = 0;
  for (Group& group : groups_) {
    // A leaf's number is its column (the low half of the group's places)
    // plus 3^low times its row (the high half).
    group.low = group.width / 2;
    group.rows = static_cast<int32_t>(kPowersOf3[Idx(group.width - group.low)]);
    group.rowWords = static_cast<int32_t>((kPowersOf3[Idx(group.low)] + 63) / 64);
    group.rowsAt = static_cast<int32_t>(rowsWords);
    group.occupiedAt = static_cast<int32_t>(occupiedWords);
    rowsWords += RowsWords(group);
    occupiedWords += Idx(group.rows * group.rowWords);
    for (int32_t k : {group.low, group.width - group.low}) {
      if (agree_[Idx(k)].empty()) agree_[Idx(k)] = AgreeingCodes(k);
    }
  }
  rows_.assign(rowsWords, 0);
  occupied_.assign(occupiedWords, 0);
  place_.clear();
}

std::vector<uint64_t> CandidateIndex::AgreeingCodes(int32_t k) const {
  const size_t codes = kPowersOf3[Idx(k)], words = (codes + 63) / 64;
  std::vector<uint64_t> table(codes * words, 0);
  std::vector<uint32_t> reached;
  for (uint32_t code = 0; code < codes; ++code) {
    // The code itself with 0 at its dashes, then every digit at each dash.
    reached.assign(1, 0);
    for (int32_t i = 0; i < k; ++i) {
      const uint32_t digit = code / kPowersOf3[Idx(i)] % 3;
      if (digit != 0) {
        for (uint32_t& r : reached) r += digit * kPowersOf3[Idx(i)];
        continue;
      }
      const size_t before = reached.size();
      for (size_t r = 0; r < before; ++r) {
        reached.push_back(reached[r] + kPowersOf3[Idx(i)]);
        reached.push_back(reached[r] + 2 * kPowersOf3[Idx(i)]);
      }
    }
    for (uint32_t r : reached) table[code * words + r / 64] |= uint64_t{1} << (r % 64);
  }
  return table;
}

void CandidateIndex::Occupy(size_t at, bool occupied) {
  const size_t g = at / leavesPerGroup_, leaf = at % leavesPerGroup_;
  const Group& group = groups_[g];
  const size_t row = leaf / kPowersOf3[Idx(group.low)], column = leaf % kPowersOf3[Idx(group.low)];
  uint64_t* words = &occupied_[Idx(group.occupiedAt) + row * Idx(group.rowWords)];
  uint64_t& rowBit = rows_[Idx(group.rowsAt) + row / 64];
  if (occupied) {
    words[column / 64] |= uint64_t{1} << (column % 64);
    rowBit |= uint64_t{1} << (row % 64);
    return;
  }
  words[column / 64] &= ~(uint64_t{1} << (column % 64));
  if (std::all_of(words, words + group.rowWords, [](uint64_t w) { return w == 0; })) {
    rowBit &= ~(uint64_t{1} << (row % 64));
  }
}

CandidateIndex::List CandidateIndex::Shaped(size_t entries) {
  const auto whole = std::bit_ceil(static_cast<uint32_t>(entries));
  List list;
  list.capacityLog = (static_cast<uint32_t>(std::countr_zero(whole)) + 1) & 31u;
  list.threeQuarters = whole >= 4 && entries <= whole / 4 * 3;
  return list;
}

uint32_t CandidateIndex::Allocate(const List& list) {
  const uint32_t capacity = Capacity(list);
  std::vector<uint32_t>& free = free_[SizeClass(list)];
  if (!free.empty()) {
    const uint32_t at = free.back();
    free.pop_back();
    return at;
  }
  if (capacity > kChunk) {
    // A list this long has a chunk of its own.
    if (chunks_.size() >= kMostChunks) throw std::bad_alloc();
    chunks_.emplace_back(new uint32_t[3 * size_t{capacity}]);
    chunkSize_.push_back(capacity);
    return static_cast<uint32_t>((chunks_.size() - 1) << 16);
  }
  // Cut from the first chunk of ordinary size with room left, or a new one.
  while (cutChunk_ < chunks_.size() && (chunkSize_[cutChunk_] != kChunk || cutAt_ + capacity > kChunk)) {
    ++cutChunk_;
    cutAt_ = 0;
  }
  if (cutChunk_ == chunks_.size()) {
    if (chunks_.size() >= kMostChunks) throw std::bad_alloc();
    chunks_.emplace_back(new uint32_t[3 * size_t{kChunk}]);
    chunkSize_.push_back(kChunk);
  }
  const uint32_t at = (cutChunk_ << 16) | cutAt_;
  cutAt_ += capacity;
  return at;
}

void CandidateIndex::Reserve(size_t at, size_t more) {
  List& list = lists_[at];
  const size_t size = list.size;
  if (size + more <= Capacity(list)) return;
  if (size + more > kLongestList) throw std::bad_alloc();
  List moved = Shaped(size + more);
  moved.size = list.size;
  moved.at = Allocate(moved) & 0x7fffffffu;  // a chunk below kMostChunks: 31 bits
  if (size != 0) {
    const Block from = Data(list), to = Data(moved);
    std::copy_n(from.slots, size, to.slots);
    std::copy_n(from.literals, size, to.literals);
    std::copy_n(from.ones, size, to.ones);
  }
  if (list.capacityLog != 0) free_[SizeClass(list)].push_back(list.at);
  list = moved;
}

void CandidateIndex::Append(size_t at, int32_t slot, const uint64_t* masks, size_t g) {
  Reserve(at, 1);
  Put(lists_[at], slot, masks, g);
  if (lists_[at].size == 1) Occupy(at, true);
}

uint32_t CandidateIndex::Leaf(const uint64_t* masks, const Group& group) const {
  const size_t start = Idx(group.start), width = Idx(group.width);
  return TernaryCode(BitsAt(masks, start, width), BitsAt(masks + words_, start, width));
}

void CandidateIndex::Insert(int32_t slot, const uint64_t* masks) {
  const size_t groups = groups_.size();
  const size_t s = Idx(slot);
  GrowIdArray(place_, (s + 1) * groups, 0);
  GrowIdArray(seen_, s / 64 + 1, uint64_t{0});
  for (size_t g = 0; g < groups; ++g) Append(g * leavesPerGroup_ + Leaf(masks, groups_[g]), slot, masks, g);
}

void CandidateIndex::InsertAll(const std::vector<int32_t>& slots, const MaskStore& masks) {
  const size_t groups = groups_.size();
  // Each list is counted, then grows once. The leaves are worked out again
  // when the terms are placed rather than kept, which would take 4 bytes a
  // term and group at the height of the pass's memory.
  const auto leafAt = [&](const uint64_t* m, size_t g) { return g * leavesPerGroup_ + Leaf(m, groups_[g]); };
  std::vector<uint32_t> added(lists_.size(), 0);
  int32_t top = -1;
  for (const int32_t slot : slots) {
    top = std::max(top, slot);
    for (size_t g = 0; g < groups; ++g) ++added[leafAt(masks.Of(slot), g)];
  }
  for (size_t at = 0; at < lists_.size(); ++at) {
    if (added[at] == 0) continue;
    Reserve(at, added[at]);
    if (lists_[at].size == 0) Occupy(at, true);
  }
  added = {};
  const size_t slotCount = Idx(top + 1);
  GrowIdArray(place_, slotCount * groups, 0);
  GrowIdArray(seen_, (slotCount + 63) / 64, uint64_t{0});
  // Every list has its block and its mark: the entries are written in the
  // order of the terms, each to a list at random. The heads of the lists of
  // the term kAhead places on are fetched before they are needed, and the
  // places of the entries of the term half as far on, once its heads are in.
  constexpr size_t kAhead = 16;
  const size_t n = slots.size();
  std::vector<uint32_t> ahead(kAhead * groups);  // the lists of the terms ahead
  const auto fetchHeads = [&](size_t k) {
    const uint64_t* m = masks.Of(slots[k]);
    uint32_t* at = &ahead[(k % kAhead) * groups];
    for (size_t g = 0; g < groups; ++g) {
      at[g] = static_cast<uint32_t>(leafAt(m, g));
      __builtin_prefetch(&lists_[at[g]], 1);
    }
  };
  for (size_t k = 0; k < std::min(n, kAhead); ++k) fetchHeads(k);
  for (size_t k = 0; k < n; ++k) {
    if (k + kAhead / 2 < n) {
      const uint32_t* at = &ahead[((k + kAhead / 2) % kAhead) * groups];
      for (size_t g = 0; g < groups; ++g) {
        const List& list = lists_[at[g]];
        const Block data = Data(list);
        __builtin_prefetch(data.slots + list.size, 1);
        __builtin_prefetch(data.literals + list.size, 1);
        __builtin_prefetch(data.ones + list.size, 1);
      }
    }
    const int32_t slot = slots[k];
    const uint64_t* m = masks.Of(slot);
    const uint32_t* at = &ahead[(k % kAhead) * groups];
    for (size_t g = 0; g < groups; ++g) Put(lists_[at[g]], slot, m, g);
    if (k + kAhead < n) fetchHeads(k + kAhead);
  }
}

void CandidateIndex::Erase(int32_t slot, const uint64_t* masks) {
  const size_t groups = groups_.size();
  const size_t s = Idx(slot);
  for (size_t g = 0; g < groups; ++g) {
    const size_t at = g * leavesPerGroup_ + Leaf(masks, groups_[g]);
    List& list = lists_[at];
    const Block data = Data(list);
    const size_t from = Idx(place_[s * groups + g]), last = --list.size;
    data.slots[from] = data.slots[last];
    data.literals[from] = data.literals[last];
    data.ones[from] = data.ones[last];
    place_[data.slots[from] * groups + g] = static_cast<int32_t>(from);
    const size_t size = list.size;
    if (size == 0) {
      // An empty list gives its block back, so that only the lists marked
      // nonempty hold blocks.
      free_[SizeClass(list)].push_back(list.at);
      list = List{};
      Occupy(at, false);
    }
  }
}

template <typename F>
void CandidateIndex::ForEachOccupied(size_t g, const uint64_t* rows, uint64_t allRows, const uint64_t* columns, F f) {
  const Group& group = groups_[g];
  const size_t base = g * leavesPerGroup_, rowWords = Idx(group.rowWords);
  const uint32_t rowStep = kPowersOf3[Idx(group.low)];
  const uint64_t* occupiedRows = &rows_[Idx(group.rowsAt)];
  for (size_t w = 0; w < RowsWords(group); ++w) {
    for (uint64_t r = (rows[w] | allRows) & occupiedRows[w]; r != 0; r &= r - 1) {
      const size_t row = w * 64 + static_cast<size_t>(std::countr_zero(r));
      const uint64_t* occupied = &occupied_[Idx(group.occupiedAt) + row * rowWords];
      for (size_t v = 0; v < rowWords; ++v) {
        uint64_t c = occupied[v];
        if (columns != nullptr) c &= columns[v];
        for (; c != 0; c &= c - 1) f(base + row * rowStep + v * 64 + static_cast<size_t>(std::countr_zero(c)));
      }
    }
  }
}

void CandidateIndex::Reach(size_t g, const uint64_t* t, uint64_t flip) {
  const Group& group = groups_[g];
  const size_t low = Idx(group.low);
  const uint64_t literals = BitsAt(t, Idx(group.start), Idx(group.width));
  const uint64_t ones = BitsAt(t + words_, Idx(group.start), Idx(group.width)) ^ flip;
  const uint64_t lowMask = (uint64_t{1} << low) - 1;
  // The rows and the columns that agree with t's literals in their half.
  const size_t rowsCode = TernaryCode(literals >> low, ones >> low);
  const size_t columnsCode = TernaryCode(literals & lowMask, ones & lowMask);
  const std::vector<uint64_t>& rowTable = agree_[Idx(group.width) - low];
  const uint64_t* rows = &rowTable[rowsCode * RowsWords(group)];
  const uint64_t* columns = &agree_[low][columnsCode * Idx(group.rowWords)];
  ForEachOccupied(g, rows, 0, columns, [&](size_t at) {
    __builtin_prefetch(&lists_[at]);
    reached_.push_back(static_cast<uint32_t>(at));
  });
  reachedGroups_.emplace_back(static_cast<uint32_t>(g), reached_.size());
}

void CandidateIndex::ReachFor(size_t g, const uint64_t* t) {
  Reach(g, t, 0);
  if (groups_.size() != 1) return;
  // The one opposite literal, if any, lies in this group: try each.
  for (uint64_t literals = BitsAt(t, 0, Idx(groups_[0].width)); literals != 0; literals &= literals - 1) {
    Reach(0, t, literals & (~literals + 1));
  }
}

bool CandidateIndex::Near(const uint64_t* t, std::vector<int32_t>& found, size_t most) {
  if (lists_.empty()) return true;
  const auto [best, second] = ChosenGroups(t, groups_);
  ReachFor(best, t);
  if (second < groups_.size()) ReachFor(second, t);
  return Walk(t, found, most);
}

void CandidateIndex::NearEach(const std::vector<int32_t>& ids, const MaskStore& masks,
                              const std::function<void(size_t, int32_t)>& found, const std::function<void()>& tick) {
  if (lists_.empty() || ids.empty()) return;
  std::vector<std::pair<uint8_t, uint8_t>> chosen(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    const auto [best, second] = ChosenGroups(masks.Of(ids[i]), groups_);
    chosen[i] = {static_cast<uint8_t>(best), static_cast<uint8_t>(second)};
  }
  // A leaf a query reaches, with the query's bits at the places the leaf's
  // entries carry.
  struct Visit {
    uint32_t leaf, literals, ones, query;
  };
  const size_t visitsAtOnce = std::clamp(shapedFor_ / 2, kFewestVisitsAtOnce, kMostVisitsAtOnce);
  std::vector<Visit> visits, sorted;
  std::vector<uint32_t> start(leavesPerGroup_ + 1);
  for (size_t g = 0; g < groups_.size(); ++g) {
    const size_t base = g * leavesPerGroup_;
    for (size_t from = 0; from < ids.size();) {
      // The leaves that the next queries reach, until there are about
      // visitsAtOnce of them.
      visits.clear();
      for (; from < ids.size() && visits.size() < visitsAtOnce; ++from) {
        if (chosen[from].first != g && chosen[from].second != g) continue;
        if (chosen[from].first == g) tick();
        const uint64_t* t = masks.Of(ids[from]);
        ReachFor(g, t);
        const uint32_t literals = Filter(t, groups_[g]), ones = Filter(t + words_, groups_[g]);
        for (const uint32_t at : reached_) {
          visits.push_back({static_cast<uint32_t>(at - base), literals, ones, static_cast<uint32_t>(from)});
        }
        reached_.clear();
        reachedGroups_.clear();
      }
      // In the order of the leaves (a counting sort), so that each list is
      // read once, in the order of memory, for all the queries that reach it.
      std::fill(start.begin(), start.end(), 0);
      for (const Visit& v : visits) ++start[v.leaf + 1];
      for (size_t leaf = 0; leaf < leavesPerGroup_; ++leaf) start[leaf + 1] += start[leaf];
      sorted.resize(visits.size());
      for (const Visit& v : visits) sorted[start[v.leaf]++] = v;
      for (const Visit& v : sorted) {
        ForEachPassingIn(lists_[base + v.leaf], v.literals, v.ones, [&](int32_t u) {
          if (u != ids[v.query]) found(v.query, u);
        });
      }
    }
  }
}

template <typename F>
void CandidateIndex::ForEachReached(const uint64_t* t, F f) {
  size_t begin = 0;
  for (const auto& [g, end] : reachedGroups_) {
    const uint32_t literals = Filter(t, groups_[g]), ones = Filter(t + words_, groups_[g]);
    for (size_t i = begin; i < end; ++i) f(lists_[reached_[i]], literals, ones);
    begin = end;
  }
}

bool CandidateIndex::Walk(const uint64_t* t, std::vector<int32_t>& found, size_t most) {
  // The lists' memory is requested for all of them before any is read: most
  // are far apart, and waiting for them one by one would cost each a miss.
  size_t entries = 0;
  ForEachReached(t, [&](const List& list, uint32_t, uint32_t) {
    entries += list.size;
    __builtin_prefetch(Data(list).literals);
  });
  if (entries <= most) {
    // A term that has not got a literal wherever t has one at the places its
    // entry carries, or has more than one opposite there, is none. A term
    // met in both groups is named once: its bit stays set until the walk
    // ends.
    const size_t first = found.size();
    ForEachReached(t, [&](const List& list, uint32_t tLiterals, uint32_t tOnes) {
      ForEachPassingIn(list, tLiterals, tOnes, [&](int32_t u) {
        uint64_t& word = seen_[Idx(u) / 64];
        const uint64_t bit = uint64_t{1} << (Idx(u) % 64);
        if ((word & bit) != 0) return;
        word |= bit;
        found.push_back(u);
      });
    });
    for (size_t k = first; k < found.size(); ++k) seen_[Idx(found[k]) / 64] = 0;
  }
  reached_.clear();
  reachedGroups_.clear();
  return entries <= most;
}

}  // namespace tavro
