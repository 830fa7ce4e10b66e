#include "reduce/near_join.hpp"

#include <algorithm>
#include <atomic>
#include <utility>

#include "common/bit_count.hpp"
#include "common/work_threads.hpp"
#include "reduce/place_groups.hpp"
#include "reduce/tuning.hpp"

namespace tavro {
namespace {

// Leaves named by the queries of one batch (8 bytes each, and as many again
// while sorted; and 8 bytes for each query of the batch): half the terms,
// within these bounds.
constexpr size_t kFewestVisitsAtOnce = size_t{1} << 16, kMostVisitsAtOnce = size_t{1} << 20;
// Places of a group at most: 3^16 leaves, named by 26 bits.
constexpr int32_t kWidestGroup = 16;
// Leaves per term at most: the table of where each leaf's entries begin
// takes no more than 4 bytes a term.
constexpr size_t kLeavesPerTerm = 1;
// The model's costs, in nanoseconds of this machine: a leaf named by a query
// (named, sorted, its range looked up), an entry read, a term placed in a
// group's table (its leaf worked out, sorted).
constexpr double kVisitCost = 19, kEntryCost = 0.8, kPlaceCost = 30;
// Queries and terms the model reads at most.
constexpr size_t kModelQueries = 512, kModelTerms = 4096;

size_t Idx(int32_t i) { return static_cast<size_t>(i); }

// An entry carries the 32 places after its group (round to the start), as
// the index's entries do: their literal bits in the low half of a word, their
// '1' bits in the high half. On inputs of up to 32 places that is every
// place, so the join names candidates only; with fewer places carried, most
// of the terms it named were none, and the caller told each apart by reading
// two masks from random places.
uint64_t Carried(const uint64_t* m, int32_t inputCount, size_t words, int32_t filterStart) {
  const uint64_t literals = FilterBits(m, inputCount, filterStart);
  return literals | uint64_t{FilterBits(m + words, inputCount, filterStart) & static_cast<uint32_t>(literals)} << 32;
}

// A leaf named by a query: the leaf and the query's number.
struct Record {
  uint32_t leaf, id;
};

// Sorts the records by leaf (all below `leaves`), stably: a least-significant
// digit radix sort, eleven bits a pass, whose passes read and write in order
// where a comparison sort would jump about.
void SortByLeaf(std::vector<Record>& records, std::vector<Record>& scratch, size_t leaves) {
  constexpr size_t kDigitBits = 11, kDigits = size_t{1} << kDigitBits;
  std::vector<size_t> count(kDigits);
  scratch.resize(records.size());
  for (size_t shift = 0; (leaves - 1) >> shift != 0; shift += kDigitBits) {
    std::fill(count.begin(), count.end(), 0);
    for (const Record& r : records) ++count[r.leaf >> shift & (kDigits - 1)];
    size_t at = 0;
    for (size_t& c : count) at += std::exchange(c, at);
    for (const Record& r : records) scratch[count[r.leaf >> shift & (kDigits - 1)]++] = r;
    records.swap(scratch);
  }
}

// One group's terms in the order of their leaves: leaf l's entries are
// [start[l], start[l + 1]), each a slot and its carried places (as Carried
// gives them, one word: an entry written or read touches two lines, not
// three).
struct GroupTable {
  std::vector<uint32_t> start, slots;
  std::vector<uint64_t> bits;

  // A counting sort: the terms' leaves are counted, then each term is put
  // at the next place of its leaf, in the order of `terms`.
  void Build(const PlaceGroup& group, size_t leaves, int32_t inputCount, size_t words,
             const std::vector<int32_t>& terms, const MaskStore& masks) {
    const size_t n = terms.size();
    start.assign(leaves + 1, 0);
    // Each count, as each entry below, lands at a random place: the counts
    // of the terms kDistance ahead are asked for before they are needed.
    constexpr size_t kDistance = 16, kRing = 4 * kDistance;
    uint32_t ahead[kRing];
    const auto leafAt = [&](size_t k) { return LeafOf(masks.Of(terms[k]), words, group); };
    for (size_t k = 0; k < std::min(n, kDistance); ++k) ahead[k % kRing] = leafAt(k);
    for (size_t k = 0; k < n; ++k) {
      if (k + kDistance < n) {
        const uint32_t leaf = ahead[(k + kDistance) % kRing] = leafAt(k + kDistance);
        __builtin_prefetch(&start[leaf + 1], 1);
      }
      ++start[ahead[k % kRing] + 1];
    }
    for (size_t leaf = 0; leaf < leaves; ++leaf) start[leaf + 1] += start[leaf];
    slots.resize(n);
    bits.resize(n);
    // Each term's entry is written at a random place: the places of the
    // terms kDistance ahead are asked for before they are written, and the
    // starts of their leaves, which tell those places, before that. The
    // leaves are worked out again rather than kept from the count, which
    // would take 4 bytes a term.
    for (size_t k = 0; k < std::min(n, 2 * kDistance); ++k) ahead[k % kRing] = leafAt(k);
    for (size_t k = 0; k < n; ++k) {
      if (k + 2 * kDistance < n) {
        const uint32_t leaf = ahead[(k + 2 * kDistance) % kRing] = leafAt(k + 2 * kDistance);
        __builtin_prefetch(&start[leaf]);
      }
      if (k + kDistance < n) {
        const uint32_t soon = start[ahead[(k + kDistance) % kRing]];
        __builtin_prefetch(&slots[soon], 1);
        __builtin_prefetch(&bits[soon], 1);
      }
      const uint64_t* m = masks.Of(terms[k]);
      const uint32_t at = start[ahead[k % kRing]]++;
      slots[at] = static_cast<uint32_t>(terms[k]);
      bits[at] = Carried(m, inputCount, words, group.filterStart);
    }
    // Each leaf's start has moved to the next one's: move them back.
    for (size_t leaf = leaves; leaf > 0; --leaf) start[leaf] = start[leaf - 1];
    start[0] = 0;
  }

  // Tells query i (the term `self`, whose carried places are `t`) of the
  // entries in [begin, end) that pass them.
  template <typename Found>
  void Read(size_t begin, size_t end, uint64_t t, size_t i, int32_t self, Found& found) const {
    const uint32_t tLiterals = static_cast<uint32_t>(t), tOnes = static_cast<uint32_t>(t >> 32);
    ForEachPassing(bits.data() + begin, end - begin, tLiterals, tOnes, [&](size_t e) {
      const int32_t u = static_cast<int32_t>(slots[begin + e]);
      if (u != self) found(i, u);
    });
  }
  // The same for each named leaf, in the order named; carried[i - first] are
  // the carried places of query i.
  template <typename Found>
  void Read(const std::vector<Record>& named, const std::vector<int32_t>& queries, const uint64_t* carried,
            size_t first, Found& found) const {
    // The names are in the order of the leaves, so the queries they name
    // come at random: their carried places and slots, and the entries of
    // the leaf (its slots too: a query meets itself in its own leaf), are
    // fetched kAhead names before they are read.
    constexpr size_t kAhead = 8;
    const size_t n = named.size();
    for (size_t k = 0; k < n; ++k) {
      if (k + kAhead < n) {
        const Record& soon = named[k + kAhead];
        __builtin_prefetch(&carried[soon.id - first]);
        __builtin_prefetch(&queries[soon.id]);
        const uint32_t at = start[soon.leaf];
        __builtin_prefetch(&bits[at]);
        __builtin_prefetch(&slots[at]);
      }
      const Record& v = named[k];
      Read(start[v.leaf], start[v.leaf + 1], carried[v.id - first], v.id, queries[v.id], found);
    }
  }
};

// Appends to `reached` the leaves of `group` that may hold a candidate of t:
// t's digits at its literals and every digit at its dashes.
void ReachedLeaves(const uint64_t* t, size_t words, const PlaceGroup& group, std::vector<uint32_t>& reached) {
  const size_t start = Idx(group.start), width = Idx(group.width);
  const uint64_t literals = BitsAt(t, start, width), ones = BitsAt(t + words, start, width);
  const size_t first = reached.size();
  reached.push_back(TernaryCode(literals, ones));
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

// The groups of places the join reads by, chosen by a model of its cost:
// for each shape (groups of about w places, for w up to kWidestGroup and at
// most kLeavesPerTerm leaves a term), the leaves a sample of the queries
// would name in their two groups and the entries it would read there, taking
// the places as independent with the frequencies of '0' and '1' in a sample
// of the terms; and the terms placed in each group's table.
std::vector<PlaceGroup> ChooseGroups(int32_t inputCount, size_t words, const std::vector<int32_t>& queries,
                                     const std::vector<int32_t>& terms, const MaskStore& masks) {
  const size_t places = Idx(inputCount), n = terms.size();
  std::vector<double> zeros(places, 0), ones(places, 0);
  const size_t termStride = std::max<size_t>(1, n / kModelTerms);
  double sampled = 0;
  for (size_t k = 0; k < n; k += termStride, ++sampled) {
    const uint64_t* m = masks.Of(terms[k]);
    for (size_t i = 0; i < places; ++i) {
      if ((m[i / 64] >> (i % 64) & 1) == 0) continue;
      ((m[words + i / 64] >> (i % 64) & 1) != 0 ? ones : zeros)[i] += 1;
    }
  }
  for (size_t i = 0; i < places; ++i) {
    zeros[i] /= sampled;
    ones[i] /= sampled;
  }
  const size_t queryStride = std::max<size_t>(1, queries.size() / kModelQueries);
  const double queryWeight = static_cast<double>(queries.size()) /
                             static_cast<double>((queries.size() + queryStride - 1) / queryStride);
  std::vector<PlaceGroup> best;
  double bestCost = 0;
  size_t lastGroups = 0;
  for (int32_t width = 1; width <= std::min(kWidestGroup, inputCount); ++width) {
    std::vector<PlaceGroup> groups = PlaceGroupsFor(inputCount, width);
    int32_t widest = 0;
    for (const PlaceGroup& g : groups) widest = std::max(widest, g.width);
    // One group is left to a single place, where every query reads the whole
    // group: a candidate may then differ from the query in the group it reads.
    if (groups.size() == lastGroups || kPowersOf3[Idx(widest)] > kLeavesPerTerm * n + 1024 ||
        (groups.size() == 1 && inputCount > 1)) {
      continue;
    }
    lastGroups = groups.size();
    double cost = kPlaceCost * static_cast<double>(n) * static_cast<double>(std::min<size_t>(groups.size(), 2 * queries.size()));
    for (size_t i = 0; i < queries.size(); i += queryStride) {
      const uint64_t* t = masks.Of(queries[i]);
      const auto [first, second] = ChosenGroups(t, groups);
      for (const size_t g : {first, second}) {
        if (g >= groups.size()) continue;
        double leaves = 1, share = 1;
        for (int32_t k = 0; k < groups[g].width; ++k) {
          const size_t place = Idx(groups[g].start + k);
          if ((t[place / 64] >> (place % 64) & 1) == 0) {
            leaves *= 3;
          } else {
            share *= (t[words + place / 64] >> (place % 64) & 1) != 0 ? ones[place] : zeros[place];
          }
        }
        cost += queryWeight * (kVisitCost * leaves + kEntryCost * static_cast<double>(n) * share);
      }
    }
    if (best.empty() || cost < bestCost) {
      best = std::move(groups);
      bestCost = cost;
    }
  }
  return best;
}

// What one thread of the join keeps from group to group: the leaves its
// queries name (and the sort's copy of them), the carried places of the
// queries of a batch, and one query's leaves.
struct JoinBuffers {
  std::vector<Record> records, scratch;
  std::vector<uint64_t> carried;
  std::vector<uint32_t> reached;
};

// Reads group g for the queries of [begin, end) that chose it, in batches
// of about `visitsAtOnce` named leaves; tick() once per query whose first
// group g is. Stops between batches once `stop` is set.
struct GroupReader {
  int32_t inputCount;
  size_t words;
  const std::vector<int32_t>& queries;
  const MaskStore& masks;
  const std::vector<std::pair<uint8_t, uint8_t>>& chosen;
  const GroupTable& table;
  size_t groupCount;
  size_t visitsAtOnce;

  template <typename Found, typename Tick>
  void Read(size_t g, const PlaceGroup& group, size_t begin, size_t end, const std::atomic<bool>& stop,
            JoinBuffers& buffers, Found& found, Tick& tick) const {
    const size_t leaves = kPowersOf3[Idx(group.width)];
    std::vector<Record>& records = buffers.records;
    for (size_t from = begin; from < end && !stop.load(std::memory_order_relaxed);) {
      // The leaves that the next queries name, until there are about
      // visitsAtOnce of them, in the order of the leaves: the entries are
      // then read front to back, each once for all the queries that reach
      // it, and so is the table of where they begin.
      // The queries' carried places stay beside them, by query, so that the
      // names are half as wide to sort.
      records.clear();
      buffers.carried.clear();
      const size_t first = from;
      for (; from < end && records.size() < visitsAtOnce && from - first < visitsAtOnce; ++from) {
        buffers.carried.push_back(0);
        if (chosen[from].first != g && chosen[from].second != g) continue;
        if (chosen[from].first == g) tick();
        const uint64_t* t = masks.Of(queries[from]);
        const uint64_t carried = Carried(t, inputCount, words, group.filterStart);
        const size_t literals = static_cast<size_t>(PopCount(BitsAt(t, Idx(group.start), Idx(group.width))));
        const size_t named = kPowersOf3[Idx(group.width) - literals];
        if (named > leaves / 8 || groupCount == 1) {
          // A query with dashes at most places of the group would name most
          // leaves (and one of a single place, in the only group, may meet
          // its candidates in any leaf): it reads every entry instead, in one
          // pass.
          table.Read(0, table.slots.size(), carried, from, queries[from], found);
          continue;
        }
        buffers.carried.back() = carried;
        buffers.reached.clear();
        ReachedLeaves(t, words, group, buffers.reached);
        for (const uint32_t leaf : buffers.reached) records.push_back({leaf, static_cast<uint32_t>(from)});
      }
      SortByLeaf(records, buffers.scratch, leaves);
      table.Read(records, queries, buffers.carried.data(), first, found);
    }
  }
};

// Bounds of ranges of the queries, one a worker, each holding about as many
// of the queries that read group g.
std::vector<size_t> RangesFor(size_t g, const std::vector<std::pair<uint8_t, uint8_t>>& chosen, size_t readers,
                              size_t workers) {
  std::vector<size_t> bounds{0};
  for (size_t i = 0, seen = 0; i < chosen.size() && bounds.size() < workers; ++i) {
    seen += chosen[i].first == g || chosen[i].second == g;
    if (seen * workers >= bounds.size() * readers) bounds.push_back(i + 1);
  }
  bounds.resize(workers + 1, chosen.size());
  return bounds;
}

}  // namespace

void JoinNear(int32_t inputCount, size_t words, const std::vector<int32_t>& queries,
              const std::vector<int32_t>& terms, const MaskStore& masks, int threads,
              const std::function<void(int, size_t, int32_t)>& found, const std::function<void()>& tick) {
  if (queries.empty() || terms.empty()) return;
  const std::vector<PlaceGroup> groups = ChooseGroups(inputCount, words, queries, terms, masks);
  std::vector<std::pair<uint8_t, uint8_t>> chosen(queries.size());
  std::vector<size_t> readers(groups.size(), 0);  // queries that read each group
  for (size_t i = 0; i < queries.size(); ++i) {
    const auto [best, second] = ChosenGroups(masks.Of(queries[i]), groups);
    chosen[i] = {static_cast<uint8_t>(best), static_cast<uint8_t>(second)};
    ++readers[best];
    if (second < groups.size()) ++readers[second];
  }
  const size_t workers = std::min(static_cast<size_t>(std::max(threads, 1)), queries.size());
  // The named leaves of all threads together stay within the bounds.
  const size_t visitsAtOnce = std::clamp(terms.size() / 2 / workers, kFewestVisitsAtOnce, kMostVisitsAtOnce);
  // The buffers are taken here, on the calling thread, so that they go back
  // to where they came from once the join is over, not to the heaps of
  // threads that have ended: room for a batch and a quarter more (the last
  // query of a batch may name many leaves).
  std::vector<JoinBuffers> buffers(workers);
  for (size_t w = 1; w < workers; ++w) {
    buffers[w].records.reserve(visitsAtOnce + visitsAtOnce / 4);
    buffers[w].scratch.reserve(visitsAtOnce + visitsAtOnce / 4);
    buffers[w].carried.reserve(visitsAtOnce / 2);
  }
  GroupTable table;
  const GroupReader reader{inputCount, words, queries, masks, chosen, table, groups.size(), visitsAtOnce};
  for (size_t g = 0; g < groups.size(); ++g) {
    if (readers[g] == 0) continue;
    const PlaceGroup& group = groups[g];
    table.Build(group, kPowersOf3[Idx(group.width)], inputCount, words, terms, masks);
    const std::vector<size_t> bounds = RangesFor(g, chosen, readers[g], workers);
    // Only the calling thread tells tick(); the others count the queries it
    // is to tell for them once they have ended. One worker runs on the
    // calling thread alone.
    std::vector<size_t> untold(workers, 0);
    std::atomic<bool> stop{false};
    RunOnThreads(static_cast<int>(workers), [&](int worker) {
      const size_t w = static_cast<size_t>(worker);
      const auto foundHere = [&](size_t i, int32_t u) { found(worker, i, u); };
      const auto tickHere = [&] {
        if (w != 0) {
          ++untold[w];
          return;
        }
        try {
          tick();
        } catch (...) {
          stop = true;
          throw;
        }
      };
      reader.Read(g, group, bounds[w], bounds[w + 1], stop, buffers[w], foundHere, tickHere);
    });
    for (const size_t n : untold) {
      for (size_t k = 0; k < n; ++k) tick();
    }
  }
}

}  // namespace tavro
