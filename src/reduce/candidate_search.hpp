// Where the reduction pass looks for the terms that may be candidates of a
// current term: the structures that name them, and the choice among them.
// They hold ids and input parts only. Which of the named terms survive, and
// in what order they are visited, is the walk's business (survivors.cpp);
// the terms' masks and records are the kernel's.
//
// Three ways serve a pass:
// - the index of every term, built when the isolated terms are looked for
//   and kept from pass to pass while the graph changes through the passes;
// - indexes of the pass's members by class ('1', '0', '-'), or, for a class
//   of few members, rows read in full, when many members wait for a visit;
// - none: the caller names the input parts a candidate may have and looks
//   them up in the kernel's tables (few members to visit, every term without
//   a dash decided by sorting).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "reduce/candidate_index.hpp"
#include "reduce/mask_store.hpp"
#include "reduce/member_rows.hpp"
#include "reduce/tuning.hpp"

namespace tavro {

class CandidateSearch {
 public:
  /// Whether the index of every term is built.
  bool indexed() const { return indexed_; }
  /// Whether the index of every term is due: the isolated terms were found
  /// without it, and it is built when a search first needs it.
  bool due() const { return due_; }
  void MarkDue() { due_ = !indexed_; }
  /// Builds the index of every term for the ids given (their masks in
  /// `masks`), shaped for about `terms` terms of `inputCount` places.
  void IndexEvery(int32_t inputCount, size_t terms, const std::vector<int32_t>& ids, const MaskStore& masks) {
    index_.Reset(inputCount, terms);
    index_.InsertAll(ids, masks);
    indexed_ = true;
    due_ = false;
  }
  /// Drops the index of every term and its memory.
  void DropEvery() {
    indexed_ = due_ = false;
    index_ = CandidateIndex{};
  }
  /// Whether the index's shape still serves `terms` terms.
  bool EverySuits(int32_t inputCount, size_t terms) const { return index_.Suits(inputCount, terms); }
  /// A term arrives or goes: the index of every term follows, when built.
  void Enter(int32_t id, const uint64_t* masks) {
    if (indexed_) index_.Insert(id, masks);
  }
  void Erase(int32_t id, const uint64_t* masks) {
    if (indexed_) index_.Erase(id, masks);
  }
  /// Every term that may be a candidate of `t`, through the index of every
  /// term (which must be built).
  void NearEvery(const uint64_t* t, std::vector<int32_t>& found) {
    index_.Near(t, found, std::numeric_limits<size_t>::max());
  }
  /// The same for many terms at once (see CandidateIndex::NearEach).
  void NearEveryEach(const std::vector<int32_t>& ids, const MaskStore& masks,
                     const std::function<void(size_t, int32_t)>& found, const std::function<void()>& tick) {
    index_.NearEach(ids, masks, found, tick);
  }

  /// Readies a pass: the index of every term serves, unless the pass turns
  /// to classes or to naming. A class of at most `rowMembers` members is
  /// read row by row.
  void StartPass(size_t rowMembers) {
    byClass_ = byNaming_ = false;
    rowMembers_ = rowMembers;
  }
  /// The pass names input parts instead of asking an index, until
  /// StopNaming.
  void StartNaming() { byNaming_ = true; }
  void StopNaming() { byNaming_ = false; }
  bool naming() const { return byNaming_; }

  /// The pass searches its members by class: every id is of no class until
  /// AddClass names it.
  void StartClasses() {
    byClass_ = true;
    std::fill(memberClass_.begin(), memberClass_.end(), int8_t{-1});
  }
  bool byClass() const { return byClass_; }
  /// The members of class c at the start of a pass; dashOf(id) is a
  /// member's dashCount.
  template <typename DashOf>
  void AddClass(int c, int32_t inputCount, const std::vector<int32_t>& ids, DashOf dashOf, const MaskStore& masks,
                size_t words) {
    byRows_[c] = ids.size() <= rowMembers_;
    for (int32_t id : ids) memberClass_[Idx(id)] = static_cast<int8_t>(c);
    if (byRows_[c]) {
      rows_[c].Reset();
      for (int32_t id : ids) rows_[c].Insert(id, dashOf(id), masks.Of(id), words);
      return;
    }
    classIndex_[c].Reset(inputCount, ids.size());
    classIndex_[c].InsertAll(ids, masks);
  }
  /// A term joins class c or leaves its class in the midst of a pass (no
  /// effect unless the pass searches by class).
  void Join(int32_t id, int c, int32_t dash, const uint64_t* masks, size_t words) {
    if (!byClass_) return;
    memberClass_[Idx(id)] = static_cast<int8_t>(c);
    if (byRows_[c]) {
      rows_[c].Insert(id, dash, masks, words);
    } else {
      classIndex_[c].Insert(id, masks);
    }
  }
  void Leave(int32_t id, int32_t dash, const uint64_t* masks) {
    if (!byClass_) return;
    int8_t& c = memberClass_[Idx(id)];
    if (c >= 0 && byRows_[c]) {
      rows_[c].Erase(id, dash);
    } else if (c >= 0) {
      classIndex_[c].Erase(id, masks);
    }
    c = -1;
  }
  /// The class of a member while the pass searches by class, else -1.
  int ClassOf(int32_t id) const { return memberClass_[Idx(id)]; }

  /// Appends to `found` terms among which are all candidates of `t` (its
  /// packed masks, `dash` its dashCount) of class c: the members of the class
  /// when the pass searches by class, else terms of any class. Returns false,
  /// having appended nothing, when the pass names parts instead, or when the
  /// index would list more than `most` terms.
  bool Near(int c, const uint64_t* t, int32_t dash, size_t words, size_t most, std::vector<int32_t>& found) {
    if (byNaming_) return false;
    if (byClass_ && byRows_[c]) {
      rows_[c].Near(t, words, dash, found);
      return true;
    }
    return (byClass_ ? classIndex_[c] : index_).Near(t, found, most);
  }

  /// Room for ids below n.
  void GrowIds(size_t n) {
    GrowIdArray(memberClass_, n, int8_t{-1});
  }

 private:
  static size_t Idx(int32_t i) { return static_cast<size_t>(i); }

  bool indexed_ = false, due_ = false;
  CandidateIndex index_;         // every term, when built
  CandidateIndex classIndex_[3];  // the members of a pass by class, when built
  MemberRows rows_[3];            // the same, for a class of few members
  // Per id: the class of the character with which the term takes part in
  // the present pass, or -1, while the pass searches by class.
  std::vector<int8_t> memberClass_;
  bool byClass_ = false, byNaming_ = false;
  bool byRows_[3] = {};
  size_t rowMembers_ = tuning::kRowMembers;
};

}  // namespace tavro
