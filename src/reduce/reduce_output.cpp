// The per-output reduction pass: the walk and its re-scans.
//
// Working list. It is always in order of (dashCount descending, order of
// arrival): the initial terms arrive in the order of `terms`, and a term made
// while handling a current term arrives at the end of its dashCount block,
// which is where a stable sort and merge put it. Both orders of arrival are
// the order of creation, so a term's place is given by its dashCount and its
// arrival, and the list itself is never built: the terms with '~' at this
// output take no part but for the block sizes that a re-scan reads, and those
// are the graph's counts per dashCount, changed by the terms the pass made
// and took out.
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
#include <limits>

#include "reduce/pass.hpp"
#include "reduce/tuning.hpp"

namespace tavro {
namespace {

// The place before every term, as a dashCount.
constexpr int32_t kFirstPlace = ListPlace{}.dash;

// Expands one surviving candidate u of the current term s (value v): the
// outcome that adding the expansion to the output would have. Returns
// whether u was taken out.
bool Expand(Pass& p, int32_t s, const Survivor& survivor, char v) {
  const int32_t u = survivor.id;
  const size_t words = p.words;
  p.scratch.part.assign(MasksOf(p, u), MasksOf(p, u) + 2 * words);
  const uint64_t clear = ~(uint64_t{1} << (survivor.differing % 64));
  p.scratch.part[Idx(survivor.differing) / 64] &= clear;
  p.scratch.part[words + Idx(survivor.differing) / 64] &= clear;
  // The expansion has the candidate's characters but a literal made a dash,
  // so it is pure when the candidate is.
  const int32_t holder = p.memory.records[Idx(u)].impure ? kNone : Find(p, p.scratch.part.data());
  const char held = holder != kNone ? CharOf(p, holder) : '~';
  if (held != '~' && held != v) {
    // A cube of another character of this output already has this input
    // part: the candidate is left as it is, in the list and in the output.
    if (ValueClass(held) == kOtherClass) throw "There is a conflict between outputs in PLA file.";
    NoteBlocked(p, s, u, holder);
    return false;
  }
  if (holder == kNone) {
    p.scratch.created.push_back(Make(p, u, survivor.differing, p.scratch.part.data(), v));
  } else if (held == '~') {
    Give(p, holder, v);
    // Received the character in place; it keeps its place in the list.
    if (InList(p, holder)) p.scratch.gained.push_back(holder);
  }
  TakeOut(p, u, true);
  return true;
}

// Handles one current term; returns the re-scan flag.
bool Visit(Pass& p, int32_t s) {
  ClearPending(p, s);
  const char v = ValueOf(p, s);
  if (v == '~') return false;
  const int32_t d = p.memory.records[Idx(s)].dash;
  ++p.stats.visits;
  FindSurvivors(p, s, v);
  bool rescan = false;
  p.scratch.created.clear();
  p.scratch.gained.clear();
  for (const Survivor& survivor : p.scratch.survivors) {
    if (survivor.differing == kContained) {
      TakeOut(p, survivor.id, false);
      continue;
    }
    const bool sameSize = p.memory.records[Idx(survivor.id)].dash == d;
    if (Expand(p, s, survivor, v) && sameSize) rescan = true;
  }
  // Stable merge of the new terms: each goes to the end of its block, which
  // is where its arrival, later than every other, puts it.
  for (int32_t made : p.scratch.created) Join(p, made, v);
  for (int32_t g : p.scratch.gained) Join(p, g, v);
  return rescan;
}

// Where the scan resumes after a re-scan of the current term s: at the first
// term of the block before s's block, or at the first place when there is no
// such block or when that block begins at the second place. Given as the
// dashCount of that block (kFirstPlace for the first place): no pending term
// of a block lies before its first term.
int32_t ResumeDash(const Pass& p, int32_t s) {
  const size_t top = std::max(p.graph.termsByDash.size(), p.listChange.size());
  size_t before = Idx(p.memory.records[Idx(s)].dash) + 1;
  while (before < top && ListCount(p, before) == 0) ++before;
  if (before >= top) return kFirstPlace;
  int64_t ahead = 0;
  for (size_t k = before + 1; k < top && ahead < 2; ++k) ahead += ListCount(p, k);
  return ahead < 2 ? kFirstPlace : static_cast<int32_t>(before);
}

// The input part of the term the scan resumes at, for the re-scan hook: the
// first term of the working list in the block of `dash`, or of the whole
// list. Walks every term.
std::string ResumeInputs(Pass& p, int32_t dash) {
  int32_t first = kNone;
  auto consider = [&](int32_t s) {
    if (!InList(p, s) || (dash != kFirstPlace && p.memory.records[Idx(s)].dash != dash)) return;
    if (first == kNone || PlaceOf(p, s) < PlaceOf(p, first)) first = s;
  };
  p.graph.terms.ForEach([&](const Term* t) { consider(t->slot); });
  ForEachMade(p, consider);
  return InputsOf(p, first);
}

// Readies the pass: the members to visit, and the indexes its searches use.
void StartPass(Pass& p) {
  ReduceMemory& m = p.memory;
  // Terms left pending behind the last pass's last place (the plain walk
  // does not visit them either), or by a pass that an error ended.
  m.pending.Clear();
  size_t members = 0;
  for (char v : {'1', '0', '-'}) members += static_cast<size_t>(OutputList(p.graph, p.output, v)->Count());
  if (m.lookForIsolated) {
    MarkSuspects(p);
  } else {
    for (char v : {'1', '0', '-'}) {
      OutputList(p.graph, p.output, v)->ForEach([&](const Term* t) {
        if (!m.records[Idx(t->slot)].isolated) MarkPending(p, t->slot);
      });
    }
  }
  if (m.pending.count == 0) return;
  // With few members left to visit, the index of every term serves them, or,
  // when it was not needed to find the isolated terms (every term without a
  // dash), naming their candidates' input parts; with many, indexes of the
  // members by class (minterm tables, split and adjacent covers).
  const bool few = tuning::kClassIndexShare * m.pending.count <= members;
  if (few && m.search.due()) BuildIndex(m, p.graph);
  if (few && m.search.indexed()) return;
  if (few && m.lookForIsolated && m.impureTerms == 0) {
    m.search.StartNaming();
    return;
  }
  BuildClassIndexes(p);
}

// Terms with a character outside '1', '0', '-', '~' stand in no list of the
// output; they are searched among themselves, and each waits for its visit.
void CollectOthers(Pass& p) {
  int32_t listed = p.graph.outputLists[p.j].unspecifiedCount;
  for (char v : {'1', '0', '-'}) listed += OutputList(p.graph, p.output, v)->Count();
  if (listed == p.graph.termCount) return;
  p.graph.terms.ForEach([&](const Term* t) {
    if (ValueClass(t->outputs()[p.j]) != kOtherClass) return;
    p.otherPlace[t->slot] = p.others.size();
    p.others.push_back(t->slot);
    MarkPending(p, t->slot);
  });
}

// Visits the pending terms in working-list order, moving back on re-scans.
void Walk(Pass& p, const ReduceHooks* hooks) {
  ListPlace from;
  for (PendingTerms::Found at; (at = p.memory.pending.Next(from)).slot != kNone;) {
    const int32_t s = at.slot;
    Step(p);
    if (!Visit(p, s)) {
      from = at.place.After();
      continue;
    }
    ++p.stats.rescans;
    from = {ResumeDash(p, s), 0};
    if (hooks != nullptr && hooks->onRescan) hooks->onRescan(InputsOf(p, s), ResumeInputs(p, from.dash));
  }
}

void Finish(Pass& p, const ReduceHooks* hooks) {
  Commit(p);
  ReduceMemory& m = p.memory;
  m.nextSerial = p.graph.nextSerial;
  m.termCount = p.graph.termCount;
  if (hooks != nullptr && hooks->stats != nullptr) {
    hooks->stats->visits += p.stats.visits;
    hooks->stats->rescans += p.stats.rescans;
    hooks->stats->comparisons += p.stats.comparisons;
    hooks->stats->made += p.stats.made;
  }
}

}  // namespace

ReduceState::ReduceState() : memory_(std::make_unique<ReduceMemory>()) {}
ReduceState::~ReduceState() = default;

void ReduceOutput(TermGraph& graph, int32_t output, ReduceState& state, const ReduceHooks* hooks) {
  ReduceMemory& memory = state.Memory();
  const size_t words = (static_cast<size_t>(graph.inputCount) + 63) / 64;
  Prepare(memory, graph, words);
  NumberPass(memory);
  const int32_t base = SlotCount(graph);
  Pass p{.graph = graph,
         .memory = memory,
         .output = output,
         .j = static_cast<size_t>(output),
         .words = words,
         .id = memory.passes,
         .base = base,
         .topId = base,
         .nextArrival = graph.nextSerial};
  GrowIds(memory, Idx(base));
  memory.masks.StartMade(base);
  p.nameParts = hooks != nullptr && hooks->nameParts;
  if (hooks != nullptr) {
    p.progress = hooks->progress;
    p.threads = hooks->threads;
  }
  const bool indexOnly = p.nameParts || (hooks != nullptr && hooks->indexOnly);
  memory.search.StartPass(indexOnly ? 0 : tuning::kRowMembers);
  if (indexOnly) p.useKnown = false;
  try {
    StartPass(p);
    CollectOthers(p);
    Walk(p, hooks);
  } catch (...) {
    // The graph takes what was done up to the error, and the memory is
    // made afresh for the next pass.
    Commit(p);
    throw;
  }
  Finish(p, hooks);
  memory.valid = true;
  // The search walks the output's lists once or twice; the terms the pass
  // took out would otherwise be told from the live ones entry by entry.
  CompactOutputLists(graph, output);
}

void ReduceOutput(TermGraph& graph, int32_t output) {
  ReduceState state;
  ReduceOutput(graph, output, state);
}

}  // namespace tavro
