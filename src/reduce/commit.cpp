// The pass's net effect, handed to the graph once the pass is over.
//
// Every list of the graph holds its entries in the order in which they were
// appended, so a term's place in the lists of the output follows from the
// last time it joined one, and every other list only loses the terms that are
// gone. The pass noted, for each term it moved, the clock of its last move;
// replaying the last moves in clock order, and making each lasting new term
// at its turn, leaves every list, and the order of `terms`, as adding and
// removing every term one by one would have. Terms that the pass made and
// dropped again never reach the graph.
#include <algorithm>

#include "graph/remove_term.hpp"
#include "reduce/pass.hpp"

namespace tavro {
namespace {

// A made term that lasts, ready for the graph.
struct Lasting {
  std::string inputs;
  char value;
};

struct Move {
  uint32_t clock;
  int32_t slot;  // a graph term, or kNone for lasting[index]
  size_t index;
};

// The made terms that last, in order of making, and the ids of every made
// term freed: the ids from `base` on may be the graph's slots once new terms
// are in it.
std::vector<Lasting> TakeLasting(Pass& p, std::vector<Move>& moves) {
  std::vector<Lasting> lasting;
  for (const auto& [s, arrival] : p.made) {
    const TermRecord& r = p.memory.records[Idx(s)];
    if (r.serial != arrival) continue;
    moves.push_back({r.moved, kNone, lasting.size()});
    lasting.push_back({InputsOf(p, s), r.value});
  }
  for (int32_t s = p.base; s < p.topId; ++s) {
    if (p.memory.records[Idx(s)].serial != 0) Forget(p.memory, p.words, s);
    p.memory.records[Idx(s)] = TermRecord{};
  }
  p.impureParts.clear();
  p.freeIds.clear();
  p.made.clear();
  p.topId = p.base;
  return lasting;
}

}  // namespace

void Commit(Pass& p) {
  std::vector<Move> moves;
  for (int32_t s : p.touched) moves.push_back({p.memory.records[Idx(s)].moved, s, 0});
  const std::vector<Lasting> lasting = TakeLasting(p, moves);
  std::sort(moves.begin(), moves.end(), [](const Move& a, const Move& b) { return a.clock < b.clock; });
  std::string outputs(static_cast<size_t>(p.graph.outputCount), '~');
  for (const Move& move : moves) {
    if (move.slot != kNone) {
      // A gone term is deleted here; its slot may take a new term below.
      MoveTermAtOutput(p.graph, p.output, p.graph.termPool[Idx(move.slot)], p.memory.records[Idx(move.slot)].value);
      continue;
    }
    const Lasting& made = lasting[move.index];
    outputs[p.j] = made.value;
    Term& term = AddCube(p.graph, made.inputs, outputs);
    Remember(p.memory, p.words, term.slot, term.inputs.view(), term.serial);
  }
  p.touched.clear();
}

}  // namespace tavro
