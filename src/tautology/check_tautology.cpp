// The per-output tautology search: a depth-first search over partial input
// assignments for a cube that no ON term meets, on an explicit stack of frames.
//
// The witness printed depends on every order below: the working list starts
// as onTerms stably sorted by dashCount (largest first), the first working term
// is branched on at its lowest free variable, candidate lists are read in
// onTerms order, and backtracking appends the restored terms and then the
// frame's own term at the end of the working list.
//
// Terms are named by their position in the output's onTerms list (local
// index), so the per-term state lives in arrays.
#include "tautology/check_tautology.hpp"
#include "tautology/cover_check.hpp"

#include <algorithm>
#include <numeric>
#include <vector>

namespace tavro {
namespace {

size_t Z(int32_t i) { return static_cast<size_t>(i); }

void CheckOutputIndex(const TermGraph& graph, int32_t output) {
  if (output < 0 || output >= graph.outputCount) throw "wrong number of output";
}

/// What the search reads of the output's ON terms, built once per call in
/// memory linear in their literals.
struct TermIndex {
  int32_t termCount = 0;
  std::vector<const Term*> terms;  // onTerms order
  std::vector<const char*> inputs;  // input part of each term
  // Variables at which term t has a character other than '-', increasing:
  // literalVariables[literalBegin[t] .. literalBegin[t + 1]).
  std::vector<size_t> literalBegin;
  std::vector<int32_t> literalVariables;
  // Candidate list of variable v and literal l (the terms whose character at
  // v is l, in onTerms order): candidates[candidateBegin[c] .. candidateBegin[c + 1])
  // with c = 2v for '0' and 2v + 1 for '1'.
  std::vector<size_t> candidateBegin;
  std::vector<int32_t> candidates;
};

size_t CandidateList(int32_t variable, char literal) {
  return 2 * Z(variable) + (literal == '1' ? 1 : 0);
}

TermIndex BuildTermIndex(const TermGraph& graph, int32_t output) {
  TermIndex index;
  const TermList& onTerms = graph.outputLists[Z(output)].onTerms;
  index.termCount = onTerms.Count();
  index.terms.reserve(Z(index.termCount));
  onTerms.ForEach([&](const Term* t) { index.terms.push_back(t); });
  index.inputs.reserve(Z(index.termCount));
  for (const Term* t : index.terms) index.inputs.push_back(t->inputs.data());

  index.candidateBegin.assign(2 * Z(graph.inputCount) + 1, 0);
  size_t literalCount = 0;
  for (const Term* t : index.terms) {
    for (size_t v = 0; v < t->inputs.size(); ++v) {
      const char c = t->inputs[v];
      if (c != '-') ++literalCount;
      if (c == '0' || c == '1') ++index.candidateBegin[CandidateList(static_cast<int32_t>(v), c) + 1];
    }
  }
  std::partial_sum(index.candidateBegin.begin(), index.candidateBegin.end(),
                   index.candidateBegin.begin());
  index.candidates.resize(index.candidateBegin.back());
  index.literalVariables.reserve(literalCount);
  index.literalBegin.assign(Z(index.termCount) + 1, 0);
  std::vector<size_t> fill(index.candidateBegin.begin(), index.candidateBegin.end() - 1);
  for (int32_t p = 0; p < index.termCount; ++p) {
    const std::string& inputs = index.terms[Z(p)]->inputs;
    for (size_t v = 0; v < inputs.size(); ++v) {
      const char c = inputs[v];
      if (c == '-') continue;
      index.literalVariables.push_back(static_cast<int32_t>(v));
      if (c == '0' || c == '1') index.candidates[fill[CandidateList(static_cast<int32_t>(v), c)]++] = p;
    }
    index.literalBegin[Z(p) + 1] = index.literalVariables.size();
  }
  return index;
}

/// workingTerms: a doubly-linked list over local indexes, entry `sentinel`
/// (= termCount) closing the ring, so membership and removal take constant
/// time and the order is kept.
struct WorkingList {
  int32_t sentinel = 0;
  int32_t count = 0;
  std::vector<int32_t> prev;
  std::vector<int32_t> next;
  std::vector<uint8_t> holds;  // 1 while the term is in the list
};

int32_t First(const WorkingList& list) { return list.next[Z(list.sentinel)]; }

void Append(WorkingList& list, int32_t t) {
  const int32_t last = list.prev[Z(list.sentinel)];
  list.prev[Z(t)] = last;
  list.next[Z(t)] = list.sentinel;
  list.next[Z(last)] = t;
  list.prev[Z(list.sentinel)] = t;
  list.holds[Z(t)] = 1;
  ++list.count;
}

void Remove(WorkingList& list, int32_t t) {
  list.next[Z(list.prev[Z(t)])] = list.next[Z(t)];
  list.prev[Z(list.next[Z(t)])] = list.prev[Z(t)];
  list.holds[Z(t)] = 0;
  --list.count;
}

/// One assignment of the search. Its removedTerms are the entries of the
/// shared removal stack from removedBegin up to the next frame's removedBegin
/// (or the stack's top for the top frame), in the order they were taken out.
struct SearchFrame {
  int32_t branchTerm;  // local index of the term whose literal was negated
  int32_t assignedVariable;
  size_t removedBegin;
};

struct SearchState {
  std::string assignment;
  WorkingList workingTerms;
  std::vector<int32_t> removedTerms;  // of every frame, bottom to top
  std::vector<SearchFrame> frameStack;
  int64_t branches = 0;
};

SearchState StartSearch(const TermIndex& index, int32_t inputCount) {
  SearchState state;
  state.assignment.assign(Z(inputCount), '-');
  WorkingList& working = state.workingTerms;
  working.sentinel = index.termCount;
  const size_t slots = Z(index.termCount) + 1;
  working.prev.assign(slots, working.sentinel);
  working.next.assign(slots, working.sentinel);
  working.holds.assign(slots, 0);
  std::vector<int32_t> order(Z(index.termCount));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return index.terms[Z(a)]->dashCount > index.terms[Z(b)]->dashCount;
  });
  for (int32_t t : order) Append(working, t);
  // Every ON term is in one place (working, set aside by one frame, or a
  // frame's branch term) and each frame holds one variable: neither stack
  // ever grows past these sizes.
  state.removedTerms.reserve(Z(index.termCount));
  state.frameStack.reserve(Z(inputCount));
  return state;
}

/// Lowest variable above `after` where term t has a literal and the
/// assignment is free; -1 when there is none.
int32_t FreeLiteral(const TermIndex& index, const std::string& assignment, int32_t t, int32_t after) {
  const auto first = index.literalVariables.begin() + static_cast<std::ptrdiff_t>(index.literalBegin[Z(t)]);
  const auto last = index.literalVariables.begin() + static_cast<std::ptrdiff_t>(index.literalBegin[Z(t) + 1]);
  for (auto it = std::upper_bound(first, last, after); it != last; ++it) {
    if (assignment[Z(*it)] == '-') return *it;
  }
  return -1;
}

/// Negates e's literal at variable i, takes e out and sets aside the working
/// terms of the candidate list, in its order. A character other than '0' and
/// '1' is assigned like '0' and has no candidate list: "wrong set".
void Branch(const TermIndex& index, SearchState& state, int32_t e, int32_t i) {
  ++state.branches;
  const char literal = index.inputs[Z(e)][i];
  state.assignment[Z(i)] = literal == '1' ? '0' : '1';
  WorkingList& working = state.workingTerms;
  Remove(working, e);
  if (literal != '0' && literal != '1') throw "wrong set";
  std::vector<int32_t>& removed = state.removedTerms;
  const size_t removedBegin = removed.size();
  const size_t list = CandidateList(i, literal);
  const size_t candidatesBegin = index.candidateBegin[list];
  const size_t candidatesEnd = index.candidateBegin[list + 1];
  if (Z(working.count) < candidatesEnd - candidatesBegin) {
    // Fewer working terms than candidates: collect the working terms with the
    // literal and put them in candidate-list order, which is local index order.
    for (int32_t t = First(working); t != working.sentinel; t = working.next[Z(t)]) {
      if (index.inputs[Z(t)][i] == literal) removed.push_back(t);
    }
    std::sort(removed.begin() + static_cast<std::ptrdiff_t>(removedBegin), removed.end());
    for (size_t k = removedBegin; k < removed.size(); ++k) Remove(working, removed[k]);
  } else {
    for (size_t k = candidatesBegin; k < candidatesEnd; ++k) {
      const int32_t t = index.candidates[k];
      if (working.holds[Z(t)] != 0) {
        removed.push_back(t);
        Remove(working, t);
      }
    }
  }
  state.frameStack.push_back(SearchFrame{e, i, removedBegin});
}

std::string RunSearch(const TermIndex& index, SearchState& state) {
  WorkingList& working = state.workingTerms;
  for (;;) {
    const int32_t e = First(working);
    if (e == working.sentinel) return state.assignment;
    const int32_t i = FreeLiteral(index, state.assignment, e, -1);
    if (i >= 0) {
      Branch(index, state, e, i);
      continue;
    }
    // e covers every vector the assignment admits: backtrack to the next
    // untried literal of a term on the stack.
    for (;;) {
      if (state.frameStack.empty()) return "tautology";
      const SearchFrame frame = state.frameStack.back();
      state.frameStack.pop_back();
      for (size_t k = frame.removedBegin; k < state.removedTerms.size(); ++k) {
        Append(working, state.removedTerms[k]);
      }
      state.removedTerms.resize(frame.removedBegin);
      state.assignment[Z(frame.assignedVariable)] = '-';
      Append(working, frame.branchTerm);
      const int32_t j = FreeLiteral(index, state.assignment, frame.branchTerm, frame.assignedVariable);
      if (j >= 0) {
        Branch(index, state, frame.branchTerm, j);
        break;
      }
    }
  }
}

}  // namespace

std::string SearchTautology(const TermGraph& graph, int32_t output, SearchStats* stats) {
  CheckOutputIndex(graph, output);
  const TermIndex index = BuildTermIndex(graph, output);
  SearchState state = StartSearch(index, graph.inputCount);
  std::string result = RunSearch(index, state);
  if (stats != nullptr) stats->branches += state.branches;
  return result;
}

std::string CheckTautology(const TermGraph& graph, int32_t output, SearchStats& stats) {
  CheckOutputIndex(graph, output);
  const OutputTermLists& lists = graph.outputLists[Z(output)];
  if (!lists.offTerms.Empty()) return lists.offTerms.First()->inputs;
  if (!lists.dcTerms.Empty()) return lists.dcTerms.First()->inputs;
  // The cover check proves most tautologies at a tiny fraction of the search's
  // cost; the search would end in "tautology" too. When the check does not
  // prove it, the search decides and finds its witness as before.
  if (OnCoverIsTautology(graph, output)) {
    ++stats.provedByCoverCheck;
    return "tautology";
  }
  return SearchTautology(graph, output, &stats);
}

std::string CheckTautology(const TermGraph& graph, int32_t output) {
  SearchStats unused;
  return CheckTautology(graph, output, unused);
}

}  // namespace tavro
