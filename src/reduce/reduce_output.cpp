// The per-output reduction pass.
//
// Working list. It is always in order of (dashCount descending, order of
// arrival): the initial terms arrive in the order of `terms`, and a term made
// while handling a current term arrives at the end of its dashCount block,
// which is where a stable sort and merge put it. So the list is one linked list
// over term slots plus the first and last term of every block; joining,
// leaving and finding where a re-scan resumes take constant time.
//
// Candidates. A later term u of the same character survives against the
// current term t when u has a literal wherever t has one and the opposite
// literal at no more than one of those places. Such a u has no dash outside
// t's dashes, so per dashCount block the possible input parts of u can be
// counted. Each block is searched the cheaper way: by generating those parts
// and looking them up in a hash index of the members, or by comparing packed
// literal masks with every member of the block that has t's character. When
// t has few literals, bit sets over slots of the members with each literal at
// each variable find the survivors of all blocks at once instead. The result
// is the same set either way; it is sorted into working-list order.
//
// Skipping. A visit changes something only when the term has a candidate
// whose expansion is not blocked (held by a term with another character at
// this output). Right after its visit a term has none: every candidate was
// absorbed, expanded or found blocked, and the expansions just made have a
// dash where the term has a literal. A visited term t gets an unblocked
// candidate again only when (1) the term blocking one of its expansions
// leaves the output, or (2) a blocked candidate c of t is expanded: any term
// that joins the list or receives t's character behind t as the expansion of
// a candidate c agrees with c wherever t has a literal, so c was a candidate
// of t, and a blocked one since t stayed quiet (by the same argument for c,
// should c itself have come after t's visit). These two events mark the terms
// concerned pending; the scan visits pending terms only, in list order. Every
// visit of the plain walk that it skips changes nothing, so the graph, the
// list orders and the re-scan points are those of the plain walk.
#include "reduce/reduce_output.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "graph/add_term.hpp"
#include "graph/remove_term.hpp"

namespace tavro {
namespace {

constexpr int32_t kNone = -1;
constexpr int32_t kContained = -1;  // survivor without a differing variable
constexpr int32_t kUnrelated = -2;  // not a survivor
// Generating and looking up one input part costs about as much as this many
// packed comparisons against members of a block.
constexpr double kDefaultLookupCost = 8.0;
// One word of the per-variable member sets costs about as much as this many
// packed comparisons (it is read once per literal of the current term).
constexpr double kDefaultSetWordCost = 0.5;
// The per-variable member sets are kept while they need at most this many
// bits in all.
constexpr double kSetBitBudget = 256.0 * 1024 * 1024;
constexpr int kOtherClass = 3;
constexpr int32_t kGone = -2;

bool IsSpecified(char c) { return c == '1' || c == '0' || c == '-'; }

// Index of a character among the per-block member lists; -1 for '~', which
// takes no part.
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

// The members of one block with one value class, in no particular order,
// with their masks alongside so that a scan reads memory in sequence.
struct MemberList {
  std::vector<int32_t> slots;
  std::vector<uint64_t> masks;  // 2 * words per member
};

struct IndexEntry {
  int32_t slot;  // kNone when empty, kGone when deleted
  uint32_t tag;  // high half of the hash
};

struct Survivor {
  int32_t slot;
  int32_t differing;  // variable index, or kContained
};

// Generates the masks of the input parts that a candidate of a term t may
// have: '-', '0' or '1' at t's dash places, t's literal or at most one
// opposite literal elsewhere. Only dash totals marked wanted are made.
struct Generator {
  std::vector<uint64_t> key;        // literal mask words, then '1' mask words
  size_t words = 0;
  std::vector<int32_t> free;        // t's dash places
  std::vector<int32_t> literal;     // t's literal places
  std::vector<int32_t> wantedUpTo;  // prefix counts of wanted dash totals
};

struct Pass {
  TermGraph& graph;
  int32_t output;
  size_t j;
  int32_t inputCount;
  size_t words;  // 64-bit words of one mask
  const ReduceHooks* hooks;
  double lookupCost;
  double setWordCost;

  // Per slot, meaningful while the slot's term is in the working list.
  std::vector<uint64_t> arrival{};  // 0 when not in the working list
  std::vector<int32_t> next{}, prev{};
  std::vector<int32_t> dash{};
  std::vector<char> value{};
  std::vector<uint64_t> masks{};  // literal mask words, then '1' mask words
  std::vector<uint8_t> pending{};
  std::vector<int32_t> memberIndex{};  // place in its block's member list
  std::vector<int32_t> impureIndex{};  // place in impureMembers, or kNone
  // Visited terms, as (slot, arrival), whose expansion of a candidate the
  // slot's term blocks, and visited terms for which the slot's term is such a
  // blocked candidate.
  std::vector<std::vector<std::pair<int32_t, uint64_t>>> blocking{};
  std::vector<std::vector<std::pair<int32_t, uint64_t>>> blockedOn{};

  // Per dashCount.
  std::vector<int32_t> blockFirst{}, blockLast{};
  std::vector<std::array<MemberList, 4>> members{};  // by value class

  // Members of the classes '1', '0', '-' as bit sets over slots: all of a
  // class, and those with each literal at each variable, at
  // ((class * inputCount + variable) * 2 + literal), literal 1 for '1'.
  bool useSets = false;
  size_t setWords = 0;
  std::array<std::vector<uint64_t>, 3> classSet{};
  std::vector<std::vector<uint64_t>> literalSet{};

  // Open-addressing index of the pure members by their masks: slot, kNone
  // (empty) or kGone (deleted).
  std::vector<IndexEntry> index{};
  size_t indexUsed = 0;  // occupied places, deleted ones included
  size_t indexLive = 0;
  // One bit per hash value range, set for every member inserted since the
  // last rebuild: most generated parts name no member, and this small array
  // says so without touching the large table.
  std::vector<uint64_t> filter{};
  int filterShift = 64;
  size_t filterStale = 0;  // members erased since the last rebuild

  int32_t first = kNone;
  uint64_t nextArrival = 1;
  ReduceStats stats{};
  std::map<Key, int32_t> pendingByKey{};
  std::vector<int32_t> impureMembers{};  // input parts outside the index

  // Scratch space of one visit.
  std::vector<Survivor> survivors{};
  std::vector<uint8_t> wanted{};
  Generator generator{};
  std::vector<const uint64_t*> same{}, opposite{};
  std::vector<Term*> created{};
  std::vector<int32_t> gained{};
};

Term& TermAt(Pass& p, int32_t s) { return p.graph.termPool[static_cast<size_t>(s)]; }
size_t Idx(int32_t s) { return static_cast<size_t>(s); }
Key KeyOf(const Pass& p, int32_t s) { return {-p.dash[Idx(s)], p.arrival[Idx(s)]}; }
const uint64_t* MasksOf(const Pass& p, int32_t s) { return &p.masks[Idx(s) * 2 * p.words]; }
bool InList(const Pass& p, int32_t s) { return Idx(s) < p.arrival.size() && p.arrival[Idx(s)] != 0; }

void GrowSlots(Pass& p) {
  const size_t n = static_cast<size_t>(SlotCount(p.graph));
  if (p.arrival.size() >= n) return;
  p.arrival.resize(n, 0);
  p.next.resize(n, kNone);
  p.prev.resize(n, kNone);
  p.dash.resize(n, 0);
  p.value.resize(n, '~');
  p.masks.resize(n * 2 * p.words, 0);
  p.pending.resize(n, 0);
  p.memberIndex.resize(n, kNone);
  p.impureIndex.resize(n, kNone);
  p.blocking.resize(n);
  p.blockedOn.resize(n);
  if (p.useSets && p.setWords * 64 < n) {
    const size_t words = std::max((n + 63) / 64, 2 * p.setWords);
    if (static_cast<double>(words * 64 * (p.literalSet.size() + 3)) > kSetBitBudget) {
      p.useSets = false;
      p.classSet = {};
      p.literalSet.clear();
      return;
    }
    p.setWords = words;
    for (auto& set : p.classSet) set.resize(words, 0);
    for (auto& set : p.literalSet) set.resize(words, 0);
  }
}

// Sets or clears the member's bits in the per-variable member sets.
void UpdateSets(Pass& p, int32_t s, int c, bool member) {
  if (!p.useSets || c >= kOtherClass) return;
  const size_t word = Idx(s) / 64;
  const uint64_t bit = uint64_t{1} << (Idx(s) % 64);
  auto update = [&](std::vector<uint64_t>& set) {
    if (member) {
      set[word] |= bit;
    } else {
      set[word] &= ~bit;
    }
  };
  update(p.classSet[static_cast<size_t>(c)]);
  const uint64_t* m = MasksOf(p, s);
  for (size_t w = 0; w < p.words; ++w) {
    for (uint64_t literals = m[w]; literals != 0; literals &= literals - 1) {
      const size_t x = w * 64 + static_cast<size_t>(std::countr_zero(literals));
      const size_t one = (m[p.words + w] >> (x % 64)) & 1;
      update(p.literalSet[(static_cast<size_t>(c) * Idx(p.inputCount) + x) * 2 + one]);
    }
  }
}

void MarkPending(Pass& p, int32_t s) {
  if (p.pending[Idx(s)]) return;
  p.pending[Idx(s)] = 1;
  p.pendingByKey.emplace(KeyOf(p, s), s);
}

void ClearPending(Pass& p, int32_t s) {
  if (!p.pending[Idx(s)]) return;
  p.pending[Idx(s)] = 0;
  p.pendingByKey.erase(KeyOf(p, s));
}

void AddMember(Pass& p, int32_t s) {
  const int c = ValueClass(p.value[Idx(s)]);
  if (c < 0) return;
  MemberList& list = p.members[Idx(p.dash[Idx(s)])][static_cast<size_t>(c)];
  p.memberIndex[Idx(s)] = static_cast<int32_t>(list.slots.size());
  list.slots.push_back(s);
  const uint64_t* m = MasksOf(p, s);
  list.masks.insert(list.masks.end(), m, m + 2 * p.words);
  UpdateSets(p, s, c, true);
}

void DropMember(Pass& p, int32_t s) {
  const int c = ValueClass(p.value[Idx(s)]);
  if (c < 0) return;
  MemberList& list = p.members[Idx(p.dash[Idx(s)])][static_cast<size_t>(c)];
  const size_t at = Idx(p.memberIndex[Idx(s)]), last = list.slots.size() - 1;
  const size_t stride = 2 * p.words;
  list.slots[at] = list.slots[last];
  std::copy_n(&list.masks[last * stride], stride, &list.masks[at * stride]);
  p.memberIndex[Idx(list.slots[at])] = static_cast<int32_t>(at);
  list.slots.pop_back();
  list.masks.resize(last * stride);
  p.memberIndex[Idx(s)] = kNone;
  UpdateSets(p, s, c, false);
}

void LinkAfter(Pass& p, int32_t after, int32_t s) {
  const int32_t following = after == kNone ? p.first : p.next[Idx(after)];
  p.prev[Idx(s)] = after;
  p.next[Idx(s)] = following;
  if (after == kNone) {
    p.first = s;
  } else {
    p.next[Idx(after)] = s;
  }
  if (following != kNone) p.prev[Idx(following)] = s;
}

uint64_t HashMasks(const uint64_t* m, size_t words) {
  uint64_t h = 0x9E3779B97F4A7C15u;
  for (size_t w = 0; w < 2 * words; ++w) {
    h = (h ^ m[w]) * 0xBF58476D1CE4E5B9u;
    h ^= h >> 31;
  }
  return h * 0x94D049BB133111EBu;
}

bool SameMasks(const uint64_t* a, const uint64_t* b, size_t words) {
  return std::equal(a, a + 2 * words, b);
}

size_t FilterBit(const Pass& p, uint64_t hash) {
  return static_cast<size_t>((hash * 0xD6E8FEB86659FD93u) >> p.filterShift);
}

void IndexPlace(Pass& p, int32_t s) {
  const uint64_t hash = HashMasks(MasksOf(p, s), p.words);
  const size_t mask = p.index.size() - 1;
  size_t at = hash & mask;
  while (p.index[at].slot >= 0) at = (at + 1) & mask;
  if (p.index[at].slot == kNone) ++p.indexUsed;
  p.index[at] = {s, static_cast<uint32_t>(hash >> 32)};
  ++p.indexLive;
  const size_t bit = FilterBit(p, hash);
  p.filter[bit / 64] |= uint64_t{1} << (bit % 64);
}

// Rebuilds the table for at least `live` members, and the filter from it.
void IndexRebuild(Pass& p, size_t live) {
  size_t size = 64;
  while (size < 4 * (live + 1)) size *= 2;
  std::vector<IndexEntry> old(size, IndexEntry{kNone, 0});
  old.swap(p.index);
  p.filter.assign(size / 16, 0);  // 16 bits per place: 4 per member at least
  p.filterShift = 64 - std::countr_zero(size * 4);
  p.filterStale = 0;
  p.indexUsed = p.indexLive = 0;
  for (const IndexEntry& e : old) {
    if (e.slot >= 0) IndexPlace(p, e.slot);
  }
}

void IndexInsert(Pass& p, int32_t s) {
  if (2 * (p.indexUsed + 1) > p.index.size()) IndexRebuild(p, p.indexLive + 1);
  IndexPlace(p, s);
}

// The pure member with these masks, or kNone.
int32_t IndexFind(const Pass& p, const uint64_t* key) {
  if (p.index.empty()) return kNone;
  const uint64_t hash = HashMasks(key, p.words);
  const size_t bit = FilterBit(p, hash);
  if ((p.filter[bit / 64] >> (bit % 64) & 1) == 0) return kNone;
  const uint32_t tag = static_cast<uint32_t>(hash >> 32);
  const size_t mask = p.index.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    const IndexEntry& e = p.index[at];
    if (e.slot == kNone) return kNone;
    if (e.slot >= 0 && e.tag == tag && SameMasks(MasksOf(p, e.slot), key, p.words)) return e.slot;
  }
}

void IndexErase(Pass& p, int32_t s) {
  const size_t mask = p.index.size() - 1;
  size_t at = HashMasks(MasksOf(p, s), p.words) & mask;
  while (p.index[at].slot != s) at = (at + 1) & mask;
  p.index[at].slot = kGone;
  --p.indexLive;
  if (++p.filterStale > p.indexLive + 64) IndexRebuild(p, p.indexLive);
}

// Appends a term to the end of its block of the working list.
void Join(Pass& p, Term& term) {
  GrowSlots(p);
  const int32_t s = term.slot;
  const int32_t k = term.dashCount;
  p.dash[Idx(s)] = k;
  p.arrival[Idx(s)] = p.nextArrival++;
  p.value[Idx(s)] = term.outputs[p.j];
  uint64_t* m = &p.masks[Idx(s) * 2 * p.words];
  std::fill(m, m + 2 * p.words, 0);
  bool pure = true;
  for (size_t i = 0; i < term.inputs.size(); ++i) {
    const char c = term.inputs[i];
    const uint64_t bit = uint64_t{1} << (i % 64);
    if (c == '0' || c == '1') m[i / 64] |= bit;
    if (c == '1') m[p.words + i / 64] |= bit;
    if (c != '0' && c != '1' && c != '-') pure = false;
  }

  int32_t after = p.blockLast[Idx(k)];
  if (after == kNone) {
    for (int32_t higher = k + 1; higher <= p.inputCount && after == kNone; ++higher) {
      after = p.blockLast[Idx(higher)];
    }
    p.blockFirst[Idx(k)] = s;
  }
  LinkAfter(p, after, s);
  p.blockLast[Idx(k)] = s;

  AddMember(p, s);
  if (pure) {
    IndexInsert(p, s);
  } else {
    p.impureIndex[Idx(s)] = static_cast<int32_t>(p.impureMembers.size());
    p.impureMembers.push_back(s);
  }
  if (p.value[Idx(s)] != '~') MarkPending(p, s);
}

void Leave(Pass& p, int32_t s) {
  const int32_t k = p.dash[Idx(s)];
  const int32_t before = p.prev[Idx(s)], after = p.next[Idx(s)];
  if (p.blockFirst[Idx(k)] == s) {
    p.blockFirst[Idx(k)] = after != kNone && p.dash[Idx(after)] == k ? after : kNone;
  }
  if (p.blockLast[Idx(k)] == s) {
    p.blockLast[Idx(k)] = before != kNone && p.dash[Idx(before)] == k ? before : kNone;
  }
  if (before == kNone) {
    p.first = after;
  } else {
    p.next[Idx(before)] = after;
  }
  if (after != kNone) p.prev[Idx(after)] = before;
  DropMember(p, s);
  if (const int32_t at = p.impureIndex[Idx(s)]; at == kNone) {
    IndexErase(p, s);
  } else {
    const int32_t last = p.impureMembers.back();
    p.impureMembers[Idx(at)] = last;
    p.impureIndex[Idx(last)] = at;
    p.impureMembers.pop_back();
    p.impureIndex[Idx(s)] = kNone;
  }
  ClearPending(p, s);
  p.arrival[Idx(s)] = 0;
}

void MarkAll(Pass& p, std::vector<std::pair<int32_t, uint64_t>>& terms) {
  for (auto [s, arrival] : terms) {
    if (p.arrival[Idx(s)] == arrival) MarkPending(p, s);
  }
  terms.clear();
}

// Takes a candidate out of the working list and then out of the output.
// Terms whose expansion it blocked may act now. When it is expanded, a
// visited term that has the expansion as a candidate had the candidate itself
// as one, blocked; it may act now too.
void TakeOut(Pass& p, int32_t s, bool expanded) {
  MarkAll(p, p.blocking[Idx(s)]);
  if (expanded) {
    MarkAll(p, p.blockedOn[Idx(s)]);
  } else {
    p.blockedOn[Idx(s)].clear();
  }
  Leave(p, s);
  RemoveTermFromOutput(p.graph, p.output, TermAt(p, s));
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

bool AnyWanted(const Generator& g, int32_t lo, int32_t hi) {
  const int32_t top = static_cast<int32_t>(g.wantedUpTo.size()) - 1;
  hi = std::min(hi, top - 1);
  return lo <= hi && g.wantedUpTo[Idx(hi + 1)] - g.wantedUpTo[Idx(lo)] > 0;
}

template <typename Visit>
void Generate(Generator& g, size_t i, int32_t dashes, Visit& visit) {
  const int32_t left = static_cast<int32_t>(g.free.size() - i);
  if (!AnyWanted(g, dashes, dashes + left)) return;
  uint64_t* literals = g.key.data();
  uint64_t* ones = g.key.data() + g.words;
  if (i == g.free.size()) {
    visit(g.key.data(), kContained);
    for (int32_t at : g.literal) {
      const size_t w = Idx(at) / 64;
      const uint64_t bit = uint64_t{1} << (Idx(at) % 64);
      ones[w] ^= bit;
      visit(g.key.data(), at);
      ones[w] ^= bit;
    }
    return;
  }
  const size_t w = Idx(g.free[i]) / 64;
  const uint64_t bit = uint64_t{1} << (Idx(g.free[i]) % 64);
  Generate(g, i + 1, dashes + 1, visit);
  literals[w] |= bit;
  Generate(g, i + 1, dashes, visit);
  ones[w] |= bit;
  Generate(g, i + 1, dashes, visit);
  literals[w] &= ~bit;
  ones[w] &= ~bit;
}

Generator& PrepareGenerator(Pass& p, int32_t s) {
  Generator& g = p.generator;
  g.words = p.words;
  const uint64_t* m = MasksOf(p, s);
  g.key.assign(m, m + 2 * p.words);
  g.free.clear();
  g.literal.clear();
  for (int32_t i = 0; i < p.inputCount; ++i) {
    ((m[Idx(i) / 64] >> (Idx(i) % 64)) & 1 ? g.literal : g.free).push_back(i);
  }
  g.wantedUpTo.assign(p.wanted.size() + 1, 0);
  for (size_t k = 0; k < p.wanted.size(); ++k) g.wantedUpTo[k + 1] = g.wantedUpTo[k] + p.wanted[k];
  return g;
}

// Number of input parts the generator yields for one dash total.
double PartsForward(double choose, int32_t dashesLeftFree, int32_t literals) {
  return choose * std::ldexp(1.0, dashesLeftFree) * (literals + 1);
}

// Cost, in packed comparisons, of the per-block search for the candidates of s.
double SearchCost(const Pass& p, int32_t s, int c) {
  const int32_t d = p.dash[Idx(s)];
  const int32_t literals = p.inputCount - d;
  double cost = 0, choose = 1.0;  // C(d, k)
  for (int32_t k = d; k >= 0; --k) {
    const double size = static_cast<double>(p.members[Idx(k)][static_cast<size_t>(c)].slots.size());
    cost += std::min(size, PartsForward(choose, d - k, literals) * p.lookupCost);
    choose = choose * k / (d - k + 1);
  }
  return cost;
}

// A word of members is usually emptied after a few literals, each of which
// keeps about half of them.
double SetCost(const Pass& p, int32_t s) {
  const int32_t literalsRead = std::min(p.inputCount - p.dash[Idx(s)] + 1, 8);
  return static_cast<double>(p.setWords) * literalsRead * p.setWordCost;
}

// The candidates of s found through the per-variable member sets: word by
// word, the members with t's literal at every literal variable of t so far,
// and those with the opposite literal at exactly one of them.
void FindThroughSets(Pass& p, int32_t s, int c, std::vector<Survivor>& found) {
  const uint64_t* tm = MasksOf(p, s);
  std::vector<const uint64_t*>& same = p.same;
  std::vector<const uint64_t*>& opposite = p.opposite;
  same.clear();
  opposite.clear();
  for (size_t w = 0; w < p.words; ++w) {
    for (uint64_t literals = tm[w]; literals != 0; literals &= literals - 1) {
      const size_t x = w * 64 + static_cast<size_t>(std::countr_zero(literals));
      const size_t one = (tm[p.words + w] >> (x % 64)) & 1;
      const size_t base = (static_cast<size_t>(c) * Idx(p.inputCount) + x) * 2;
      same.push_back(p.literalSet[base + one].data());
      opposite.push_back(p.literalSet[base + 1 - one].data());
    }
  }
  const uint64_t* all = p.classSet[static_cast<size_t>(c)].data();
  const Key key = KeyOf(p, s);
  p.stats.comparisons += static_cast<int64_t>(p.setWords);
  for (size_t w = 0; w < p.setWords; ++w) {
    uint64_t contained = all[w], flipped = 0;
    for (size_t i = 0; i < same.size() && (contained | flipped) != 0; ++i) {
      flipped = (flipped & same[i][w]) | (contained & opposite[i][w]);
      contained &= same[i][w];
    }
    for (uint64_t hits = contained | flipped; hits != 0; hits &= hits - 1) {
      const int32_t u = static_cast<int32_t>(w * 64) + std::countr_zero(hits);
      if (!(KeyOf(p, u) > key)) continue;
      found.push_back({u, CompareMasks(tm, MasksOf(p, u), p.words)});
    }
  }
}

// Puts the surviving candidates of the current term s into p.survivors, in
// working-list order.
void FindSurvivors(Pass& p, int32_t s, char v) {
  Term& t = TermAt(p, s);
  const int32_t d = p.dash[Idx(s)];
  const Key key = KeyOf(p, s);
  std::vector<Survivor>& found = p.survivors;
  found.clear();
  const int c = ValueClass(v);

  if (c == kOtherClass) {
    // Only a term without literals can meet such a character without reading
    // a cell list, which refuses it; every later term with it is contained.
    if (t.onesCount + t.zerosCount > 0) throw "wrong set";
    for (int32_t k = 0; k <= p.inputCount; ++k) {
      for (int32_t u : p.members[Idx(k)][kOtherClass].slots) {
        if (p.value[Idx(u)] == v && KeyOf(p, u) > key) found.push_back({u, kContained});
      }
    }
  } else if (p.useSets && SetCost(p, s) < SearchCost(p, s, c)) {
    FindThroughSets(p, s, c, found);
  } else {
    const int32_t literals = p.inputCount - d;
    std::vector<uint8_t>& wanted = p.wanted;
    wanted.assign(Idx(d) + 1, 0);
    bool anyWanted = false;
    double choose = 1.0;  // C(d, k)
    for (int32_t k = d; k >= 0; --k) {
      const MemberList& list = p.members[Idx(k)][static_cast<size_t>(c)];
      const size_t size = list.slots.size();
      if (size != 0) {
        if (PartsForward(choose, d - k, literals) * p.lookupCost < static_cast<double>(size)) {
          wanted[Idx(k)] = 1;
          anyWanted = true;
        } else {
          const uint64_t* tm = MasksOf(p, s);
          p.stats.comparisons += static_cast<int64_t>(size);
          for (size_t i = 0; i < size; ++i) {
            const int32_t r = CompareMasks(tm, &list.masks[i * 2 * p.words], p.words);
            if (r == kUnrelated) continue;
            const int32_t u = list.slots[i];
            if (k == d && p.arrival[Idx(u)] <= p.arrival[Idx(s)]) continue;
            found.push_back({u, r});
          }
        }
      }
      choose = choose * k / (d - k + 1);
    }
    if (anyWanted) {
      Generator& g = PrepareGenerator(p, s);
      auto visit = [&](const uint64_t* probe, int32_t differing) {
        ++p.stats.lookups;
        const int32_t u = IndexFind(p, probe);
        if (u == kNone || p.value[Idx(u)] != v || !(KeyOf(p, u) > key)) return;
        found.push_back({u, differing});
      };
      Generate(g, 0, 0, visit);
      for (int32_t u : p.impureMembers) {
        if (p.dash[Idx(u)] > d || !wanted[Idx(p.dash[Idx(u)])]) continue;
        if (p.value[Idx(u)] != v || !(KeyOf(p, u) > key)) continue;
        const int32_t r = CompareMasks(MasksOf(p, s), MasksOf(p, u), p.words);
        if (r != kUnrelated) found.push_back({u, r});
      }
    }
  }
  std::sort(found.begin(), found.end(), [&](const Survivor& a, const Survivor& b) {
    return KeyOf(p, a.slot) < KeyOf(p, b.slot);
  });
}

// Handles one current term; returns the re-scan flag.
bool Visit(Pass& p, int32_t s) {
  ClearPending(p, s);
  const char v = p.value[Idx(s)];
  if (v == '~') return false;
  const int32_t d = p.dash[Idx(s)];
  const uint64_t arrival = p.arrival[Idx(s)];
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
      p.blocking[Idx(holder->slot)].push_back({s, arrival});
      p.blockedOn[Idx(u)].push_back({s, arrival});
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

  // Stable merge of the new terms: each goes to the end of its block.
  for (Term* made : created) Join(p, *made);
  for (int32_t g : gained) {
    p.value[Idx(g)] = v;
    AddMember(p, g);
    MarkPending(p, g);
  }
  return rescan;
}

// Where the scan resumes after a re-scan: the first term of the block before
// s's block; the first place when there is no such block, or when that block
// begins at the second place.
int32_t ResumePoint(const Pass& p, int32_t s) {
  const int32_t before = p.prev[Idx(p.blockFirst[Idx(p.dash[Idx(s)])])];
  if (before == kNone) return p.first;
  const int32_t blockStart = p.blockFirst[Idx(p.dash[Idx(before)])];
  const int32_t ahead = p.prev[Idx(blockStart)];
  if (ahead == kNone || p.prev[Idx(ahead)] == kNone) return p.first;
  return blockStart;
}

void RunPass(TermGraph& graph, int32_t output, const ReduceHooks* hooks) {
  Pass p{.graph = graph,
         .output = output,
         .j = static_cast<size_t>(output),
         .inputCount = graph.inputCount,
         .words = (static_cast<size_t>(graph.inputCount) + 63) / 64,
         .hooks = hooks,
         .lookupCost = hooks != nullptr && hooks->lookupCost >= 0 ? hooks->lookupCost
                                                                  : kDefaultLookupCost,
         .setWordCost = hooks != nullptr && hooks->setWordCost >= 0 ? hooks->setWordCost
                                                                    : kDefaultSetWordCost};
  p.blockFirst.assign(Idx(graph.inputCount) + 1, kNone);
  p.blockLast.assign(Idx(graph.inputCount) + 1, kNone);
  p.members.resize(Idx(graph.inputCount) + 1);
  p.useSets = true;
  p.literalSet.resize(3 * Idx(graph.inputCount) * 2);
  GrowSlots(p);
  graph.terms.ForEach([&](Term* t) { Join(p, *t); });

  Key from{std::numeric_limits<int32_t>::min(), 0};
  bool inclusive = true;
  for (;;) {
    auto it = inclusive ? p.pendingByKey.lower_bound(from) : p.pendingByKey.upper_bound(from);
    if (it == p.pendingByKey.end()) break;
    const int32_t s = it->second;
    if (!Visit(p, s)) {
      from = KeyOf(p, s);
      inclusive = false;
      continue;
    }
    ++p.stats.rescans;
    const int32_t resume = ResumePoint(p, s);
    if (hooks != nullptr && hooks->onRescan) hooks->onRescan(TermAt(p, s), TermAt(p, resume));
    from = KeyOf(p, resume);
    inclusive = true;
  }
  if (hooks != nullptr && hooks->stats != nullptr) {
    hooks->stats->visits += p.stats.visits;
    hooks->stats->rescans += p.stats.rescans;
    hooks->stats->lookups += p.stats.lookups;
    hooks->stats->comparisons += p.stats.comparisons;
  }
}

}  // namespace

void ReduceOutput(TermGraph& graph, int32_t output) { RunPass(graph, output, nullptr); }

void ReduceOutput(TermGraph& graph, int32_t output, const ReduceHooks& hooks) {
  RunPass(graph, output, &hooks);
}

}  // namespace tavro
