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

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tavro {

/// The function's type as written on the `.type` line.
enum PlaType : int32_t { kTypeF = 1, kTypeFd = 2, kTypeFr = 3, kTypeFdr = 4 };

/// A term's input or output part: its characters live in the graph's term
/// pool, beside those of the other terms, and are read like a string. The
/// characters of a const term are const. Converts to std::string_view and to
/// std::string; compares and concatenates with strings.
class TermChars {
 public:
  TermChars() = default;
  TermChars(char* data, uint32_t size) : data_(data), size_(size) {}

  size_t size() const { return size_; }
  size_t length() const { return size_; }
  bool empty() const { return size_ == 0; }
  char* data() { return data_; }
  const char* data() const { return data_; }
  char& operator[](size_t i) { return data_[i]; }
  const char& operator[](size_t i) const { return data_[i]; }
  char* begin() { return data_; }
  char* end() { return data_ + size_; }
  const char* begin() const { return data_; }
  const char* end() const { return data_ + size_; }
  std::string_view view() const { return {data_, size_}; }
  operator std::string_view() const { return view(); }
  operator std::string() const { return std::string(view()); }

  friend bool operator==(const TermChars& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const TermChars& a, const TermChars& b) { return a.view() == b.view(); }
  friend std::string operator+(const TermChars& a, std::string_view b) {
    return std::string(a.view()).append(b);
  }
  friend std::string operator+(std::string a, const TermChars& b) { return a.append(b.view()); }
  friend std::string operator+(const char* a, const TermChars& b) {
    return std::string(a).append(b.view());
  }
  friend std::string operator+(const TermChars& a, const TermChars& b) {
    return std::string(a.view()).append(b.view());
  }
  friend std::ostream& operator<<(std::ostream& out, const TermChars& chars) {
    return out << chars.view();
  }

 private:
  char* data_ = nullptr;
  uint32_t size_ = 0;
};

struct Term {
  TermChars inputs;   // one character per input variable
  TermChars outputs;  // one character per output
  int32_t onesCount = 0;
  int32_t zerosCount = 0;
  int32_t dashCount = 0;  // characters of inputs that are neither '0' nor '1'
  // Storage slot of this term, dense in [0, SlotCount); a freed slot is
  // reused by a later term. Lets passes keep per-term state in arrays.
  int32_t slot = -1;
  // Place in the order of creation, which is the order of `terms`: every
  // later term has a greater one.
  uint64_t serial = 0;
};

/// A term's place in one list, as slot numbers (kNoSlot at either end).
struct TermLink {
  uint32_t prev;
  uint32_t next;
};

constexpr uint32_t kNoSlot = UINT32_MAX;

/// Storage of the terms by slot, in fixed chunks so that a term never moves,
/// with beside it the characters of every term (`charCount` per slot: the
/// input part, then the output part) and its links in every list (`linkCount`
/// per slot: one per output, and one for TermGraph::terms). The links of 64
/// neighbouring slots are kept list by list, so terms that stand in few lists
/// touch little memory, and a small graph of many outputs little more. A link
/// is set when its term enters the list and is read only while it stands
/// there. A freed slot keeps its term with empty inputs and outputs until it
/// is reused.
class TermPool {
 public:
  TermPool() = default;
  TermPool(const TermPool&) = delete;
  TermPool& operator=(const TermPool&) = delete;
  ~TermPool();

  Term& operator[](size_t slot) { return terms_[slot >> chunkBits_][slot & chunkMask_]; }
  const Term& operator[](size_t slot) const { return terms_[slot >> chunkBits_][slot & chunkMask_]; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  /// Sets the characters and links per slot; only while the pool is empty.
  /// A chunk holds up to 4096 slots but stays near 1 MiB when slots are
  /// wide, so that a few terms of a very wide function take memory in
  /// proportion to themselves rather than to a whole chunk.
  void SetShape(size_t charCount, size_t linkCount);
  /// Constructs the term of the next slot.
  Term& Grow();
  char* Chars(uint32_t slot) { return chars_[slot >> chunkBits_] + (slot & chunkMask_) * charCount_; }
  TermLink& Link(uint32_t slot, size_t list) { return links_[slot >> chunkBits_][LinkIndex(slot, list)]; }
  const TermLink& Link(uint32_t slot, size_t list) const { return links_[slot >> chunkBits_][LinkIndex(slot, list)]; }

  template <typename PoolT, typename TermT>
  class Iterator {
   public:
    Iterator(PoolT* pool, size_t slot) : pool_(pool), slot_(slot) {}
    TermT& operator*() const { return (*pool_)[slot_]; }
    TermT* operator->() const { return &(*pool_)[slot_]; }
    Iterator& operator++() {
      ++slot_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return slot_ == other.slot_; }

   private:
    PoolT* pool_;
    size_t slot_;
  };
  Iterator<TermPool, Term> begin() { return {this, 0}; }
  Iterator<TermPool, Term> end() { return {this, size_}; }
  Iterator<const TermPool, const Term> begin() const { return {this, 0}; }
  Iterator<const TermPool, const Term> end() const { return {this, size_}; }

 private:
  // Within a chunk, the links of a tile of 2^tileBits_ slots, list by list.
  size_t LinkIndex(uint32_t slot, size_t list) const {
    const size_t inChunk = slot & chunkMask_;
    const size_t tile = inChunk >> tileBits_ << tileBits_;  // the tile's first slot
    return tile * linkCount_ + (list << tileBits_) + (inChunk - tile);
  }

  size_t chunkBits_ = 12;
  size_t chunkMask_ = (size_t{1} << 12) - 1;
  size_t tileBits_ = 6;
  std::vector<Term*> terms_;      // chunks of raw storage, terms built as slots are taken
  std::vector<TermLink*> links_;  // chunks of 2^chunkBits_ * linkCount_ links
  std::vector<char*> chars_;      // chunks of 2^chunkBits_ * charCount_ characters
  size_t size_ = 0;
  size_t charCount_ = 0;
  size_t linkCount_ = 1;
};

/// An ordered, intrusive doubly-linked list of terms. Every term stands at
/// most once in it; append and removal take constant time, and entries keep
/// the order in which they were appended. The links live in the graph's
/// TermPool, one per list and slot.
class TermList {
 public:
  TermList() = default;
  TermList(TermPool* pool, int32_t linkIndex) : pool_(pool), linkIndex_(static_cast<size_t>(linkIndex)) {}

  Term* First() const { return TermOf(first_); }
  Term* Last() const { return TermOf(last_); }
  Term* Next(const Term* t) const { return TermOf(LinkOf(t).next); }
  Term* Prev(const Term* t) const { return TermOf(LinkOf(t).prev); }
  int32_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }

  /// Appends t, which stands in no list that shares this list's links.
  void Append(Term* t);
  /// Takes t, which stands in the list, out.
  void Remove(Term* t);

  template <typename F>
  void ForEach(F&& f) const {
    for (uint32_t s = first_; s != kNoSlot; s = pool_->Link(s, linkIndex_).next) f(&(*pool_)[s]);
  }

 private:
  static uint32_t SlotOf(const Term* t) { return static_cast<uint32_t>(t->slot); }
  Term* TermOf(uint32_t slot) const { return slot == kNoSlot ? nullptr : &(*pool_)[slot]; }
  TermLink& LinkOf(const Term* t) const { return pool_->Link(SlotOf(t), linkIndex_); }

  TermPool* pool_ = nullptr;
  size_t linkIndex_ = 0;
  uint32_t first_ = kNoSlot;
  uint32_t last_ = kNoSlot;
  int32_t count_ = 0;
};

inline void TermList::Append(Term* t) {
  const uint32_t s = SlotOf(t);
  TermLink& link = LinkOf(t);
  link.prev = last_;
  link.next = kNoSlot;
  if (last_ != kNoSlot) {
    pool_->Link(last_, linkIndex_).next = s;
  } else {
    first_ = s;
  }
  last_ = s;
  ++count_;
}

/// Index from pure input part to term slot: an open-addressing table with
/// linear probing, at most half full, each entry keeping 32 bits of its part's
/// hash (its tag) so that neither probing nor growing reads a term; a filter
/// of two bits per tag, about a sixteenth of the table's size, that tells most
/// absent parts without reading the table; and up to 64 entries not yet placed
/// in the table, placed together so that their table memory is fetched at once.
struct InputPartIndex {
  struct Entry {
    uint32_t slot = kNoSlot;
    uint32_t tag = 0;
  };
  std::vector<Entry> entries;  // size a power of two, or empty
  std::vector<Entry> pending;
  std::vector<uint64_t> filter;
  int filterShift = 63;
  size_t used = 0;  // entries in the table and pending
  size_t erasedSinceFilter = 0;
  size_t size() const { return used; }
};

/// The three lists of one output, and the count of its terms with '~'. A term
/// stands in one list at a time, so they share the term's link of that output.
/// A term with another character stands in none and is not counted.
struct OutputTermLists {
  OutputTermLists(TermPool* pool, int32_t output)
      : onTerms(pool, output), offTerms(pool, output), dcTerms(pool, output) {}
  TermList onTerms;   // character '1'
  TermList offTerms;  // character '0'
  TermList dcTerms;   // character '-'
  int32_t unspecifiedCount = 0;  // character '~'
};

struct TermGraph {
  TermGraph() = default;
  TermGraph(const TermGraph&) = delete;
  TermGraph& operator=(const TermGraph&) = delete;

  TermList terms;  // every term, in order of creation (link outputCount)
  std::vector<OutputTermLists> outputLists;
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

/// Enters a term with character `value` at an output into that output's list
/// or count, and takes it out again. Both change the term's lists only.
void EnterOutput(TermGraph& graph, int32_t output, Term& term, char value);
void LeaveOutput(TermGraph& graph, int32_t output, Term& term, char value);

/// True for the output characters of a cube's own set: '1', '0', '-'.
inline bool IsSpecified(char c) { return c == '1' || c == '0' || c == '-'; }

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

/// Starts fetching the memory that a lookup of this input part will read, so
/// that a caller that knows its next part early need not wait for it later.
/// Changes nothing.
void PrefetchInputPart(const TermGraph& graph, std::string_view inputs);

/// Sizes the term index for `terms` terms in all, so that it need not grow
/// while they are added.
void ReserveTerms(TermGraph& graph, size_t terms);

/// Builds a term in a free slot, with its counts, and indexes its input part.
/// It stands in no list yet; linking it in is the caller's work. Throws "wrong
/// size of term inputs" or "wrong size of term outputs" for a part whose
/// length is not the graph's count.
Term& NewTerm(TermGraph& graph, const std::string& inputs, const std::string& outputs);
Term& NewTerm(TermGraph& graph, const std::string& inputs, const std::string& outputs,
              uint64_t inputsHash);

/// FindTerm, and when it finds nothing NewTerm, hashing the input part once;
/// `created` tells which.
Term* FindTermOrNew(TermGraph& graph, const std::string& inputs, const std::string& outputs,
                    bool& created);

/// Releases a term that stands in no list any more; its slot is reused.
void FreeTerm(TermGraph& graph, Term& term);

}  // namespace tavro
