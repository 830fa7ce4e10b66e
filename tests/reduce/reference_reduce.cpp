#include "reduce/reference_reduce.hpp"

#include <iterator>
#include <list>
#include <string>

#include "graph/add_term.hpp"
#include "graph/remove_term.hpp"

namespace tavro::testing {
namespace {

using WorkingList = std::list<Term*>;

struct Candidate {
  Term* term;
  const InputVariable* differing;
};

bool GreaterDash(const Term* a, const Term* b) { return a->dashCount > b->dashCount; }

// The term whose input part equals `inputs`, found as AddCube finds it.
Term* TermWithInputs(const TermGraph& graph, const std::string& inputs) {
  int32_t dashes = 0, ones = 0;
  for (char c : inputs) {
    dashes += c == '-';
    ones += c == '1';
  }
  for (Term* t = graph.terms.First(); t != nullptr; t = graph.terms.Next(t)) {
    if (t->dashCount == dashes && t->onesCount == ones && t->inputs == inputs) return t;
  }
  return nullptr;
}

}  // namespace

void ReferenceReduceOutput(TermGraph& graph, int32_t output, const ReduceHooks* hooks) {
  const size_t j = static_cast<size_t>(output);
  WorkingList work;
  graph.terms.ForEach([&](Term* t) { work.push_back(t); });
  work.sort(GreaterDash);  // stable
  auto position = work.begin();
  bool rescan = false;

  while (position != work.end()) {
    Term* t = *position;
    const char v = t->outputs[j];
    if (v == '~') {
      ++position;
      continue;
    }
    std::list<Candidate> candidates;
    for (auto it = std::next(position); it != work.end(); ++it) {
      if ((*it)->outputs[j] == v) candidates.push_back({*it, nullptr});
    }
    auto eliminate = [&](char literal, char opposite) {
      for (const InputVariable* x : GetTermVariables(graph, *t, literal)) {
        for (Term* u : GetCellTerms(graph, *x, output, v, '-')) {
          candidates.remove_if([&](const Candidate& c) { return c.term == u; });
        }
        for (Term* u : GetCellTerms(graph, *x, output, v, opposite)) {
          for (auto it = candidates.begin(); it != candidates.end(); ++it) {
            if (it->term != u) continue;
            if (it->differing == nullptr) {
              it->differing = x;
            } else {
              candidates.erase(it);
            }
            break;
          }
        }
      }
    };
    eliminate('1', '0');
    eliminate('0', '1');

    WorkingList created;
    for (const Candidate& c : candidates) {
      if (c.differing == nullptr) {
        work.remove(c.term);
        RemoveTermFromOutput(graph, output, *c.term);
        continue;
      }
      std::string expansion = c.term->inputs;
      expansion[static_cast<size_t>(c.differing->index)] = '-';
      if (Term* holder = TermWithInputs(graph, expansion)) {
        const char held = holder->outputs[j];
        if ((held == '1' || held == '0' || held == '-') && held != v) continue;
      }
      if (c.term->dashCount == t->dashCount) rescan = true;
      if (Term* made = AddTerm(graph, output, expansion, v)) created.push_back(made);
      work.remove(c.term);
      RemoveTermFromOutput(graph, output, *c.term);
    }

    created.sort(GreaterDash);
    for (Term* made : created) {
      auto at = work.begin();
      while (at != work.end() && (*at)->dashCount >= made->dashCount) ++at;
      work.insert(at, made);
    }

    if (!rescan) {
      ++position;
      continue;
    }
    auto walk = [&](WorkingList::iterator from) {
      const int32_t dashes = (*from)->dashCount;
      while (from != work.begin() && (*from)->dashCount <= dashes) --from;
      return from;
    };
    auto p1 = walk(position);
    auto p2 = walk(p1);
    position = p2 == work.begin() ? work.begin() : std::next(p2);
    rescan = false;
    if (hooks != nullptr && hooks->onRescan) hooks->onRescan(t->inputs.view(), (*position)->inputs.view());
  }
}

}  // namespace tavro::testing
