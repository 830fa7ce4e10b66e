// Cover check by the unate recursive paradigm: each cover is simplified (single-literal cubes,
// variables of one polarity), refused when its cubes hold too few vectors, decided by truth table
// when at most six variables are left, split into groups over disjoint variables, or else split
// on its most binate variable.
//
// A witness of a miss is the path to the cover found empty or missed by its truth table: every
// step fixes one variable (a cofactor taken, or a variable of one polarity set against it), and
// every cube of the input cover is left behind at one of them. Those steps are kept on a trail;
// a cofactor that turns out covered takes its steps off again. Variables of disjoint groups never
// clash, so a cover split into groups misses where the trails of all its groups meet.
//
// Cubes are packed two bits per variable, 32 variables to a 64-bit word: field 01 admits only the
// value 0, 10 only 1, 11 both ('-'); fields past the last variable are 11. Every cover under
// examination is a block of consecutive cubes in one arena, children written above their
// parents, and an explicit frame stack takes the place of recursion, so no number of inputs can
// exhaust the call stack.
#include "tautology/cover_check.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace tavro {
namespace {

using Word = uint64_t;

constexpr Word kLowBits = 0x5555555555555555ULL;  // the low bit of every field
constexpr size_t kFieldsPerWord = 32;
// The arena may grow to kArenaFactor times the input cover, or kArenaFloor
// words when that is more. Only long chains of splits whose first cofactor
// needs further splits come near it; such a cover is left to the search.
constexpr size_t kArenaFactor = 16;
constexpr size_t kArenaFloor = size_t{1} << 22;

// Each mask has one bit per field, at the field's low bit position.
Word LiteralBits(Word w) { return ~(w & (w >> 1)) & kLowBits; }
Word ZeroBits(Word w) { return w & ~(w >> 1) & kLowBits; }
Word OneBits(Word w) { return (w >> 1) & ~w & kLowBits; }

size_t WordOf(int32_t variable) { return static_cast<size_t>(variable) / kFieldsPerWord; }
int32_t ShiftOf(int32_t variable) {
  return static_cast<int32_t>(2 * (static_cast<size_t>(variable) % kFieldsPerWord));
}
int32_t VariableAt(size_t word, int bit) {
  return static_cast<int32_t>(word * kFieldsPerWord) + bit / 2;
}

/// A cover: `count` cubes starting at word `begin` of the arena.
struct Block {
  size_t begin = 0;
  size_t count = 0;
};

/// Work left behind when a cover is replaced by its first child. A split
/// still owes its second cofactor (the cover holds only if both cofactors
/// do); a group frame still owes its remaining groups (the cover holds if any
/// group does).
struct Frame {
  bool isSplit = true;
  size_t arenaEnd = 0;  // arena size at the push; everything above is scratch
  Block parent;         // split: the cover whose second cofactor is pending
  int32_t variable = 0;
  int32_t value = 0;
  size_t firstGroup = 0;  // groups: [nextGroup, endGroup) of groupBlocks pending
  size_t nextGroup = 0;
  size_t endGroup = 0;
  size_t trailMark = 0;   // split: the witness trail's size before the first cofactor's step
};

enum class Outcome { kCovers, kMisses, kExpanded, kUndecided };

struct Checker {
  size_t words = 1;
  size_t fields = 32;
  size_t arenaLimit = 0;  // words; a cover needing more is left undecided
  std::vector<Word> arena;
  std::vector<Frame> frames;
  std::vector<Block> groupBlocks;
  // Scratch of one expansion, indexed by word, variable or cube of the block.
  std::vector<Word> anyZero, anyOne, unate, unitZero, unitOne, reached;
  std::vector<Word> zeroLanes, oneLanes;  // see CountColumns
  std::vector<int32_t> zeroCount, oneCount;
  int32_t maxLiterals = 0;
  std::vector<int32_t> root, groupOfRoot;
  std::vector<int32_t> literalCount, cubeGroup;
  std::vector<size_t> groupSize, groupNext, groupOrder;
  // The witness trail (null when no witness is wanted): the literals fixed
  // on the way to the cover under examination.
  std::vector<CubeLiteral>* witness = nullptr;
};

/// Sizes the buffers for a cover of `cubeCount` cubes. The per-variable
/// arrays only grow: each use writes the entries it reads first, so a call
/// costs time in proportion to its cover, not to every variable.
void InitChecker(Checker& c, int32_t inputCount, size_t cubeCount) {
  const size_t variables = static_cast<size_t>(inputCount);
  c.words = std::max<size_t>(1, (variables + kFieldsPerWord - 1) / kFieldsPerWord);
  c.fields = c.words * kFieldsPerWord;
  c.arena.assign(cubeCount * c.words, ~Word{0});
  c.arenaLimit = std::max(kArenaFloor, kArenaFactor * c.arena.size());
  c.frames.clear();
  c.groupBlocks.clear();
  for (std::vector<Word>* v : {&c.anyZero, &c.anyOne, &c.unate, &c.unitZero, &c.unitOne, &c.reached}) {
    v->assign(c.words, 0);
  }
  c.zeroLanes.assign(4 * c.words, 0);
  c.oneLanes.assign(4 * c.words, 0);
  for (std::vector<int32_t>* v : {&c.zeroCount, &c.oneCount, &c.root, &c.groupOfRoot}) {
    if (v->size() < c.fields) v->resize(c.fields);
  }
  if (c.literalCount.size() < cubeCount) c.literalCount.resize(cubeCount);
  if (c.cubeGroup.size() < cubeCount) c.cubeGroup.resize(cubeCount);
  c.witness = nullptr;
}

/// Puts `value` ('0' or '1') for every variable of `bits` (one bit per field,
/// at its low position) of word j on the trail.
void FixOnTrail(Checker& c, size_t j, Word bits, char value) {
  for (; bits != 0; bits &= bits - 1) {
    c.witness->push_back(CubeLiteral{VariableAt(j, std::countr_zero(bits)), value});
  }
}

/// The field of each input character: 01 for '0', 10 for '1', 11 for '-',
/// 00 (refused) for every other character.
constexpr std::array<uint8_t, 256> kFieldOfChar = [] {
  std::array<uint8_t, 256> fields{};
  fields[static_cast<unsigned char>('0')] = 1;
  fields[static_cast<unsigned char>('1')] = 2;
  fields[static_cast<unsigned char>('-')] = 3;
  return fields;
}();

/// True when the 32 characters from `from` on are all '-'.
bool AllDashWord(std::string_view inputs, size_t from) {
  constexpr uint64_t kEightDashes = 0x2D2D2D2D2D2D2D2DULL;
  uint64_t words[4];
  std::memcpy(words, inputs.data() + from, sizeof words);
  return ((words[0] ^ kEightDashes) | (words[1] ^ kEightDashes) | (words[2] ^ kEightDashes) |
          (words[3] ^ kEightDashes)) == 0;
}

/// Writes a cube's fields into `out` (already all 11), without branches on
/// the characters; false for a character other than '0', '1', '-'. Words of
/// 32 '-' are passed over: they stay all 11.
bool PackCube(std::string_view inputs, Word* out) {
  bool refused = false;
  for (size_t from = 0; from < inputs.size(); from += kFieldsPerWord) {
    if (from + kFieldsPerWord <= inputs.size() && AllDashWord(inputs, from)) continue;
    const size_t end = std::min(inputs.size(), from + kFieldsPerWord);
    Word word = 0;
    for (size_t k = from; k < end; ++k) {
      const Word field = kFieldOfChar[static_cast<unsigned char>(inputs[k])];
      refused = refused || field == 0;
      word |= field << (2 * (k - from));
    }
    if (end - from < kFieldsPerWord) word |= ~Word{0} << (2 * (end - from));
    out[from / kFieldsPerWord] = word;
  }
  return !refused;
}

/// The 32 low bits of x, moved to the even bit places.
Word SpreadLow32(uint64_t x) {
  x &= 0xFFFFFFFFULL;
  x = (x | x << 16) & 0x0000FFFF0000FFFFULL;
  x = (x | x << 8) & 0x00FF00FF00FF00FFULL;
  x = (x | x << 4) & 0x0F0F0F0F0F0F0F0FULL;
  x = (x | x << 2) & 0x3333333333333333ULL;
  x = (x | x << 1) & 0x5555555555555555ULL;
  return x;
}

/// PackCube for a term, read from its planes 32 inputs at a time: the low bit
/// of a field is "not '1'", the high bit "not '0'". Places past the inputs
/// hold neither bit, so they come out 11.
bool PackTerm(const Term& t, Word* out, size_t words) {
  if (!t.packed()) return PackCube(t.inputs().str(), out);
  const uint64_t* planes = t.inputWords();
  const size_t planeWords = packing::InputWords(t.inputSize());
  for (size_t k = 0; k < words; ++k) {
    const unsigned shift = 32 * (k % 2);
    const uint64_t literal = planes[k / 2] >> shift & 0xFFFFFFFFULL;
    const uint64_t value = planes[planeWords + k / 2] >> shift & 0xFFFFFFFFULL;
    if ((value & ~literal) != 0) return false;
    out[k] = SpreadLow32(~value) | SpreadLow32(~literal | value) << 1;
  }
  return true;
}

int32_t FindRoot(std::vector<int32_t>& root, int32_t v) {
  while (root[static_cast<size_t>(v)] != v) {
    const size_t i = static_cast<size_t>(v);
    root[i] = root[static_cast<size_t>(root[i])];
    v = root[i];
  }
  return v;
}

/// Cubes of `source` that admit `variable` = `value`, with that field made
/// '-', written from word `target` on (target <= source.begin or above the
/// source block). Returns the number written.
size_t Cofactor(Checker& c, Block source, int32_t variable, int32_t value, size_t target) {
  const size_t w = c.words;
  const size_t word = WordOf(variable);
  const Word admits = Word{1} << (ShiftOf(variable) + value);
  const Word field = Word{3} << ShiftOf(variable);
  Word* base = c.arena.data();
  size_t kept = 0;
  for (size_t k = 0; k < source.count; ++k) {
    const Word* cube = base + source.begin + k * w;
    if ((cube[word] & admits) == 0) continue;
    Word* out = base + target + kept * w;
    for (size_t j = 0; j < w; ++j) out[j] = cube[j];
    out[word] |= field;
    ++kept;
  }
  return kept;
}

/// In place: the cofactor of the node at x = 1 for every x of unitZero and
/// x = 0 for every x of unitOne (disjoint sets). Returns the cubes kept.
size_t CofactorOnUnits(Checker& c, const Block& node) {
  const size_t w = c.words;
  Word* base = c.arena.data() + node.begin;
  size_t kept = 0;
  for (size_t k = 0; k < node.count; ++k) {
    Word* cube = base + k * w;
    bool admits = true;
    for (size_t j = 0; j < w && admits; ++j) {
      const Word needed = (c.unitZero[j] << 1) | c.unitOne[j];
      admits = (cube[j] & needed) == needed;
    }
    if (!admits) continue;
    Word* out = base + kept * w;
    for (size_t j = 0; j < w; ++j) {
      const Word assigned = c.unitZero[j] | c.unitOne[j];
      out[j] = cube[j] | assigned | (assigned << 1);
    }
    ++kept;
  }
  return kept;
}

/// Number of set bits of a mask whose bits all sit at field low positions.
int32_t CountFields(Word x) {
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<int32_t>((x * 0x0101010101010101ULL) >> 56);
}

/// Surveys the cover: per variable whether any cube has a '0' or a '1' there,
/// and which single-literal cubes there are; each cube's literal count and
/// the largest. kCovers when a cube has no literal, kExpanded otherwise; sets
/// `anyUnit` when a cube has one literal.
Outcome SurveyColumns(Checker& c, const Block& node, bool& anyUnit) {
  const size_t w = c.words;
  std::fill(c.anyZero.begin(), c.anyZero.end(), 0);
  std::fill(c.anyOne.begin(), c.anyOne.end(), 0);
  std::fill(c.unitZero.begin(), c.unitZero.end(), 0);
  std::fill(c.unitOne.begin(), c.unitOne.end(), 0);
  const Word* base = c.arena.data() + node.begin;
  anyUnit = false;
  int32_t maxLiterals = 0;
  for (size_t k = 0; k < node.count; ++k) {
    const Word* cube = base + k * w;
    int32_t literals = 0;
    size_t lastWord = 0;
    for (size_t j = 0; j < w; ++j) {
      c.anyZero[j] |= ZeroBits(cube[j]);
      c.anyOne[j] |= OneBits(cube[j]);
      const Word bits = LiteralBits(cube[j]);
      if (bits != 0) {
        literals += CountFields(bits);
        lastWord = j;
      }
    }
    if (literals == 0) return Outcome::kCovers;
    if (literals == 1) {
      c.unitZero[lastWord] |= ZeroBits(cube[lastWord]);
      c.unitOne[lastWord] |= OneBits(cube[lastWord]);
      anyUnit = true;
    }
    c.literalCount[k] = literals;
    maxLiterals = std::max(maxLiterals, literals);
  }
  c.maxLiterals = maxLiterals;
  return Outcome::kExpanded;
}

/// Drops the cubes with a literal at a variable of one polarity, each such
/// variable set against it on the trail; false when there is none.
bool DropUnateColumns(Checker& c, Block& node) {
  const size_t w = c.words;
  bool anyUnate = false;
  for (size_t j = 0; j < w; ++j) {
    c.unate[j] = c.anyZero[j] ^ c.anyOne[j];
    anyUnate = anyUnate || c.unate[j] != 0;
  }
  if (!anyUnate) return false;
  if (c.witness != nullptr) {
    // Set against its only polarity, the variable leaves out every cube dropped here.
    for (size_t j = 0; j < w; ++j) {
      FixOnTrail(c, j, c.unate[j] & c.anyZero[j], '1');
      FixOnTrail(c, j, c.unate[j] & c.anyOne[j], '0');
    }
  }
  Word* base = c.arena.data() + node.begin;
  size_t kept = 0;
  for (size_t k = 0; k < node.count; ++k) {
    const Word* cube = base + k * w;
    bool keep = true;
    for (size_t j = 0; j < w && keep; ++j) keep = (LiteralBits(cube[j]) & c.unate[j]) == 0;
    if (!keep) continue;
    if (kept != k) std::copy(cube, cube + w, base + kept * w);
    ++kept;
  }
  node.count = kept;
  return true;
}

/// Simplifies the node until neither rule applies, keeping its verdict:
/// - cubes with a single literal x = b cover the cofactor x = b, so the node
///   is replaced by its cofactor at x = not b, for all of them at once (both
///   x = 0 and x = 1 alone cover everything);
/// - a variable that occurs in one polarity only: the cubes with a literal
///   there are dropped (a column of one literal and no '-' so empties it).
/// Returns kCovers on a cube of all '-', kMisses on an empty cover, else
/// kExpanded with every variable left in both polarities (anyZero == anyOne),
/// literalCount filled and maxLiterals set.
Outcome Simplify(Checker& c, Block& node) {
  const size_t w = c.words;
  for (;;) {
    if (node.count == 0) return Outcome::kMisses;
    bool anyUnit = false;
    if (SurveyColumns(c, node, anyUnit) == Outcome::kCovers) return Outcome::kCovers;
    if (anyUnit) {
      for (size_t j = 0; j < w; ++j) {
        if ((c.unitZero[j] & c.unitOne[j]) != 0) return Outcome::kCovers;
      }
      if (c.witness != nullptr) {
        for (size_t j = 0; j < w; ++j) {
          FixOnTrail(c, j, c.unitZero[j], '1');
          FixOnTrail(c, j, c.unitOne[j], '0');
        }
      }
      node.count = CofactorOnUnits(c, node);
      continue;
    }
    if (!DropUnateColumns(c, node)) return Outcome::kExpanded;
  }
}

/// False when the cubes together hold fewer vectors than the space, i.e. the
/// sum of 2^-literals is below 1. With S = min(largest count, 62) every cube
/// counts 2^(S - literals) units of 2^-S, a cube of more than S literals one
/// unit (an upper bound), so the sum stays exact or errs towards "enough".
bool EnoughMinterms(const Checker& c, const Block& node) {
  const int32_t scale = std::min(c.maxLiterals, 62);
  const Word whole = Word{1} << scale;
  Word sum = 0;
  for (size_t k = 0; k < node.count && sum < whole; ++k) {
    const int32_t literals = c.literalCount[k];
    sum += literals <= scale ? Word{1} << (scale - literals) : Word{1};
  }
  return sum >= whole;
}

/// Counts, per variable, the cubes with '0' and with '1' there. Each mask
/// is spread over four words of eight 8-bit lanes (fields q, q + 4, ...)
/// and summed lane-wise, the lanes being emptied into the counts every 255
/// cubes before they could overflow.
void CountColumns(Checker& c, const Block& node) {
  constexpr Word kLaneBits = 0x0101010101010101ULL;
  const size_t w = c.words;
  std::fill_n(c.zeroCount.begin(), c.fields, 0);
  std::fill_n(c.oneCount.begin(), c.fields, 0);
  std::fill(c.zeroLanes.begin(), c.zeroLanes.end(), 0);
  std::fill(c.oneLanes.begin(), c.oneLanes.end(), 0);
  auto empty = [&] {
    for (size_t j = 0; j < w; ++j) {
      for (size_t q = 0; q < 4; ++q) {
        Word& zeros = c.zeroLanes[4 * j + q];
        Word& ones = c.oneLanes[4 * j + q];
        for (size_t lane = 0; lane < 8; ++lane) {
          const size_t field = j * kFieldsPerWord + 4 * lane + q;
          c.zeroCount[field] += static_cast<int32_t>((zeros >> (8 * lane)) & 0xFF);
          c.oneCount[field] += static_cast<int32_t>((ones >> (8 * lane)) & 0xFF);
        }
        zeros = 0;
        ones = 0;
      }
    }
  };
  const Word* base = c.arena.data() + node.begin;
  size_t pending = 0;
  for (size_t k = 0; k < node.count; ++k) {
    const Word* cube = base + k * w;
    for (size_t j = 0; j < w; ++j) {
      const Word zeros = ZeroBits(cube[j]);
      const Word ones = OneBits(cube[j]);
      for (size_t q = 0; q < 4; ++q) {
        c.zeroLanes[4 * j + q] += (zeros >> (2 * q)) & kLaneBits;
        c.oneLanes[4 * j + q] += (ones >> (2 * q)) & kLaneBits;
      }
    }
    if (++pending == 255) {
      empty();
      pending = 0;
    }
  }
  empty();
}

/// Decides a cover of at most six variables (those of anyZero) by its truth
/// table: bit b of a cube's table is set when the assignment giving the i-th
/// variable the value of bit i of b lies in the cube. Returns kExpanded when
/// more than six variables occur. On a miss, puts on the trail the literals
/// of a cube outside the table: its first empty vector, with every variable
/// freed in turn whose freeing keeps the cube outside.
Outcome DecideByTruthTable(Checker& c, const Block& node) {
  constexpr Word kPattern[6] = {0xAAAAAAAAAAAAAAAAULL, 0xCCCCCCCCCCCCCCCCULL,
                                0xF0F0F0F0F0F0F0F0ULL, 0xFF00FF00FF00FF00ULL,
                                0xFFFF0000FFFF0000ULL, 0xFFFFFFFF00000000ULL};
  size_t wordOf[6];
  int shiftOf[6];
  size_t count = 0;
  for (size_t j = 0; j < c.words; ++j) {
    for (Word bits = c.anyZero[j]; bits != 0; bits &= bits - 1) {
      if (count == 6) return Outcome::kExpanded;
      wordOf[count] = j;
      shiftOf[count] = std::countr_zero(bits);
      ++count;
    }
  }
  const Word all = count == 6 ? ~Word{0} : (Word{1} << (Word{1} << count)) - 1;
  Word table = 0;
  const Word* base = c.arena.data() + node.begin;
  for (size_t k = 0; k < node.count && table != all; ++k) {
    const Word* cube = base + k * c.words;
    Word holds = all;
    for (size_t i = 0; i < count; ++i) {
      const Word field = (cube[wordOf[i]] >> shiftOf[i]) & 3;
      if (field == 1) holds &= ~kPattern[i];
      if (field == 2) holds &= kPattern[i];
    }
    table |= holds;
  }
  if (table == all) return Outcome::kCovers;
  if (c.witness != nullptr) {
    const int vector = std::countr_zero(~table & all);
    Word cube = Word{1} << vector;  // the table positions the witness admits
    for (size_t i = 0; i < count; ++i) {
      const bool one = ((vector >> i) & 1) != 0;
      const Word wider = cube | (one ? cube >> (1u << i) : cube << (1u << i));
      if ((wider & table) == 0) {
        cube = wider;
      } else {
        c.witness->push_back(CubeLiteral{VariableAt(wordOf[i], shiftOf[i]), one ? '1' : '0'});
      }
    }
  }
  return Outcome::kMisses;
}

/// True when the cubes' variables are connected (cubes sharing a variable
/// joined), found by sweeping a reached set over the cubes; false when they
/// are not or the sweeps did not settle quickly.
bool SweepsConnect(Checker& c, const Block& node) {
  const size_t w = c.words;
  const Word* base = c.arena.data() + node.begin;
  for (size_t j = 0; j < w; ++j) c.reached[j] = LiteralBits(base[j]);
  for (int sweep = 0; sweep < 4; ++sweep) {
    bool grew = false;
    for (size_t k = 1; k < node.count; ++k) {
      const Word* cube = base + k * w;
      bool meets = false;
      bool adds = false;
      for (size_t j = 0; j < w; ++j) {
        const Word bits = LiteralBits(cube[j]);
        meets = meets || (bits & c.reached[j]) != 0;
        adds = adds || (bits & ~c.reached[j]) != 0;
      }
      if (!meets || !adds) continue;
      for (size_t j = 0; j < w; ++j) c.reached[j] |= LiteralBits(cube[j]);
      grew = true;
    }
    if (!grew) break;
  }
  for (size_t j = 0; j < w; ++j) {
    if (c.reached[j] != c.anyZero[j]) return false;
  }
  return true;
}

/// Joins, in a forest over the variables, the variables of every cube.
void JoinVariablesOfCubes(Checker& c, const Block& node) {
  const size_t w = c.words;
  for (size_t j = 0; j < w; ++j) {
    for (Word bits = c.anyZero[j]; bits != 0; bits &= bits - 1) {
      const size_t v = static_cast<size_t>(VariableAt(j, std::countr_zero(bits)));
      c.root[v] = static_cast<int32_t>(v);
      c.groupOfRoot[v] = -1;
    }
  }
  const Word* base = c.arena.data() + node.begin;
  for (size_t k = 0; k < node.count; ++k) {
    const Word* cube = base + k * w;
    int32_t first = -1;
    for (size_t j = 0; j < w; ++j) {
      for (Word bits = LiteralBits(cube[j]); bits != 0; bits &= bits - 1) {
        const int32_t r = FindRoot(c.root, VariableAt(j, std::countr_zero(bits)));
        if (first < 0) {
          first = r;
        } else if (r != first) {
          c.root[static_cast<size_t>(r)] = first;
        }
      }
    }
  }
}

/// Numbers the groups of joined variables in order of their first cube and
/// gives every cube its group (cubeGroup) and every group its size; returns
/// the number of groups.
size_t NumberGroups(Checker& c, const Block& node) {
  const size_t w = c.words;
  const Word* base = c.arena.data() + node.begin;
  size_t groups = 0;
  for (size_t k = 0; k < node.count; ++k) {
    const Word* cube = base + k * w;
    size_t j = 0;
    while (LiteralBits(cube[j]) == 0) ++j;
    const int32_t v = VariableAt(j, std::countr_zero(LiteralBits(cube[j])));
    int32_t& group = c.groupOfRoot[static_cast<size_t>(FindRoot(c.root, v))];
    if (group < 0) {
      group = static_cast<int32_t>(groups++);
      if (c.groupSize.size() < groups) c.groupSize.resize(groups);
      c.groupSize[groups - 1] = 0;
    }
    c.cubeGroup[k] = group;
    ++c.groupSize[static_cast<size_t>(group)];
  }
  return groups;
}

/// Splits a cover whose variables fall into two or more disjoint groups into
/// those groups, written above the arena top, smallest group first; pushes a
/// group frame and makes the first group the node. Returns kMisses (meaning
/// "not split") when there is one group only.
Outcome SplitIntoGroups(Checker& c, Block& node) {
  const size_t w = c.words;
  JoinVariablesOfCubes(c, node);
  const size_t groups = NumberGroups(c, node);
  if (groups < 2) return Outcome::kMisses;
  const size_t top = c.arena.size();
  if (top + node.count * w > c.arenaLimit) return Outcome::kUndecided;

  c.groupOrder.resize(groups);
  for (size_t g = 0; g < groups; ++g) c.groupOrder[g] = g;
  std::sort(c.groupOrder.begin(), c.groupOrder.end(), [&](size_t a, size_t b) {
    return c.groupSize[a] != c.groupSize[b] ? c.groupSize[a] < c.groupSize[b] : a < b;
  });
  c.groupNext.resize(groups);
  Frame frame;
  frame.isSplit = false;
  frame.firstGroup = c.groupBlocks.size();
  size_t offset = top;
  for (size_t g : c.groupOrder) {
    c.groupNext[g] = offset;
    c.groupBlocks.push_back(Block{offset, c.groupSize[g]});
    offset += c.groupSize[g] * w;
  }
  c.arena.resize(offset);
  const Word* base = c.arena.data() + node.begin;
  for (size_t k = 0; k < node.count; ++k) {
    const size_t g = static_cast<size_t>(c.cubeGroup[k]);
    std::copy(base + k * w, base + (k + 1) * w, c.arena.data() + c.groupNext[g]);
    c.groupNext[g] += w;
  }
  frame.arenaEnd = offset;
  frame.nextGroup = frame.firstGroup + 1;
  frame.endGroup = c.groupBlocks.size();
  node = c.groupBlocks[frame.firstGroup];
  c.frames.push_back(frame);
  return Outcome::kExpanded;
}


/// Splits on the variable with the most literals, polarities balanced on a
/// tie: the smaller cofactor becomes the node, written above the arena top,
/// and a split frame keeps the other one. A cover `sparse` in vectors (whose
/// cubes' shares of the space add up to less than 1) is being searched for a
/// witness: its cofactor with the smaller sum comes first, and that sum stays
/// below 1, so every first cofactor down to a decided cover misses and the
/// witness is found without backtracking.
Outcome SplitOnVariable(Checker& c, Block& node, bool sparse) {
  CountColumns(c, node);
  int32_t best = -1;
  int32_t bestZeros = 0;
  int32_t bestOnes = 0;
  int32_t bestTotal = -1;
  int32_t bestImbalance = 0;
  for (size_t j = 0; j < c.words; ++j) {
    for (Word bits = c.anyZero[j]; bits != 0; bits &= bits - 1) {
      const int32_t v = VariableAt(j, std::countr_zero(bits));
      const int32_t zeros = c.zeroCount[static_cast<size_t>(v)];
      const int32_t ones = c.oneCount[static_cast<size_t>(v)];
      const int32_t total = zeros + ones;
      const int32_t imbalance = zeros > ones ? zeros - ones : ones - zeros;
      if (total > bestTotal || (total == bestTotal && imbalance < bestImbalance)) {
        best = v;
        bestZeros = zeros;
        bestOnes = ones;
        bestTotal = total;
        bestImbalance = imbalance;
      }
    }
  }
  // The cofactor at 0 keeps the cubes without a '1' there, at 1 those without a '0'.
  int32_t firstValue = bestOnes >= bestZeros ? 0 : 1;
  if (sparse) {
    // Each cofactor doubles the shares of the cubes with a literal agreeing with it.
    double zeros = 0.0;
    double ones = 0.0;
    const size_t word = WordOf(best);
    const int shift = ShiftOf(best);
    const Word* base = c.arena.data() + node.begin;
    for (size_t k = 0; k < node.count; ++k) {
      const Word field = (base[k * c.words + word] >> shift) & 3;
      const int32_t literals = c.literalCount[k];
      const double share = ShareOfLiterals(literals);
      if (field == 1) zeros += share;
      if (field == 2) ones += share;
    }
    firstValue = zeros <= ones ? 0 : 1;
  }
  Frame frame;
  frame.isSplit = true;
  frame.parent = node;
  frame.variable = best;
  frame.value = 1 - firstValue;
  frame.arenaEnd = c.arena.size();
  const size_t top = c.arena.size();
  if (top + node.count * c.words > c.arenaLimit) return Outcome::kUndecided;
  if (c.witness != nullptr) {
    frame.trailMark = c.witness->size();
    c.witness->push_back(CubeLiteral{best, firstValue == 1 ? '1' : '0'});
  }
  c.arena.resize(top + node.count * c.words);
  const size_t count = Cofactor(c, node, best, firstValue, top);
  c.arena.resize(top + count * c.words);
  c.frames.push_back(frame);
  node = Block{top, count};
  return Outcome::kExpanded;
}

/// Decides the node at once, or replaces it by its first child and pushes
/// the frame that owes the rest; kUndecided when the arena would outgrow its
/// limit.
Outcome Expand(Checker& c, Block& node) {
  const Outcome reduced = Simplify(c, node);
  if (reduced != Outcome::kExpanded) return reduced;
  // Too few vectors decide a miss at once; a witness is then found by
  // splitting on, down the cofactors that stay short of vectors.
  const bool sparse = !EnoughMinterms(c, node);
  if (sparse && c.witness == nullptr) return Outcome::kMisses;
  const Outcome small = DecideByTruthTable(c, node);
  if (small != Outcome::kExpanded) return small;
  // A cover short of vectors misses down whichever split: its groups would
  // only cost passes over it.
  if (!sparse && !SweepsConnect(c, node)) {
    const Outcome grouped = SplitIntoGroups(c, node);
    if (grouped != Outcome::kMisses) return grouped;
  }
  return SplitOnVariable(c, node, sparse);
}

/// kCovers or kMisses for the cover, or kUndecided; on kMisses with a
/// witness wanted, the trail holds the witness's literals.
Outcome Decide(Checker& c, Block node) {
  for (;;) {
    const Outcome outcome = Expand(c, node);
    if (outcome == Outcome::kExpanded) continue;
    if (outcome == Outcome::kUndecided) return outcome;
    bool covers = outcome == Outcome::kCovers;
    for (;;) {
      if (c.frames.empty()) return covers ? Outcome::kCovers : Outcome::kMisses;
      Frame& frame = c.frames.back();
      c.arena.resize(frame.arenaEnd);
      if (frame.isSplit && covers) {
        // The parent is needed no more: its second cofactor takes its place.
        node = Block{frame.parent.begin,
                     Cofactor(c, frame.parent, frame.variable, frame.value, frame.parent.begin)};
        if (c.witness != nullptr) {
          c.witness->resize(frame.trailMark);
          c.witness->push_back(CubeLiteral{frame.variable, frame.value == 1 ? '1' : '0'});
        }
        c.frames.pop_back();
        break;
      }
      if (!frame.isSplit && !covers && frame.nextGroup < frame.endGroup) {
        node = c.groupBlocks[frame.nextGroup++];
        break;
      }
      c.groupBlocks.resize(frame.isSplit ? c.groupBlocks.size() : frame.firstGroup);
      c.frames.pop_back();
    }
  }
}

}  // namespace

bool CubesCoverEverything(const std::vector<std::string>& cubes, int32_t inputCount) {
  if (inputCount < 0) return false;
  Checker c;
  InitChecker(c, inputCount, cubes.size());
  for (size_t k = 0; k < cubes.size(); ++k) {
    if (cubes[k].size() != static_cast<size_t>(inputCount)) return false;
    if (!PackCube(cubes[k], c.arena.data() + k * c.words)) return false;
  }
  return Decide(c, Block{0, cubes.size()}) == Outcome::kCovers;
}

struct CoverCheckBuffers {
  Checker checker;
};

void CoverCheckBuffersDeleter::operator()(CoverCheckBuffers* buffers) const { delete buffers; }

CoverCheckMemory NewCoverCheckMemory() { return CoverCheckMemory(new CoverCheckBuffers()); }

CoverVerdict CheckOnCover(CoverCheckBuffers& memory, const TermGraph& graph, int32_t output,
                          std::vector<CubeLiteral>* witness) {
  if (output < 0 || output >= graph.outputCount ||
      static_cast<size_t>(output) >= graph.outputLists.size()) {
    return CoverVerdict::kUndecided;
  }
  const size_t o = static_cast<size_t>(output);
  const TermList& on = graph.outputLists[o].onTerms;
  const size_t onCount = static_cast<size_t>(on.Count());
  const size_t length = static_cast<size_t>(graph.inputCount);
  if (onCount == 0) return CoverVerdict::kMisses;  // the witness is all '-'
  Checker& c = memory.checker;
  InitChecker(c, graph.inputCount, onCount);
  // A term of all '-' covers everything: the check need not run. (Its
  // dashCount also counts characters that PackCube refuses.)
  size_t k = 0;
  bool anyAllDash = false;
  bool packed = true;
  on.ForEach([&](const Term* t) {
    if (!packed) return;
    Word* cube = c.arena.data() + k * c.words;
    packed = t->inputSize() == length && PackTerm(*t, cube, c.words);
    anyAllDash = anyAllDash || (packed && t->dashCount() == graph.inputCount &&
                                std::all_of(cube, cube + c.words, [](Word w) { return w == ~Word{0}; }));
    ++k;
  });
  if (!packed) return CoverVerdict::kUndecided;
  if (anyAllDash) return CoverVerdict::kCovers;
  const size_t witnessStart = witness != nullptr ? witness->size() : 0;
  c.witness = witness;
  const Outcome outcome = Decide(c, Block{0, k});
  c.witness = nullptr;
  if (outcome == Outcome::kMisses) return CoverVerdict::kMisses;
  if (witness != nullptr) witness->resize(witnessStart);
  return outcome == Outcome::kCovers ? CoverVerdict::kCovers : CoverVerdict::kUndecided;
}

bool OnCoverIsTautology(const TermGraph& graph, int32_t output) {
  const CoverCheckMemory memory = NewCoverCheckMemory();
  return CheckOnCover(*memory, graph, output, nullptr) == CoverVerdict::kCovers;
}

}  // namespace tavro
