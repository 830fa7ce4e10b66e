// The term graph: initialisation, the lists of each output, and finding,
// making and freeing terms.
#include "graph/term_graph.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "common/bit_count.hpp"

namespace tavro {

void CompactOutputLists(TermGraph& graph, int32_t output) {
  ListGroup& group = graph.listGroups[static_cast<size_t>(output)];
  if (group.live.empty()) return;
  OutputTermLists& lists = graph.outputLists[static_cast<size_t>(output)];
  lists.onTerms.Compact();
  lists.offTerms.Compact();
  lists.dcTerms.Compact();
  // Every entry left is live, and a term has one at most: nothing needs to
  // tell entries of the same slot apart any more.
  group.moved = {};
  group.live = {};
}

// A chunk of characters at a time (packing::ForEachChunk).
bool IsPureInputPart(std::string_view inputs) {
  bool pure = true;
  const size_t chunked = packing::ForEachChunk(inputs.data(), inputs.size(), [&](size_t, const auto& chars) {
    constexpr size_t kWidth = std::remove_cvref_t<decltype(chars)>::kWidth;
    pure = pure && (chars.Equal('0') | chars.Equal('1') | chars.Equal('-')) == (uint64_t{1} << kWidth) - 1;
  });
  for (size_t i = chunked; pure && i < inputs.size(); ++i) {
    pure = inputs[i] == '0' || inputs[i] == '1' || inputs[i] == '-';
  }
  return pure;
}

void InitGraph(TermGraph& graph, int32_t type, int32_t inputCount, int32_t outputCount,
               const std::string& inputLabels, const std::string& outputLabels) {
  if (inputCount < 1) throw "inputs must be higher than 0";
  if (outputCount < 1) throw "inputs must be higher than 0";
  graph.termCount = 0;
  graph.type = type;
  graph.inputCount = inputCount;
  graph.outputCount = outputCount;
  graph.termPool.SetShape(static_cast<size_t>(inputCount), static_cast<size_t>(outputCount));
  graph.listGroups.reset(new ListGroup[static_cast<size_t>(outputCount) + 1]);
  graph.terms = TermList(&graph.termPool, &graph.listGroups[static_cast<size_t>(outputCount)], 0, &graph.listSegments);
  graph.outputLists.clear();
  graph.outputLists.reserve(static_cast<size_t>(outputCount));
  for (size_t j = 0; j < static_cast<size_t>(outputCount); ++j) {
    graph.outputLists.emplace_back(&graph.termPool, &graph.listGroups[j], &graph.listSegments);
  }
  graph.inputLabels = inputLabels;
  graph.outputLabels = outputLabels;
}

namespace {

template <typename Lists>
auto* ListOf(Lists& lists, char value) {
  switch (value) {
    case '1': return &lists.onTerms;
    case '0': return &lists.offTerms;
    case '-': return &lists.dcTerms;
    default: return static_cast<decltype(&lists.onTerms)>(nullptr);
  }
}

}  // namespace

TermList* OutputList(TermGraph& graph, int32_t output, char value) {
  return ListOf(graph.outputLists[static_cast<size_t>(output)], value);
}

const TermList* OutputList(const TermGraph& graph, int32_t output, char value) {
  return ListOf(graph.outputLists[static_cast<size_t>(output)], value);
}

ShareBounds OnShare(const TermGraph& graph, int32_t output) {
  // A sum of k terms, rounded at each step, lies within (k - 1) * 2^-53 (to
  // first order) times the sum of their magnitudes from the exact sum. The
  // kept share took onShareSteps steps over shares whose magnitudes sum to
  // the shares added and taken away, that is to about onShare plus twice
  // those taken away; a walk of the list takes Count() steps over shares
  // that sum to at most that. Four times the first-order bound of both
  // covers the rest.
  const OutputTermLists& lists = graph.outputLists[static_cast<size_t>(output)];
  const double steps = static_cast<double>(lists.onShareSteps) + lists.onTerms.Count();
  const double moved = std::fabs(lists.onShare) + 2 * lists.onShareTakenAway;
  return {lists.onShare, 0x1p-51 * steps * moved};
}

void EnterOutput(TermGraph& graph, int32_t output, Term& term, char value) {
  if (TermList* list = OutputList(graph, output, value)) {
    list->Append(&term);
    if (value == '1') graph.outputLists[static_cast<size_t>(output)].AddOnShare(ShareOf(term));
  } else if (value == '~') {
    ++graph.outputLists[static_cast<size_t>(output)].unspecifiedCount;
  }
}

void LeaveOutput(TermGraph& graph, int32_t output, Term& term, char value) {
  if (TermList* list = OutputList(graph, output, value)) {
    list->Remove(&term);
    if (value == '1') graph.outputLists[static_cast<size_t>(output)].TakeAwayOnShare(ShareOf(term));
  } else if (value == '~') {
    --graph.outputLists[static_cast<size_t>(output)].unspecifiedCount;
  }
}


namespace {

/// Packs an input part into `planes` (2 * InputWords of its length) and
/// hashes them into `hash`; true when the part is pure and as long as the
/// graph's (else `hash` is left alone). Every lookup and entry of a part by
/// its text goes through here, so that all agree on the planes and the hash.
bool PackAndHash(const TermGraph& graph, std::string_view inputs, uint64_t* planes, uint64_t& hash) {
  const size_t words = packing::InputWords(inputs.size());
  if (inputs.size() != static_cast<size_t>(graph.inputCount) || !packing::PackInputs(inputs, planes, words)) {
    return false;
  }
  hash = HashOfPlanes(planes, words);
  return true;
}

/// An input part looked up or entered, packed on the stack.
struct PackedPart {
  PackedPart(const TermGraph& graph, std::string_view inputs)
      : planes(packing::InputWords(inputs.size())), pure(PackAndHash(graph, inputs, planes.data(), hash)) {}
  PlaneBuffer planes;
  uint64_t hash = 0;
  bool pure;
};

// The term of the graph with these planes and their hash, or nullptr.
Term* Find(const TermGraph& graph, const uint64_t* planes, uint64_t hash) {
  return FindInIndex(graph.termByInputs, graph.termPool, planes,
                     packing::InputWords(static_cast<size_t>(graph.inputCount)), hash);
}

}  // namespace

Term* FindTerm(const TermGraph& graph, std::string_view inputs) {
  PackedPart part(graph, inputs);
  return part.pure ? Find(graph, part.planes.data(), part.hash) : nullptr;
}

Term* FindTermByPlanes(const TermGraph& graph, const uint64_t* planes) {
  return Find(graph, planes, HashOfPlanes(planes, packing::InputWords(static_cast<size_t>(graph.inputCount))));
}

void PrefetchInputPart(const TermGraph& graph, std::string_view inputs, PackedInputPart& part) {
  part.planes.resize(2 * packing::InputWords(inputs.size()));
  part.pure = PackAndHash(graph, inputs, part.planes.data(), part.hash);
  if (part.pure) PrefetchLookup(graph, part.hash);
}

uint64_t InputPlanesHash(const uint64_t* planes, size_t words) { return HashOfPlanes(planes, words); }

void PrefetchLookup(const TermGraph& graph, uint64_t hash) { PrefetchInIndex(graph.termByInputs, hash); }

void ReleaseTermIndex(TermGraph& graph) { graph.termByInputs = InputPartIndex{}; }

void ReserveTerms(TermGraph& graph, size_t terms) { ReserveIndex(graph.termByInputs, terms); }

namespace {

// The term of a part packed already (`planes` null for a part that is not
// pure, which is never found), or a new one.
Term* FindOrNew(TermGraph& graph, const std::string& inputs, const std::string& outputs, bool& created,
                const uint64_t* planes, uint64_t hash) {
  if (planes != nullptr) {
    if (Term* found = Find(graph, planes, hash)) {
      created = false;
      return found;
    }
  }
  created = true;
  return &NewTerm(graph, inputs, outputs, hash, planes);
}

}  // namespace

Term* FindTermOrNew(TermGraph& graph, const std::string& inputs, const std::string& outputs,
                    bool& created, const PackedInputPart* packed) {
  if (packed != nullptr) {
    return FindOrNew(graph, inputs, outputs, created, packed->pure ? packed->planes.data() : nullptr, packed->hash);
  }
  PackedPart part(graph, inputs);
  return FindOrNew(graph, inputs, outputs, created, part.pure ? part.planes.data() : nullptr, part.hash);
}

Term& NewTerm(TermGraph& graph, const std::string& inputs, const std::string& outputs) {
  PackedPart part(graph, inputs);
  return NewTerm(graph, inputs, outputs, part.hash, part.pure ? part.planes.data() : nullptr);
}

Term& NewTerm(TermGraph& graph, const std::string& inputs, const std::string& outputs,
              uint64_t hash, const uint64_t* planes) {
  const size_t inputCount = static_cast<size_t>(graph.inputCount);
  const size_t outputCount = static_cast<size_t>(graph.outputCount);
  if (inputs.size() != inputCount) throw "wrong size of term inputs";
  if (outputs.size() != outputCount) throw "wrong size of term outputs";
  Term* term;
  if (!graph.freeSlots.empty()) {
    term = &graph.termPool[static_cast<size_t>(graph.freeSlots.back())];
    graph.freeSlots.pop_back();
  } else {
    term = &graph.termPool.Grow();
  }
  term->Assign(inputs, outputs, planes);
  const size_t dash = static_cast<size_t>(term->dashCount());
  term->serial = graph.nextSerial++;
  if (dash >= graph.termsByDash.size()) graph.termsByDash.resize(dash + 1, 0);
  ++graph.termsByDash[dash];
  if (planes != nullptr) InsertIntoIndex(graph.termByInputs, hash, static_cast<uint32_t>(term->slot));
  return *term;
}

void FreeTerm(TermGraph& graph, Term& term) {
  EraseFromIndex(graph.termByInputs, term);
  --graph.termsByDash[static_cast<size_t>(term.dashCount())];
  term.Clear();
  graph.freeSlots.push_back(term.slot);
}

}  // namespace tavro
