// The term graph: one multi-output Boolean function held as a set of cubes
// (terms), each indexed in the list of all terms and, for every output, in the
// list named by its character there ('1', '0', '-', '~').
//
// The per-(variable, output) cell lists are not stored: a cell list is exactly
// the output's list for that character, filtered by the term's literal at that
// variable, in the same order (a term always enters and leaves an output list
// and that output's cells together). Storing them would cost inputCount entries
// per term and output; deriving them keeps the graph in proportion to the file.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavro {

/// The function's type as written on the `.type` line.
enum PlaType : int32_t { kTypeF = 1, kTypeFd = 2, kTypeFr = 3, kTypeFdr = 4 };

struct Term;

/// Links of one term in one intrusive list.
struct TermLink {
  Term* prev = nullptr;
  Term* next = nullptr;
};

struct Term {
  std::string inputs;   // one character per input variable
  std::string outputs;  // one character per output
  int32_t onesCount = 0;
  int32_t zerosCount = 0;
  int32_t dashCount = 0;  // characters of inputs that are neither '0' nor '1'
  // Storage slot of this term, dense in [0, TermGraph::slotCount); a freed
  // slot is reused by a later term. Lets passes keep per-term state in arrays.
  int32_t slot = -1;
  // links[j] is the term's place in the list of output j named by its
  // character there; links[outputCount] its place in TermGraph::terms.
  std::vector<TermLink> links;
};

/// An ordered, intrusive doubly-linked list of terms. Every term stands at
/// most once in it; append and removal take constant time, and entries keep
/// the order in which they were appended.
class TermList {
 public:
  explicit TermList(int32_t linkIndex = 0) : linkIndex_(linkIndex) {}

  Term* First() const { return first_; }
  Term* Last() const { return last_; }
  Term* Next(const Term* t) const { return t->links[Idx()].next; }
  Term* Prev(const Term* t) const { return t->links[Idx()].prev; }
  int32_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  bool Contains(const Term* t) const;

  void Append(Term* t);
  /// Takes t out; does nothing when t is not in the list.
  void Remove(Term* t);
  /// An independent copy in list order.
  std::vector<Term*> ToVector() const;

  template <typename F>
  void ForEach(F&& f) const {
    for (Term* t = first_; t != nullptr; t = Next(t)) f(t);
  }

 private:
  size_t Idx() const { return static_cast<size_t>(linkIndex_); }
  Term* first_ = nullptr;
  Term* last_ = nullptr;
  int32_t count_ = 0;
  int32_t linkIndex_;
};

/// A copy of a list of terms, handed out by the selectors.
using TermVector = std::vector<Term*>;

struct OutputTermLists {
  explicit OutputTermLists(int32_t output)
      : onTerms(output), offTerms(output), dcTerms(output), unspecifiedTerms(output) {}
  TermList onTerms;           // character '1'
  TermList offTerms;          // character '0'
  TermList dcTerms;           // character '-'
  TermList unspecifiedTerms;  // character '~'
};

struct InputVariable {
  int32_t index = 0;
};

using VariableList = std::vector<const InputVariable*>;

/// The nine lists and three counters of one (variable, output) pair, as a
/// snapshot built from the graph by GetVariableCell.
struct VariableCell {
  TermVector on1, on0, onDash;
  TermVector off1, off0, offDash;
  TermVector dc1, dc0, dcDash;
  int32_t onCount = 0;
  int32_t offCount = 0;
  int32_t dcCount = 0;
};

struct TermGraph {
  TermGraph() = default;
  TermGraph(const TermGraph&) = delete;
  TermGraph& operator=(const TermGraph&) = delete;

  TermList terms;  // every term, in order of creation
  std::vector<OutputTermLists> outputLists;
  std::vector<InputVariable> variables;
  int32_t termCount = -1;  // -1 until InitGraph
  int32_t inputCount = 0;
  int32_t outputCount = 0;
  int32_t type = 0;
  std::string inputLabels;
  std::string outputLabels;

  // Storage of the terms and the index from input part to term.
  std::deque<Term> termPool;        // element addresses stay valid
  std::vector<int32_t> freeSlots;   // slots of freed terms, for reuse
  std::unordered_map<std::string_view, Term*> termByInputs;  // pure input parts only
};

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
/// ('1', '0', '-', '~'); nullptr for any other character.
TermList* OutputList(TermGraph& graph, int32_t output, char value);
const TermList* OutputList(const TermGraph& graph, int32_t output, char value);

/// Copy of a term's variables at which its input is '1', '0' or (for '-')
/// anything else, in increasing index. Throws "wrong set" for another literal.
VariableList GetTermVariables(const TermGraph& graph, const Term& term, char literal);

/// Copy of the cell list of (variable, output) for an output character and a
/// literal. Throws "wrong set" for an output character, then a literal, other
/// than '1', '0', '-'.
TermVector GetCellTerms(const TermGraph& graph, const InputVariable& variable, int32_t output,
                        char outputChar, char literal);

/// Snapshot of all nine lists and three counters of one cell.
VariableCell GetVariableCell(const TermGraph& graph, const InputVariable& variable,
                             int32_t output);

/// Class of an input character: '1', '0', or '-' for every other character.
inline char LiteralClass(char c) { return c == '1' || c == '0' ? c : '-'; }

/// Puts one cube into the graph: merges it into the term with the same input
/// part, or creates a new term. Returns the term that carries the cube. Throws
/// "wrong size of term inputs", "wrong size of term outputs" or "There is a
/// conflict between outputs in PLA file." (outputs merged before the
/// conflicting one stay merged).
Term& AddCube(TermGraph& graph, const std::string& inputs, const std::string& outputs);

/// The term with this input part, or nullptr. Only pure input parts are
/// indexed: a part holding any other character never names an earlier term.
Term* FindTerm(const TermGraph& graph, std::string_view inputs);

/// Builds a term in a free slot, with its counts, and indexes its input part.
/// It stands in no list yet; linking it in is the caller's work.
Term& NewTerm(TermGraph& graph, const std::string& inputs, const std::string& outputs);

/// Releases a term that stands in no list any more; its slot is reused.
void FreeTerm(TermGraph& graph, Term& term);

}  // namespace tavro
