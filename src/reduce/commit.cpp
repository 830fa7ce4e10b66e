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

struct Move {
  uint32_t clock;
  int32_t id;  // a graph term, or a made term
};

}  // namespace

// Moves are replayed in clock order. A made term alive goes into the graph at
// its turn (its clock is that of its making, which follows the order of
// making); the memory learns of the new graph terms only once all are in,
// since a new term's slot may be the id of a made term not yet replayed.
void Commit(Pass& p) {
  ReduceMemory& m = p.memory;
  std::vector<Move> moves;
  // A graph term whose id a made term took, or that is gone, moves once: in
  // goneTerms.
  for (int32_t s : p.touched) {
    const TermRecord& r = m.records[Idx(s)];
    if (!r.made && r.serial != 0) moves.push_back({r.moved, s});
  }
  for (const auto& [clock, s] : p.goneTerms) moves.push_back({clock, s});
  ForEachMade(p, [&](int32_t s) { moves.push_back({m.records[Idx(s)].moved, s}); });
  std::sort(moves.begin(), moves.end(), [](const Move& a, const Move& b) { return a.clock < b.clock; });
  std::string outputs(static_cast<size_t>(p.graph.outputCount), '~');
  std::vector<int32_t> slots;
  std::vector<std::pair<SerialSlot, SerialSlot>> renames;
  for (const Move& move : moves) {
    const TermRecord& r = m.records[Idx(move.id)];
    if (!r.made || r.moved != move.clock) {
      // A term that is gone has '~' here and everywhere else, and is deleted;
      // its slot may take a new term below.
      const char value = !r.made && r.serial != 0 ? r.value : '~';
      MoveTermAtOutput(p.graph, p.output, p.graph.termPool[Idx(move.id)], value);
      continue;
    }
    outputs[p.j] = r.value;
    const Term& made = AddCube(p.graph, InputsOf(p, move.id), outputs);
    slots.push_back(made.slot);
    renames.push_back({{move.id, static_cast<uint32_t>(r.serial)}, {made.slot, static_cast<uint32_t>(made.serial)}});
  }
  RenameKnown(m, renames);
  ForEachMade(p, [&](int32_t s) { Forget(m, s); });
  m.masks.EndMade();
  for (int32_t s = p.base; s < p.topId; ++s) ClearRecord(m, s);
  for (const auto& [clock, s] : p.goneTerms) ClearRecord(m, s);
  for (int32_t s : slots) {
    Remember(m, p.words, p.graph.termPool[Idx(s)]);
  }
  p.impureParts.clear();
  p.freeIds.clear();
  p.topId = p.base;
  p.touched.clear();
  p.goneTerms.clear();
}

}  // namespace tavro
