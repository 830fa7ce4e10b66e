// The per-output reduction pass.
//
// Working list. It is always in order of (dashCount descending, order of
// arrival): the initial terms arrive in the order of `terms`, and a term made
// while handling a current term arrives at the end of its dashCount block,
// which is where a stable sort and merge put it. Both orders of arrival are
// the order of creation, so a term's place is given by its dashCount and its
// creation serial, and the list itself is never built: the terms with '~' at
// this output take no part but for the block sizes that a re-scan reads, and
// those are the graph's counts per dashCount less the terms taken out.
//
// Candidates. A later term u of the same character survives against the
// current term t when u has a literal wherever t has one and the opposite
// literal at no more than one of those places. The candidate index
// (candidate_index.hpp) yields a few terms among which all of them are; each
// is compared with t on packed literal masks, and the survivors are sorted
// into working-list order. One index holds every term of the graph and is
// kept from pass to pass; when many members are to be visited, each class of
// members gets an index of its own for the pass, which lists far fewer terms
// that are not candidates.
//
// Skipping. A visit changes something only when the term has a candidate
// that it absorbs or whose expansion is not blocked (held by a term with
// another character at this output). Right after its visit a term has none:
// every candidate was absorbed, expanded or found blocked, and the expansions
// just made have a dash where the term has a literal. A visited term t gets
// such a candidate again only when (1) the term blocking one of its
// expansions leaves the output, or (2) one of its blocked candidates c is
// expanded. For (2) is the only way: a term that joins the list, or receives
// t's character, behind t is the expansion of some candidate c of the current
// term; wherever t has a literal it agrees with c, so c is a candidate of t
// too, and was blocked when t was last visited (had c itself arrived after
// that visit, its own arrival would have marked t). These two events mark the
// terms concerned pending; the scan visits pending terms only, in list order.
// Every visit of the plain walk that it skips changes nothing, so the graph,
// the list orders and the re-scan points are those of the plain walk.
//
// Isolated terms. A term t is isolated when no other input part of the graph,
// whatever its characters, would be a candidate of t by its input part. It
// stays so while the passes alone change the graph: a part they make is the
// expansion e of some candidate c (c with the differing place made a dash),
// and were e a would-be candidate of t, then t has a literal wherever e has,
// not at that place, and c agrees with e everywhere else, so c was one
// already. An isolated term has no candidate in any pass and is never
// visited; that it is isolated is checked once, through the index of every
// term, when a sample shows that checking pays.
#include "reduce/reduce_output.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "graph/add_term.hpp"
#include "graph/remove_term.hpp"
#include "reduce/candidate_index.hpp"

namespace tavro {
namespace {

constexpr int32_t kNone = -1;
constexpr int32_t kContained = -1;  // survivor without a differing variable
constexpr int32_t kUnrelated = -2;  // not a survivor
constexpr int kOtherClass = 3;
constexpr uint64_t kNoArrival = std::numeric_limits<uint64_t>::max();
// Reading a term of a leaf list costs about an eighth of naming one input
// part through the graph's index.
constexpr double kTermsPerPart = 8;
// A sample of this many terms tells whether looking for isolated terms pays.
constexpr size_t kSample = 64;
constexpr double kNoLimit = 1e18;

size_t Idx(int32_t s) { return static_cast<size_t>(s); }

// One bit per byte of `eight` that equals c, the first byte's lowest.
uint64_t BytesEqual(uint64_t eight, char c) {
  constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
  const uint64_t x = eight ^ (0x0101010101010101ULL * static_cast<uint8_t>(c));
  // The high bit of each byte that is zero in x (no borrow crosses bytes),
  // then the eight high bits gathered into the top byte.
  const uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
  return ((zero >> 7) * 0x0102040810204080ULL) >> 56;
}

// 0 to 2 for '1', '0', '-', the characters of the candidate search; -1 for
// '~', which takes no part; kOtherClass for any other character.
int ValueClass(char c) {
  switch (c) {
    case '1': return 0;
    case '0': return 1;
    case '-': return 2;
    case '~': return -1;
    default: return kOtherClass;
  }
}

// Working-list order: greater dashCount first, then earlier arrival.
using Key = std::pair<int32_t, uint64_t>;

// The pending terms of one block, as bits by arrival number, with a summary
// bit per word so that the search for the next one skips empty stretches.
struct PendingBlock {
  std::vector<uint64_t> bits, summary;
  int64_t count = 0;

  void Set(uint64_t a) {
    const size_t w = a / 64;
    if (w >= bits.size()) {
      bits.resize(std::max(w + 1, 2 * bits.size()), 0);
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
      slotOfArrival.resize(std::max<size_t>(arrival + 1, 2 * slotOfArrival.size()));
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
    int32_t slot = kNone;
    size_t dash = 0;
    uint64_t arrival = 0;
  };

  // The first pending term at or after the place of key (-dash, arrival), or
  // one with slot -1: the busy blocks at or below `dash`, highest first.
  Found Next(size_t dash, uint64_t arrival) const {
    if (busy.empty()) return {};
    size_t w = std::min(dash / 64, busy.size() - 1);
    uint64_t bits = busy[w];
    if (dash / 64 == w) bits &= ~uint64_t{0} >> (63 - dash % 64);
    for (;;) {
      while (bits != 0) {
        const size_t k = w * 64 + 63 - static_cast<size_t>(std::countl_zero(bits));
        const uint64_t a = blocks[k].Next(k == dash ? arrival : 0);
        if (a != kNoArrival) return {slotOfArrival[a], k, a};
        bits &= ~(uint64_t{1} << (k % 64));
      }
      if (w == 0) return {};
      bits = busy[--w];
    }
  }
};

// What is known of the term in a slot: from pass to pass, whether it is
// isolated; and what one pass notes of it once touched. A term without a
// record of the current pass (`pass` the pass's own) has not been touched: it
// stands in the working list, and takes part when it has a character other
// than '~' at the output.
struct SlotState {
  uint64_t serial = 0;  // the slot's term, or 0 when the slot is free
  uint32_t pass = 0;    // the pass that noted the fields from otherIndex to pending
  int32_t otherIndex = -1;  // place in `others`, or -1
  int32_t blockingNote = -1, blockedNote = -1;
  bool out = false;  // taken out of the working list
  bool pending = false;
  // Kept from pass to pass: whether the term was looked at, and whether it
  // was isolated then; whether its input part has other characters than
  // '0', '1', '-'.
  bool checked = false;
  bool isolated = false;
  bool impure = false;
};

struct NoteRecord {
  int32_t next;
  int32_t term;
  uint64_t arrival;
};

struct Survivor {
  int32_t slot;
  int32_t differing;  // variable index, or kContained
};

struct SerialSlot {
  int32_t slot;
  uint64_t serial;
};

// Memory that one pass leaves to the next over the same graph: the index of
// every input part of the graph, what is known of each term, and buffers
// whose page faults would otherwise be paid again each time. It holds while
// the graph changes through the passes alone: the graph's serial and term
// count at the end of the last pass tell whether anything else changed it.
struct PassMemory {
  bool valid = false;
  // Whether isolated terms are looked for, and every term is indexed. A run
  // stops when a sample shows that few terms are isolated.
  bool lookForIsolated = true;
  bool indexed = false;  // whether the index of every term has been built
  uint64_t nextSerial = 0;
  int32_t termCount = -1;
  CandidateIndex index;           // every term of the graph
  CandidateIndex classIndex[3];  // the members of a pass by class, when built
  std::vector<uint64_t> masks;  // per slot: literal mask words, then '1' mask words
  int64_t impureTerms = 0;
  std::vector<SerialSlot> suspects;  // every term not known isolated, and stale entries
  std::vector<SlotState> slots;
  // Per slot: the class of the character with which the term takes part in
  // the present pass, or -1. The index holds every term of the graph, and
  // this is how a search keeps to the members of its own class cheaply.
  std::vector<int8_t> memberClass;
  PendingTerms pending;
  uint32_t passes = 0;
};

struct Pass {
  TermGraph& graph;
  PassMemory& memory;
  int32_t output;
  size_t j;
  size_t words;  // 64-bit words of one mask
  uint32_t id;

  // Visited terms, as (term, arrival), whose expansion of a candidate the
  // slot's term blocks, or for which the slot's term is such a blocked
  // candidate: chains through `notes` from the slot's blockingNote and
  // blockedNote.
  std::vector<NoteRecord> notes{};

  // Per dashCount: the terms of the graph that have left the list.
  std::vector<int32_t> leftList{};

  ReduceStats stats{};
  // Members whose character is none of '1', '0', '-', '~' (outside the
  // candidate search).
  std::vector<int32_t> others{};

  bool nameParts = false;
  SurvivorLog* log = nullptr;
  // Whether the class indexes are kept (not while survivors are replayed).
  bool keepIndexes = true;
  // Whether candidates are searched in the class indexes.
  bool byClass = false;

  // Scratch space of one visit.
  std::vector<int32_t> near{};
  std::string part{};
  std::vector<int32_t> dashPlaces{};
  std::vector<Survivor> survivors{};
  std::vector<Term*> created{};
  std::vector<int32_t> gained{};
};

Term& TermAt(Pass& p, int32_t s) { return p.graph.termPool[Idx(s)]; }
Key KeyOf(Pass& p, int32_t s) { return {-TermAt(p, s).dashCount, TermAt(p, s).serial}; }
const uint64_t* MasksOf(const Pass& p, int32_t s) { return &p.memory.masks[Idx(s) * 2 * p.words]; }

void GrowSlots(PassMemory& m, size_t words, size_t n) {
  if (m.slots.size() >= n) return;
  // A half more at a time, each array reserved to exactly that size (a
  // vector left to grow by itself would double its capacity).
  const size_t size = std::max(n, m.slots.size() + m.slots.size() / 2);
  auto grow = [](auto& v, size_t to, auto value) {
    v.reserve(to);
    v.resize(to, value);
  };
  grow(m.slots, size, SlotState{});
  grow(m.memberClass, size, int8_t{-1});
  grow(m.masks, size * 2 * words, uint64_t{0});
}

// The pass's record of the term in slot s, begun when the term is first
// touched.
SlotState& StateOf(Pass& p, int32_t s) {
  SlotState& state = p.memory.slots[Idx(s)];
  if (state.pass != p.id) {
    state = SlotState{.serial = state.serial,
                      .pass = p.id,
                      .checked = state.checked,
                      .isolated = state.isolated,
                      .impure = state.impure};
  }
  return state;
}

// Whether the graph's term in slot s stands in the working list.
bool InList(Pass& p, int32_t s) {
  if (Idx(s) >= p.memory.slots.size()) return true;
  const SlotState& state = p.memory.slots[Idx(s)];
  return state.pass != p.id || !state.out;
}

// The character with which the term in slot s takes part in the pass, or '~'.
char ValueOf(Pass& p, int32_t s) { return InList(p, s) ? TermAt(p, s).outputs[p.j] : '~'; }

// The number of terms in the working list with dashCount k.
int32_t ListCount(const Pass& p, size_t k) {
  return p.graph.termsByDash[k] - (k < p.leftList.size() ? p.leftList[k] : 0);
}

void MarkPending(Pass& p, int32_t s) {
  SlotState& state = StateOf(p, s);
  if (state.pending) return;
  state.pending = true;
  p.memory.pending.Add(Idx(TermAt(p, s).dashCount), state.serial, s);
}

void ClearPending(Pass& p, int32_t s) {
  SlotState& state = p.memory.slots[Idx(s)];
  if (!state.pending) return;
  state.pending = false;
  p.memory.pending.Remove(Idx(TermAt(p, s).dashCount), state.serial);
}

// Packs the input part of a new term into its masks (a literal bit for '0'
// and '1', a '1' bit for '1'; any other character counts as a dash, as the
// cell lists count it), and puts it into the index of every term when that
// is built.
void Remember(PassMemory& m, size_t words, const Term& term) {
  GrowSlots(m, words, static_cast<size_t>(term.slot) + 1);
  const std::string_view inputs = term.inputs.view();
  uint64_t* mask = &m.masks[Idx(term.slot) * 2 * words];
  std::fill(mask, mask + 2 * words, 0);
  size_t dashes = 0;
  size_t i = 0;
  // Eight characters at a time where the first lands in the lowest byte.
  for (; std::endian::native == std::endian::little && i + 8 <= inputs.size(); i += 8) {
    uint64_t eight;
    std::memcpy(&eight, inputs.data() + i, 8);
    const uint64_t ones = BytesEqual(eight, '1');
    mask[i / 64] |= (ones | BytesEqual(eight, '0')) << (i % 64);
    mask[words + i / 64] |= ones << (i % 64);
    dashes += static_cast<size_t>(std::popcount(BytesEqual(eight, '-')));
  }
  for (; i < inputs.size(); ++i) {
    const char c = inputs[i];
    const uint64_t bit = uint64_t{1} << (i % 64);
    if (c == '0' || c == '1') mask[i / 64] |= bit;
    if (c == '1') mask[words + i / 64] |= bit;
    dashes += c == '-';
  }
  const bool impure = dashes != static_cast<size_t>(term.dashCount);
  // A new record: the slot may have held another term earlier in this pass.
  m.slots[Idx(term.slot)] = SlotState{.serial = term.serial, .impure = impure};
  m.impureTerms += impure;
  if (!m.lookForIsolated) return;
  if (m.indexed) m.index.Insert(term.slot, mask);
  m.suspects.push_back({term.slot, term.serial});
}

void Forget(PassMemory& m, size_t words, int32_t s) {
  if (m.indexed) m.index.Erase(s, &m.masks[Idx(s) * 2 * words]);
  // The record stays taken out of the working list, for notes that still
  // name the slot; the slot is free.
  SlotState& state = m.slots[Idx(s)];
  m.impureTerms -= state.impure;
  state.serial = 0;
  state.checked = state.isolated = state.impure = false;
}

// Puts every term of the graph into the index of every term, shaped for
// their number.
void BuildIndex(PassMemory& m, const TermGraph& graph) {
  m.index.Reset(graph.inputCount, static_cast<size_t>(graph.termCount));
  std::vector<int32_t> slots;
  graph.terms.ForEach([&](const Term* t) { slots.push_back(t->slot); });
  m.index.InsertAll(slots, m.masks);
  m.indexed = true;
}

// Readies the memory for a pass over the graph: everything afresh when the
// graph is new to it or was changed by anything but the passes (the index of
// every term is built once a sample shows that it pays), and a new index
// shape when the number of terms has moved far from the present one's.
void Prepare(PassMemory& m, TermGraph& graph, size_t words) {
  const bool fresh = !m.valid || m.nextSerial != graph.nextSerial || m.termCount != graph.termCount;
  m.valid = false;
  if (!fresh) {
    if (m.indexed && !m.index.Suits(graph.inputCount, static_cast<size_t>(graph.termCount))) {
      BuildIndex(m, graph);
    }
    return;
  }
  m.lookForIsolated = true;
  m.indexed = false;
  m.index = CandidateIndex{};
  m.impureTerms = 0;
  m.suspects.clear();
  std::fill(m.slots.begin(), m.slots.end(), SlotState{});
  GrowSlots(m, words, static_cast<size_t>(SlotCount(graph)));
  graph.terms.ForEach([&](const Term* t) { Remember(m, words, *t); });
}

// A term that has arrived in the working list with a character at this
// output (made during the pass, or given the character in place) waits for
// its visit. Its arrival is its serial, so that its place in the list follows
// from (dashCount, arrival).
void Join(Pass& p, const Term& term, char value) {
  StateOf(p, term.slot).out = false;
  if (p.byClass) {
    const int c = ValueClass(value);
    p.memory.memberClass[Idx(term.slot)] = static_cast<int8_t>(c);
    if (p.keepIndexes) p.memory.classIndex[c].Insert(term.slot, MasksOf(p, term.slot));
  }
  MarkPending(p, term.slot);
}

void Leave(Pass& p, int32_t s) {
  SlotState& state = StateOf(p, s);
  if (state.otherIndex != kNone) {
    const int32_t place = state.otherIndex;
    const int32_t moved = p.others.back();
    p.others[Idx(place)] = moved;
    p.memory.slots[Idx(moved)].otherIndex = place;
    p.others.pop_back();
    state.otherIndex = kNone;
  }
  ClearPending(p, s);
  state.out = true;
  if (p.byClass) {
    int8_t& c = p.memory.memberClass[Idx(s)];
    if (c >= 0 && p.keepIndexes) p.memory.classIndex[c].Erase(s, MasksOf(p, s));
    c = -1;
  }
}

void AddNote(Pass& p, int32_t& head, int32_t term, uint64_t arrival) {
  p.notes.push_back({head, term, arrival});
  head = static_cast<int32_t>(p.notes.size() - 1);
}

// Marks pending the terms of a chain of notes that are still where they were
// noted, and empties the chain.
void MarkAll(Pass& p, int32_t& head) {
  for (int32_t n = head; n != kNone; n = p.notes[Idx(n)].next) {
    const auto [next, s, arrival] = p.notes[Idx(n)];
    if (p.memory.slots[Idx(s)].serial == arrival && InList(p, s)) MarkPending(p, s);
  }
  head = kNone;
}

// Takes a candidate out of the working list and then out of the output.
// Terms whose expansion it blocked may act now. When it is expanded, a
// visited term that has the expansion as a candidate had the candidate itself
// as one, blocked; it may act now too.
void TakeOut(Pass& p, int32_t s, bool expanded) {
  SlotState& state = StateOf(p, s);
  MarkAll(p, state.blockingNote);
  if (expanded) {
    MarkAll(p, state.blockedNote);
  } else {
    state.blockedNote = kNone;
  }
  Leave(p, s);
  const int32_t terms = p.graph.termCount;
  const size_t dash = Idx(TermAt(p, s).dashCount);
  RemoveTermFromOutput(p.graph, p.output, TermAt(p, s));
  if (p.graph.termCount == terms) {
    if (dash >= p.leftList.size()) p.leftList.resize(dash + 1, 0);
    ++p.leftList[dash];
  } else {
    Forget(p.memory, p.words, s);
  }
}

// kUnrelated, kContained, or the one variable at which `small` has the
// opposite of a literal of `big` (and a literal at every other one).
int32_t CompareMasks(const uint64_t* big, const uint64_t* small, size_t words) {
  int32_t differing = kContained;
  for (size_t w = 0; w < words; ++w) {
    const uint64_t literals = big[w];
    if ((small[w] & literals) != literals) return kUnrelated;
    const uint64_t opposite = (big[words + w] ^ small[words + w]) & literals;
    if (opposite == 0) continue;
    if (differing != kContained || (opposite & (opposite - 1)) != 0) return kUnrelated;
    differing = static_cast<int32_t>(w * 64) + std::countr_zero(opposite);
  }
  return differing;
}

// Appends to p.near the terms whose input part a candidate of t may have:
// '-', '0' or '1' at t's dashes, and t's literals with at most one of them
// flipped.
void NamePartsOfCandidates(Pass& p, const Term& t) {
  std::string& part = p.part;
  part.assign(t.inputs.view());
  std::vector<int32_t>& dashes = p.dashPlaces;
  dashes.clear();
  for (size_t i = 0; i < part.size(); ++i) {
    if (part[i] != '0' && part[i] != '1') dashes.push_back(static_cast<int32_t>(i));
  }
  auto look = [&] {
    if (const Term* u = FindTerm(p.graph, part)) p.near.push_back(u->slot);
  };
  auto fill = [&](auto& self, size_t i) -> void {
    if (i == dashes.size()) {
      look();
      for (size_t x = 0; x < part.size(); ++x) {
        if (part[x] != t.inputs[x] || (part[x] != '0' && part[x] != '1')) continue;
        part[x] = part[x] == '0' ? '1' : '0';
        look();
        part[x] = t.inputs[x];
      }
      return;
    }
    for (char c : {'-', '0', '1'}) {
      part[Idx(dashes[i])] = c;
      self(self, i + 1);
    }
    part[Idx(dashes[i])] = '-';
  };
  fill(fill, 0);
}

// Whether the term in slot s is isolated: whether no other input part of the
// graph has a literal wherever s has one, with the opposite literal at no
// more than one of those places. The answer is kept. Before the index of
// every term is built (for a sample), it reads them all.
bool CheckIsolated(Pass& p, int32_t s) {
  const uint64_t* tm = MasksOf(p, s);
  bool isolated = true;
  if (p.memory.indexed) {
    p.near.clear();
    p.memory.index.Near(tm, p.near, std::numeric_limits<size_t>::max());
    for (int32_t u : p.near) {
      if (u != s && CompareMasks(tm, MasksOf(p, u), p.words) != kUnrelated) {
        isolated = false;
        break;
      }
    }
  } else {
    // The masks of every term (a slot with serial 0 is free), until one meets s.
    const size_t slots = static_cast<size_t>(SlotCount(p.graph));
    for (size_t u = 0; u < slots && isolated; ++u) {
      if (p.memory.slots[u].serial == 0 || u == Idx(s)) continue;
      isolated = CompareMasks(tm, &p.memory.masks[u * 2 * p.words], p.words) == kUnrelated;
    }
  }
  SlotState& known = p.memory.slots[Idx(s)];
  known.checked = true;
  known.isolated = isolated;
  return isolated;
}

// Puts the members of the pass into indexes of their own, one per class.
// Among many terms with characters elsewhere, or many candidates of other
// characters, the index of every term lists far more terms than a search
// needs. Built before the first visit, when the output's lists hold exactly
// the members.
void BuildClassIndexes(Pass& p) {
  p.byClass = true;
  std::fill(p.memory.memberClass.begin(), p.memory.memberClass.end(), -1);
  for (char v : {'1', '0', '-'}) {
    const int c = ValueClass(v);
    const TermList* list = OutputList(p.graph, p.output, v);
    if (p.keepIndexes) p.memory.classIndex[c].Reset(p.graph.inputCount, static_cast<size_t>(list->Count()));
    std::vector<int32_t> slots;
    list->ForEach([&](const Term* t) {
      p.memory.memberClass[Idx(t->slot)] = static_cast<int8_t>(c);
      slots.push_back(t->slot);
    });
    if (p.keepIndexes) p.memory.classIndex[c].InsertAll(slots, p.memory.masks);
  }
}

// Puts the surviving candidates of the current term s into p.survivors, in
// working-list order. A term met through the index with no candidate among
// all the graph's input parts, whatever their characters, is isolated.
void SearchSurvivors(Pass& p, int32_t s, char v) {
  const Key key = KeyOf(p, s);
  std::vector<Survivor>& found = p.survivors;
  found.clear();
  const int c = ValueClass(v);
  if (c == kOtherClass) {
    // Only a term without literals can meet such a character without reading
    // a cell list, which refuses it; every later term with it is contained.
    const Term& t = TermAt(p, s);
    if (t.onesCount + t.zerosCount > 0) throw "wrong set";
    for (int32_t u : p.others) {
      if (ValueOf(p, u) == v && KeyOf(p, u) > key) found.push_back({u, kContained});
    }
  } else {
    const uint64_t* tm = MasksOf(p, s);
    p.near.clear();
    // The input parts a candidate may have are 3^dashes * (literals + 1); a
    // term with few dashes among many similar terms (minterm tables, such as
    // the real set's b12_split and the minterms family) names them faster
    // through the graph's input-part index than the leaves list its
    // candidates. Impure input parts are not in that index.
    const Term& t = TermAt(p, s);
    const double parts = std::pow(3.0, std::min(t.dashCount, 40)) * (t.onesCount + t.zerosCount + 1);
    const double most = p.memory.impureTerms != 0        ? kNoLimit
                        : p.nameParts && parts < 1e4 ? 0
                                                     : std::min(kTermsPerPart * parts, kNoLimit);
    CandidateIndex& index = p.byClass ? p.memory.classIndex[c] : p.memory.index;
    const bool listed = index.Near(tm, p.near, static_cast<size_t>(most));
    if (!listed) NamePartsOfCandidates(p, t);
    p.stats.comparisons += static_cast<int64_t>(p.near.size());
    bool isolated = true;
    for (int32_t u : p.near) {
      const bool member = p.byClass ? p.memory.memberClass[Idx(u)] == c : ValueOf(p, u) == v;
      if (u == s || (!member && !isolated)) continue;
      const int32_t r = CompareMasks(tm, MasksOf(p, u), p.words);
      if (r == kUnrelated) continue;
      isolated = false;
      if (member && KeyOf(p, u) > key) {
        __builtin_prefetch(&p.memory.slots[Idx(u)]);
        found.push_back({u, r});
      }
    }
    if (!p.byClass && listed && isolated) p.memory.slots[Idx(s)].isolated = true;
  }
  std::sort(found.begin(), found.end(), [&](const Survivor& a, const Survivor& b) {
    return KeyOf(p, a.slot) < KeyOf(p, b.slot);
  });
}

// The survivors of the current term s, searched for, and recorded in or
// replayed from the survivor log when there is one (but for characters
// outside the candidate search, which need no index).
void FindSurvivors(Pass& p, int32_t s, char v) {
  SurvivorLog* log = p.log;
  if (log == nullptr || ValueClass(v) == kOtherClass) return SearchSurvivors(p, s, v);
  std::vector<int32_t>& records = log->records;
  bool& isolated = p.memory.slots[Idx(s)].isolated;
  if (log->replay) {
    if (log->next + 2 > records.size()) throw "survivor log ended";
    const size_t count = Idx(records[log->next]);
    isolated = records[log->next + 1] != 0;
    log->next += 2;
    if (log->next + 2 * count > records.size()) throw "survivor log ended";
    p.survivors.clear();
    for (size_t i = 0; i < count; ++i, log->next += 2) {
      p.survivors.push_back({records[log->next], records[log->next + 1]});
    }
    return;
  }
  SearchSurvivors(p, s, v);
  records.push_back(static_cast<int32_t>(p.survivors.size()));
  records.push_back(isolated);
  for (const Survivor& survivor : p.survivors) {
    records.push_back(survivor.slot);
    records.push_back(survivor.differing);
  }
}

// The survivor's expansion, the candidate's input part with the differing
// place made a dash, written into the pass's scratch part.
const std::string& Expansion(Pass& p, const Survivor& survivor) {
  p.part.assign(TermAt(p, survivor.slot).inputs.view());
  p.part[Idx(survivor.differing)] = '-';
  return p.part;
}

// Handles one current term; returns the re-scan flag.
bool Visit(Pass& p, int32_t s) {
  ClearPending(p, s);
  const char v = ValueOf(p, s);
  if (v == '~') return false;
  const int32_t d = TermAt(p, s).dashCount;
  const uint64_t arrival = TermAt(p, s).serial;
  ++p.stats.visits;
  FindSurvivors(p, s, v);

  bool rescan = false;
  std::vector<Term*>& created = p.created;
  std::vector<int32_t>& gained = p.gained;
  created.clear();
  gained.clear();
  // Each candidate's term, characters and links are far from the others':
  // their memory is requested for all before the first is handled.
  for (const Survivor& survivor : p.survivors) {
    const uint32_t u = static_cast<uint32_t>(survivor.slot);
    __builtin_prefetch(&p.graph.termPool[u]);
    __builtin_prefetch(p.graph.termPool.Chars(u));
    __builtin_prefetch(&p.graph.termPool.Link(u, 0));
  }
  // So are the entries of the input-part index that the lookup of each
  // expansion and the freeing of each candidate will read.
  for (const Survivor& survivor : p.survivors) {
    PrefetchInputPart(p.graph, TermAt(p, survivor.slot).inputs.view());
    if (survivor.differing != kContained) PrefetchInputPart(p.graph, Expansion(p, survivor));
  }
  for (const Survivor& survivor : p.survivors) {
    const int32_t u = survivor.slot;
    if (survivor.differing == kContained) {
      TakeOut(p, u, false);
      continue;
    }
    Term& candidate = TermAt(p, u);
    const std::string& expansion = Expansion(p, survivor);
    // The expansion has the candidate's characters but a literal made a dash,
    // so it is pure when the candidate is.
    Term* holder = p.memory.slots[Idx(u)].impure ? nullptr : FindTerm(p.graph, expansion);
    const char held = holder != nullptr ? holder->outputs[p.j] : '~';
    // A cube of another character of this output already has this input
    // part: the candidate is left as it is, in the list and in the output.
    if (IsSpecified(held) && held != v) {
      AddNote(p, StateOf(p, holder->slot).blockingNote, s, arrival);
      AddNote(p, StateOf(p, u).blockedNote, s, arrival);
      continue;
    }
    if (candidate.dashCount == d) rescan = true;
    if (Term* made = AddTerm(p.graph, p.output, expansion, v, holder)) {
      GrowSlots(p.memory, p.words, static_cast<size_t>(SlotCount(p.graph)));
      Remember(p.memory, p.words, *made);
      created.push_back(made);
    } else if (holder != nullptr && held == '~' && InList(p, holder->slot)) {
      // Received the character in place; it keeps its place in the list.
      gained.push_back(holder->slot);
    }
    TakeOut(p, u, true);
  }

  // Stable merge of the new terms: each goes to the end of its block, which
  // is where its serial, greater than every other, puts it.
  for (Term* made : created) Join(p, *made, v);
  for (int32_t g : gained) Join(p, TermAt(p, g), v);
  return rescan;
}

constexpr int32_t kFirstPlace = std::numeric_limits<int32_t>::max();

// Where the scan resumes after a re-scan of the current term s: at the first
// term of the block before s's block, or at the first place when there is no
// such block or when that block begins at the second place. Given as the
// dashCount of that block (kFirstPlace for the first place): no pending term
// of a block lies before its first term.
int32_t ResumeDash(const Pass& p, int32_t s) {
  const size_t top = p.graph.termsByDash.size();
  size_t before = Idx(p.graph.termPool[Idx(s)].dashCount) + 1;
  while (before < top && ListCount(p, before) == 0) ++before;
  if (before >= top) return kFirstPlace;
  int32_t ahead = 0;
  for (size_t k = before + 1; k < top && ahead < 2; ++k) ahead += ListCount(p, k);
  return ahead < 2 ? kFirstPlace : static_cast<int32_t>(before);
}

// The term the scan resumes at, for the re-scan hook: the first term of the
// working list in the block of `dash`, or of the whole list. Walks the graph.
const Term& ResumeTerm(Pass& p, int32_t dash) {
  const Term* first = nullptr;
  p.graph.terms.ForEach([&](const Term* t) {
    if (!InList(p, t->slot) || (dash != kFirstPlace && t->dashCount != dash)) return;
    if (first == nullptr || t->dashCount > first->dashCount) first = t;
  });
  return *first;
}

void RunPass(TermGraph& graph, int32_t output, const ReduceHooks* hooks) {
  if (!graph.passMemory) graph.passMemory = std::make_shared<PassMemory>();
  PassMemory& memory = *static_cast<PassMemory*>(graph.passMemory.get());
  const size_t words = (static_cast<size_t>(graph.inputCount) + 63) / 64;
  Prepare(memory, graph, words);
  if (++memory.passes == 0) {
    // Pass numbers have come round: no record may seem to be of this pass.
    for (SlotState& state : memory.slots) state.pass = 0;
    memory.passes = 1;
  }
  Pass p{.graph = graph,
         .memory = memory,
         .output = output,
         .j = static_cast<size_t>(output),
         .words = words,
         .id = memory.passes};
  GrowSlots(memory, words, static_cast<size_t>(SlotCount(graph)));
  // Terms left pending behind the last pass's last place (the plain walk
  // does not visit them either), or by a pass that an error ended.
  memory.pending.Clear();
  p.nameParts = hooks != nullptr && hooks->nameParts;
  p.log = hooks != nullptr ? hooks->survivorLog : nullptr;
  p.keepIndexes = p.log == nullptr || !p.log->replay;

  // The working list holds every term, in order of (dashCount descending,
  // serial), and the terms with a character at this output take part. An
  // isolated term never has a candidate and is not visited; every other term
  // is a suspect, and a suspect of '1', '0' or '-' here waits for its visit.
  size_t members = 0;
  for (char v : {'1', '0', '-'}) members += static_cast<size_t>(OutputList(graph, output, v)->Count());
  std::vector<int32_t> unchecked;
  if (memory.lookForIsolated) {
    size_t kept = 0;
    for (const SerialSlot entry : memory.suspects) {
      const SlotState& known = memory.slots[Idx(entry.slot)];
      if (known.serial != entry.serial || known.isolated) continue;
      memory.suspects[kept++] = entry;
      const int c = ValueClass(TermAt(p, entry.slot).outputs[p.j]);
      if (c < 0 || c == kOtherClass) continue;
      if (known.checked) {
        MarkPending(p, entry.slot);
      } else {
        unchecked.push_back(entry.slot);
      }
    }
    memory.suspects.resize(kept);
  }
  // Members not yet looked at: a sample spread over them tells whether most
  // are isolated (random covers, where a term seldom meets another: the
  // nontaut and onoff rows of bench/run), and then all are looked at, once;
  // else no term is looked at any more.
  size_t sampled = 0, isolated = 0;
  for (size_t i = 0; i < unchecked.size(); i += std::max<size_t>(1, unchecked.size() / kSample)) {
    ++sampled;
    isolated += CheckIsolated(p, unchecked[i]);
  }
  if (2 * isolated >= sampled) {
    if (!unchecked.empty() && !memory.indexed) BuildIndex(memory, graph);
    for (int32_t s : unchecked) {
      const SlotState& known = memory.slots[Idx(s)];
      if (!known.checked) CheckIsolated(p, s);
      if (!known.isolated) MarkPending(p, s);
    }
  } else {
    memory.lookForIsolated = false;
    memory.indexed = false;
    memory.suspects = {};
    memory.index = CandidateIndex{};
  }
  if (!memory.lookForIsolated) {
    for (char v : {'1', '0', '-'}) {
      OutputList(graph, output, v)->ForEach([&](const Term* t) {
        const SlotState& known = memory.slots[Idx(t->slot)];
        if (!known.isolated) MarkPending(p, t->slot);
      });
    }
  }
  // With few members left to visit, the index of every term serves them;
  // with many, indexes of the members by class (minterm tables, split and
  // adjacent covers).
  if (!memory.indexed || 8 * memory.pending.count > members) BuildClassIndexes(p);
  int32_t listed = 0;
  for (char v : {'1', '0', '-', '~'}) listed += OutputList(graph, output, v)->Count();
  if (listed != graph.termCount) {
    // Terms with another character stand in no list of the output; they are
    // searched among themselves, and each waits for its visit.
    graph.terms.ForEach([&](const Term* t) {
      if (ValueClass(t->outputs[p.j]) != kOtherClass) return;
      StateOf(p, t->slot).otherIndex = static_cast<int32_t>(p.others.size());
      p.others.push_back(t->slot);
      MarkPending(p, t->slot);
    });
  }

  int32_t dash = kFirstPlace;
  uint64_t arrival = 0;
  for (PendingTerms::Found at; (at = memory.pending.Next(Idx(dash), arrival)).slot != kNone;) {
    const int32_t s = at.slot;
    // The records of the term likely to come next are requested while this
    // one is visited: visits go through the slots in no order of their own.
    if (const int32_t ahead = memory.pending.Next(at.dash, at.arrival + 1).slot; ahead != kNone) {
      const uint32_t u = static_cast<uint32_t>(ahead);
      __builtin_prefetch(&memory.slots[u]);
      __builtin_prefetch(&graph.termPool[u]);
      __builtin_prefetch(graph.termPool.Chars(u));
      __builtin_prefetch(MasksOf(p, ahead));
    }
    if (!Visit(p, s)) {
      dash = static_cast<int32_t>(at.dash);
      arrival = at.arrival + 1;
      continue;
    }
    ++p.stats.rescans;
    dash = ResumeDash(p, s);
    arrival = 0;
    if (hooks != nullptr && hooks->onRescan) hooks->onRescan(TermAt(p, s), ResumeTerm(p, dash));
  }
  memory.valid = true;
  memory.nextSerial = graph.nextSerial;
  memory.termCount = graph.termCount;
  if (hooks != nullptr && hooks->stats != nullptr) {
    hooks->stats->visits += p.stats.visits;
    hooks->stats->rescans += p.stats.rescans;
    hooks->stats->comparisons += p.stats.comparisons;
  }
}

}  // namespace

void ReduceOutput(TermGraph& graph, int32_t output) { RunPass(graph, output, nullptr); }

void ReduceOutput(TermGraph& graph, int32_t output, const ReduceHooks& hooks) {
  RunPass(graph, output, &hooks);
}

}  // namespace tavro
