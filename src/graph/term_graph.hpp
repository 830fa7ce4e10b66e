// The term graph: one multi-output Boolean function held as a set of cubes
// (terms), each indexed in the list of all terms and, for every output, in the
// list named by its character there ('1', '0', '-'). The terms with '~' at an
// output are only counted: they are the terms of `terms` with that character,
// and no result depends on any other order of them. A term made for one output
// of a file of many outputs thus costs one list entry, not one per output.
//
// The per-(variable, output) cell lists are not stored: a cell list is exactly
// the output's list for that character, filtered by the term's literal at that
// variable, in the same order (a term always enters and leaves an output list
// and that output's cells together). Storing them would cost inputCount entries
// per term and output; deriving them keeps the graph in proportion to the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "graph/input_part_index.hpp"
#include "graph/term.hpp"
#include "graph/term_list.hpp"
#include "graph/term_pool.hpp"

namespace tavro {

/// The function's type as written on the `.type` line.
enum PlaType : int32_t { kTypeF = 1, kTypeFd = 2, kTypeFr = 3, kTypeFdr = 4 };

/// The three lists of one output, and the count of its terms with '~'. A term
/// stands in one list at a time, so they form one group. A term with another
/// character stands in none and is not counted. The lists of different
/// outputs may grow on different threads at once, so each output's have
/// cache lines of their own.
struct alignas(64) OutputTermLists {
  OutputTermLists(TermPool* pool, ListGroup* group, SegmentArena* segments)
      : onTerms(pool, group, 0, segments), offTerms(pool, group, 1, segments), dcTerms(pool, group, 2, segments) {}
  TermList onTerms;   // character '1'
  TermList offTerms;  // character '0'
  TermList dcTerms;   // character '-'
  int32_t unspecifiedCount = 0;  // character '~'
  // The sum of ShareOfLiterals over the ON terms, kept as terms join and
  // leave onTerms; the shares taken away, and the number of steps, bound its
  // rounding (see OnShare).
  double onShare = 0;
  double onShareTakenAway = 0;
  uint64_t onShareSteps = 0;
  /// A term of share `share` joins onTerms, or leaves it.
  void AddOnShare(double share) {
    onShare += share;
    ++onShareSteps;
  }
  void TakeAwayOnShare(double share) {
    onShare -= share;
    onShareTakenAway += share;
    ++onShareSteps;
  }
};

struct TermGraph {
  TermGraph() = default;
  TermGraph(const TermGraph&) = delete;
  TermGraph& operator=(const TermGraph&) = delete;

  SegmentArena listSegments;  // before the lists, which give their segments back
  TermList terms;  // every term, in order of creation
  std::vector<OutputTermLists> outputLists;
  // The groups of the lists: one per output, then that of `terms`.
  std::unique_ptr<ListGroup[]> listGroups;
  int32_t termCount = -1;  // -1 until InitGraph
  int32_t inputCount = 0;
  int32_t outputCount = 0;
  int32_t type = 0;
  std::string inputLabels;
  std::string outputLabels;

  // Storage of the terms and the index from input part to term.
  TermPool termPool;               // term addresses stay valid
  std::vector<int32_t> freeSlots;  // slots of freed terms, for reuse
  InputPartIndex termByInputs;          // pure input parts only
  uint64_t nextSerial = 1;
  std::vector<int32_t> termsByDash;  // number of terms per dashCount
};

/// Drops the dead entries of the three lists of output `output`; with none
/// left, their group forgets which terms moved, so that a walk of the lists
/// reads their entries and nothing else (until a term leaves one again).
void CompactOutputLists(TermGraph& graph, int32_t output);

/// Number of slots a per-term array must have to be indexed by Term::slot.
inline int32_t SlotCount(const TermGraph& graph) {
  return static_cast<int32_t>(graph.termPool.size());
}

/// True when every character is '0', '1' or '-'.
bool IsPureInputPart(std::string_view inputs);

/// One-time initialisation. Throws "inputs must be higher than 0" when either
/// count is below 1, leaving the graph untouched.
void InitGraph(TermGraph& graph, int32_t type, int32_t inputCount, int32_t outputCount,
               const std::string& inputLabels, const std::string& outputLabels);

/// The list of output `output` that holds terms with character `value`
/// ('1', '0', '-'); nullptr for any other character, '~' among them.
TermList* OutputList(TermGraph& graph, int32_t output, char value);
const TermList* OutputList(const TermGraph& graph, int32_t output, char value);

/// The share of the input space that the ON terms of `output` hold (the sum
/// of ShareOfLiterals over them, every input character other than '0' and
/// '1' counted as '-'), without reading a term: `share` as kept while terms
/// joined and left the list, and `slack`, which bounds its rounding: a sum
/// of the ON terms' shares in any order lies within `slack` of `share`.
struct ShareBounds {
  double share;
  double slack;
};
ShareBounds OnShare(const TermGraph& graph, int32_t output);

/// Enters a term with character `value` at an output into that output's list
/// or count, and takes it out again. Both change the term's lists only.
void EnterOutput(TermGraph& graph, int32_t output, Term& term, char value);
void LeaveOutput(TermGraph& graph, int32_t output, Term& term, char value);

/// True for the output characters of a cube's own set: '1', '0', '-'.
inline bool IsSpecified(char c) { return c == '1' || c == '0' || c == '-'; }

/// Class of an input character: '1', '0', or '-' for every other character.
inline char LiteralClass(char c) { return c == '1' || c == '0' ? c : '-'; }

/// An input part packed ahead of its lookup: its planes (see `packing`) and
/// their hash, when the part is pure and as long as the graph's.
struct PackedInputPart {
  std::vector<uint64_t> planes;
  uint64_t hash = 0;
  bool pure = false;
};

/// Puts one cube into the graph: merges it into the term with the same input
/// part, or creates a new term. Returns the term that carries the cube. Throws
/// "wrong size of term inputs", "wrong size of term outputs" or "There is a
/// conflict between outputs in PLA file." (outputs merged before the
/// conflicting one stay merged). `packed`, when given, is what
/// PrefetchInputPart left for these inputs.
Term& AddCube(TermGraph& graph, const std::string& inputs, const std::string& outputs,
              const PackedInputPart* packed = nullptr);

/// The term with this input part, or nullptr. Only pure input parts are
/// indexed: a part holding any other character never names an earlier term.
Term* FindTerm(const TermGraph& graph, std::string_view inputs);

/// The term whose input planes (see `packing`) are `planes`, or nullptr.
Term* FindTermByPlanes(const TermGraph& graph, const uint64_t* planes);

/// Starts fetching the memory that a lookup of this input part will read, so
/// that a caller that knows its next part early need not wait for it later.
/// Leaves the part packed in `part`, for FindTermOrNew or AddCube to use when
/// that part comes. Changes nothing in the graph.
void PrefetchInputPart(const TermGraph& graph, std::string_view inputs, PackedInputPart& part);

/// The hash of a pure input part's planes (`words` words each) under which
/// the index holds it, as PrefetchInputPart leaves it in PackedInputPart::hash.
/// It reads no graph, so any thread may take it.
uint64_t InputPlanesHash(const uint64_t* planes, size_t words);

/// Starts fetching the memory that a lookup of a part of this hash will read,
/// as PrefetchInputPart does once it has packed its part.
void PrefetchLookup(const TermGraph& graph, uint64_t hash);

/// Releases the index from input part to term, for a graph that takes no
/// more cubes: the search and the report do not read it. FindTerm finds
/// nothing afterwards.
void ReleaseTermIndex(TermGraph& graph);

/// Sizes the term index for `terms` terms in all, so that it need not grow
/// while they are added.
void ReserveTerms(TermGraph& graph, size_t terms);

/// Builds a term in a free slot, with its counts. `planes` are those of a
/// pure input part, under which it is indexed with their hash `inputsHash`,
/// or nullptr for a part that is not pure (not indexed).
/// It stands in no list yet; linking it in is the caller's work. Throws "wrong
/// size of term inputs" or "wrong size of term outputs" for a part whose
/// length is not the graph's count.
Term& NewTerm(TermGraph& graph, const std::string& inputs, const std::string& outputs);
Term& NewTerm(TermGraph& graph, const std::string& inputs, const std::string& outputs,
              uint64_t inputsHash, const uint64_t* planes);

/// FindTerm, and when it finds nothing NewTerm, hashing the input part once
/// (or not at all, given `packed`: what PrefetchInputPart left for these
/// inputs); `created` tells which.
Term* FindTermOrNew(TermGraph& graph, const std::string& inputs, const std::string& outputs,
                    bool& created, const PackedInputPart* packed = nullptr);

/// Releases a term that stands in no list any more; its slot is reused.
void FreeTerm(TermGraph& graph, Term& term);

}  // namespace tavro
