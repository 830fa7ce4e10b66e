// What the reduction pass works on, shared by its files: the memory kept from
// output to output, and the pass's own store of terms (its kernel).
//
// A term of the pass is named by an id. The graph's terms are named by their
// slots; a term the pass makes takes the id of a term that is gone (one the
// pass made, or a graph term left without outputs), or else a new id from the
// graph's slot count on, so that the ids stay as many as the terms alive at
// once. The graph is not changed while the pass runs: its terms' characters
// at the output, the terms made and the terms dropped live in the pass's
// records, and Commit hands the net effect to the graph at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/huge_pages.hpp"
#include "graph/term_graph.hpp"
#include "reduce/candidate_search.hpp"
#include "reduce/part_table.hpp"
#include "reduce/pending_terms.hpp"
#include "reduce/reduce_output.hpp"
#include "reduce/tuning.hpp"

namespace tavro {

constexpr int32_t kNone = -1;
constexpr int32_t kContained = -1;  // survivor without a differing variable
constexpr int32_t kUnrelated = -2;  // not a survivor
constexpr int kOtherClass = 3;

inline size_t Idx(int32_t i) { return static_cast<size_t>(i); }

// 0 to 2 for '1', '0', '-', the characters of the candidate search; -1 for
// '~', which takes no part; kOtherClass for any other character.
inline int ValueClass(char c) {
  switch (c) {
    case '1': return 0;
    case '0': return 1;
    case '-': return 2;
    case '~': return -1;
    default: return kOtherClass;
  }
}

// What is known of the term with an id, written by the kernel (kernel.cpp)
// alone; the other files read it. Kept from pass to pass: its arrival,
// dashCount and whether it was found isolated; noted by one pass (`pass` its
// own) from `value` on. A graph term without a record of the present pass has
// not been touched by it: it stands in the working list with the graph's
// character at the output.
struct TermRecord {
  uint64_t serial = 0;  // the order of arrival (the graph's serial); 0 when the id is free
  uint32_t pass = 0;
  uint32_t moved = 0;  // the pass's clock when the term last joined or left a list of the output
  int32_t dash = 0;
  char value = '~';  // the character at the output
  bool out : 1 = false;  // taken out of the working list
  bool pending : 1 = false;
  bool touched : 1 = false;  // a graph term whose character the pass changed
  bool made : 1 = false;     // made by the pass, not yet in the graph
  bool checked : 1 = false, isolated : 1 = false, impure : 1 = false;
  bool noted : 1 = false;  // has chains of notes in the pass's noteHeads
  // May have a list in known.of, or be named in lists there (known.listedBy).
  bool candidatesKnown : 1 = false, listedKnown : 1 = false;
};
static_assert(sizeof(TermRecord) == 24);

// A term by slot, with the low half of its serial, so that an entry left
// behind by a freed term is told from the slot's next term.
struct SerialSlot {
  int32_t slot;
  uint32_t serial;
};

// The candidates of terms found not isolated, by input part, whatever their
// characters: every live term that has a literal wherever the term has one,
// with the opposite literal at no more than one of those places. A term's
// list is complete from the check on: the only terms that arrive later are
// expansions, and an expansion e of a term c (c with a literal made a dash)
// that is a candidate of t leaves c a candidate of t too (t has a dash where
// c and e differ), so e joins the lists that hold c when it is made. Entries
// carry the low half of their term's serial, which tells a term that is gone
// or whose id another term took.
struct KnownCandidates {
  struct Entry {
    uint32_t serial;  // of the term whose list this is
    std::vector<SerialSlot> terms;
  };
  std::unordered_map<int32_t, Entry> of;       // by term: its candidates
  std::unordered_map<int32_t, Entry> listedBy;  // by term: the terms whose lists hold it
};

// Memory that one pass leaves to the next over the same graph (see
// ReduceState). It holds while the graph changes through the passes alone:
// the graph, its serial and its term count at the end of the last pass tell.
struct ReduceMemory {
  const TermGraph* graph = nullptr;
  bool valid = false;
  // Whether isolated terms are looked for, and every term is indexed. A run
  // stops looking when a sample shows that few terms are isolated.
  bool lookForIsolated = true;
  uint64_t nextSerial = 0;
  int32_t termCount = -1;
  CandidateSearch search;        // where a term's candidates are looked for
  PartTable parts;               // the pure input parts of the terms a pass made
  MaskStore masks;               // per id: literal mask words, then '1' mask words
  // The records and the suspects are read and written at random places
  // and, on large graphs, first written all at once: huge pages, where the
  // system has them, save address translations and page faults.
  std::vector<TermRecord, HugePageAllocator<TermRecord>> records;
  int64_t impureTerms = 0;
  // Every term not known isolated, and stale entries.
  std::vector<SerialSlot, HugePageAllocator<SerialSlot>> suspects;
  KnownCandidates known;
  PendingTerms pending;
  uint32_t passes = 0;
};

struct NoteRecord {
  int32_t next;
  int32_t term;
  uint64_t arrival;
};

struct NoteHeads {
  int32_t blocking = kNone, blocked = kNone;
};

struct Survivor {
  int32_t id;
  int32_t differing;  // variable index, or kContained
};

// Room that one visit, or one isolation check, fills and leaves: kept by
// the pass only so that its memory is reused from visit to visit.
struct VisitScratch {
  std::vector<int32_t> near;     // the terms a search names
  std::vector<int32_t> related;  // the candidates an isolation check finds
  std::vector<uint64_t> part;    // a packed input part being built
  std::vector<int32_t> dashPlaces;
  std::vector<Survivor> survivors;
  std::vector<int32_t> created, gained;  // the terms a visit made, and gave the character in place
};

// One pass over one output: what it keeps from its start to its end, beside
// the memory kept from pass to pass and the scratch of one visit.
struct Pass {
  TermGraph& graph;
  ReduceMemory& memory;
  int32_t output;
  size_t j;
  size_t words;  // 64-bit words of one mask
  uint32_t id;
  int32_t base;  // the graph's slot count: ids from here on are new

  // The kernel: ids of gone terms, for reuse; the next arrival; the clock of
  // list moves; per dashCount, the change in the working list's terms; the
  // graph terms whose character changed, in order of their first change; the
  // graph terms that are gone, with the clock of their going; the input parts
  // of made terms with characters other than '0', '1', '-'. The made terms
  // alive have ids from `base` to `topId` or ids of gone graph terms.
  std::vector<int32_t> freeIds{};
  int32_t topId = 0;
  uint64_t nextArrival = 0;
  uint32_t clock = 0;
  std::vector<int64_t> listChange{};
  std::vector<int32_t> touched{};
  std::vector<std::pair<uint32_t, int32_t>> goneTerms{};
  std::unordered_map<int32_t, std::string> impureParts{};

  // Visited terms, as (term, arrival), whose expansion of a candidate the
  // id's term blocks, or for which the id's term is such a blocked
  // candidate: chains through `notes` from the id's heads in `noteHeads`,
  // which holds the ids whose record is `noted` (few: blocked expansions
  // are rare, so the heads stay out of every term's record).
  std::vector<NoteRecord> notes{};
  std::unordered_map<int32_t, NoteHeads> noteHeads{};
  // Members whose character is none of '1', '0', '-', '~', and the place of
  // each in that list.
  std::vector<int32_t> others{};
  std::unordered_map<int32_t, size_t> otherPlace{};
  ReduceStats stats{};
  bool nameParts = false;
  bool useKnown = true;  // whether the candidates noted for a term serve its visits
  ProgressHook progress{};  // told of the terms checked or visited
  int threads = 1;          // threads that the join of isolated terms may use
  int64_t steps = 0;

  VisitScratch scratch{};
};

// kernel.cpp: the pass's records of its terms, and every change to them.
const uint64_t* MasksOf(const Pass& p, int32_t s);
TermRecord& StateOf(Pass& p, int32_t s);
bool InList(const Pass& p, int32_t s);
char CharOf(const Pass& p, int32_t s);
char ValueOf(const Pass& p, int32_t s);
// The term's place in the working list (its dashCount and its arrival).
ListPlace PlaceOf(const Pass& p, int32_t s);
std::string InputsOf(const Pass& p, int32_t s);
int64_t ListCount(const Pass& p, size_t dash);
void GrowIds(ReduceMemory& m, size_t n);
void Remember(ReduceMemory& m, size_t words, const Term& t);
void Forget(ReduceMemory& m, int32_t s);
void Prepare(ReduceMemory& m, TermGraph& graph, size_t words);
void NumberPass(ReduceMemory& m);
void MarkPending(Pass& p, int32_t s);
// One more term checked or visited; every 1,024, the hook is told. A check
// or a visit of a term with many dashes may read thousands of candidates, so
// the hook hears more often than from other loops.
inline void Step(Pass& p) {
  constexpr int64_t kStride = int64_t{1} << 10;
  if ((++p.steps & (kStride - 1)) == 0 && p.progress) p.progress(p.steps);
}
void ClearPending(Pass& p, int32_t s);
void Join(Pass& p, int32_t s, char value);
void Leave(Pass& p, int32_t s);
int32_t Find(const Pass& p, const uint64_t* part);
int32_t Make(Pass& p, int32_t candidate, int32_t differing, const uint64_t* part, char value);
void Give(Pass& p, int32_t s, char value);
void Drop(Pass& p, int32_t s);
void NoteBlocked(Pass& p, int32_t s, int32_t u, int32_t holder);
void TakeOut(Pass& p, int32_t s, bool expanded);
void NoteChecked(ReduceMemory& m, int32_t s, bool isolated);
void NoteIsolated(ReduceMemory& m, int32_t s);
void ClearRecord(ReduceMemory& m, int32_t s);

// Calls f(id) for every made term alive.
template <typename F>
void ForEachMade(const Pass& p, F f) {
  auto alive = [&](int32_t s) {
    const TermRecord& r = p.memory.records[Idx(s)];
    return r.made && r.serial != 0;
  };
  for (int32_t s = p.base; s < p.topId; ++s) {
    if (alive(s)) f(s);
  }
  for (const auto& [clock, s] : p.goneTerms) {
    if (alive(s)) f(s);
  }
}

// Whether the entry still names the term it was made for.
inline bool Alive(const ReduceMemory& m, SerialSlot e) {
  const uint64_t serial = m.records[Idx(e.slot)].serial;
  return serial != 0 && static_cast<uint32_t>(serial) == e.serial;
}
inline SerialSlot EntryOf(const ReduceMemory& m, int32_t s) {
  return {s, static_cast<uint32_t>(m.records[Idx(s)].serial)};
}

// known_candidates.cpp: the candidate lists of terms found not isolated.
void KnowCandidates(ReduceMemory& m, int32_t s, const std::vector<int32_t>& candidates);
const std::vector<SerialSlot>* KnownCandidatesOf(const ReduceMemory& m, int32_t s);
void LearnExpansion(ReduceMemory& m, size_t words, int32_t candidate, int32_t made);
void ForgetKnown(ReduceMemory& m, int32_t s);
void RenameKnown(ReduceMemory& m, const std::vector<std::pair<SerialSlot, SerialSlot>>& renames);

// survivors.cpp: finding the candidates of a current term.
int32_t CompareMasks(const uint64_t* big, const uint64_t* small, size_t words);
void BuildClassIndexes(Pass& p);
void FindSurvivors(Pass& p, int32_t s, char v);

// isolated_terms.cpp: the terms that meet no other, found once.
void BuildIndex(ReduceMemory& m, const TermGraph& graph);
void BuildIndexOfLiveTerms(Pass& p);
void MarkSuspects(Pass& p);

// commit.cpp: the pass's net effect, handed to the graph.
void Commit(Pass& p);

}  // namespace tavro
