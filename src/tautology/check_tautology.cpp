// The per-output tautology search: a depth-first search over partial input
// assignments for a cube that no ON term meets, on an explicit stack of frames.
//
// The witness printed depends on every order below: the working list starts
// as onTerms stably sorted by dashCount (largest first), the first working term
// is branched on at its lowest free variable, candidate lists are read in
// onTerms order, and backtracking appends the restored terms and then the
// frame's own term at the end of the working list.
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

/// One assignment of the search. Its removedTerms are the entries of the
/// shared removal stack from removedBegin up to the next frame's removedBegin
/// (or the stack's top for the top frame), in the order they were taken out.
struct SearchFrame {
  int32_t branchTerm;        // local index of the term whose literal was negated
  int32_t assignedVariable;
  size_t removedBegin;
};

// Terms are named by their position in the output's onTerms list (local
// index); `termCount` names the sentinel of the working list.
class Search {
 public:
  Search(const TermGraph& graph, int32_t output) {
    const TermList& onTerms = graph.outputLists[Z(output)].onTerms;
    terms_ = onTerms.ToVector();
    termCount_ = onTerms.Count();
    inputs_.reserve(terms_.size());
    for (const Term* t : terms_) inputs_.push_back(t->inputs.data());
    const int32_t inputCount = graph.inputCount;
    assignment_.assign(Z(inputCount), '-');
    BuildIndexes(inputCount);

    // Working list: a doubly-linked list over local indexes, so membership
    // and removal take constant time while the order stays as specified.
    const size_t slots = Z(termCount_) + 1;
    prev_.assign(slots, termCount_);
    next_.assign(slots, termCount_);
    working_.assign(slots, 0);
    std::vector<int32_t> order(Z(termCount_));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
      return terms_[Z(a)]->dashCount > terms_[Z(b)]->dashCount;
    });
    for (int32_t t : order) Append(t);

    // Every ON term is in one place: working, set aside by one frame, or a
    // frame's branch term; and there is at most one frame per variable.
    removed_.reserve(Z(termCount_));
    frameStack_.reserve(Z(inputCount));
  }

  std::string Run() {
    for (;;) {
      const int32_t e = next_[Z(termCount_)];
      if (e == termCount_) return assignment_;
      const int32_t i = FreeLiteral(e, -1);
      if (i >= 0) {
        Branch(e, i);
        continue;
      }
      // e covers every vector the assignment admits: backtrack to the next
      // untried literal of a term on the stack.
      for (;;) {
        if (frameStack_.empty()) return "tautology";
        const SearchFrame frame = frameStack_.back();
        frameStack_.pop_back();
        for (size_t k = frame.removedBegin; k < removed_.size(); ++k) Append(removed_[k]);
        removed_.resize(frame.removedBegin);
        assignment_[Z(frame.assignedVariable)] = '-';
        Append(frame.branchTerm);
        const int32_t j = FreeLiteral(frame.branchTerm, frame.assignedVariable);
        if (j >= 0) {
          Branch(frame.branchTerm, j);
          break;
        }
      }
    }
  }

  int64_t branches = 0;

 private:
  void BuildIndexes(int32_t inputCount) {
    // Literal positions of every term: its characters other than '-'.
    literalBegin_.assign(Z(termCount_) + 1, 0);
    // Candidate lists: for variable v and literal l, entry 2v + (l == '1')
    // holds the terms with that literal at v, in onTerms order.
    candidateBegin_.assign(2 * Z(inputCount) + 1, 0);
    for (const Term* t : terms_) {
      for (size_t v = 0; v < t->inputs.size(); ++v) {
        const char c = t->inputs[v];
        if (c == '0' || c == '1') ++candidateBegin_[2 * v + (c == '1' ? 1 : 0) + 1];
      }
    }
    std::partial_sum(candidateBegin_.begin(), candidateBegin_.end(), candidateBegin_.begin());
    candidates_.resize(candidateBegin_.back());
    std::vector<size_t> fill(candidateBegin_.begin(), candidateBegin_.end() - 1);
    for (int32_t p = 0; p < termCount_; ++p) {
      const std::string_view inputs = terms_[Z(p)]->inputs;
      for (size_t v = 0; v < inputs.size(); ++v) {
        const char c = inputs[v];
        if (c == '-') continue;
        literalVariables_.push_back(static_cast<int32_t>(v));
        if (c == '0' || c == '1') candidates_[fill[2 * v + (c == '1' ? 1 : 0)]++] = p;
      }
      literalBegin_[Z(p) + 1] = literalVariables_.size();
    }
  }

  /// Lowest variable above `after` where term t has a literal and the
  /// assignment is free; -1 when there is none.
  int32_t FreeLiteral(int32_t t, int32_t after) const {
    const auto first = literalVariables_.begin() + static_cast<std::ptrdiff_t>(literalBegin_[Z(t)]);
    const auto last = literalVariables_.begin() + static_cast<std::ptrdiff_t>(literalBegin_[Z(t) + 1]);
    for (auto it = std::upper_bound(first, last, after); it != last; ++it) {
      if (assignment_[Z(*it)] == '-') return *it;
    }
    return -1;
  }

  /// Negates e's literal at variable i and sets aside the working terms that
  /// have that literal there. A character other than '0' and '1' is assigned
  /// like '0' and has no candidate list: "wrong set".
  void Branch(int32_t e, int32_t i) {
    ++branches;
    const char literal = terms_[Z(e)]->inputs[Z(i)];
    assignment_[Z(i)] = literal == '1' ? '0' : '1';
    Remove(e);
    if (literal != '0' && literal != '1') throw "wrong set";
    const size_t list = 2 * Z(i) + (literal == '1' ? 1 : 0);
    const size_t removedBegin = removed_.size();
    const size_t candidateCount = candidateBegin_[list + 1] - candidateBegin_[list];
    if (Z(workingCount_) < candidateCount) {
      // Fewer working terms than candidates: pick the working terms with the
      // literal and put them in candidate-list order (local index order).
      for (int32_t t = next_[Z(termCount_)]; t != termCount_; t = next_[Z(t)]) {
        if (inputs_[Z(t)][i] == literal) removed_.push_back(t);
      }
      std::sort(removed_.begin() + static_cast<std::ptrdiff_t>(removedBegin), removed_.end());
      for (size_t k = removedBegin; k < removed_.size(); ++k) Remove(removed_[k]);
    } else {
      for (size_t k = candidateBegin_[list]; k < candidateBegin_[list + 1]; ++k) {
        const int32_t t = candidates_[k];
        if (working_[Z(t)] != 0) {
          removed_.push_back(t);
          Remove(t);
        }
      }
    }
    frameStack_.push_back(SearchFrame{e, i, removedBegin});
  }

  void Append(int32_t t) {
    const int32_t last = prev_[Z(termCount_)];
    prev_[Z(t)] = last;
    next_[Z(t)] = termCount_;
    next_[Z(last)] = t;
    prev_[Z(termCount_)] = t;
    working_[Z(t)] = 1;
    ++workingCount_;
  }

  void Remove(int32_t t) {
    next_[Z(prev_[Z(t)])] = next_[Z(t)];
    prev_[Z(next_[Z(t)])] = prev_[Z(t)];
    working_[Z(t)] = 0;
    --workingCount_;
  }

  std::vector<Term*> terms_;  // onTerms order
  std::vector<const char*> inputs_;  // input part of each term
  int32_t termCount_ = 0;
  int32_t workingCount_ = 0;
  std::string assignment_;
  std::vector<size_t> literalBegin_;
  std::vector<int32_t> literalVariables_;
  std::vector<size_t> candidateBegin_;
  std::vector<int32_t> candidates_;
  std::vector<int32_t> prev_;
  std::vector<int32_t> next_;
  std::vector<uint8_t> working_;
  std::vector<int32_t> removed_;  // the removedTerms of every frame, bottom to top
  std::vector<SearchFrame> frameStack_;
};

}  // namespace

std::string SearchTautology(const TermGraph& graph, int32_t output, SearchStats* stats) {
  CheckOutputIndex(graph, output);
  Search search(graph, output);
  std::string result = search.Run();
  if (stats != nullptr) stats->branches += search.branches;
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
