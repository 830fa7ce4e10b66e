// The index through which the reduction pass finds the candidates of a
// current term t: the terms that have a literal wherever t has one, with the
// opposite literal at no more than one of those places. It holds input parts
// only; which of the terms found take part in a pass is the pass's business.
//
// The input places are cut into groups of `width` neighbouring places. Within
// a group a term's characters form a base-3 number, its leaf ('-' or any
// other non-literal 0, '0' 1, '1' 2), and each leaf keeps a linked list of its
// terms. A candidate of t agrees with t's literals in every group but at most
// one, and may have anything where t has a dash. So it stands in one of the
// leaves reached from t's characters in a group by trying all three digits at
// t's dashes there, in both of any two groups; the index takes the two groups
// where t has the fewest dashes. With a single group the one opposite literal
// is tried at each of t's literals instead.
//
// The width grows with the number of terms, so that a leaf holds about one
// term and the leaves t reaches hold few. A bit per leaf tells the nonempty
// ones, laid out as a table: a row per value of the high half of the group's
// places, a column per value of the low half, and a bit per row that holds
// any. The rows and the columns that agree with t in their half are fixed
// bit sets of t's code there, so a search ANDs bit sets and visits only the
// nonempty leaves it reaches, however many dashes t has. Adding and removing
// a term costs one list entry per group. An entry carries the term's characters at the 32 places after
// its group (round to the start), so that a walk drops most terms that are
// no candidates without reading their masks.
//
// The lists live in blocks of a power of two or three quarters of one
// entries (1, 2, 3, 4, 6, 8, 12, ...), cut from chunks of 2^16 entries (a
// longer list gets a chunk of its own). A list built at once takes the least
// block that holds it; one that outgrows its block moves to the next size,
// and the old block waits in a free list for another list of its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "reduce/mask_store.hpp"
#include "reduce/place_groups.hpp"
#include "reduce/tuning.hpp"

namespace tavro {

class CandidateIndex {
 public:
  /// Places per group at most.
  static constexpr int32_t kWidest = tuning::kWidestGroup;

  /// Empties the index and shapes it for input parts of `inputCount` places
  /// (packed: words of literal bits, then as many words of '1' bits) and
  /// about `expectedTerms` terms. Memory of an earlier use of the same shape
  /// is kept.
  void Reset(int32_t inputCount, size_t expectedTerms);

  /// Whether the present shape still serves `terms` terms of `inputCount`
  /// places: it does while they stay within a factor of three of the count
  /// it was made for.
  bool Suits(int32_t inputCount, size_t terms) const;

  /// Adds or removes the term in slot `slot`; `masks` are its packed input
  /// part. Slots grow as needed.
  void Insert(int32_t slot, const uint64_t* masks);
  void Erase(int32_t slot, const uint64_t* masks);
  /// Inserts many terms at once, each list growing once; `masks` holds the
  /// packed input parts of all slots, one after the other.
  void InsertAll(const std::vector<int32_t>& slots, const MaskStore& masks);

  /// Appends to `found`, each once, the terms that may be candidates of the
  /// input part `t` (t itself among them, when indexed): every candidate is
  /// among them, and on inputs of up to 32 places nothing else. Unless the
  /// leaves to be read hold more than `most` terms: then it appends nothing
  /// and returns false.
  bool Near(const uint64_t* t, std::vector<int32_t>& found, size_t most);

  /// The same for every term of `ids` at once (their input parts in
  /// `masks`): calls found(i, u) for every term u other than ids[i] that Near
  /// would name for ids[i], once or twice; tick() once per term. Group by
  /// group, the leaves that many terms reach are gathered and read in the
  /// order of the leaves: each list is read once, in the order of memory,
  /// for all the terms that reach it, where a term at a time would read its
  /// lists from memory, each a miss.
  void NearEach(const std::vector<int32_t>& ids, const MaskStore& masks,
                const std::function<void(size_t, int32_t)>& found, const std::function<void()>& tick);

 private:
  struct Group {
    int32_t start;
    int32_t width;
    int32_t filterStart;  // the first of the places an entry carries
    // Leaves as a table of rows by columns: the bits of the nonempty ones,
    // row by row, and a bit per row that holds any.
    int32_t low = 0;  // places that make the column
    int32_t rows = 0, rowWords = 0;
    int32_t rowsAt = 0, occupiedAt = 0;  // where its bits begin
    // The same places (the rest follows from them).
    bool operator==(const Group& o) const {
      return start == o.start && width == o.width && filterStart == o.filterStart;
    }
  };
  // A leaf's list: `size` entries in a block of 2^(capacityLog - 1) entries,
  // or three quarters of that when `threeQuarters` is set, from `at` (no
  // block while capacityLog is 0; the chunk in the high 15 bits of `at`, the
  // place in it in the low 16). Eight bytes: there is a head for every leaf
  // of every group. An entry is a term in the list of its leaf,
  // with its literal and '1' bits at the places its group's entries carry;
  // a block of c entries holds their c slots, then their c literal words,
  // then their c '1' words, so that a walk tests the words of several
  // entries at once.
  struct List {
    uint32_t at : 31 = 0;
    uint32_t threeQuarters : 1 = 0;
    uint32_t size : 27 = 0;
    uint32_t capacityLog : 5 = 0;
  };
  static constexpr size_t kLongestList = (size_t{1} << 27) - 1;
  static uint32_t Capacity(const List& list) {
    if (list.capacityLog == 0) return 0;
    const uint32_t whole = uint32_t{1} << (list.capacityLog - 1);
    return list.threeQuarters != 0 ? whole / 4 * 3 : whole;
  }
  // The least block shape that holds `entries` entries (at most
  // kLongestList), with no block given yet.
  static List Shaped(size_t entries);
  // The free list of blocks of a list's size.
  static size_t SizeClass(const List& list) { return 2 * size_t{list.capacityLog} + list.threeQuarters; }
  uint32_t Leaf(const uint64_t* masks, const Group& group) const;
  // For parts of k places: per code, the bits of the codes that agree with
  // it wherever it has a literal (a dash agrees with any character).
  std::vector<uint64_t> AgreeingCodes(int32_t k) const;
  static size_t RowsWords(const Group& group) { return (static_cast<size_t>(group.rows) + 63) / 64; }
  void Occupy(size_t at, bool occupied);
  // Calls f(leaf) for the nonempty leaves of group g in the rows of
  // `rows | allRows` and, unless `columns` is null, in those columns.
  template <typename F>
  void ForEachOccupied(size_t g, const uint64_t* rows, uint64_t allRows, const uint64_t* columns, F f);
  uint32_t Filter(const uint64_t* bits, const Group& group) const {
    return FilterBits(bits, inputCount_, group.filterStart);
  }
  struct Block {
    uint32_t* slots;
    uint32_t* literals;
    uint32_t* ones;
  };
  Block BlockAt(uint32_t at, size_t capacity) const {
    uint32_t* base = chunks_[at >> 16].get() + 3 * size_t{at & 0xffff};
    return {base, base + capacity, base + 2 * capacity};
  }
  Block Data(const List& list) const { return BlockAt(list.at, Capacity(list)); }
  // A block for `list`'s size, reused or newly cut: its `at`.
  uint32_t Allocate(const List& list);
  // Makes room for `more` entries in the list of leaf `at`, moving it to a
  // larger block when it has to.
  void Reserve(size_t at, size_t more);
  // Writes the term's entry of group g at the end of `list`, which has room.
  void Put(List& list, int32_t slot, const uint64_t* masks, size_t g) {
    place_[static_cast<size_t>(slot) * groups_.size() + g] = static_cast<int32_t>(list.size);
    const Block data = Data(list);
    data.slots[list.size] = static_cast<uint32_t>(slot);
    data.literals[list.size] = Filter(masks, groups_[g]);
    data.ones[list.size] = Filter(masks + words_, groups_[g]);
    ++list.size;
  }
  void Append(size_t at, int32_t slot, const uint64_t* masks, size_t g);
  // Notes the nonempty leaves of group g that agree with t's literals there,
  // with t's '1' bits in the group flipped at `flip` (a bit mask, or 0).
  void Reach(size_t g, const uint64_t* t, uint64_t flip);
  // Notes the leaves of group g that may hold t's candidates: with a single
  // group those of t and of t with each of its literals flipped in turn.
  void ReachFor(size_t g, const uint64_t* t);
  // Appends the terms of the noted leaves that pass t's characters at the
  // places their entries carry, unless there are more than `most`.
  bool Walk(const uint64_t* t, std::vector<int32_t>& found, size_t most);
  // Calls f(list, literals, ones) for each noted list, with t's literal and
  // '1' bits at the places that the entries of the list's group carry.
  template <typename F>
  void ForEachReached(const uint64_t* t, F f);
  // Calls f(slot) for the terms of a list that pass t's bits (ForEachPassing
  // of place_groups.hpp).
  template <typename F>
  void ForEachPassingIn(const List& list, uint32_t tLiterals, uint32_t tOnes, F f) {
    const Block data = Data(list);
    ForEachPassing(data.literals, data.ones, list.size, tLiterals, tOnes,
                   [&](size_t e) { f(static_cast<int32_t>(data.slots[e])); });
  }

  int32_t inputCount_ = 0;
  size_t words_ = 0;
  std::vector<Group> groups_;
  size_t leavesPerGroup_ = 0;           // 3 to the power of the widest group
  size_t shapedFor_ = 0;  // the term count the width was chosen for
  std::vector<List> lists_;                // per group, per leaf
  std::vector<uint64_t> rows_, occupied_;  // per group, see Group
  std::vector<uint64_t> agree_[kWidest / 2 + 1];  // AgreeingCodes by k
  std::vector<std::unique_ptr<uint32_t[]>> chunks_;  // three words per entry
  std::vector<uint32_t> chunkSize_;     // entries per chunk
  std::vector<std::vector<uint32_t>> free_;  // per SizeClass: free blocks
  uint32_t cutChunk_ = 0, cutAt_ = 0;  // where the next new block is cut
  std::vector<int32_t> place_;  // per slot and group: index in its leaf's list
  std::vector<uint32_t> reached_;       // leaves noted by Reach
  // Per call of Reach: its group, and the end of its leaves in reached_.
  std::vector<std::pair<uint32_t, size_t>> reachedGroups_;
  std::vector<uint64_t> seen_;  // a bit per slot: met by the walk under way
};

}  // namespace tavro
