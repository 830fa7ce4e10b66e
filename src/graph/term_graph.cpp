// Term graph records, initialisation, term storage and the list selectors.
#include "graph/term_graph.hpp"

namespace tavro {

bool TermList::Contains(const Term* t) const {
  return t->links[Idx()].prev != nullptr || first_ == t;
}

void TermList::Append(Term* t) {
  TermLink& link = t->links[Idx()];
  link.prev = last_;
  link.next = nullptr;
  if (last_ != nullptr) {
    last_->links[Idx()].next = t;
  } else {
    first_ = t;
  }
  last_ = t;
  ++count_;
}

void TermList::Remove(Term* t) {
  if (!Contains(t)) return;
  TermLink& link = t->links[Idx()];
  if (link.prev != nullptr) {
    link.prev->links[Idx()].next = link.next;
  } else {
    first_ = link.next;
  }
  if (link.next != nullptr) {
    link.next->links[Idx()].prev = link.prev;
  } else {
    last_ = link.prev;
  }
  link = TermLink{};
  --count_;
}

std::vector<Term*> TermList::ToVector() const {
  std::vector<Term*> copy;
  copy.reserve(static_cast<size_t>(count_));
  ForEach([&](Term* t) { copy.push_back(t); });
  return copy;
}

bool IsPureInputPart(std::string_view inputs) {
  for (char c : inputs) {
    if (c != '0' && c != '1' && c != '-') return false;
  }
  return true;
}

void InitGraph(TermGraph& graph, int32_t type, int32_t inputCount, int32_t outputCount,
               const std::string& inputLabels, const std::string& outputLabels) {
  if (inputCount < 1) throw "inputs must be higher than 0";
  if (outputCount < 1) throw "inputs must be higher than 0";
  graph.termCount = 0;
  graph.type = type;
  graph.inputCount = inputCount;
  graph.outputCount = outputCount;
  graph.terms = TermList(outputCount);  // the link after the per-output links
  graph.outputLists.clear();
  graph.outputLists.reserve(static_cast<size_t>(outputCount));
  for (int32_t j = 0; j < outputCount; ++j) graph.outputLists.emplace_back(j);
  graph.variables.clear();
  graph.variables.reserve(static_cast<size_t>(inputCount));
  for (int32_t k = 0; k < inputCount; ++k) graph.variables.push_back(InputVariable{k});
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
    case '~': return &lists.unspecifiedTerms;
    default: return static_cast<decltype(&lists.onTerms)>(nullptr);
  }
}

bool IsSpecified(char c) { return c == '1' || c == '0' || c == '-'; }

}  // namespace

TermList* OutputList(TermGraph& graph, int32_t output, char value) {
  return ListOf(graph.outputLists[static_cast<size_t>(output)], value);
}

const TermList* OutputList(const TermGraph& graph, int32_t output, char value) {
  return ListOf(graph.outputLists[static_cast<size_t>(output)], value);
}

VariableList GetTermVariables(const TermGraph& graph, const Term& term, char literal) {
  if (literal != '1' && literal != '0' && literal != '-') throw "wrong set";
  VariableList list;
  for (size_t k = 0; k < term.inputs.size(); ++k) {
    if (LiteralClass(term.inputs[k]) == literal) list.push_back(&graph.variables[k]);
  }
  return list;
}

TermVector GetCellTerms(const TermGraph& graph, const InputVariable& variable, int32_t output,
                        char outputChar, char literal) {
  if (!IsSpecified(outputChar)) throw "wrong set";
  if (!IsSpecified(literal)) throw "wrong set";
  const size_t k = static_cast<size_t>(variable.index);
  TermVector cell;
  OutputList(graph, output, outputChar)->ForEach([&](Term* t) {
    if (LiteralClass(t->inputs[k]) == literal) cell.push_back(t);
  });
  return cell;
}

VariableCell GetVariableCell(const TermGraph& graph, const InputVariable& variable,
                             int32_t output) {
  VariableCell cell;
  cell.on1 = GetCellTerms(graph, variable, output, '1', '1');
  cell.on0 = GetCellTerms(graph, variable, output, '1', '0');
  cell.onDash = GetCellTerms(graph, variable, output, '1', '-');
  cell.off1 = GetCellTerms(graph, variable, output, '0', '1');
  cell.off0 = GetCellTerms(graph, variable, output, '0', '0');
  cell.offDash = GetCellTerms(graph, variable, output, '0', '-');
  cell.dc1 = GetCellTerms(graph, variable, output, '-', '1');
  cell.dc0 = GetCellTerms(graph, variable, output, '-', '0');
  cell.dcDash = GetCellTerms(graph, variable, output, '-', '-');
  cell.onCount = OutputList(graph, output, '1')->Count();
  cell.offCount = OutputList(graph, output, '0')->Count();
  cell.dcCount = OutputList(graph, output, '-')->Count();
  return cell;
}

Term* FindTerm(const TermGraph& graph, std::string_view inputs) {
  auto it = graph.termByInputs.find(inputs);
  return it == graph.termByInputs.end() ? nullptr : it->second;
}

Term& NewTerm(TermGraph& graph, const std::string& inputs, const std::string& outputs) {
  Term* term;
  if (!graph.freeSlots.empty()) {
    term = &graph.termPool[static_cast<size_t>(graph.freeSlots.back())];
    graph.freeSlots.pop_back();
  } else {
    graph.termPool.emplace_back();
    term = &graph.termPool.back();
    term->slot = static_cast<int32_t>(graph.termPool.size() - 1);
  }
  term->inputs = inputs;
  term->outputs = outputs;
  // Counted without branches: input characters follow no pattern.
  int32_t ones = 0;
  int32_t zeros = 0;
  int32_t plainDashes = 0;
  for (char c : inputs) {
    ones += c == '1';
    zeros += c == '0';
    plainDashes += c == '-';
  }
  term->onesCount = ones;
  term->zerosCount = zeros;
  term->dashCount = static_cast<int32_t>(inputs.size()) - ones - zeros;
  term->links.assign(static_cast<size_t>(graph.outputCount) + 1, TermLink{});
  const bool pure = plainDashes == term->dashCount;  // only '0', '1', '-'
  if (pure) graph.termByInputs.emplace(term->inputs, term);
  return *term;
}

void FreeTerm(TermGraph& graph, Term& term) {
  auto it = graph.termByInputs.find(term.inputs);
  if (it != graph.termByInputs.end() && it->second == &term) graph.termByInputs.erase(it);
  term.inputs = std::string();
  term.outputs = std::string();
  term.links = std::vector<TermLink>();
  graph.freeSlots.push_back(term.slot);
}

}  // namespace tavro
