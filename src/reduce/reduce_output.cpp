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
// into working-list order.
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
#include "reduce/reduce_output.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
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
constexpr double kNoLimit = 1e18;

size_t Idx(int32_t s) { return static_cast<size_t>(s); }

bool IsSpecified(char c) { return c == '1' || c == '0' || c == '-'; }

// 0 to 2 for '1', '0', '-', which the index keeps apart; -1 for '~', which
// takes no part; kOtherClass for any other character.
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

// What the pass keeps of one term slot. A slot whose `pass` is not the
// current pass holds a term that has not been touched by it: one that is in the
// working list with '~' at this output.
struct SlotState {
  uint64_t arrival = 0;  // the term's serial; 0 once it has left the list
  uint64_t pass = 0;
  int32_t dash = 0;
  int32_t otherIndex = -1;  // place in `others`, or -1
  int32_t blockingNote = -1, blockedNote = -1;
  char value = '~';
  bool pending = false;
  bool impure = false;  // input part not of '0', '1', '-' only
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

// Memory that one pass leaves to the next: a run reduces every output in
// turn over about the same slots, and new memory for every pass would cost
// its page faults each time. Each pass gives it the state it needs first.
struct KeptMemory {
  std::vector<SlotState> slots;
  std::vector<uint64_t> masks;
  std::vector<int32_t> slotOfArrival;
  std::vector<PendingBlock> pendingBlocks;
  CandidateIndex index;
  uint64_t passes = 0;
};

KeptMemory& Kept() {
  static KeptMemory kept;
  return kept;
}

struct Pass {
  TermGraph& graph;
  int32_t output;
  size_t j;
  size_t words;  // 64-bit words of one mask
  uint64_t id;
  CandidateIndex& index;

  // Per slot; see SlotState.
  std::vector<SlotState>& slots;
  std::vector<uint64_t>& masks;  // literal mask words, then '1' mask words
  std::vector<int32_t>& slotOfArrival;  // meaningful for pending terms only
  // Visited terms, as (term, arrival), whose expansion of a candidate the
  // slot's term blocks, or for which the slot's term is such a blocked
  // candidate: chains through `notes` from the slot's blockingNote and
  // blockedNote.
  std::vector<NoteRecord> notes{};

  // Per dashCount: the terms of the graph that have left the list, and the
  // pending terms.
  std::vector<int32_t> leftList{};
  std::vector<PendingBlock>& pendingBlocks;

  ReduceStats stats{};
  // Terms whose character is none of '1', '0', '-', '~' (outside the index).
  std::vector<int32_t> others{};

  int64_t impureMembers = 0;  // input part not of '0', '1', '-' only
  bool nameParts = false;

  // Scratch space of one visit.
  std::vector<int32_t> near{};
  std::string part{};
  std::vector<int32_t> dashPlaces{};
  std::vector<Survivor> survivors{};
  std::vector<Term*> created{};
  std::vector<int32_t> gained{};
};

Term& TermAt(Pass& p, int32_t s) { return p.graph.termPool[Idx(s)]; }
Key KeyOf(const Pass& p, int32_t s) { return {-p.slots[Idx(s)].dash, p.slots[Idx(s)].arrival}; }
const uint64_t* MasksOf(const Pass& p, int32_t s) { return &p.masks[Idx(s) * 2 * p.words]; }

void GrowSlots(Pass& p) {
  const size_t n = static_cast<size_t>(SlotCount(p.graph));
  if (p.slots.size() >= n) return;
  const size_t size = std::max(n, p.slots.size() + p.slots.size() / 2);
  p.slots.resize(size);
  p.masks.resize(size * 2 * p.words, 0);
}

// Whether the graph's term in slot s stands in the working list.
bool InList(const Pass& p, int32_t s) {
  return Idx(s) >= p.slots.size() || p.slots[Idx(s)].pass != p.id || p.slots[Idx(s)].arrival != 0;
}

// The number of terms in the working list with dashCount k.
int32_t ListCount(const Pass& p, size_t k) {
  return p.graph.termsByDash[k] - (k < p.leftList.size() ? p.leftList[k] : 0);
}

void MarkPending(Pass& p, int32_t s) {
  SlotState& state = p.slots[Idx(s)];
  if (state.pending) return;
  state.pending = true;
  if (Idx(state.dash) >= p.pendingBlocks.size()) p.pendingBlocks.resize(Idx(state.dash) + 1);
  p.pendingBlocks[Idx(state.dash)].Set(state.arrival);
  if (state.arrival >= p.slotOfArrival.size()) {
    p.slotOfArrival.resize(std::max<size_t>(state.arrival + 1, 2 * p.slotOfArrival.size()));
  }
  p.slotOfArrival[state.arrival] = s;
}

void ClearPending(Pass& p, int32_t s) {
  SlotState& state = p.slots[Idx(s)];
  if (!state.pending) return;
  state.pending = false;
  p.pendingBlocks[Idx(state.dash)].Clear(state.arrival);
}

// Packs the input part: a literal bit for '0' and '1', a '1' bit for '1'.
// Any other character counts as a dash, as the cell lists count it.
// Tells whether the part is pure ('0', '1', '-' only).
bool PackMasks(Pass& p, int32_t s) {
  const std::string_view inputs = TermAt(p, s).inputs.view();
  uint64_t* m = &p.masks[Idx(s) * 2 * p.words];
  std::fill(m, m + 2 * p.words, 0);
  size_t dashes = 0;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const char c = inputs[i];
    const uint64_t bit = uint64_t{1} << (i % 64);
    if (c == '0' || c == '1') m[i / 64] |= bit;
    if (c == '1') m[p.words + i / 64] |= bit;
    dashes += c == '-';
  }
  return dashes == static_cast<size_t>(TermAt(p, s).dashCount);
}

// A term of the working list with a character other than '~' at this output
// (it had one from the start, was made during the pass, or has just received
// one in place) becomes a member: it enters the index, or the list of terms
// with characters outside it, and waits for its visit. Its arrival is its
// serial, so that its place in the list follows from (dashCount, arrival).
void Join(Pass& p, const Term& term, char value) {
  GrowSlots(p);
  const int32_t s = term.slot;
  p.slots[Idx(s)] = SlotState{.arrival = term.serial, .pass = p.id, .dash = term.dashCount, .value = value};
  const int c = ValueClass(value);
  if (c == kOtherClass) {
    p.slots[Idx(s)].otherIndex = static_cast<int32_t>(p.others.size());
    p.others.push_back(s);
  } else {
    p.slots[Idx(s)].impure = !PackMasks(p, s);
    p.impureMembers += p.slots[Idx(s)].impure;
    p.index.Insert(s, c, MasksOf(p, s));
  }
  MarkPending(p, s);
}

void Leave(Pass& p, int32_t s) {
  SlotState& state = p.slots[Idx(s)];
  const int c = ValueClass(state.value);
  if (c == kOtherClass) {
    const int32_t place = state.otherIndex;
    const int32_t moved = p.others.back();
    p.others[Idx(place)] = moved;
    p.slots[Idx(moved)].otherIndex = place;
    p.others.pop_back();
    state.otherIndex = kNone;
  } else {
    p.index.Erase(s, c, MasksOf(p, s));
    p.impureMembers -= state.impure;
  }
  ClearPending(p, s);
  state.arrival = 0;
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
    if (p.slots[Idx(s)].arrival == arrival) MarkPending(p, s);
  }
  head = kNone;
}

// Takes a candidate out of the working list and then out of the output.
// Terms whose expansion it blocked may act now. When it is expanded, a
// visited term that has the expansion as a candidate had the candidate itself
// as one, blocked; it may act now too.
void TakeOut(Pass& p, int32_t s, bool expanded) {
  MarkAll(p, p.slots[Idx(s)].blockingNote);
  if (expanded) {
    MarkAll(p, p.slots[Idx(s)].blockedNote);
  } else {
    p.slots[Idx(s)].blockedNote = kNone;
  }
  Leave(p, s);
  const int32_t terms = p.graph.termCount;
  const size_t dash = Idx(p.slots[Idx(s)].dash);
  RemoveTermFromOutput(p.graph, p.output, TermAt(p, s));
  if (p.graph.termCount == terms) {
    if (dash >= p.leftList.size()) p.leftList.resize(dash + 1, 0);
    ++p.leftList[dash];
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

// Appends to p.near the members of the pass whose input part a candidate of t
// may have: '-', '0' or '1' at t's dashes, and t's literals with at most one
// of them flipped.
void NamePartsOfCandidates(Pass& p, const Term& t) {
  std::string& part = p.part;
  part.assign(t.inputs.view());
  std::vector<int32_t>& dashes = p.dashPlaces;
  dashes.clear();
  for (size_t i = 0; i < part.size(); ++i) {
    if (part[i] != '0' && part[i] != '1') dashes.push_back(static_cast<int32_t>(i));
  }
  auto look = [&] {
    const Term* u = FindTerm(p.graph, part);
    if (u == nullptr || Idx(u->slot) >= p.slots.size()) return;
    const SlotState& state = p.slots[Idx(u->slot)];
    if (state.pass == p.id && state.arrival != 0) p.near.push_back(u->slot);
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

// Puts the surviving candidates of the current term s into p.survivors, in
// working-list order.
void FindSurvivors(Pass& p, int32_t s, char v) {
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
      if (p.slots[Idx(u)].value == v && KeyOf(p, u) > key) found.push_back({u, kContained});
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
    const double most = p.impureMembers != 0           ? kNoLimit
                        : p.nameParts && parts < 1e4 ? 0
                                                     : std::min(kTermsPerPart * parts, kNoLimit);
    if (!p.index.Near(tm, c, p.near, static_cast<size_t>(most))) {
      NamePartsOfCandidates(p, t);
    }
    p.stats.comparisons += static_cast<int64_t>(p.near.size());
    for (int32_t u : p.near) {
      if (!(KeyOf(p, u) > key) || p.slots[Idx(u)].value != v) continue;
      const int32_t r = CompareMasks(tm, MasksOf(p, u), p.words);
      if (r != kUnrelated) found.push_back({u, r});
    }
  }
  std::sort(found.begin(), found.end(), [&](const Survivor& a, const Survivor& b) {
    return KeyOf(p, a.slot) < KeyOf(p, b.slot);
  });
}

// Handles one current term; returns the re-scan flag.
bool Visit(Pass& p, int32_t s) {
  ClearPending(p, s);
  const char v = p.slots[Idx(s)].value;
  if (v == '~') return false;
  const int32_t d = p.slots[Idx(s)].dash;
  const uint64_t arrival = p.slots[Idx(s)].arrival;
  ++p.stats.visits;
  FindSurvivors(p, s, v);

  bool rescan = false;
  std::vector<Term*>& created = p.created;
  std::vector<int32_t>& gained = p.gained;
  created.clear();
  gained.clear();
  for (const Survivor& survivor : p.survivors) {
    const int32_t u = survivor.slot;
    if (survivor.differing == kContained) {
      TakeOut(p, u, false);
      continue;
    }
    Term& candidate = TermAt(p, u);
    std::string expansion = candidate.inputs;
    expansion[Idx(survivor.differing)] = '-';
    Term* holder = IsPureInputPart(expansion) ? FindTerm(p.graph, expansion) : nullptr;
    const char held = holder != nullptr ? holder->outputs[p.j] : '~';
    // A cube of another character of this output already has this input
    // part: the candidate is left as it is, in the list and in the output.
    if (IsSpecified(held) && held != v) {
      GrowSlots(p);
      AddNote(p, p.slots[Idx(holder->slot)].blockingNote, s, arrival);
      AddNote(p, p.slots[Idx(u)].blockedNote, s, arrival);
      continue;
    }
    if (candidate.dashCount == d) rescan = true;
    if (Term* made = AddTerm(p.graph, p.output, expansion, v)) {
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
  size_t before = Idx(p.slots[Idx(s)].dash) + 1;
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

// The first pending term at or after the place of key (-dash, arrival), or
// kNone.
int32_t NextPending(const Pass& p, int32_t dash, uint64_t arrival) {
  for (int32_t k = std::min(dash, static_cast<int32_t>(p.pendingBlocks.size()) - 1); k >= 0; --k) {
    const uint64_t a = p.pendingBlocks[Idx(k)].Next(k == dash ? arrival : 0);
    if (a != kNoArrival) return p.slotOfArrival[a];
  }
  return kNone;
}

size_t LargestClass(const TermGraph& graph, int32_t output) {
  size_t largest = 0;
  for (char v : {'1', '0', '-'}) {
    largest = std::max(largest, static_cast<size_t>(OutputList(graph, output, v)->Count()));
  }
  return largest;
}

void RunPass(TermGraph& graph, int32_t output, const ReduceHooks* hooks) {
  KeptMemory& kept = Kept();
  Pass p{.graph = graph,
         .output = output,
         .j = static_cast<size_t>(output),
         .words = (static_cast<size_t>(graph.inputCount) + 63) / 64,
         .id = ++kept.passes,
         .index = kept.index,
         .slots = kept.slots,
         .masks = kept.masks,
         .slotOfArrival = kept.slotOfArrival,
         .pendingBlocks = kept.pendingBlocks};
  p.index.Reset(graph.inputCount, LargestClass(graph, output));
  // Terms left pending behind the last pass's last place (the plain walk
  // does not visit them either), or by a pass that an error ended.
  for (PendingBlock& block : p.pendingBlocks) {
    if (block.count == 0) continue;
    std::fill(block.bits.begin(), block.bits.end(), 0);
    std::fill(block.summary.begin(), block.summary.end(), 0);
    block.count = 0;
  }
  p.nameParts = hooks != nullptr && hooks->nameParts;
  // A slot is read only after its term has joined in this pass, or to see
  // that it has not (SlotState::pass).
  const size_t slots = static_cast<size_t>(SlotCount(graph));
  p.slots.resize(std::max(p.slots.size(), slots + slots / 4));
  p.masks.resize(p.slots.size() * 2 * p.words);

  // The working list holds every term, in order of (dashCount descending,
  // serial); only the terms with a character at this output take part, and
  // the others are counted per dashCount by the graph.
  int32_t listed = 0;
  for (char v : {'1', '0', '-', '~'}) {
    const TermList* list = OutputList(graph, output, v);
    listed += list->Count();
    if (v != '~') list->ForEach([&](const Term* t) { Join(p, *t, v); });
  }
  if (listed != graph.termCount) {
    // Terms with another character stand in no list of the output.
    graph.terms.ForEach([&](const Term* t) {
      const char v = t->outputs[p.j];
      if (ValueClass(v) == kOtherClass) Join(p, *t, v);
    });
  }

  int32_t dash = kFirstPlace;
  uint64_t arrival = 0;
  for (int32_t s; (s = NextPending(p, dash, arrival)) != kNone;) {
    if (!Visit(p, s)) {
      dash = p.slots[Idx(s)].dash;
      arrival = p.slots[Idx(s)].arrival + 1;
      continue;
    }
    ++p.stats.rescans;
    dash = ResumeDash(p, s);
    arrival = 0;
    if (hooks != nullptr && hooks->onRescan) hooks->onRescan(TermAt(p, s), ResumeTerm(p, dash));
  }
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
