// The possible candidates of many terms at once, found without an index that
// lives between queries: a join of the query terms with every term, one group
// of places at a time, in sequential memory.
//
// For a group, the terms are counting-sorted by their leaf there (one pass to
// count, one to place), so that each leaf's entries lie side by side. Each
// query that reads the group (the two groups where it has the fewest dashes,
// place_groups.hpp) names the leaves it reaches; the names are sorted by leaf
// in batches, and each batch reads the entries once, front to back, for all
// the queries that reach them. Building the group costs two sequential passes
// over the terms where an index of lists grows each list entry by entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "reduce/mask_store.hpp"

namespace tavro {

/// Calls found(worker, i, u) for every term u of `terms` other than
/// queries[i] that may be a candidate of queries[i] (have a literal wherever
/// it has one, with the opposite literal at no more than one of those
/// places): every such term once or twice, among others the caller tells
/// apart. The masks of every id are in `masks`, with `words` words per half.
/// The queries are shared among up to `threads` threads, worker 0 the
/// calling thread, the others started for the call; found runs on each with
/// its worker's number, and must be safe to call on several at once. tick()
/// is called once per query, on the calling thread only; when it throws,
/// the other threads stop and the exception passes on.
void JoinNear(int32_t inputCount, size_t words, const std::vector<int32_t>& queries,
              const std::vector<int32_t>& terms, const MaskStore& masks, int threads,
              const std::function<void(int, size_t, int32_t)>& found, const std::function<void()>& tick);

}  // namespace tavro
