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
#include <algorithm>
#include <limits>

#include "reduce/pass.hpp"
#include "reduce/tuning.hpp"

namespace tavro {
namespace {

constexpr size_t kSample = tuning::kIsolatedSample;

// Whether the term s is isolated: whether no other input part of the graph
// has a literal wherever s has one, with the opposite literal at no more than
// one of those places. The answer is kept. Before the index of every term is
// built (for a sample), it reads them all.
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
    // The masks of every term (an id with serial 0 is free), until one meets s.
    for (size_t u = 0; u < Idx(p.topId) && isolated; ++u) {
      if (p.memory.records[u].serial == 0 || u == Idx(s)) continue;
      isolated = CompareMasks(tm, &p.memory.masks[u * 2 * p.words], p.words) == kUnrelated;
    }
  }
  TermRecord& known = p.memory.records[Idx(s)];
  known.checked = true;
  known.isolated = isolated;
  return isolated;
}

}  // namespace

// Puts every term of the graph into the index of every term, shaped for
// their number.
void BuildIndex(ReduceMemory& m, const TermGraph& graph) {
  m.index.Reset(graph.inputCount, static_cast<size_t>(graph.termCount));
  std::vector<int32_t> slots;
  graph.terms.ForEach([&](const Term* t) { slots.push_back(t->slot); });
  m.index.InsertAll(slots, m.masks);
  m.indexed = true;
}

// Marks pending every term that may have a candidate: the members that are
// not known isolated. While isolated terms are looked for, the members not
// yet looked at are checked, all of them once a sample spread over them shows
// that most are isolated (random covers, where a term seldom meets another:
// the nontaut and onoff rows of bench/run); else no term is looked at again.
void MarkSuspects(Pass& p) {
  ReduceMemory& m = p.memory;
  std::vector<int32_t> unchecked;
  if (m.lookForIsolated) {
    size_t kept = 0;
    for (const SerialSlot entry : m.suspects) {
      const TermRecord& known = m.records[Idx(entry.slot)];
      if (static_cast<uint32_t>(known.serial) != entry.serial || known.serial == 0 || known.isolated) continue;
      m.suspects[kept++] = entry;
      const int c = ValueClass(p.graph.termPool[Idx(entry.slot)].outputs[p.j]);
      if (c < 0 || c == kOtherClass) continue;
      if (known.checked) {
        MarkPending(p, entry.slot);
      } else {
        unchecked.push_back(entry.slot);
      }
    }
    m.suspects.resize(kept);
  }
  size_t sampled = 0, isolated = 0;
  for (size_t i = 0; i < unchecked.size(); i += std::max<size_t>(1, unchecked.size() / kSample)) {
    ++sampled;
    isolated += CheckIsolated(p, unchecked[i]);
  }
  if (2 * isolated >= sampled) {
    if (!unchecked.empty() && !m.indexed) BuildIndex(m, p.graph);
    for (int32_t s : unchecked) {
      const TermRecord& known = m.records[Idx(s)];
      if (!known.checked) CheckIsolated(p, s);
      if (!known.isolated) MarkPending(p, s);
    }
    return;
  }
  m.lookForIsolated = false;
  m.indexed = false;
  m.suspects = {};
  m.index = CandidateIndex{};
  for (char v : {'1', '0', '-'}) {
    OutputList(p.graph, p.output, v)->ForEach([&](const Term* t) {
      if (!m.records[Idx(t->slot)].isolated) MarkPending(p, t->slot);
    });
  }
}

}  // namespace tavro
