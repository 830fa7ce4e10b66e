// Ordered lists of terms by slot: the list of all terms and the lists of
// each output.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graph/slot_map.hpp"
#include "graph/slot_sequence.hpp"
#include "graph/term_pool.hpp"

namespace tavro {

/// The lists that a term stands in one at a time (the three lists of one
/// output), or the one list of all terms, share what they know of the terms
/// that left one of them. A list is an array of slots to which a term is
/// appended when it enters; when it leaves, its entry stays behind, dead. A
/// term that never left a list of its group has exactly one entry among them,
/// and it is live. Once a term has left one, its slot is `moved`, and the
/// group keeps where its live entry is, if it has one: a later entry of the
/// same slot (the term back, or another term in a reused slot) is then told
/// from the dead one. Only groups whose terms leave pay for this: the lists of
/// a file as read hold four bytes per entry and nothing else.
struct ListGroup {
  static constexpr uint64_t kNoEntry = UINT64_MAX;
  std::vector<uint64_t> moved;  // bit per slot, allocated at the first leave
  SlotMap live;  // moved slot: list << 40 | entry, or kNoEntry
  bool IsMoved(uint32_t slot) const { return slot / 64 < moved.size() && (moved[slot / 64] >> (slot % 64) & 1) != 0; }
  void SetMoved(uint32_t slot) {
    if (slot / 64 >= moved.size()) moved.resize(std::max<size_t>(slot / 64 + 1, 2 * moved.size()), 0);
    moved[slot / 64] |= uint64_t{1} << (slot % 64);
  }
};

/// An ordered list of terms. Every term stands at most once in it; append
/// and removal take constant time (amortised), and entries keep the order in
/// which they were appended.
class TermList {
 public:
  TermList() = default;
  TermList(TermPool* pool, ListGroup* group, uint32_t id, SegmentArena* segments = nullptr)
      : pool_(pool), group_(group), id_(id), entries_(segments) {}

  /// The first term, or nullptr.
  Term* First() const;
  int32_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }

  /// Appends t, which stands in no list of this list's group.
  void Append(Term* t) { AppendSlot(static_cast<uint32_t>(t->slot)); }
  /// Appends the term of a slot, which may not be built yet.
  void AppendSlot(uint32_t slot);
  /// Takes t, which stands in the list, out.
  void Remove(Term* t);

  /// Drops the dead entries; the live entries of moved terms move with them.
  void Compact();

  template <typename F>
  void ForEach(F&& f) const {
    const bool anyMoved = group_ != nullptr && !group_->live.empty();
    entries_.ForEachFrom(firstLive_, [&](size_t i, uint32_t s) {
      if (!anyMoved || Live(i)) f(&(*pool_)[s]);
    });
  }

 private:
  bool Live(size_t i) const;

  TermPool* pool_ = nullptr;
  ListGroup* group_ = nullptr;
  uint64_t id_ = 0;
  SlotSequence entries_;
  mutable size_t firstLive_ = 0;  // no live entry comes before it
  size_t dead_ = 0;
  int32_t count_ = 0;
};

inline bool TermList::Live(size_t i) const {
  const uint32_t s = entries_[i];
  if (!group_->IsMoved(s)) return true;
  const uint64_t* at = group_->live.Find(s);
  return at != nullptr && *at == (id_ << 40 | i);
}

inline void TermList::AppendSlot(uint32_t s) {
  if (group_->IsMoved(s)) group_->live[s] = id_ << 40 | entries_.size();
  entries_.push_back(s);
  ++count_;
}

}  // namespace tavro
