// The lists' table of moved terms against a plain map: random keys, added and
// reassigned, through the size where the map becomes a table and past two of
// the table's doublings; and keys among few slots, through the size where it
// holds its words by slot and past that array's growth.
#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <vector>

#include "graph/slot_map.hpp"

namespace tavro {
namespace {

class SlotMapKeys : public testing::TestWithParam<uint32_t> {};

TEST_P(SlotMapKeys, AgreesWithAPlainMap) {
  constexpr int kSteps = 300000;
  const uint32_t range = GetParam();
  std::mt19937_64 rng(20261209);
  SlotMap map;
  std::unordered_map<uint32_t, uint64_t> plain;
  std::vector<uint32_t> keys;
  for (int step = 0; step < kSteps; ++step) {
    // Mostly a random key (never UINT32_MAX); else one already there.
    const bool fresh = keys.empty() || rng() % 4 != 0;
    const uint32_t key = fresh ? static_cast<uint32_t>(rng() % range) : keys[rng() % keys.size()];
    if (plain.count(key) == 0) {
      keys.push_back(key);
      ASSERT_EQ(map[key], 0u);  // a new key's word starts at 0
    }
    const uint64_t word = rng();
    map[key] = word;
    plain[key] = word;
    if ((step + 1) % 10000 != 0) continue;
    ASSERT_EQ(map.size(), plain.size());
    for (const uint32_t k : keys) {
      const uint64_t* found = map.Find(k);
      ASSERT_TRUE(found != nullptr && *found == plain[k]) << "key " << k << " at step " << step;
    }
    for (int probe = 0; probe < 100; ++probe) {
      const uint32_t absent = static_cast<uint32_t>(rng() % (range == UINT32_MAX ? uint64_t{UINT32_MAX} : 2 * uint64_t{range}));
      if (plain.count(absent) == 0) {
        ASSERT_EQ(map.Find(absent), nullptr);
      }
    }
  }
}

// Keys anywhere below UINT32_MAX (never it), or among 150,000 slots.
INSTANTIATE_TEST_SUITE_P(Ranges, SlotMapKeys, testing::Values(UINT32_MAX, 150000u));

}  // namespace
}  // namespace tavro
