// The per-output tautology search: a depth-first search over partial input
// assignments for a cube that no ON term meets, on an explicit stack of frames.
//
// The witness printed depends on every order below: the working list starts
// as onTerms stably sorted by dashCount (largest first), the first working term
// is branched on at its lowest free variable, the working terms a branch sets
// aside are taken in onTerms order, and backtracking appends the restored
// terms and then the frame's own term at the end of the working list.
//
// Terms are named by their position in the output's onTerms list (local
// index), so the per-term state lives in arrays.
#include "tautology/check_tautology.hpp"

#include <algorithm>
#include <cassert>
#include <bit>
#include <cmath>
#include <vector>

#include "common/bit_count.hpp"
#include "common/huge_pages.hpp"
#include "common/progress_hook.hpp"
#include "tautology/cover_check.hpp"

namespace tavro {
namespace {

size_t Z(int32_t i) { return static_cast<size_t>(i); }

// A branch of a search of a million terms may take tens of microseconds: the
// search tells of its branches more often than other loops of their steps,
// so that a stop asked through the hook is seen within a fraction of a second.
constexpr int64_t kSearchProgressStride = int64_t{1} << 12;

void CheckOutputIndex(const TermGraph& graph, int32_t output) {
  if (output < 0 || output >= graph.outputCount) throw "wrong number of output";
}

/// What the search reads of the output's ON terms, rebuilt for each output
/// in buffers that keep their memory from one output to the next.
struct TermIndex {
  int32_t termCount = 0;
  int32_t inputCount = 0;
  // The input planes of each term, onTerms order: `words` literal words,
  // then as many value words. A character other than '0', '1', '-' has the
  // value bit without the literal bit. A packed term's planes are its own
  // words in the pool, named by its slot (four bytes a term where a pointer
  // would take eight); a term held as text gets planes of its own in
  // `ownPlanes`, named by their number with kOwnPlanes set.
  static constexpr uint32_t kOwnPlanes = uint32_t{1} << 31;
  const TermPool* pool = nullptr;
  std::vector<uint32_t> planes;
  std::vector<uint64_t> ownPlanes;
  size_t words = 0;
  const uint64_t* PlanesOf(int32_t t) const {
    const uint32_t at = planes[Z(t)];
    if ((at & kOwnPlanes) != 0) return &ownPlanes[2 * words * (at & ~kOwnPlanes)];
    return (*pool)[at].inputWords();
  }
  // The same bits by variable, 64 terms to a word (bit p % 64 of word p / 64
  // for local index p): for variable v, `blocks` words of the terms' literal
  // bits at columns[2 * v * blocks], then as many of their value bits. A
  // branch reads the two columns of its variable to find the terms with its
  // literal, 64 at a time and in local index order.
  std::vector<uint64_t> columns;
  size_t blocks = 0;
  const uint64_t* Column(int32_t v, size_t plane) const { return &columns[(2 * Z(v) + plane) * blocks]; }
};

/// Planes of a term held as text, appended to `out`.
void PlanesOfText(const Term& t, size_t words, std::vector<uint64_t>& out) {
  const size_t at = out.size();
  out.resize(at + 2 * words, 0);
  const TermChars inputs = t.inputs();
  for (size_t v = 0; v < inputs.size(); ++v) {
    const char c = inputs[v];
    const uint64_t bit = uint64_t{1} << (v % 64);
    if (c == '0' || c == '1') out[at + v / 64] |= bit;
    if (c != '0' && c != '-') out[at + words + v / 64] |= bit;
  }
}

/// Transposes a 64 x 64 matrix of bits: bit k of a[j] becomes the bit j of
/// a[k] that was. Blocks of half the size are swapped across the diagonal,
/// from 32 x 32 down to single bits.
void Transpose64(uint64_t* a) {
  uint64_t mask = 0x00000000FFFFFFFFULL;
  for (size_t j = 32; j != 0; j >>= 1, mask ^= mask << j) {
    for (size_t k = 0; k < 64; k = ((k | j) + 1) & ~j) {
      const uint64_t swap = ((a[k] >> j) ^ a[k | j]) & mask;
      a[k] ^= swap << j;
      a[k | j] ^= swap;
    }
  }
}

/// Fills block b of the columns (terms 64 b to 64 b + 63) from their planes,
/// and their `dashCounts` (characters not '0' or '1') on the way, 64
/// variables at a time, so that each term's planes are read once.
void BuildBlock(TermIndex& index, std::vector<int32_t>& dashCounts, size_t b) {
  const size_t terms = Z(index.termCount);
  const size_t inputs = Z(index.inputCount);
  const size_t count = std::min<size_t>(64, terms - 64 * b);
  const uint64_t* planes[64];
  for (size_t k = 0; k < count; ++k) planes[k] = index.PlanesOf(static_cast<int32_t>(64 * b + k));
  uint64_t square[64];
  for (size_t plane = 0; plane < 2; ++plane) {
    for (size_t w = 0; w < index.words; ++w) {
      for (size_t k = 0; k < 64; ++k) {
        square[k] = k < count ? planes[k][plane * index.words + w] : 0;
      }
      if (plane == 0) {
        for (size_t k = 0; k < count; ++k) dashCounts[64 * b + k] -= PopCount(square[k]);
      }
      Transpose64(square);
      for (size_t j = 0; j < 64 && 64 * w + j < inputs; ++j) {
        index.columns[(2 * (64 * w + j) + plane) * index.blocks + b] = square[j];
      }
    }
  }
}

/// The index of the output's ON terms, and in `dashCounts` their dashCounts
/// (one more place left over). Each block of the columns is filled as soon
/// as the walk of the list has passed its 64 terms, while their planes are
/// still in the cache.
void BuildTermIndex(const TermGraph& graph, int32_t output, TermIndex& index, std::vector<int32_t>& dashCounts) {
  const TermList& onTerms = graph.outputLists[Z(output)].onTerms;
  index.termCount = onTerms.Count();
  index.inputCount = graph.inputCount;
  index.words = packing::InputWords(Z(graph.inputCount));
  index.pool = &graph.termPool;
  index.planes.clear();  // its capacity was set for this output (ReserveForLaterOutputs)
  index.ownPlanes.clear();
  index.blocks = (Z(index.termCount) + 63) / 64;
  index.columns.resize(2 * Z(index.inputCount) * index.blocks);  // every word is written below
  dashCounts.assign(Z(index.termCount) + 1, index.inputCount);
  size_t built = 0;
  uint32_t own = 0;  // terms held as text so far
  onTerms.ForEach([&](const Term* t) {
    if (t->packed()) {
      index.planes.push_back(static_cast<uint32_t>(t->slot));
    } else {
      index.planes.push_back(TermIndex::kOwnPlanes | own++);
      PlanesOfText(*t, index.words, index.ownPlanes);
    }
    if (index.planes.size() % 64 == 0) BuildBlock(index, dashCounts, built++);
  });
  for (; built < index.blocks; ++built) BuildBlock(index, dashCounts, built);
}

/// workingTerms: a doubly-linked list over local indexes, entry `sentinel`
/// (= termCount) closing the ring, so membership and removal take constant
/// time and the order is kept.
struct WorkingList {
  int32_t sentinel = 0;
  int32_t count = 0;
  // Before the ring is made, `prev` holds each term's dashCount instead (see
  // StartSearch): the array a search needs anyway, where a list of its own
  // would add four bytes per term to the peak.
  std::vector<int32_t> prev;
  std::vector<int32_t> next;
  std::vector<uint64_t> holds;  // bit per term, set while it is in the list
};

int32_t First(const WorkingList& list) { return list.next[Z(list.sentinel)]; }

void Hold(WorkingList& list, int32_t t) { list.holds[Z(t) / 64] |= uint64_t{1} << (t % 64); }
void Release(WorkingList& list, int32_t t) { list.holds[Z(t) / 64] &= ~(uint64_t{1} << (t % 64)); }

void Append(WorkingList& list, int32_t t) {
  const int32_t last = list.prev[Z(list.sentinel)];
  list.prev[Z(t)] = last;
  list.next[Z(t)] = list.sentinel;
  list.next[Z(last)] = t;
  list.prev[Z(list.sentinel)] = t;
  Hold(list, t);
  ++list.count;
}

void Remove(WorkingList& list, int32_t t) {
  list.next[Z(list.prev[Z(t)])] = list.next[Z(t)];
  list.prev[Z(list.next[Z(t)])] = list.prev[Z(t)];
  Release(list, t);
  --list.count;
}

/// One assignment of the search. Its removedTerms are the entries of the
/// shared removal stack from removedBegin up to the next frame's removedBegin
/// (or the stack's top for the top frame), in the order they were taken out.
struct SearchFrame {
  int32_t branchTerm;  // local index of the term whose literal was negated
  int32_t assignedVariable;
  size_t removedBegin;
};

struct SearchState {
  std::string assignment;  // all '-' between searches
  std::vector<uint64_t> assigned;  // a bit per variable: assigned, not '-'
  WorkingList workingTerms;
  std::vector<int32_t> removedTerms;  // of every frame, bottom to top
  std::vector<SearchFrame> frameStack;
  std::vector<int32_t> chainHead;  // scratch of the sort by dashCount
  std::vector<int32_t> chainTail;
  std::vector<size_t> runBounds;  // scratch of SortRuns
  std::vector<int32_t> runMerged;
  int64_t branches = 0;
  ProgressHook progress;  // told of the branches every kSearchProgressStride
};

void Assign(SearchState& state, int32_t v, char value) {
  state.assignment[Z(v)] = value;
  state.assigned[Z(v) / 64] |= uint64_t{1} << (v % 64);
}

void Free(SearchState& state, int32_t v) {
  state.assignment[Z(v)] = '-';
  state.assigned[Z(v) / 64] &= ~(uint64_t{1} << (v % 64));
}

/// Frees the variables that the frames on the stack assigned (all of them,
/// since every assigned variable is a frame's) and empties the stack.
void ClearAssignment(SearchState& state) {
  for (const SearchFrame& frame : state.frameStack) Free(state, frame.assignedVariable);
  state.frameStack.clear();
}

/// Makes the working list of every ON term; `workingTerms.prev` holds their
/// dashCounts, as BuildTermIndex left them.
void StartSearch(const TermIndex& index, SearchState& state) {
  ClearAssignment(state);  // after a search that ended in an error
  if (state.assignment.size() != Z(index.inputCount)) {
    state.assignment.assign(Z(index.inputCount), '-');
    state.assigned.assign(index.words, 0);
  }
  state.removedTerms.clear();
  state.branches = 0;
  WorkingList& working = state.workingTerms;
  working.sentinel = index.termCount;
  working.count = 0;
  const size_t slots = Z(index.termCount) + 1;
  working.next.assign(slots, working.sentinel);
  working.holds.assign(slots / 64 + 1, 0);
  // Stable by dashCount, largest first: each term joins the chain of its
  // dashCount (linked both ways) in onTerms order, and the chains are then
  // joined end to head, largest dashCount first, into the ring. A term's
  // dashCount is read from prev before its back link replaces it; a chain's
  // head gets its back link when the chains are joined.
  std::vector<int32_t>& head = state.chainHead;
  std::vector<int32_t>& tail = state.chainTail;
  head.assign(Z(index.inputCount) + 1, -1);
  tail.assign(Z(index.inputCount) + 1, -1);
  for (int32_t p = 0; p < index.termCount; ++p) {
    const size_t d = Z(working.prev[Z(p)]);
    if (head[d] < 0) {
      head[d] = p;
    } else {
      working.next[Z(tail[d])] = p;
      working.prev[Z(p)] = tail[d];
    }
    tail[d] = p;
    Hold(working, p);
  }
  int32_t last = working.sentinel;
  for (size_t d = head.size(); d-- > 0;) {
    if (head[d] < 0) continue;
    working.next[Z(last)] = head[d];
    working.prev[Z(head[d])] = last;
    last = tail[d];
  }
  working.next[Z(last)] = working.sentinel;
  working.prev[Z(working.sentinel)] = last;
  working.count = index.termCount;
  // Every ON term is in one place (working, set aside by one frame, or a
  // frame's branch term) and each frame holds one variable: neither stack
  // ever grows past these sizes.
  state.removedTerms.reserve(Z(index.termCount));
  state.frameStack.reserve(std::min(Z(index.inputCount), Z(index.termCount)));
}

/// Lowest variable above `after` where term t has a character other than
/// '-' and the assignment is free; -1 when there is none. Reads 64
/// variables at a time.
int32_t FreeLiteral(const TermIndex& index, const SearchState& state, int32_t t, int32_t after) {
  const uint64_t* planes = index.PlanesOf(t);
  const size_t from = Z(after + 1);
  for (size_t w = from / 64; w < index.words; ++w) {
    uint64_t open = (planes[w] | planes[index.words + w]) & ~state.assigned[w];
    if (w == from / 64) open &= ~uint64_t{0} << (from % 64);
    if (open != 0) return static_cast<int32_t>(64 * w + static_cast<size_t>(std::countr_zero(open)));
  }
  return -1;
}

/// The character class of term t at variable v: '0', '1', '-', or '~' for
/// every other character.
char CharAt(const TermIndex& index, int32_t t, int32_t v) {
  const uint64_t* planes = index.PlanesOf(t);
  const bool literal = (planes[Z(v) / 64] >> (v % 64) & 1) != 0;
  const bool value = (planes[index.words + Z(v) / 64] >> (v % 64) & 1) != 0;
  return literal ? (value ? '1' : '0') : (value ? '~' : '-');
}

/// Sorts the terms of `state.removedTerms` from `begin` on. They come in
/// working-list order, which until the first backtrack is a few ascending
/// runs, one per dashCount: runs are merged pairwise, each merge a pass, and
/// only a list of many runs is sorted outright. The terms are distinct, so
/// either way gives the one ascending order.
void SortRuns(SearchState& state, size_t begin) {
  constexpr size_t kRunsAtMost = 16;
  std::vector<int32_t>& terms = state.removedTerms;
  std::vector<size_t>& bounds = state.runBounds;
  bounds.assign(1, begin);
  for (size_t k = begin + 1; k < terms.size(); ++k) {
    if (terms[k] > terms[k - 1]) continue;
    if (bounds.size() == kRunsAtMost) {
      std::sort(terms.begin() + static_cast<std::ptrdiff_t>(begin), terms.end());
      return;
    }
    bounds.push_back(k);
  }
  bounds.push_back(terms.size());
  const auto at = [&terms](size_t k) { return terms.begin() + static_cast<std::ptrdiff_t>(k); };
  while (bounds.size() > 2) {
    size_t kept = 1;
    for (size_t r = 0; r + 2 < bounds.size(); r += 2) {
      std::vector<int32_t>& merged = state.runMerged;
      merged.resize(bounds[r + 2] - bounds[r]);
      std::merge(at(bounds[r]), at(bounds[r + 1]), at(bounds[r + 1]), at(bounds[r + 2]), merged.begin());
      std::copy(merged.begin(), merged.end(), at(bounds[r]));
      bounds[kept++] = bounds[r + 2];
    }
    if (bounds.size() % 2 == 0) bounds[kept++] = bounds.back();
    bounds.resize(kept);
  }
}

/// Appends the working terms whose character at variable i is `literal` to
/// the removal stack, in local index order. Where many terms work, the
/// variable's columns and the working marks give them 64 at a time; where
/// few do (under a 1024th of the output, or a handful), their list is walked
/// and its runs merged.
void CollectWorking(const TermIndex& index, SearchState& state, int32_t i, char literal) {
  constexpr size_t kScanShare = 1024;
  constexpr size_t kWalkedAnyway = 16;
  const WorkingList& working = state.workingTerms;
  std::vector<int32_t>& removed = state.removedTerms;
  if (Z(working.count) < std::max(kWalkedAnyway, Z(index.termCount) / kScanShare)) {
    const size_t begin = removed.size();
    for (int32_t t = First(working); t != working.sentinel; t = working.next[Z(t)]) {
      if (CharAt(index, t, i) == literal) removed.push_back(t);
    }
    SortRuns(state, begin);
    return;
  }
  const uint64_t* literals = index.Column(i, 0);
  const uint64_t* values = index.Column(i, 1);
  const uint64_t flip = literal == '1' ? 0 : ~uint64_t{0};
  for (size_t b = 0; b < index.blocks; ++b) {
    for (uint64_t m = working.holds[b] & literals[b] & (values[b] ^ flip); m != 0; m &= m - 1) {
      removed.push_back(static_cast<int32_t>(64 * b + static_cast<size_t>(std::countr_zero(m))));
    }
  }
}

/// Negates e's literal at variable i, takes e out and sets aside the working
/// terms with that literal, in local index order. A character other than '0'
/// and '1' has no such terms: "wrong set", before anything changes.
void Branch(TermIndex& index, SearchState& state, int32_t e, int32_t i) {
  if ((++state.branches & (kSearchProgressStride - 1)) == 0 && state.progress) state.progress(state.branches);
  const char literal = CharAt(index, e, i);
  if (literal != '0' && literal != '1') throw "wrong set";
  Assign(state, i, literal == '1' ? '0' : '1');
  WorkingList& working = state.workingTerms;
  Remove(working, e);
  std::vector<int32_t>& removed = state.removedTerms;
  const size_t removedBegin = removed.size();
  CollectWorking(index, state, i, literal);
  for (size_t k = removedBegin; k < removed.size(); ++k) Remove(working, removed[k]);
  state.frameStack.push_back(SearchFrame{e, i, removedBegin});
}

/// True when a cube that no ON term meets was found: the assignment, whose
/// assigned variables are those of the frames on the stack. False for
/// "tautology".
bool RunSearch(TermIndex& index, SearchState& state) {
  WorkingList& working = state.workingTerms;
  for (;;) {
    const int32_t e = First(working);
    if (e == working.sentinel) return true;
    const int32_t i = FreeLiteral(index, state, e, -1);
    if (i >= 0) {
      Branch(index, state, e, i);
      continue;
    }
    // e covers every vector the assignment admits: backtrack to the next
    // untried literal of a term on the stack.
    for (;;) {
      if (state.frameStack.empty()) return false;
      const SearchFrame frame = state.frameStack.back();
      state.frameStack.pop_back();
      for (size_t k = frame.removedBegin; k < state.removedTerms.size(); ++k) {
        Append(working, state.removedTerms[k]);
      }
      state.removedTerms.resize(frame.removedBegin);
      Free(state, frame.assignedVariable);
      Append(working, frame.branchTerm);
      const int32_t j = FreeLiteral(index, state, frame.branchTerm, frame.assignedVariable);
      if (j >= 0) {
        Branch(index, state, frame.branchTerm, j);
        break;
      }
    }
  }
}

}  // namespace

struct SearchBuffers {
  TermIndex index;
  SearchState state;
};

void SearchBuffersDeleter::operator()(SearchBuffers* buffers) const { delete buffers; }

TautologyChecker::TautologyChecker() : cover(NewCoverCheckMemory()), search(new SearchBuffers()) {}

namespace {

// Large arrays are first written in full, page after page: huge pages make
// that one fault per 2 MiB instead of one per page.
template <typename T>
void AdviseHugePagesFor(std::vector<T>& array) {
  constexpr uintptr_t kPage = 4096;
  const auto begin = reinterpret_cast<uintptr_t>(array.data());
  const uintptr_t end = begin + array.capacity() * sizeof(T);
  const uintptr_t from = (begin + kPage - 1) & ~(kPage - 1), to = end & ~(kPage - 1);
  if (to > from && to - from >= (uintptr_t{4} << 20)) AdviseHugePages(reinterpret_cast<void*>(from), to - from);
}

/// The buffers are kept from one output's search to the next. Grown to each
/// output's ON count in turn, they would move to fresh memory whenever an
/// output has more ON terms than every one before it, and a gigabyte file
/// would pay for the new pages several times over (and hold the old and the
/// new array at once while copying). So when they must grow, they take the
/// size of the largest ON list among this output and the later ones that
/// may reach the search (those without OFF and don't-care cubes), or, when
/// the later outputs may not be read, a quarter more than this one's.
void ReserveForLaterOutputs(SearchBuffers& buffers, const TermGraph& graph, int32_t output, bool lookAhead) {
  if (Z(graph.outputLists[Z(output)].onTerms.Count()) <= buffers.index.planes.capacity()) return;
  size_t most = 0;
  const size_t end = lookAhead ? graph.outputLists.size() : Z(output) + 1;
  for (size_t o = Z(output); o < end; ++o) {
    const OutputTermLists& lists = graph.outputLists[o];
    if (lists.offTerms.Empty() && lists.dcTerms.Empty()) most = std::max(most, Z(lists.onTerms.Count()));
  }
  // Without a look at the later outputs, a quarter more than this one needs:
  // outputs of about one size then grow the buffers once, not at every
  // output larger than all before it.
  if (!lookAhead) most += most / 4;
  TermIndex& index = buffers.index;
  SearchState& state = buffers.state;
  const size_t blocks = (most + 63) / 64;
  index.planes = {};  // the old arrays go before the new ones come
  index.columns = {};
  state.workingTerms.prev = {};
  state.workingTerms.next = {};
  state.removedTerms = {};
  index.planes.reserve(most);
  index.columns.reserve(2 * Z(graph.inputCount) * blocks);
  state.workingTerms.prev.reserve(most + 1);
  state.workingTerms.next.reserve(most + 1);
  state.removedTerms.reserve(most);
  AdviseHugePagesFor(index.planes);
  AdviseHugePagesFor(index.columns);
  AdviseHugePagesFor(state.workingTerms.prev);
  AdviseHugePagesFor(state.workingTerms.next);
  AdviseHugePagesFor(state.removedTerms);
}

/// The search on the output's ON terms: kTautology, or kCube with the
/// assignment's literals appended.
OutputAnswer Search(SearchBuffers& buffers, const TermGraph& graph, int32_t output,
                    std::vector<CubeLiteral>& literals, SearchStats* stats, ProgressHook progress = {},
                    bool lookAhead = true) {
  SearchState& state = buffers.state;
  ReserveForLaterOutputs(buffers, graph, output, lookAhead);
  BuildTermIndex(graph, output, buffers.index, state.workingTerms.prev);
  StartSearch(buffers.index, state);
  state.progress = progress;
  const bool found = RunSearch(buffers.index, state);
  if (stats != nullptr) stats->branches += state.branches;
  OutputAnswer answer;
  answer.rule = AnswerRule::kSearch;
  if (found) {
    answer.kind = OutputAnswer::Kind::kCube;
    answer.literalsBegin = literals.size();
    for (const SearchFrame& frame : state.frameStack) {
      const int32_t v = frame.assignedVariable;
      literals.push_back(CubeLiteral{v, state.assignment[Z(v)]});
    }
    answer.literalsEnd = literals.size();
  }
  ClearAssignment(state);
  return answer;
}

}  // namespace

namespace {

/// False when the ON cubes together hold fewer vectors than the space (the sum
/// of 2^-literals is below 1), so that they cannot cover it and the cover
/// check could only leave the answer to the search. Every character other
/// than '0' and '1' counts as '-', which can only raise the sum. The answer
/// is that of the sum over a walk of the ON terms, at 0.999; the share the
/// graph keeps gives it without the walk unless it lies within its rounding
/// of that bound.
bool MayCoverEverything(const TermGraph& graph, int32_t output) {
  constexpr double kEnough = 0.999;
  const ShareBounds kept = OnShare(graph, output);
  if (kept.share - kept.slack >= kEnough) return true;
  if (kept.share + kept.slack < kEnough) return false;
  double share = 0;
  graph.outputLists[Z(output)].onTerms.ForEach([&](const Term* t) {
    share += ShareOfLiterals(graph.inputCount - t->dashCount());
  });
  return share >= kEnough;
}

}  // namespace

bool MeetsNoOnTerm(const TermGraph& graph, int32_t output, const CubeLiteral* literals, size_t count) {
  bool meetsNone = true;
  graph.outputLists[Z(output)].onTerms.ForEach([&](const Term* t) {
    bool meets = true;
    for (size_t k = 0; k < count && meets; ++k) {
      const char c = t->inputs()[Z(literals[k].variable)];
      meets = c == '-' || c == literals[k].value;
    }
    if (meets) meetsNone = false;
  });
  return meetsNone;
}

OutputAnswer DecideOutput(TautologyChecker& checker, const TermGraph& graph, int32_t output,
                          WitnessChoice choice, std::vector<CubeLiteral>& literals, SearchStats* stats) {
  CheckOutputIndex(graph, output);
  const OutputTermLists& lists = graph.outputLists[Z(output)];
  OutputAnswer answer;
  if (!lists.offTerms.Empty() || !lists.dcTerms.Empty()) {
    answer.kind = OutputAnswer::Kind::kTermInputs;
    const bool off = !lists.offTerms.Empty();
    answer.term = off ? lists.offTerms.First() : lists.dcTerms.First();
    answer.rule = off ? AnswerRule::kFirstOffCube : AnswerRule::kFirstDontCareCube;
    return answer;
  }
  // The cover check proves most tautologies at a tiny fraction of the search's
  // cost; the search would end in "tautology" too. When the check does not
  // prove it, the search decides and finds its witness, unless any cube that
  // no ON cube meets will do and the check has one.
  const size_t begin = literals.size();
  const bool anyHole = choice == WitnessChoice::kAnyHole;
  if (!anyHole && !MayCoverEverything(graph, output)) {
    return Search(*checker.search, graph, output, literals, stats, checker.progress, checker.lookAhead);
  }
  const CoverVerdict verdict = CheckOnCover(*checker.cover, graph, output, anyHole ? &literals : nullptr);
  answer.rule = AnswerRule::kCoverCheck;
  if (verdict == CoverVerdict::kCovers) {
    if (stats != nullptr) ++stats->provedByCoverCheck;
    return answer;
  }
  if (anyHole && verdict == CoverVerdict::kMisses) {
    answer.kind = OutputAnswer::Kind::kCube;
    answer.literalsBegin = begin;
    answer.literalsEnd = literals.size();
    assert(MeetsNoOnTerm(graph, output, literals.data() + begin, literals.size() - begin));
    return answer;
  }
  return Search(*checker.search, graph, output, literals, stats, checker.progress, checker.lookAhead);
}

std::string AnswerText(const TermGraph& graph, const OutputAnswer& answer,
                       const std::vector<CubeLiteral>& literals) {
  switch (answer.kind) {
    case OutputAnswer::Kind::kTautology:
      return "tautology";
    case OutputAnswer::Kind::kTermInputs:
      return answer.term->inputs();
    case OutputAnswer::Kind::kCube:
      break;
  }
  std::string cube(Z(graph.inputCount), '-');
  for (size_t k = answer.literalsBegin; k < answer.literalsEnd; ++k) {
    cube[Z(literals[k].variable)] = literals[k].value;
  }
  return cube;
}

std::string SearchTautology(const TermGraph& graph, int32_t output, SearchStats* stats) {
  CheckOutputIndex(graph, output);
  SearchBuffers buffers;
  std::vector<CubeLiteral> literals;
  return AnswerText(graph, Search(buffers, graph, output, literals, stats), literals);
}

std::string CheckTautology(const TermGraph& graph, int32_t output, SearchStats& stats) {
  TautologyChecker checker;
  std::vector<CubeLiteral> literals;
  const OutputAnswer answer = DecideOutput(checker, graph, output, WitnessChoice::kFirstHole, literals, &stats);
  return AnswerText(graph, answer, literals);
}

std::string CheckTautology(const TermGraph& graph, int32_t output) {
  SearchStats unused;
  return CheckTautology(graph, output, unused);
}

}  // namespace tavro
