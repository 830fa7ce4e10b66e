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
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/bit_count.hpp"
#include "common/huge_pages.hpp"
#include "graph/slot_map.hpp"
#include "graph/slot_sequence.hpp"

namespace tavro {

/// The function's type as written on the `.type` line.
enum PlaType : int32_t { kTypeF = 1, kTypeFd = 2, kTypeFr = 3, kTypeFdr = 4 };

struct Term;

/// The characters of a term's input part are held in two planes of bits, one
/// bit per input in each: the literal plane (the character is '0' or '1') and
/// the value plane (it is '1'). So '-' is 00, '0' 10 and '1' 11, literal bit
/// first: a pure input part. The output part holds two bits per output: '~'
/// 00, '1' 01, '0' 10, '-' 11. A term with any other character keeps its
/// characters as text instead.
namespace packing {
constexpr size_t InputWords(size_t inputs) { return (inputs + 63) / 64; }
constexpr size_t OutputWords(size_t outputs) { return (outputs + 31) / 32; }
/// The output character of each two-bit code.
constexpr char kOutputChar[4] = {'~', '1', '0', '-'};
/// The two-bit code of an output character, or 4 for one without a code.
constexpr uint8_t OutputCode(char c) {
  return c == '~' ? 0 : c == '1' ? 1 : c == '0' ? 2 : c == '-' ? 3 : 4;
}
/// One bit per byte of `eight` that equals c, the first byte's lowest.
inline uint64_t BytesEqual(uint64_t eight, char c) {
  constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
  const uint64_t x = eight ^ (0x0101010101010101ULL * static_cast<uint8_t>(c));
  // The high bit of each byte that is zero in x (no borrow crosses bytes),
  // then the eight high bits gathered into the top byte.
  const uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
  return ((zero >> 7) * 0x0102040810204080ULL) >> 56;
}
/// The planes of an input part (see above), `words` words each; false when
/// a character is not '0', '1' or '-' (such a character gets neither bit).
bool PackInputs(std::string_view inputs, uint64_t* planes, size_t words);
}  // namespace packing

/// A term's input or output part, read like a string: `term.inputs()[i]` is
/// the character of input i. Converts to std::string, compares and
/// concatenates with strings. Valid while its term stays in place.
class TermChars {
 public:
  TermChars(const Term* term, bool outputs) : term_(term), outputs_(outputs) {}

  size_t size() const;
  char operator[](size_t i) const;
  std::string str() const;
  operator std::string() const { return str(); }

  friend std::string operator+(const TermChars& a, std::string_view b) { return a.str().append(b); }
  friend std::string operator+(std::string a, const TermChars& b) { return a.append(b.str()); }
  friend std::string operator+(const char* a, const TermChars& b) { return std::string(a).append(b.str()); }
  friend std::string operator+(const TermChars& a, const TermChars& b) { return a.str().append(b.str()); }
  friend std::ostream& operator<<(std::ostream& out, const TermChars& chars) { return out << chars.str(); }

 private:
  const Term* term_;
  bool outputs_;
};

/// One term: a header, followed in its pool slot by its characters, packed
/// (see `packing`): the literal plane of the inputs, their value plane, then
/// the output codes, each a whole number of 64-bit words. A term with a
/// character that has no code holds instead, in its first word, the address
/// of its characters as text (input part, then output part). Its counts come
/// from the bits. A term lives only in a pool slot: it is neither copied nor
/// moved.
struct Term {
  Term() = default;
  Term(const Term&) = delete;
  Term& operator=(const Term&) = delete;
  ~Term() { Clear(); }

  TermChars inputs() const { return {this, false}; }    // one character per input variable
  TermChars outputs() const { return {this, true}; }    // one character per output
  int32_t dashCount() const;   // characters of inputs that are neither '0' nor '1'
  int32_t onesCount() const;   // '1' characters of inputs
  int32_t zerosCount() const;  // '0' characters of inputs

  /// Sets the character of output j.
  void SetOutput(size_t j, char c);
  /// Writes the characters of a new term, or of a slot being reused;
  /// `packed`, when given, holds the planes of the pure input part.
  void Assign(std::string_view inputs, std::string_view outputs, const uint64_t* packed = nullptr);
  /// Empties a freed term: no characters until it is reused.
  void Clear();

  /// True when the characters are held packed (not as text, not freed).
  bool packed() const { return state() == State::kPacked; }
  /// The input planes of a packed term: InputWords literal words, then as
  /// many value words.
  const uint64_t* inputWords() const { return Words(); }
  const uint64_t* outputWords() const { return Words() + 2 * packing::InputWords(inputSize()); }
  size_t inputSize() const {
    return packed() ? shape_ >> kSizeShift & kPackedMost : state() == State::kText ? Held().inputSize : 0;
  }
  size_t outputSize() const {
    return packed() ? shape_ >> (kSizeShift + kSizeBits) : state() == State::kText ? Held().chars.size() - Held().inputSize : 0;
  }
  /// The characters of a term held as text: input part, then output part.
  const std::string& text() const { return Held().chars; }

  // Place in the order of creation, which is the order of `terms`: every
  // later term has a greater one.
  uint64_t serial = 0;
  // Storage slot of this term, dense in [0, SlotCount); a freed slot is
  // reused by a later term. Lets passes keep per-term state in arrays.
  int32_t slot = -1;

  /// Bytes of a slot: the header and the packed words.
  static size_t SlotBytes(size_t inputs, size_t outputs) {
    return sizeof(Term) + 8 * (2 * packing::InputWords(inputs) + packing::OutputWords(outputs));
  }

 private:
  enum class State : uint32_t { kPacked, kText, kFree };
  // A term held as text keeps its characters and its input count apart.
  struct TextChars {
    std::string chars;
    size_t inputSize;
  };
  // The header's last word: the state in the low two bits, and for a packed
  // term its input and output counts above them. A term of more places than
  // the fields hold is held as text.
  static constexpr uint32_t kSizeShift = 2, kSizeBits = 15;
  static constexpr uint32_t kPackedMost = (uint32_t{1} << kSizeBits) - 1;
  State state() const { return static_cast<State>(shape_ & 3); }
  void SetState(State s, size_t inputs = 0, size_t outputs = 0) {
    shape_ = static_cast<uint32_t>(s) | static_cast<uint32_t>(inputs) << kSizeShift |
             static_cast<uint32_t>(outputs) << (kSizeShift + kSizeBits);
  }
  uint64_t* Words() { return reinterpret_cast<uint64_t*>(this + 1); }
  const uint64_t* Words() const { return reinterpret_cast<const uint64_t*>(this + 1); }
  TextChars& Held() const { return **reinterpret_cast<TextChars* const*>(Words()); }
  std::string& Text() { return Held().chars; }
  void ToText();

  uint32_t shape_ = static_cast<uint32_t>(State::kFree);
};

// Inline: the load and every change of an output's ON list count a term's
// dashes.
inline int32_t Term::dashCount() const {
  const size_t inputs = inputSize();
  if (state() == State::kText) {
    int32_t dashes = 0;
    for (size_t i = 0; i < inputs; ++i) dashes += text()[i] != '0' && text()[i] != '1';
    return dashes;
  }
  int32_t literals = 0;
  for (size_t w = 0; w < packing::InputWords(inputs); ++w) literals += PopCount(Words()[w]);
  return static_cast<int32_t>(inputs) - literals;
}
static_assert(sizeof(void*) != 8 || sizeof(Term) == 16);

inline size_t TermChars::size() const { return outputs_ ? term_->outputSize() : term_->inputSize(); }

inline char TermChars::operator[](size_t i) const {
  if (term_->packed()) {
    if (outputs_) return packing::kOutputChar[term_->outputWords()[i / 32] >> (2 * (i % 32)) & 3];
    const size_t w = packing::InputWords(term_->inputSize());
    const uint64_t* bits = term_->inputWords();
    const bool literal = (bits[i / 64] >> (i % 64) & 1) != 0;
    const bool value = (bits[w + i / 64] >> (i % 64) & 1) != 0;
    return literal ? (value ? '1' : '0') : '-';
  }
  return term_->text()[outputs_ ? term_->inputSize() + i : i];
}

constexpr uint32_t kNoSlot = UINT32_MAX;

/// Storage of the terms by slot, in fixed chunks so that a term never moves;
/// each slot holds a term and its packed characters. A freed slot keeps its
/// term with empty inputs and outputs until it is reused.
class TermPool {
 public:
  TermPool() = default;
  TermPool(const TermPool&) = delete;
  TermPool& operator=(const TermPool&) = delete;
  ~TermPool();

  Term& operator[](size_t slot) { return *At(slot); }
  const Term& operator[](size_t slot) const { return *At(slot); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  /// Sets the shape of the terms; only while the pool is empty. A chunk
  /// holds up to 2^18 slots but at most 16 MiB when slots are wide; its
  /// memory is written only as slots are taken, so that a few terms take
  /// memory in proportion to themselves rather than to a whole chunk.
  void SetShape(size_t inputs, size_t outputs);
  /// Constructs the term of the next slot, without characters.
  Term& Grow();

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
  Term* At(size_t slot) const {
    return reinterpret_cast<Term*>(chunks_[slot >> chunkBits_] + (slot & chunkMask_) * slotWords_);
  }

  size_t chunkBits_ = 12;
  size_t chunkMask_ = (size_t{1} << 12) - 1;
  std::vector<uint64_t*> chunks_;  // raw storage, terms built as slots are taken
  size_t size_ = 0;
  size_t slotWords_ = 0;
  uint32_t inputs_ = 0;
  uint32_t outputs_ = 0;
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
  SlotMap live;  // moved slot: list << 40 | entry, or kNoEntry
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

  /// Drops the dead entries; the live entries of moved terms move with them.
  void Compact();

  template <typename F>
  void ForEach(F&& f) const {
    const bool anyMoved = group_ != nullptr && !group_->live.empty();
    entries_.ForEachFrom(firstLive_, [&](size_t i, uint32_t s) {
      if (!anyMoved || Live(i)) f(&(*pool_)[s]);
    });
  }

 private:
  bool Live(size_t i) const;

  TermPool* pool_ = nullptr;
  ListGroup* group_ = nullptr;
  uint64_t id_ = 0;
  SlotSequence entries_;
  mutable size_t firstLive_ = 0;  // no live entry comes before it
  size_t dead_ = 0;
  int32_t count_ = 0;
};

inline bool TermList::Live(size_t i) const {
  const uint32_t s = entries_[i];
  if (!group_->IsMoved(s)) return true;
  const uint64_t* at = group_->live.Find(s);
  return at != nullptr && *at == (id_ << 40 | i);
}

inline void TermList::Append(Term* t) {
  const uint32_t s = static_cast<uint32_t>(t->slot);
  if (group_->IsMoved(s)) group_->live[s] = id_ << 40 | entries_.size();
  entries_.push_back(s);
  ++count_;
}

/// Index from pure input part to term slot: an open-addressing table with
/// linear probing, at most three quarters full, each entry keeping 32 bits of
/// its part's hash (its tag) so that neither probing nor growing reads a
/// term; a filter of two bits per tag, an eighth of the table's size, that
/// tells most absent parts without reading the table; and up to 64 entries not yet placed
/// in the table, placed together so that their table memory is fetched at once.
struct InputPartIndex {
  struct Entry {
    uint32_t slot = kNoSlot;
    uint32_t tag = 0;
  };
  std::vector<Entry, HugePageAllocator<Entry>> entries;  // any size of whole cache lines, or empty
  std::vector<Entry> pending;
  std::vector<uint64_t, HugePageAllocator<uint64_t>> filter;
  int filterShift = 63;
  size_t used = 0;  // entries in the table and pending
  size_t erasedSinceFilter = 0;
  size_t size() const { return used; }
};

/// 2^-literals, the share of the space that a cube of that many literals
/// holds: from a table below 64 literals, from ldexp above (the same values).
inline double ShareOfLiterals(int32_t literals) {
  static constexpr std::array<double, 64> kShareOf = [] {
    std::array<double, 64> shares{};
    double share = 1.0;
    for (double& s : shares) {
      s = share;
      share /= 2.0;
    }
    return shares;
  }();
  return literals < 64 ? kShareOf[static_cast<size_t>(literals)] : std::ldexp(1.0, -literals);
}

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

/// The term's ShareOfLiterals (every input character other than '0' and '1'
/// counted as '-').
inline double ShareOf(const Term& term) {
  return ShareOfLiterals(static_cast<int32_t>(term.inputSize()) - term.dashCount());
}

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
