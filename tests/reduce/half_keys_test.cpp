// The sort of the all-at-once isolation check against the comparison sort,
// at widths where the radix digits end inside and at the edge of a word, and
// at sizes on both sides of the point where the radix sort takes over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "reduce/half_keys.hpp"

namespace tavro {
namespace {

TEST(HalfKeys, SortKeysOrdersAsTheComparisonSort) {
  std::mt19937_64 rng(64);
  for (const auto& [ownBits, otherBits] : {std::pair<size_t, size_t>{1, 1}, {3, 4}, {11, 11}, {20, 20}, {32, 32}}) {
    for (size_t size : std::initializer_list<size_t>{0, 5, 4095, 4096, 70000}) {
      SCOPED_TRACE(std::to_string(ownBits) + "+" + std::to_string(otherBits) + " bits, " + std::to_string(size));
      auto bitsOf = [&](size_t n) { return n == 64 ? rng() : rng() & ((uint64_t{1} << n) - 1); };
      std::set<std::pair<uint64_t, uint64_t>> seen;
      std::vector<HalfKey> keys;
      const double room = std::ldexp(1.0, static_cast<int>(ownBits + otherBits));
      while (keys.size() < size && static_cast<double>(seen.size()) < room / 2) {
        const HalfKey k{bitsOf(ownBits), bitsOf(otherBits), static_cast<uint32_t>(keys.size())};
        if (seen.emplace(k.own, k.other).second) keys.push_back(k);
      }
      std::vector<HalfKey> expected = keys, scratch;
      std::sort(expected.begin(), expected.end());
      SortKeys(keys, scratch, ownBits, otherBits);
      ASSERT_EQ(keys.size(), expected.size());
      for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_TRUE(keys[i].own == expected[i].own && keys[i].other == expected[i].other &&
                    keys[i].at == expected[i].at) << "at " << i;
      }
    }
  }
}

}  // namespace
}  // namespace tavro
