// Adding a batch of cubes to the graph on several threads at once, with the
// result of adding them one by one with AddCube, in order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro {

/// Cubes for the graph, in the order AddCube would take them. Cube k has its
/// input and output characters at chars + k * (inputCount + outputCount), its
/// input planes (a pure part as long as the graph's) at planes + k * 2 *
/// InputWords(inputCount), and their hash, and its output codes at
/// outputCodes + k * OutputWords(outputCount) (see `packing`). `byPart` lists the cubes by the
/// part of the term index that holds their hash (see IndexPartOf): those of
/// part p from byPart[partStart[p]] to before byPart[partStart[p + 1]], in
/// order. The batch is the cubes from `first` to before `end`.
struct CubeBatch {
  const char* chars = nullptr;
  const uint64_t* planes = nullptr;
  const uint64_t* hashes = nullptr;
  const uint64_t* outputCodes = nullptr;
  const uint32_t* byPart = nullptr;
  const uint32_t* partStart = nullptr;  // InputPartIndex::kParts + 1 of them
  size_t first = 0;
  size_t end = 0;
};

/// Adds a batch of cubes that make new terms, in steps that threads share:
///
///   Begin (one thread); false: add the cubes with AddCube instead.
///   EnterPart(p) for every part p of the index (threads at once).
///   Trim (one thread): the batch ends before its first cube whose input part
///     is held already, by a term of the graph or an earlier cube of the
///     batch; Trim returns that end, and that cube must then be added with
///     AddCube once the batch has ended.
///   Build(u) for every u below Units() (threads at once).
///   End (one thread).
///
/// Every step must have ended before the next begins, and nothing else may
/// change or read the graph until End. The graph is then as AddCube would
/// have left it after the batch's cubes, apart from the order of the term
/// index's entries. If EnterPart throws, Undo takes the batch's entries out
/// again and leaves the graph as it was. Build throws std::bad_alloc when a
/// list cannot grow; the graph then holds the batch in part and must only be
/// destroyed.
class CubeBatchAdder {
 public:
  explicit CubeBatchAdder(TermGraph& graph) : graph_(graph) {}

  bool Begin(const CubeBatch& batch);
  void EnterPart(size_t part);
  size_t Trim();
  void Undo() { UndoFrom(batch_.first); }
  size_t Units() const { return listUnits_ + termUnits_; }
  void Build(size_t unit);
  void End();

 private:
  static const uint64_t* PlanesOfSlot(const void* adder, uint32_t slot, PlaneBuffer& buffer);
  uint32_t SlotOf(size_t cube) const { return base_ + static_cast<uint32_t>(cube - batch_.first); }
  void UndoFrom(size_t cube);
  void FillLists(size_t list);
  void BuildTerms(size_t unit);

  TermGraph& graph_;
  CubeBatch batch_{};
  size_t inputs_ = 0, outputs_ = 0, words_ = 0, codeWords_ = 0;
  uint32_t base_ = 0;  // the slot of the first cube's term
  size_t count_ = 0;
  uint64_t serial_ = 0;
  size_t listUnits_ = 0, termUnits_ = 0;
  std::vector<std::vector<int32_t>> dashCounts_;  // per unit of terms: terms by dashCount
  // The first cube found whose part is held, or the batch's end: a part's
  // cubes are entered up to it, so every cube before it is entered.
  std::atomic<size_t> heldAt_{0};
};

}  // namespace tavro
