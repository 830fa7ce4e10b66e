// How the candidate searches cut the input places into groups, and what the
// entry of a term in a group's leaf carries.
//
// Within a group of `width` neighbouring places a term's characters form a
// base-3 number, its leaf: '-' (or any other non-literal) 0, '0' 1, '1' 2. A
// candidate of t agrees with t's literals in every group but at most one, and
// may have anything where t has a dash: it stands in one of the leaves reached
// from t's characters in a group by trying all three digits at t's dashes
// there, in both of any two groups. An entry carries the term's literal and
// '1' bits at the 32 places after its group (round to the start), so that a
// walk drops most terms that are no candidates without reading their masks.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/bit_count.hpp"
#include "reduce/tuning.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavro {

/// `width` (at most 64) bits of a multi-word bit set, from place `start` on.
inline uint64_t BitsAt(const uint64_t* words, size_t start, size_t width) {
  if (width == 0) return 0;
  const size_t w = start / 64, shift = start % 64;
  uint64_t bits = words[w] >> shift;
  if (shift != 0 && shift + width > 64) bits |= words[w + 1] << (64 - shift);
  return width == 64 ? bits : bits & ((uint64_t{1} << width) - 1);
}

/// Places an entry carries beyond its group's.
inline constexpr size_t kFilterPlaces = 32;

struct PlaceGroup {
  int32_t start;
  int32_t width;
  int32_t filterStart;  // the first of the places an entry carries
};

/// 3^i for the places of the widest group.
inline constexpr std::array<uint32_t, 21> kPowersOf3 = [] {
  std::array<uint32_t, 21> powers{};
  powers[0] = 1;
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 3;
  return powers;
}();

/// The widest groups that `terms` terms ask for: 3^width leaves at most the
/// terms over tuning::kTermsPerLeaf, so that a leaf lists a few terms.
inline int32_t GroupWidthFor(int32_t inputCount, size_t terms) {
  int32_t width = 1;
  for (size_t leaves = 9; width < tuning::kWidestGroup && leaves <= terms / tuning::kTermsPerLeaf; leaves *= 3) {
    ++width;
  }
  return std::min(width, std::max(inputCount, 1));
}

/// The groups of about `width` places: even widths when at most
/// tuning::kMostGroups groups cover every place, else that many of `width`.
inline std::vector<PlaceGroup> PlaceGroupsFor(int32_t inputCount, int32_t width) {
  const int32_t groups = std::min((inputCount + width - 1) / width, tuning::kMostGroups);
  std::vector<PlaceGroup> shape;
  for (int32_t h = 0; h < groups; ++h) {
    const int64_t start = groups * width >= inputCount ? int64_t{h} * inputCount / groups : h * width;
    const int64_t end = groups * width >= inputCount ? int64_t{h + 1} * inputCount / groups : start + width;
    shape.push_back({static_cast<int32_t>(start), static_cast<int32_t>(end - start),
                     static_cast<int32_t>(end % inputCount)});
  }
  return shape;
}

/// The base-3 numbers of six places by their literal and '1' bits.
inline const std::array<uint16_t, 4096> kSixPlaceCodes = [] {
  std::array<uint16_t, 4096> codes{};
  for (uint32_t literals = 0; literals < 64; ++literals) {
    for (uint32_t ones = 0; ones < 64; ++ones) {
      uint32_t code = 0;
      for (uint32_t i = 0, power = 1; i < 6; ++i, power *= 3) {
        if ((literals >> i & 1) != 0) code += power * (1 + (ones >> i & 1));
      }
      codes[literals << 6 | ones] = static_cast<uint16_t>(code);
    }
  }
  return codes;
}();

/// A part's leaf in a group: the base-3 number of its characters.
inline uint32_t TernaryCode(uint64_t literals, uint64_t ones) {
  if (literals < (uint64_t{1} << 18)) {
    // Six places at a time; '1' bits only where there are literals count.
    const uint64_t o = ones & literals;
    return kSixPlaceCodes[(literals & 63) << 6 | (o & 63)] +
           729u * kSixPlaceCodes[(literals >> 6 & 63) << 6 | (o >> 6 & 63)] +
           531441u * kSixPlaceCodes[(literals >> 12) << 6 | (o >> 12)];
  }
  uint32_t code = 0;
  for (; literals != 0; literals &= literals - 1) {
    const int i = std::countr_zero(literals);
    code += kPowersOf3[static_cast<size_t>(i)] * static_cast<uint32_t>(1 + ((ones >> i) & 1));
  }
  return code;
}

inline uint32_t LeafOf(const uint64_t* masks, size_t words, const PlaceGroup& group) {
  const size_t start = static_cast<size_t>(group.start), width = static_cast<size_t>(group.width);
  return TernaryCode(BitsAt(masks, start, width), BitsAt(masks + words, start, width));
}

/// The groups a search of the part t reads: the two where t has the fewest
/// dashes, the fewer first (the earlier of equals), or the one group (second
/// then the group count).
template <typename Group>
std::pair<size_t, size_t> ChosenGroups(const uint64_t* t, const std::vector<Group>& groups) {
  if (groups.size() == 1) return {0, 1};
  auto dashesIn = [&](size_t g) {
    const size_t width = static_cast<size_t>(groups[g].width);
    return static_cast<int>(width) - PopCount(BitsAt(t, static_cast<size_t>(groups[g].start), width));
  };
  size_t best = 0, second = 1;
  int bestDashes = dashesIn(0), secondDashes = dashesIn(1);
  if (secondDashes < bestDashes) {
    std::swap(best, second);
    std::swap(bestDashes, secondDashes);
  }
  for (size_t g = 2; g < groups.size(); ++g) {
    const int dashes = dashesIn(g);
    if (dashes < bestDashes) {
      second = best;
      secondDashes = bestDashes;
      best = g;
      bestDashes = dashes;
    } else if (dashes < secondDashes) {
      second = g;
      secondDashes = dashes;
    }
  }
  return {best, second};
}

/// The bits an entry carries, of one mask half: the 32 places from
/// `filterStart` on, round to the start (all places when there are fewer).
inline uint32_t FilterBits(const uint64_t* bits, int32_t inputCount, int32_t filterStart) {
  const size_t n = static_cast<size_t>(inputCount), start = static_cast<size_t>(filterStart);
  const size_t count = std::min(n, kFilterPlaces);
  const size_t first = std::min(count, n - start);
  uint64_t v = BitsAt(bits, start, first);
  if (first < count) v |= BitsAt(bits, 0, count - first) << first;
  return static_cast<uint32_t>(v);
}

/// Whether an entry's carried bits have a literal wherever t's have one,
/// with the opposite one at no more than one of those places: its literal
/// word holds every bit of `tLiterals`, and its '1' word differs from
/// `tOnes` in at most one of those bits.
inline bool Passes(uint32_t literals, uint32_t ones, uint32_t tLiterals, uint32_t tOnes) {
  const uint32_t opposite = (ones ^ tOnes) & tLiterals;
  return (literals & tLiterals) == tLiterals && (opposite & (opposite - 1)) == 0;
}

#if defined(__SSE2__)
/// Passes for four entries at once: a bit each, in order.
inline int PassingFour(__m128i literals, __m128i ones, __m128i tLiterals, __m128i tOnes) {
  const __m128i hasAll = _mm_cmpeq_epi32(_mm_and_si128(literals, tLiterals), tLiterals);
  const __m128i opposite = _mm_and_si128(_mm_xor_si128(ones, tOnes), tLiterals);
  const __m128i atMostOne =
      _mm_cmpeq_epi32(_mm_and_si128(opposite, _mm_sub_epi32(opposite, _mm_set1_epi32(1))), _mm_setzero_si128());
  return _mm_movemask_ps(_mm_castsi128_ps(_mm_and_si128(hasAll, atMostOne)));
}
#endif

/// Calls f(e) for the entries e < size that pass t's bits, in order; their
/// literal and '1' words in two arrays.
template <typename F>
void ForEachPassing(const uint32_t* literalWords, const uint32_t* oneWords, size_t size, uint32_t tLiterals,
                    uint32_t tOnes, F&& f) {
  size_t e = 0;
#if defined(__SSE2__)
  const __m128i literals = _mm_set1_epi32(static_cast<int>(tLiterals));
  const __m128i ones = _mm_set1_epi32(static_cast<int>(tOnes));
  for (; e + 4 <= size; e += 4) {
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(literalWords + e));
    const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(oneWords + e));
    for (int pass = PassingFour(l, o, literals, ones); pass != 0; pass &= pass - 1) {
      f(e + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(pass))));
    }
  }
#endif
  for (; e < size; ++e) {
    if (Passes(literalWords[e], oneWords[e], tLiterals, tOnes)) f(e);
  }
}

/// The same for entries whose two words share one: the literal word in the
/// low half, the '1' word in the high half.
template <typename F>
void ForEachPassing(const uint64_t* words, size_t size, uint32_t tLiterals, uint32_t tOnes, F&& f) {
  size_t e = 0;
#if defined(__SSE2__)
  const __m128i literals = _mm_set1_epi32(static_cast<int>(tLiterals));
  const __m128i ones = _mm_set1_epi32(static_cast<int>(tOnes));
  for (; e + 4 <= size; e += 4) {
    const __m128 a = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(words + e)));
    const __m128 b = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(words + e + 2)));
    const __m128i l = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i o = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    for (int pass = PassingFour(l, o, literals, ones); pass != 0; pass &= pass - 1) {
      f(e + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(pass))));
    }
  }
#endif
  for (; e < size; ++e) {
    if (Passes(static_cast<uint32_t>(words[e]), static_cast<uint32_t>(words[e] >> 32), tLiterals, tOnes)) f(e);
  }
}

}  // namespace tavro
