// One term of the graph, a cube: its input and output characters, packed
// into bits where they allow it, read like strings, and its share of the
// input space.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/bit_count.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavro {

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
/// Characters compared at once: `Chars16(at).Equal(c)` has one bit per
/// character of the sixteen from `at` on that equals c, the first
/// character's lowest (with SSE2); Chars8 the same for eight in a word (on
/// little-endian machines).
#if defined(__SSE2__)
struct Chars16 {
  static constexpr size_t kWidth = 16;
  explicit Chars16(const char* at) : bytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))) {}
  uint64_t Equal(char c) const {
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
  }
  __m128i bytes;
};
#endif
struct Chars8 {
  static constexpr size_t kWidth = 8;
  explicit Chars8(const char* at) { std::memcpy(&bytes, at, 8); }
  uint64_t Equal(char c) const { return BytesEqual(bytes, c); }
  uint64_t bytes;
};
/// Calls f(at, chars) with the chunks of Chars that cover text[0, length):
/// every whole chunk from 0 on, then one that ends at `length` and overlaps
/// the one before. Returns `length`.
template <typename Chars, typename F>
size_t CoverWith(const char* text, size_t length, F& f) {
  size_t at = 0;
  for (; at + Chars::kWidth <= length; at += Chars::kWidth) f(at, Chars(text + at));
  if (at < length) f(length - Chars::kWidth, Chars(text + length - Chars::kWidth));
  return length;
}
/// Covers text[0, length) with chunks of the widest kind it holds (see
/// CoverWith) and returns how many characters the chunks cover from 0: 0
/// for a text shorter than every kind, whose characters go one by one.
template <typename F>
size_t ForEachChunk(const char* text, size_t length, F f) {
#if defined(__SSE2__)
  if (length >= Chars16::kWidth) return CoverWith<Chars16>(text, length, f);
#endif
  if (std::endian::native == std::endian::little && length >= Chars8::kWidth) return CoverWith<Chars8>(text, length, f);
  return 0;
}
/// The planes of an input part (see above), `words` words each; false when
/// a character is not '0', '1' or '-' (such a character gets neither bit).
bool PackInputs(std::string_view inputs, uint64_t* planes, size_t words);
/// The two-bit codes of an output part, OutputWords of its length; false
/// when a character has no code.
bool PackOutputs(std::string_view outputs, uint64_t* codes);
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
  /// `packed`, when given, holds the planes of the pure input part, and
  /// `codes` the codes of the output part (see `packing`).
  void Assign(std::string_view inputs, std::string_view outputs, const uint64_t* packed = nullptr,
              const uint64_t* codes = nullptr);
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

/// The term's ShareOfLiterals (every input character other than '0' and '1'
/// counted as '-').
inline double ShareOf(const Term& term) {
  return ShareOfLiterals(static_cast<int32_t>(term.inputSize()) - term.dashCount());
}

}  // namespace tavro
