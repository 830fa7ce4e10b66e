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

#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
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

// The counts sit in the padding after each part's size: a term takes 48
// bytes, not 56.
struct Term {
  [[no_unique_address]] TermChars inputs;  // one character per input variable
  int32_t dashCount = 0;  // characters of inputs that are neither '0' nor '1'
  [[no_unique_address]] TermChars outputs;  // one character per output
  int32_t onesCount = 0;
  int32_t zerosCount = 0;
  // Storage slot of this term, dense in [0, SlotCount); a freed slot is
  // reused by a later term. Lets passes keep per-term state in arrays.
  int32_t slot = -1;
  // Place in the order of creation, which is the order of `terms`: every
  // later term has a greater one.
  uint64_t serial = 0;
};
static_assert(sizeof(void*) != 8 || sizeof(Term) == 48);

constexpr uint32_t kNoSlot = UINT32_MAX;

/// Storage of the terms by slot, in fixed chunks so that a term never moves,
/// with beside it the characters of every term (`charCount` per slot: the
/// input part, then the output part). A freed slot keeps its term with empty
/// inputs and outputs until it is reused.
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

  /// Sets the characters per slot; only while the pool is empty. A chunk
  /// holds up to 4096 slots but stays near 1 MiB when slots are wide, so
  /// that a few terms of a very wide function take memory in proportion to
  /// themselves rather than to a whole chunk.
  void SetShape(size_t charCount);
  /// Constructs the term of the next slot.
  Term& Grow();
  char* Chars(uint32_t slot) { return chars_[slot >> chunkBits_] + (slot & chunkMask_) * charCount_; }

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
  size_t chunkBits_ = 12;
  size_t chunkMask_ = (size_t{1} << 12) - 1;
  std::vector<Term*> terms_;  // chunks of raw storage, terms built as slots are taken
  std::vector<char*> chars_;  // chunks of 2^chunkBits_ * charCount_ characters
  size_t size_ = 0;
  size_t charCount_ = 0;
};

/// The lists that a term stands in one at a time (the three lists of one
/// output), or the one list of all terms, share what they know of the terms
/// that left one of them. A list is an array of slots to which a term is
/// appended when it enters; when it leaves, its entry stays behind, dead. A
/// term that never left a list of its group has exactly one entry among them,
/// and it is live. Once a term has left one, its slot is `moved`, and the
/// group keeps where its live entry is, if it has one: a later entry of the
/// same slot (the term back, or another term in a reused slot) is then told
/// from the dead one. Only groups whose terms leave pay for this: the lists of
/// a file as read hold four bytes per entry and nothing else.
struct ListGroup {
  static constexpr uint64_t kNoEntry = UINT64_MAX;
  std::vector<uint64_t> moved;  // bit per slot, allocated at the first leave
  std::unordered_map<uint32_t, uint64_t> live;  // moved slot: list << 40 | entry, or kNoEntry
  bool IsMoved(uint32_t slot) const { return slot / 64 < moved.size() && (moved[slot / 64] >> (slot % 64) & 1) != 0; }
  void SetMoved(uint32_t slot) {
    if (slot / 64 >= moved.size()) moved.resize(std::max<size_t>(slot / 64 + 1, 2 * moved.size()), 0);
    moved[slot / 64] |= uint64_t{1} << (slot % 64);
  }
};

/// An ordered list of terms. Every term stands at most once in it; append
/// and removal take constant time (amortised), and entries keep the order in
/// which they were appended.
class TermList {
 public:
  TermList() = default;
  TermList(TermPool* pool, ListGroup* group, uint32_t id) : pool_(pool), group_(group), id_(id) {}

  /// The first term, or nullptr.
  Term* First() const;
  int32_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }

  /// Appends t, which stands in no list of this list's group.
  void Append(Term* t);
  /// Takes t, which stands in the list, out.
  void Remove(Term* t);

  template <typename F>
  void ForEach(F&& f) const {
    const bool anyMoved = group_ != nullptr && !group_->live.empty();
    for (size_t i = firstLive_; i < entries_.size(); ++i) {
      const uint32_t s = entries_[i];
      if (!anyMoved || Live(i)) f(&(*pool_)[s]);
    }
  }

 private:
  bool Live(size_t i) const;
  void Compact();

  TermPool* pool_ = nullptr;
  ListGroup* group_ = nullptr;
  uint64_t id_ = 0;
  std::vector<uint32_t> entries_;
  mutable size_t firstLive_ = 0;  // no live entry comes before it
  size_t dead_ = 0;
  int32_t count_ = 0;
};

inline bool TermList::Live(size_t i) const {
  const uint32_t s = entries_[i];
  if (!group_->IsMoved(s)) return true;
  const auto it = group_->live.find(s);
  return it != group_->live.end() && it->second == (id_ << 40 | i);
}

inline void TermList::Append(Term* t) {
  const uint32_t s = static_cast<uint32_t>(t->slot);
  if (group_->IsMoved(s)) group_->live[s] = id_ << 40 | entries_.size();
  entries_.push_back(s);
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
/// stands in one list at a time, so they form one group. A term with another
/// character stands in none and is not counted.
struct OutputTermLists {
  OutputTermLists(TermPool* pool, ListGroup* group)
      : onTerms(pool, group, 0), offTerms(pool, group, 1), dcTerms(pool, group, 2) {}
  TermList onTerms;   // character '1'
  TermList offTerms;  // character '0'
  TermList dcTerms;   // character '-'
  int32_t unspecifiedCount = 0;  // character '~'
};

struct TermGraph {
  TermGraph() = default;
  TermGraph(const TermGraph&) = delete;
  TermGraph& operator=(const TermGraph&) = delete;

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

/// Releases the index from input part to term, for a graph that takes no
/// more cubes: the search and the report do not read it. FindTerm finds
/// nothing afterwards.
void ReleaseTermIndex(TermGraph& graph);

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
