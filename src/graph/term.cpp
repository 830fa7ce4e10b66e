// A term's characters: packing, reading and writing them.
#include "graph/term.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <type_traits>

namespace tavro {

std::string TermChars::str() const {
  std::string text(size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = (*this)[i];
  return text;
}

/// Writes the two input planes of `inputs` (each `words` long); false when a
/// character has no code. A chunk of characters at a time.
bool packing::PackInputs(std::string_view inputs, uint64_t* planes, size_t words) {
  std::fill(planes, planes + 2 * words, 0);
  uint64_t unknown = 0;
  const size_t chunked = ForEachChunk(inputs.data(), inputs.size(), [&](size_t at, const auto& chars) {
    constexpr size_t kWidth = std::remove_cvref_t<decltype(chars)>::kWidth;
    const uint64_t ones = chars.Equal('1');
    const uint64_t literals = ones | chars.Equal('0');
    unknown |= ~(literals | chars.Equal('-')) & ((uint64_t{1} << kWidth) - 1);
    // A chunk that does not start a word may end in the next one.
    const size_t word = at / 64, shift = at % 64;
    planes[word] |= literals << shift;
    planes[words + word] |= ones << shift;
    if (shift + kWidth > 64) {
      planes[word + 1] |= literals >> (64 - shift);
      planes[words + word + 1] |= ones >> (64 - shift);
    }
  });
  for (size_t i = chunked; i < inputs.size(); ++i) {
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

}  // namespace

// Eight characters at a time, where the first lands in the lowest byte.
bool packing::PackOutputs(std::string_view outputs, uint64_t* codes) {
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

void Term::Assign(std::string_view inputs, std::string_view outputs, const uint64_t* packed,
                  const uint64_t* codes) {
  const size_t words = packing::InputWords(inputs.size());
  uint64_t* planes = Words();
  if (state() != State::kText) {
    // Packing writes every word of the slot; the first word is the text's
    // address only once the term is held as text.
    const bool fits = inputs.size() <= kPackedMost && outputs.size() <= kPackedMost;
    const bool pure = fits && (packed != nullptr ? (std::copy_n(packed, 2 * words, planes), true)
                                                 : packing::PackInputs(inputs, planes, words));
    uint64_t* outputWords = planes + 2 * words;
    const bool coded = pure && (codes != nullptr
                                    ? (std::copy_n(codes, packing::OutputWords(outputs.size()), outputWords), true)
                                    : packing::PackOutputs(outputs, outputWords));
    if (coded) {
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

}  // namespace tavro
