// Isolated terms, and the index of every term through which they are found.
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
//
// Terms without a dash are decided all at once, without the index. A
// candidate of such a term t has a literal at every place, so it is another
// term without a dash that differs from t at exactly one place; split the
// places into two halves, and the two agree on one half entire. Sorting the
// terms by one half and then the other brings every such pair together in a
// run of equal halves, read in sequence rather than by a probe per term.
#include <algorithm>
#include <atomic>
#include <bit>
#include <limits>
#include <utility>

#include "common/work_threads.hpp"
#include "reduce/half_keys.hpp"
#include "reduce/near_join.hpp"
#include "reduce/pass.hpp"
#include "reduce/tuning.hpp"

namespace tavro {
namespace {

constexpr size_t kSample = tuning::kIsolatedSample;
// Terms checked at once, at least: fewer are checked one by one, member by
// member as passes reach them (tuning::kCheckAtOnce).
constexpr size_t kManyToCheck = tuning::kCheckAtOnce;

// Keeps the answer of the check of s: isolated when it has no candidates,
// else they are noted (unless `keepList` is false), so that visits of s need
// not look for them again.
void NoteCheck(ReduceMemory& m, int32_t s, const std::vector<int32_t>& candidates, bool keepList = true) {
  NoteChecked(m, s, candidates.empty());
  if (!candidates.empty() && keepList) KnowCandidates(m, s, candidates);
}

// The same for every term of `ids`, from the pairs (index in `ids`,
// candidate) a check at once found, each once or more. Where the terms have
// more than four candidates each on average (minterm tables, where a term has
// a neighbour at almost every place), only whether each is isolated is kept:
// lists that long take more memory than the terms, and visits find the
// candidates through the index as well.
void NoteChecks(ReduceMemory& m, const std::vector<int32_t>& ids, std::vector<std::pair<uint32_t, int32_t>>& pairs) {
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  const bool keepLists = pairs.size() <= 4 * ids.size();
  std::vector<int32_t> candidates;
  for (size_t i = 0, k = 0; i < ids.size(); ++i) {
    candidates.clear();
    for (; k < pairs.size() && pairs[k].first == i; ++k) candidates.push_back(pairs[k].second);
    NoteCheck(m, ids[i], candidates, keepLists);
  }
}

// The pairs that the threads of a check found, each in a list of its own,
// gathered in the first list; their order does not matter to NoteChecks.
std::vector<std::pair<uint32_t, int32_t>>& Gathered(std::vector<std::vector<std::pair<uint32_t, int32_t>>>& pairs) {
  for (size_t w = 1; w < pairs.size(); ++w) {
    pairs[0].insert(pairs[0].end(), pairs[w].begin(), pairs[w].end());
    pairs[w] = {};
  }
  return pairs[0];
}

// Whether the term s is isolated: whether no other input part of the graph
// has a literal wherever s has one, with the opposite literal at no more than
// one of those places. The answer is kept, with the candidates. Through the
// index of every term, which must be built: every candidate is among the
// terms it names.
bool CheckIsolated(Pass& p, int32_t s) {
  const uint64_t* tm = MasksOf(p, s);
  p.scratch.near.clear();
  p.memory.search.NearEvery(tm, p.scratch.near);
  p.scratch.related.clear();
  for (int32_t u : p.scratch.near) {
    if (u != s && CompareMasks(tm, MasksOf(p, u), p.words) != kUnrelated) p.scratch.related.push_back(u);
  }
  NoteCheck(p.memory, s, p.scratch.related);
  return p.scratch.related.empty();
}

// Checks the terms of `sample` as CheckIsolated would, and returns how many
// are isolated. Before the index of every term is built the terms are read in
// one sweep for all of the sample, until each has met another; the
// candidates are then not noted: visits look for them.
size_t CheckSample(Pass& p, const std::vector<int32_t>& sample) {
  size_t isolated = 0;
  if (p.memory.search.indexed()) {
    for (int32_t s : sample) {
      Step(p);
      isolated += CheckIsolated(p, s);
    }
    return isolated;
  }
  // Those that have met no term yet, with their masks side by side: a term
  // that lacks a literal of theirs in the first word is none of theirs. That
  // test is made for all of them at once, without a branch, and nearly every
  // term fails it for every one.
  std::vector<int32_t> open = sample;
  std::vector<uint64_t> masks, firsts;  // firsts[k]: open[k]'s first literal word
  const size_t words = p.words;
  for (int32_t s : open) {
    masks.insert(masks.end(), MasksOf(p, s), MasksOf(p, s) + 2 * words);
    firsts.push_back(MasksOf(p, s)[0]);
  }
  for (size_t u = 0; u < Idx(p.topId) && !open.empty(); ++u) {
    if (p.memory.records[u].serial == 0) continue;
    const uint64_t* um = MasksOf(p, static_cast<int32_t>(u));
    bool maybe = false;
    for (const uint64_t first : firsts) maybe |= (um[0] & first) == first;
    if (!maybe) continue;
    for (size_t k = 0; k < open.size();) {
      const uint64_t* sm = &masks[k * 2 * words];
      if ((um[0] & firsts[k]) != firsts[k] || Idx(open[k]) == u || CompareMasks(sm, um, words) == kUnrelated) {
        ++k;
        continue;
      }
      // Met: the last open term takes its place.
      open[k] = open.back();
      open.pop_back();
      firsts[k] = firsts.back();
      firsts.pop_back();
      std::copy_n(&masks[open.size() * 2 * words], 2 * words, &masks[k * 2 * words]);
      masks.resize(open.size() * 2 * words);
    }
  }
  for (int32_t s : sample) {
    Step(p);
    const bool alone = std::find(open.begin(), open.end(), s) != open.end();
    NoteChecked(p.memory, s, alone);
    isolated += alone;
  }
  return isolated;
}

// Checks every graph term not yet checked as CheckIsolated would, all at
// once, when there are many; else the caller checks the members of the pass
// one by one. All are checked now and not pass by pass: an isolated term
// stays isolated while the passes alone change the graph, and the candidates
// noted for one that is not stay complete. By a join with every term when
// most of the graph waits for the check (the first pass over it), and the
// index of every term is left due: covers where nearly every term is isolated
// never need it. Else through that index, built once and kept from pass to
// pass, where a join would read every term again for a few.
void CheckAtOnce(Pass& p) {
  ReduceMemory& m = p.memory;
  std::vector<int32_t> todo;
  p.graph.terms.ForEach([&](const Term* t) {
    if (!m.records[Idx(t->slot)].checked) todo.push_back(t->slot);
  });
  if (todo.size() < kManyToCheck) return;
  // The pairs found on each thread of the join.
  std::vector<std::vector<std::pair<uint32_t, int32_t>>> pairs(Idx(std::max(p.threads, 1)));
  const auto found = [&](int worker, size_t i, int32_t u) {
    if (CompareMasks(MasksOf(p, todo[i]), MasksOf(p, u), p.words) != kUnrelated) {
      pairs[Idx(worker)].emplace_back(static_cast<uint32_t>(i), u);
    }
  };
  const auto tick = [&] { Step(p); };
  if (!m.search.indexed() && 2 * todo.size() < Idx(p.graph.termCount)) BuildIndex(m, p.graph);
  if (m.search.indexed()) {
    m.search.NearEveryEach(todo, m.masks, [&](size_t i, int32_t u) { found(0, i, u); }, tick);
  } else {
    std::vector<int32_t> every;
    every.reserve(Idx(p.graph.termCount));
    p.graph.terms.ForEach([&](const Term* t) { every.push_back(t->slot); });
    JoinNear(p.graph.inputCount, p.words, todo, every, m.masks, p.threads, found, tick);
    m.search.MarkDue();
  }
  NoteChecks(m, todo, Gathered(pairs));
}

// Appends to `pairs` the pairs of keys[begin, end) (equal `own`, sorted by
// `other`) whose `other` is one bit apart.
void PairInRun(const std::vector<HalfKey>& keys, size_t begin, size_t end, size_t otherBits,
               std::vector<std::pair<uint32_t, int32_t>>& pairs) {
  constexpr size_t kPairwiseRun = 64;
  auto mark = [&](size_t a, size_t b) {
    pairs.emplace_back(keys[a].at, static_cast<int32_t>(keys[b].at));
    pairs.emplace_back(keys[b].at, static_cast<int32_t>(keys[a].at));
  };
  if (end - begin <= kPairwiseRun) {
    for (size_t a = begin; a < end; ++a) {
      for (size_t b = a + 1; b < end; ++b) {
        const uint64_t differ = keys[a].other ^ keys[b].other;
        if (differ != 0 && (differ & (differ - 1)) == 0) mark(a, b);  // one bit
      }
    }
    return;
  }
  for (size_t a = begin; a < end; ++a) {
    for (size_t k = 0; k < otherBits; ++k) {
      const uint64_t target = keys[a].other ^ (uint64_t{1} << k);
      if (target < keys[a].other) continue;  // each pair once, from its smaller end
      const auto it = std::lower_bound(keys.begin() + static_cast<std::ptrdiff_t>(a), keys.begin() + static_cast<std::ptrdiff_t>(end), target,
                                       [](const HalfKey& key, uint64_t t) { return key.other < t; });
      if (it != keys.begin() + static_cast<std::ptrdiff_t>(end) && it->other == target) mark(a, static_cast<size_t>(it - keys.begin()));
    }
  }
}

// Appends to `pairs` the pairs of the terms `ids` (by their place there)
// found by one unit of the check: the terms whose `own` half (the low half
// of the places, or the high half) begins with the bits `group`
// (`groupBits` of them), sorted by that half and then the other, each run of
// one `own` searched for pairs of `other` one bit apart.
void PairInGroup(const Pass& p, const std::vector<int32_t>& ids, bool lowHalfShared, uint64_t group,
                 size_t groupBits, std::vector<HalfKey>& keys, std::vector<HalfKey>& scratch,
                 std::vector<std::pair<uint32_t, int32_t>>& pairs) {
  const size_t places = Idx(p.graph.inputCount), low = places / 2;
  const size_t ownFrom = lowHalfShared ? 0 : low, ownLength = lowHalfShared ? low : places - low;
  const size_t otherFrom = lowHalfShared ? low : 0, otherLength = places - ownLength;
  keys.clear();
  for (size_t i = 0; i < ids.size(); ++i) {
    const uint64_t* ones = MasksOf(p, ids[i]) + p.words;
    const uint64_t own = BitsAt(ones, ownFrom, ownLength);
    if (groupBits != 0 && own >> (ownLength - groupBits) != group) continue;
    keys.push_back({own, BitsAt(ones, otherFrom, otherLength), static_cast<uint32_t>(i)});
  }
  SortKeys(keys, scratch, ownLength, otherLength);
  for (size_t begin = 0, end = 0; begin < keys.size(); begin = end) {
    for (end = begin + 1; end < keys.size() && keys[end].own == keys[begin].own;) ++end;
    if (end - begin > 1) PairInRun(keys, begin, end, otherLength, pairs);
  }
}

// Decides at once, for every term without a dash not yet checked, whether
// it is isolated: whether no other term without a dash is one place away.
// Inputs of more than 128 places are left to the index. Two terms one place
// apart share one half of the places entire, so each half is sorted in
// turn; a run shares all of its half, so the terms are sorted in groups by
// the top bits of that half, one group at a time on each thread: the keys,
// and the radix sort's copy of them, take an eighth of the memory that all
// keys would on each thread, and threads take groups twice as narrow.
void CheckFullTermsAtOnce(Pass& p) {
  ReduceMemory& m = p.memory;
  const size_t places = Idx(p.graph.inputCount);
  if (places > 128) return;
  std::vector<int32_t> ids;
  for (const SerialSlot entry : m.suspects) {
    const TermRecord& known = m.records[Idx(entry.slot)];
    if (static_cast<uint32_t>(known.serial) != entry.serial || known.serial == 0 || known.checked) continue;
    if (known.dash == 0 && !known.impure) ids.push_back(entry.slot);
  }
  if (ids.empty()) return;
  const size_t workers = ids.size() < kManyToCheck ? 1 : Idx(std::max(p.threads, 1));
  const size_t low = places / 2;
  const size_t lowBits = std::min<size_t>(low, std::bit_width(8 * workers - 1));
  const size_t highBits = std::min<size_t>(places - low, std::bit_width(8 * workers - 1));
  // The units: each half, each group of its top bits.
  const size_t lowUnits = size_t{1} << lowBits, units = lowUnits + (size_t{1} << highBits);
  std::vector<std::vector<std::pair<uint32_t, int32_t>>> pairs(workers);
  // Every thread's keys are taken here, on the calling thread, so that they
  // go back to where they came from once the check is over, not to the heaps
  // of threads that have ended.
  std::vector<std::vector<HalfKey>> keys(workers), scratch(workers);
  for (size_t w = 0; w < workers; ++w) {
    keys[w].reserve((ids.size() >> std::min(lowBits, highBits)) + ids.size() / 32 + 16);
    scratch[w].reserve(keys[w].capacity());
  }
  std::atomic<size_t> next{0};
  RunOnThreads(static_cast<int>(workers), [&](int worker) {
    const size_t w = Idx(worker);
    for (size_t u; (u = next++) < units;) {
      const bool lowHalfShared = u < lowUnits;
      PairInGroup(p, ids, lowHalfShared, lowHalfShared ? u : u - lowUnits, lowHalfShared ? lowBits : highBits,
                  keys[w], scratch[w], pairs[w]);
    }
  });
  // Each term's candidates are the terms it pairs with, whichever half
  // found the pair.
  std::vector<std::pair<uint32_t, int32_t>>& found = Gathered(pairs);
  for (auto& pair : found) pair.second = ids[Idx(pair.second)];
  NoteChecks(m, ids, found);
}

}  // namespace

// Puts every term of the graph into the index of every term, shaped for
// their number.
void BuildIndex(ReduceMemory& m, const TermGraph& graph) {
  std::vector<int32_t> slots;
  graph.terms.ForEach([&](const Term* t) { slots.push_back(t->slot); });
  m.search.IndexEvery(graph.inputCount, static_cast<size_t>(graph.termCount), slots, m.masks);
}

// The same in the midst of a pass: the graph's terms that are not gone, and
// the terms the pass made.
void BuildIndexOfLiveTerms(Pass& p) {
  ReduceMemory& m = p.memory;
  std::vector<int32_t> slots;
  p.graph.terms.ForEach([&](const Term* t) {
    const TermRecord& r = m.records[Idx(t->slot)];
    if (r.serial != 0 && !r.made) slots.push_back(t->slot);
  });
  ForEachMade(p, [&](int32_t s) { slots.push_back(s); });
  m.search.IndexEvery(p.graph.inputCount, static_cast<size_t>(p.graph.termCount), slots, m.masks);
}

// Marks pending every term that may have a candidate: the members that are
// not known isolated. While isolated terms are looked for, the members not
// yet looked at are checked, all of them once a sample spread over them shows
// that most are isolated (random covers, where a term seldom meets another:
// the nontaut and onoff rows of bench/run); else no term is looked at again.
void MarkSuspects(Pass& p) {
  ReduceMemory& m = p.memory;
  std::vector<int32_t> unchecked;
  if (m.lookForIsolated) CheckFullTermsAtOnce(p);
  if (m.lookForIsolated) {
    size_t kept = 0;
    for (const SerialSlot entry : m.suspects) {
      const TermRecord& known = m.records[Idx(entry.slot)];
      if (static_cast<uint32_t>(known.serial) != entry.serial || known.serial == 0 || known.isolated) continue;
      m.suspects[kept++] = entry;
      const int c = ValueClass(p.graph.termPool[Idx(entry.slot)].outputs()[p.j]);
      if (c < 0 || c == kOtherClass) continue;
      if (known.checked) {
        MarkPending(p, entry.slot);
      } else {
        unchecked.push_back(entry.slot);
      }
    }
    m.suspects.resize(kept);
  }
  std::vector<int32_t> sample;
  for (size_t i = 0; i < unchecked.size(); i += std::max<size_t>(1, unchecked.size() / kSample)) {
    sample.push_back(unchecked[i]);
  }
  const size_t sampled = sample.size(), isolated = CheckSample(p, sample);
  if (2 * isolated >= sampled) {
    if (!unchecked.empty()) CheckAtOnce(p);
    for (int32_t s : unchecked) {
      Step(p);
      const TermRecord& known = m.records[Idx(s)];
      if (!known.checked && !m.search.indexed()) BuildIndex(m, p.graph);
      if (!known.checked) CheckIsolated(p, s);
      if (!known.isolated) MarkPending(p, s);
    }
    return;
  }
  m.lookForIsolated = false;
  m.search.DropEvery();
  m.suspects = {};
  for (char v : {'1', '0', '-'}) {
    OutputList(p.graph, p.output, v)->ForEach([&](const Term* t) {
      if (!m.records[Idx(t->slot)].isolated) MarkPending(p, t->slot);
    });
  }
}

}  // namespace tavro
