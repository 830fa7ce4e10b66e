#include "reduce/near_join.hpp"

#include <algorithm>
#include <utility>

#include "reduce/place_groups.hpp"
#include "reduce/tuning.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavro {
namespace {

// Leaves named by the queries of one batch (16 bytes each, and as many again
// sorted): half the terms, within these bounds.
constexpr size_t kFewestVisitsAtOnce = size_t{1} << 16, kMostVisitsAtOnce = size_t{1} << 20;

size_t Idx(int32_t i) { return static_cast<size_t>(i); }

// An entry carries the 16 places after its group: their literal bits in the
// low half of a word, their '1' bits in the high half. Half the bytes of the
// index's entries, for a join reads its entries in bulk.
uint32_t Carried(const uint64_t* m, int32_t inputCount, size_t words, int32_t filterStart) {
  const uint32_t literals = FilterBits(m, inputCount, filterStart) & 0xffff;
  return literals | (FilterBits(m + words, inputCount, filterStart) & literals) << 16;
}

// Calls f(e) for the entries e < size whose carried places have a literal
// wherever t's have one, with the opposite one at no more than one of them.
template <typename F>
void ForEachCarried(const uint32_t* entries, size_t size, uint32_t t, F f) {
  const uint32_t literals = t & 0xffff, opposite = literals << 16;
  size_t e = 0;
#if defined(__SSE2__)
  const __m128i tLiterals = _mm_set1_epi32(static_cast<int>(literals));
  const __m128i tBits = _mm_set1_epi32(static_cast<int>(t));
  const __m128i tOpposite = _mm_set1_epi32(static_cast<int>(opposite));
  const __m128i one = _mm_set1_epi32(1);
  for (; e + 4 <= size; e += 4) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries + e));
    const __m128i hasAll = _mm_cmpeq_epi32(_mm_and_si128(x, tLiterals), tLiterals);
    const __m128i differ = _mm_and_si128(_mm_xor_si128(x, tBits), tOpposite);
    const __m128i atMostOne = _mm_cmpeq_epi32(_mm_and_si128(differ, _mm_sub_epi32(differ, one)), _mm_setzero_si128());
    for (int pass = _mm_movemask_ps(_mm_castsi128_ps(_mm_and_si128(hasAll, atMostOne))); pass != 0; pass &= pass - 1) {
      f(e + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(pass))));
    }
  }
#endif
  for (; e < size; ++e) {
    const uint32_t differ = (entries[e] ^ t) & opposite;
    if ((entries[e] & literals) == literals && (differ & (differ - 1)) == 0) f(e);
  }
}

// One group's terms in the order of their leaves: leaf l's entries are
// [start[l], start[l + 1]), each a slot and its carried places.
struct GroupTable {
  std::vector<uint32_t> start, slots, carried;
  std::vector<uint32_t> leafOf, unplaced;  // scratch of Build

  void Build(const PlaceGroup& group, size_t leaves, int32_t inputCount, size_t words,
             const std::vector<int32_t>& terms, const MaskStore& masks) {
    const size_t n = terms.size();
    // The terms' leaves and carried bits in their order, then each placed.
    leafOf.resize(n);
    unplaced.resize(n);
    start.assign(leaves + 1, 0);
    for (size_t k = 0; k < n; ++k) {
      const uint64_t* m = masks.Of(terms[k]);
      leafOf[k] = LeafOf(m, words, group);
      unplaced[k] = Carried(m, inputCount, words, group.filterStart);
      ++start[leafOf[k] + 1];
    }
    for (size_t l = 0; l < leaves; ++l) start[l + 1] += start[l];
    slots.resize(n);
    carried.resize(n);
    for (size_t k = 0; k < n; ++k) {
      const uint32_t at = start[leafOf[k]]++;
      slots[at] = static_cast<uint32_t>(terms[k]);
      carried[at] = unplaced[k];
    }
    // start[l] now holds the end of leaf l: shift forward.
    for (size_t l = leaves; l > 0; --l) start[l] = start[l - 1];
    start[0] = 0;
  }
  bool Empty(uint32_t leaf) const { return start[leaf] == start[leaf + 1]; }
};

// Appends to `reached` the leaves of `group` that may hold a candidate of t:
// t's digits at its literals and every digit at its dashes; with `flips`,
// also t with each of its literals there made the opposite in turn.
void ReachedLeaves(const uint64_t* t, size_t words, const PlaceGroup& group, bool flips,
                   std::vector<uint32_t>& reached) {
  const size_t start = Idx(group.start), width = Idx(group.width);
  const uint64_t literals = BitsAt(t, start, width), ones = BitsAt(t + words, start, width);
  const size_t first = reached.size();
  reached.push_back(TernaryCode(literals, ones));
  if (flips) {
    for (uint64_t l = literals; l != 0; l &= l - 1) {
      const int i = std::countr_zero(l);
      const uint32_t power = kPowersOf3[static_cast<size_t>(i)];
      // Digit 1 ('0') and 2 ('1') trade places.
      reached.push_back((ones >> i & 1) != 0 ? reached[first] - power : reached[first] + power);
    }
  }
  const uint64_t dashes = ~literals & (width == 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1);
  for (uint64_t d = dashes; d != 0; d &= d - 1) {
    const uint32_t power = kPowersOf3[static_cast<size_t>(std::countr_zero(d))];
    const size_t before = reached.size();
    for (size_t r = first; r < before; ++r) {
      reached.push_back(reached[r] + power);
      reached.push_back(reached[r] + 2 * power);
    }
  }
}

}  // namespace

void JoinNear(int32_t inputCount, size_t words, const std::vector<int32_t>& queries,
              const std::vector<int32_t>& terms, const MaskStore& masks,
              const std::function<void(size_t, int32_t)>& found, const std::function<void()>& tick) {
  if (queries.empty() || terms.empty()) return;
  const std::vector<PlaceGroup> groups = PlaceGroupsFor(inputCount, GroupWidthFor(inputCount, terms.size()));
  std::vector<std::pair<uint8_t, uint8_t>> chosen(queries.size());
  std::vector<bool> read(groups.size(), false);
  for (size_t i = 0; i < queries.size(); ++i) {
    const auto [best, second] = ChosenGroups(masks.Of(queries[i]), groups);
    chosen[i] = {static_cast<uint8_t>(best), static_cast<uint8_t>(second)};
    read[best] = true;
    if (second < groups.size()) read[second] = true;
  }
  // A leaf a query reaches, with the query's bits at the places the leaf's
  // entries carry.
  struct Visit {
    uint32_t leaf, carried, query;
  };
  const size_t visitsAtOnce = std::clamp(terms.size() / 2, kFewestVisitsAtOnce, kMostVisitsAtOnce);
  std::vector<Visit> visits, sorted;
  std::vector<uint32_t> reached, visitStart;
  GroupTable table;
  const bool oneGroup = groups.size() == 1;
  for (size_t g = 0; g < groups.size(); ++g) {
    if (!read[g]) continue;
    const PlaceGroup& group = groups[g];
    const size_t leaves = kPowersOf3[Idx(group.width)];
    table.Build(group, leaves, inputCount, words, terms, masks);
    visitStart.resize(leaves + 1);
    for (size_t from = 0; from < queries.size();) {
      visits.clear();
      for (; from < queries.size() && visits.size() < visitsAtOnce; ++from) {
        if (chosen[from].first != g && chosen[from].second != g) continue;
        if (chosen[from].first == g) tick();
        const uint64_t* t = masks.Of(queries[from]);
        reached.clear();
        ReachedLeaves(t, words, group, oneGroup, reached);
        const uint32_t carried = Carried(t, inputCount, words, group.filterStart);
        for (const uint32_t leaf : reached) {
          if (!table.Empty(leaf)) visits.push_back({leaf, carried, static_cast<uint32_t>(from)});
        }
      }
      // In the order of the leaves (a counting sort), so that the entries
      // are read front to back, each once for all the queries that reach it.
      std::fill(visitStart.begin(), visitStart.end(), 0);
      for (const Visit& v : visits) ++visitStart[v.leaf + 1];
      for (size_t l = 0; l < leaves; ++l) visitStart[l + 1] += visitStart[l];
      sorted.resize(visits.size());
      for (const Visit& v : visits) sorted[visitStart[v.leaf]++] = v;
      for (const Visit& v : sorted) {
        const size_t begin = table.start[v.leaf], size = table.start[v.leaf + 1] - begin;
        const int32_t self = queries[v.query];
        ForEachCarried(table.carried.data() + begin, size, v.carried, [&](size_t e) {
                         const int32_t u = static_cast<int32_t>(table.slots[begin + e]);
                         if (u != self) found(v.query, u);
                       });
      }
    }
  }
}

}  // namespace tavro
