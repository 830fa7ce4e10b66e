#include "reduce/reference_reduce.hpp"

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "graph/add_term.hpp"
#include "graph/remove_term.hpp"

namespace tavro::testing {
namespace {

using WorkingList = std::vector<Term*>;

struct Candidate {
  size_t place;       // in the working list
  int32_t differing;  // variable index, or -1
};

bool GreaterDash(const Term* a, const Term* b) { return a->dashCount() > b->dashCount(); }

// The term whose input part equals `inputs`, found as AddCube finds it: an
// input part with characters other than '0', '1', '-' matches no term.
Term* TermWithInputs(const TermGraph& graph, const std::string& inputs) {
  return IsPureInputPart(inputs) ? FindTerm(graph, inputs) : nullptr;
}

// Whether u (input part `uInputs`) survives the elimination through the
// cells of t (`tInputs`): u has a literal wherever t has one, and the
// opposite literal at no more than one of those places, which is then its
// differing variable.
bool Survives(const std::string& tInputs, const std::string& uInputs, int32_t& differing) {
  differing = -1;
  for (size_t x = 0; x < tInputs.size(); ++x) {
    const char c = tInputs[x];
    if (c != '0' && c != '1') continue;
    const char other = LiteralClass(uInputs[x]);
    if (other == '-') return false;
    if (other == c) continue;
    if (differing != -1) return false;
    differing = static_cast<int32_t>(x);
  }
  return true;
}

}  // namespace

void ReferenceReduceOutput(TermGraph& graph, int32_t output, const ReduceHooks* hooks) {
  const size_t j = static_cast<size_t>(output);
  WorkingList work;
  graph.terms.ForEach([&](Term* t) { work.push_back(t); });
  std::stable_sort(work.begin(), work.end(), GreaterDash);
  size_t position = 0;
  bool rescan = false;
  // Input parts read once per term; a term's entry goes when the pass
  // removes it (its place may hold a made term later).
  std::unordered_map<const Term*, std::string> inputsOf;
  auto inputs = [&](const Term* u) -> const std::string& {
    auto [entry, fresh] = inputsOf.try_emplace(u);
    if (fresh) entry->second = u->inputs();
    return entry->second;
  };
  auto remove = [&](Term* u) {
    inputsOf.erase(u);
    RemoveTermFromOutput(graph, output, *u);
  };

  while (position < work.size()) {
    Term* t = work[position];
    const char v = t->outputs()[j];
    if (v == '~') {
      ++position;
      continue;
    }
    // The cell lists of an output character other than '1', '0', '-' are
    // refused, once t has a literal to read them for.
    if (!IsSpecified(v) && t->onesCount() + t->zerosCount() > 0) throw "wrong set";
    std::vector<Candidate> candidates;
    const std::string& tInputs = inputs(t);
    for (size_t at = position + 1; at < work.size(); ++at) {
      int32_t differing = -1;
      if (work[at]->outputs()[j] == v && Survives(tInputs, inputs(work[at]), differing)) {
        candidates.push_back({at, differing});
      }
    }

    // A candidate taken out of the working list leaves a hole there until
    // the list is closed up after the last candidate.
    WorkingList created;
    for (const Candidate& c : candidates) {
      Term* u = work[c.place];
      if (c.differing == -1) {
        work[c.place] = nullptr;
        remove(u);
        continue;
      }
      std::string expansion = inputs(u);
      expansion[static_cast<size_t>(c.differing)] = '-';
      if (Term* holder = TermWithInputs(graph, expansion)) {
        const char held = holder->outputs()[j];
        if ((held == '1' || held == '0' || held == '-') && held != v) continue;
      }
      if (u->dashCount() == t->dashCount()) rescan = true;
      if (Term* made = AddTerm(graph, output, expansion, v)) created.push_back(made);
      work[c.place] = nullptr;
      remove(u);
    }
    work.erase(std::remove(work.begin(), work.end(), nullptr), work.end());

    std::stable_sort(created.begin(), created.end(), GreaterDash);
    for (Term* made : created) {
      size_t at = 0;
      while (at < work.size() && work[at]->dashCount() >= made->dashCount()) ++at;
      work.insert(work.begin() + static_cast<std::ptrdiff_t>(at), made);
    }
    // Expansions as large as t's block went before it.
    position = static_cast<size_t>(std::find(work.begin(), work.end(), t) - work.begin());

    if (!rescan) {
      ++position;
      continue;
    }
    auto walk = [&](size_t from) {
      const int32_t dashes = work[from]->dashCount();
      while (from != 0 && work[from]->dashCount() <= dashes) --from;
      return from;
    };
    const size_t p2 = walk(walk(position));
    position = p2 == 0 ? 0 : p2 + 1;
    rescan = false;
    if (hooks != nullptr && hooks->onRescan) hooks->onRescan(t->inputs().str(), work[position]->inputs().str());
  }
}

}  // namespace tavro::testing
