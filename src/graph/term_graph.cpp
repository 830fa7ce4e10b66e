// Term graph records, initialisation, term storage and the list selectors.
#include "graph/term_graph.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "common/bit_count.hpp"

namespace tavro {

TermPool::~TermPool() {
  for (size_t slot = 0; slot < size_; ++slot) (*this)[slot].~Term();
  for (uint64_t* chunk : chunks_) std::allocator<uint64_t>().deallocate(chunk, (chunkMask_ + 1) * slotWords_);
}

void TermPool::SetShape(size_t inputs, size_t outputs) {
  inputs_ = static_cast<uint32_t>(inputs);
  outputs_ = static_cast<uint32_t>(outputs);
  const size_t slotBytes = Term::SlotBytes(inputs, outputs);
  slotWords_ = slotBytes / 8;
  chunkBits_ = 18;
  while (chunkBits_ > 0 && (slotBytes << chunkBits_) > (size_t{16} << 20)) --chunkBits_;
  chunkMask_ = (size_t{1} << chunkBits_) - 1;
  // The table of chunks never moves once shaped, so that threads that read
  // terms may run while another adds some: it has room for every slot a
  // term can have (2^31), within 1 TiB of terms.
  const size_t chunkBytes = slotBytes << chunkBits_;
  chunks_.reserve(std::min((size_t{1} << 31) >> chunkBits_, (size_t{1} << 40) / chunkBytes) + 1);
}

// Chunks are taken raw and their terms built one by one: memory that no term
// has reached is only reserved, so a small graph costs what it fills of its
// first chunk. They are written in slot order, so small pages serve them as
// well as huge ones (which were slower in a trial).
Term& TermPool::Grow() {
  if ((size_ & chunkMask_) == 0) {
    if (chunks_.size() == chunks_.capacity()) throw std::bad_alloc();
    chunks_.push_back(std::allocator<uint64_t>().allocate((chunkMask_ + 1) * slotWords_));
  }
  const size_t slot = size_;
  Term* term = new (At(slot)) Term();
  ++size_;
  term->slot = static_cast<int32_t>(slot);
  return *term;
}

std::string TermChars::str() const {
  std::string text(size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = (*this)[i];
  return text;
}

/// Writes the two input planes of `inputs` (each `words` long); false when a
/// character has no code. Eight characters at a time where the first lands
/// in the lowest byte.
bool packing::PackInputs(std::string_view inputs, uint64_t* planes, size_t words) {
  std::fill(planes, planes + 2 * words, 0);
  uint64_t unknown = 0;
  size_t i = 0;
  for (; std::endian::native == std::endian::little && i + 8 <= inputs.size(); i += 8) {
    uint64_t eight;
    std::memcpy(&eight, inputs.data() + i, 8);
    const uint64_t ones = packing::BytesEqual(eight, '1');
    const uint64_t literals = ones | packing::BytesEqual(eight, '0');
    unknown |= ~(literals | packing::BytesEqual(eight, '-')) & 0xFF;
    planes[i / 64] |= literals << (i % 64);
    planes[words + i / 64] |= ones << (i % 64);
  }
  for (; i < inputs.size(); ++i) {
    const char c = inputs[i];
    unknown |= c != '0' && c != '1' && c != '-';
    planes[i / 64] |= uint64_t{c == '0' || c == '1'} << (i % 64);
    planes[words + i / 64] |= uint64_t{c == '1'} << (i % 64);
  }
  return unknown == 0;
}

namespace {

/// The eight low bits of x, moved to the even places of sixteen.
uint64_t SpreadByte(uint64_t x) {
  x = (x | x << 4) & 0x0F0FULL;
  x = (x | x << 2) & 0x3333ULL;
  return (x | x << 1) & 0x5555ULL;
}

/// Writes the two-bit output codes, eight characters at a time where the
/// first lands in the lowest byte; false when a character has no code.
bool PackOutputs(std::string_view outputs, uint64_t* codes) {
  std::fill(codes, codes + packing::OutputWords(outputs.size()), 0);
  uint64_t unknown = 0;
  size_t j = 0;
  for (; std::endian::native == std::endian::little && j + 8 <= outputs.size(); j += 8) {
    uint64_t eight;
    std::memcpy(&eight, outputs.data() + j, 8);
    const uint64_t ones = packing::BytesEqual(eight, '1');
    const uint64_t zeros = packing::BytesEqual(eight, '0');
    const uint64_t dashes = packing::BytesEqual(eight, '-');
    unknown |= ~(ones | zeros | dashes | packing::BytesEqual(eight, '~')) & 0xFF;
    // '1' is 01, '0' 10, '-' 11: the low bit for '1' and '-', the high for '0' and '-'.
    codes[j / 32] |= (SpreadByte(ones | dashes) | SpreadByte(zeros | dashes) << 1) << (2 * (j % 32));
  }
  for (; j < outputs.size(); ++j) {
    const uint8_t code = packing::OutputCode(outputs[j]);
    unknown |= code >> 2;
    codes[j / 32] |= uint64_t{code & 3u} << (2 * (j % 32));
  }
  return unknown == 0;
}

}  // namespace

int32_t Term::onesCount() const {
  const size_t inputs = inputSize();
  if (state() == State::kText) return static_cast<int32_t>(std::count(text().begin(), text().begin() + static_cast<std::ptrdiff_t>(inputs), '1'));
  const size_t words = packing::InputWords(inputs);
  int32_t ones = 0;
  for (size_t w = 0; w < words; ++w) ones += PopCount(Words()[w] & Words()[words + w]);
  return ones;
}

int32_t Term::zerosCount() const {
  const size_t inputs = inputSize();
  if (state() == State::kText) return static_cast<int32_t>(std::count(text().begin(), text().begin() + static_cast<std::ptrdiff_t>(inputs), '0'));
  const size_t words = packing::InputWords(inputs);
  int32_t zeros = 0;
  for (size_t w = 0; w < words; ++w) zeros += PopCount(Words()[w] & ~Words()[words + w]);
  return zeros;
}

void Term::Assign(std::string_view inputs, std::string_view outputs, const uint64_t* packed) {
  const size_t words = packing::InputWords(inputs.size());
  uint64_t* planes = Words();
  if (state() != State::kText) {
    // Packing writes every word of the slot; the first word is the text's
    // address only once the term is held as text.
    const bool fits = inputs.size() <= kPackedMost && outputs.size() <= kPackedMost;
    const bool pure = fits && (packed != nullptr ? (std::copy_n(packed, 2 * words, planes), true)
                                                 : packing::PackInputs(inputs, planes, words));
    if (pure && PackOutputs(outputs, planes + 2 * words)) {
      SetState(State::kPacked, inputs.size(), outputs.size());
      return;
    }
    *reinterpret_cast<TextChars**>(planes) = new TextChars{};
    SetState(State::kText);
  }
  Held().chars.assign(inputs).append(outputs);
  Held().inputSize = inputs.size();
}

void Term::SetOutput(size_t j, char c) {
  if (state() == State::kPacked) {
    const uint8_t code = packing::OutputCode(c);
    if (code < 4) {
      uint64_t& word = Words()[2 * packing::InputWords(inputSize()) + j / 32];
      word = (word & ~(uint64_t{3} << (2 * (j % 32)))) | uint64_t{code} << (2 * (j % 32));
      return;
    }
    ToText();
  }
  Text()[inputSize() + j] = c;
}

void Term::ToText() {
  const size_t inputCount = inputSize();
  std::string chars = inputs().str() + outputs().str();
  *reinterpret_cast<TextChars**>(Words()) = new TextChars{std::move(chars), inputCount};
  SetState(State::kText);
}

void Term::Clear() {
  if (state() == State::kText) delete &Held();
  SetState(State::kFree);
}

Term* TermList::First() const {
  const bool anyMoved = group_ != nullptr && !group_->live.empty();
  while (firstLive_ < entries_.size() && anyMoved && !Live(firstLive_)) ++firstLive_;
  return firstLive_ < entries_.size() ? &(*pool_)[entries_[firstLive_]] : nullptr;
}

void TermList::Remove(Term* t) {
  const uint32_t s = static_cast<uint32_t>(t->slot);
  group_->SetMoved(s);
  group_->live[s] = ListGroup::kNoEntry;
  --count_;
  ++dead_;
  if (dead_ > 64 && dead_ > static_cast<size_t>(count_)) Compact();
}

void TermList::Compact() {
  size_t kept = 0;
  for (size_t i = firstLive_; i < entries_.size(); ++i) {
    if (!Live(i)) continue;
    const uint32_t s = entries_[i];
    if (group_->IsMoved(s)) group_->live[s] = id_ << 40 | kept;
    entries_[kept++] = s;
  }
  entries_.Truncate(kept);
  firstLive_ = 0;
  dead_ = 0;
}

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

// Eight characters at a time where the first lands in the lowest byte.
bool IsPureInputPart(std::string_view inputs) {
  size_t i = 0;
  for (; std::endian::native == std::endian::little && i + 8 <= inputs.size(); i += 8) {
    uint64_t eight;
    std::memcpy(&eight, inputs.data() + i, 8);
    const uint64_t pure = packing::BytesEqual(eight, '0') | packing::BytesEqual(eight, '1') | packing::BytesEqual(eight, '-');
    if (pure != 0xFF) return false;
  }
  for (; i < inputs.size(); ++i) {
    if (inputs[i] != '0' && inputs[i] != '1' && inputs[i] != '-') return false;
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
  graph.termPool.SetShape(static_cast<size_t>(inputCount), static_cast<size_t>(outputCount));
  graph.listGroups.reset(new ListGroup[static_cast<size_t>(outputCount) + 1]);
  graph.terms = TermList(&graph.termPool, &graph.listGroups[static_cast<size_t>(outputCount)], 0);
  graph.outputLists.clear();
  graph.outputLists.reserve(static_cast<size_t>(outputCount));
  for (size_t j = 0; j < static_cast<size_t>(outputCount); ++j) {
    graph.outputLists.emplace_back(&graph.termPool, &graph.listGroups[j]);
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

uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

// A word at a time; the number of words enters the last step.
uint64_t HashOfPlanes(const uint64_t* planes, size_t words) {
  uint64_t h = 0x9e3779b97f4a7c15ULL;
  for (size_t w = 0; w < 2 * words; ++w) {
    h = (h ^ planes[w]) * 0x9fb21c651e98df25ULL;
    h ^= h >> 29;
  }
  return Mix(h ^ (static_cast<uint64_t>(words) << 56));
}

/// The planes of one input part, on the stack for up to 256 inputs.
class PlaneBuffer {
 public:
  explicit PlaneBuffer(size_t words) {
    if (2 * words > kLocal) heap_.resize(2 * words);
  }
  uint64_t* data() { return heap_.empty() ? local_ : heap_.data(); }

 private:
  static constexpr size_t kLocal = 8;
  uint64_t local_[kLocal];
  std::vector<uint64_t> heap_;
};

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

/// The planes of a term with a pure input part, packed or held as text.
const uint64_t* PlanesOf(const Term& t, PlaneBuffer& buffer) {
  if (t.packed()) return t.inputWords();
  packing::PackInputs(t.inputs().str(), buffer.data(), packing::InputWords(t.inputSize()));
  return buffer.data();
}

// The tag is the upper half of the hash, and an entry's home position is its
// tag scaled to the table's size (a multiply and a shift, so the size need not
// be a power of two), so the tag alone places an entry (slots, and so
// entries, are fewer than 2^32); the filter's bits come from the tag too.
uint32_t TagOf(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

using Entry = InputPartIndex::Entry;

size_t Home(const InputPartIndex& index, uint32_t tag) {
  return static_cast<size_t>((uint64_t{tag} * index.entries.size()) >> 32);
}

// The place after `at` in probe order, which wraps at the table's end.
size_t Next(const InputPartIndex& index, size_t at) { return at + 1 == index.entries.size() ? 0 : at + 1; }

void Prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  static_cast<void>(address);
#endif
}

// Two bits of one filter word per tag.
uint64_t FilterMix(uint32_t tag) { return tag * 0x9e3779b97f4a7c15ULL; }
size_t FilterWord(const InputPartIndex& index, uint64_t mix) {
  return static_cast<size_t>(mix >> index.filterShift);
}
uint64_t FilterBits(uint64_t mix) { return (uint64_t{1} << (mix & 63)) | (uint64_t{1} << ((mix >> 6) & 63)); }

void FilterAdd(InputPartIndex& index, uint32_t tag) {
  const uint64_t mix = FilterMix(tag);
  index.filter[FilterWord(index, mix)] |= FilterBits(mix);
}

bool FilterMayHold(const InputPartIndex& index, uint32_t tag) {
  const uint64_t mix = FilterMix(tag);
  const uint64_t bits = FilterBits(mix);
  return (index.filter[FilterWord(index, mix)] & bits) == bits;
}

void PlaceEntry(InputPartIndex& index, uint32_t tag, uint32_t slot) {
  size_t at = Home(index, tag);
  while (index.entries[at].slot != kNoSlot) at = Next(index, at);
  index.entries[at] = Entry{slot, tag};
}

// Places the pending entries; their homes are fetched some entries ahead, so
// that the table's memory is waited for by many entries at once.
void Flush(InputPartIndex& index) {
  constexpr size_t kAhead = 8;
  const size_t count = index.pending.size();
  for (size_t i = 0; i < std::min(count, kAhead); ++i) {
    Prefetch(&index.entries[Home(index, index.pending[i].tag)]);
  }
  for (size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) Prefetch(&index.entries[Home(index, index.pending[i + kAhead].tag)]);
    PlaceEntry(index, index.pending[i].tag, index.pending[i].slot);
  }
  index.pending.clear();
}

void RebuildFilter(InputPartIndex& index) {
  // Eight to sixteen bits per place of the table (at least 11 per entry it
  // may hold), a power of two of words, and at least two, so that the word
  // index takes at least one bit of the mix (a shift by 64 would not be
  // defined).
  const size_t words = std::bit_ceil(std::max<size_t>(2, index.entries.size() / 8));
  index.filter.assign(words, 0);
  index.filterShift = 64 - std::countr_zero(words);
  for (const Entry& e : index.entries) {
    if (e.slot != kNoSlot) FilterAdd(index, e.tag);
  }
  for (const Entry& e : index.pending) FilterAdd(index, e.tag);
  index.erasedSinceFilter = 0;
}

void Resize(InputPartIndex& index, size_t capacity) {
  decltype(index.entries) old;
  old.swap(index.entries);
  index.entries.assign(capacity, Entry{});
  for (const Entry& e : old) {
    if (e.slot != kNoSlot) PlaceEntry(index, e.tag, e.slot);
  }
  Flush(index);
  RebuildFilter(index);
}

// At most three quarters full: with the filter in front, most lookups of
// absent parts never probe, and those that do stay within a line or two.
bool Crowded(size_t entries, size_t capacity) { return 4 * entries > 3 * capacity; }

// The least capacity that holds `terms` uncrowded, in whole cache lines.
size_t CapacityFor(size_t terms) {
  constexpr size_t kLine = 64 / sizeof(InputPartIndex::Entry);
  const size_t capacity = std::max<size_t>(16, (4 * terms + 2) / 3);
  return (capacity + kLine - 1) / kLine * kLine;
}

/// True when an indexed term has the input planes `planes`.
bool SamePlanes(const Term& t, const uint64_t* planes, size_t words) {
  PlaneBuffer buffer(words);
  const uint64_t* own = PlanesOf(t, buffer);
  return std::equal(planes, planes + 2 * words, own);
}

// Most parts looked up name no term; the filter, far smaller than the table,
// answers those without reading the table.
Term* Find(const TermGraph& graph, const uint64_t* planes, uint64_t hash) {
  const size_t words = packing::InputWords(static_cast<size_t>(graph.inputCount));
  const InputPartIndex& index = graph.termByInputs;
  const uint32_t tag = TagOf(hash);
  if (index.entries.empty() || !FilterMayHold(index, tag)) return nullptr;
  for (const Entry& e : index.pending) {
    if (e.tag != tag) continue;
    const Term& t = graph.termPool[e.slot];
    if (SamePlanes(t, planes, words)) return const_cast<Term*>(&t);
  }
  for (size_t at = Home(index, tag);; at = Next(index, at)) {
    const Entry& e = index.entries[at];
    if (e.slot == kNoSlot) return nullptr;
    if (e.tag == tag) {
      const Term& t = graph.termPool[e.slot];
      if (SamePlanes(t, planes, words)) return const_cast<Term*>(&t);
    }
  }
}

void Insert(InputPartIndex& index, uint32_t tag, uint32_t slot) {
  constexpr size_t kPendingAtMost = 64;
  if (Crowded(index.used + 1, index.entries.size())) {
    Resize(index, CapacityFor(std::max<size_t>(index.used + 1, 2 * index.used)));
  }
  FilterAdd(index, tag);
  index.pending.push_back(Entry{slot, tag});
  ++index.used;
  if (index.pending.size() == kPendingAtMost) Flush(index);
}

// Backward-shift deletion: later entries of the probe run move up, so no
// marker of a deleted entry is needed. The filter keeps the entry's bits
// until it is rebuilt.
void Erase(InputPartIndex& index, const Term& term) {
  if (index.entries.empty()) return;
  Flush(index);
  const uint32_t slot = static_cast<uint32_t>(term.slot);
  PlaneBuffer buffer(packing::InputWords(term.inputSize()));
  size_t at = Home(index, TagOf(HashOfPlanes(PlanesOf(term, buffer), packing::InputWords(term.inputSize()))));
  while (index.entries[at].slot != slot) {
    if (index.entries[at].slot == kNoSlot) return;
    at = Next(index, at);
  }
  size_t hole = at;
  for (size_t next = Next(index, at);; next = Next(index, next)) {
    const Entry e = index.entries[next];
    if (e.slot == kNoSlot) break;
    const size_t home = Home(index, e.tag);
    // The entry may fill the hole unless its home lies after the hole, in
    // probe order, up to its own place.
    const bool homeBetween = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (!homeBetween) {
      index.entries[hole] = e;
      hole = next;
    }
  }
  index.entries[hole] = Entry{};
  --index.used;
  // A table far larger than its entries would make every filter rebuild
  // cost the table's size; it shrinks once it is an eighth full.
  if (index.entries.size() > 64 && 8 * index.used < index.entries.size()) {
    Resize(index, CapacityFor(index.used));
  } else if (++index.erasedSinceFilter > index.used) {
    RebuildFilter(index);
  }
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

void PrefetchLookup(const TermGraph& graph, uint64_t hash) {
  const InputPartIndex& index = graph.termByInputs;
  if (index.entries.empty()) return;
  const uint32_t tag = TagOf(hash);
  Prefetch(&index.filter[FilterWord(index, FilterMix(tag))]);
  Prefetch(&index.entries[Home(index, tag)]);
}

void ReleaseTermIndex(TermGraph& graph) { graph.termByInputs = InputPartIndex{}; }

void ReserveTerms(TermGraph& graph, size_t terms) {
  const size_t capacity = CapacityFor(terms);
  if (capacity > graph.termByInputs.entries.size()) Resize(graph.termByInputs, capacity);
}

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
  if (planes != nullptr) Insert(graph.termByInputs, TagOf(hash), static_cast<uint32_t>(term->slot));
  return *term;
}

void FreeTerm(TermGraph& graph, Term& term) {
  Erase(graph.termByInputs, term);
  --graph.termsByDash[static_cast<size_t>(term.dashCount())];
  term.Clear();
  graph.freeSlots.push_back(term.slot);
}

}  // namespace tavro
