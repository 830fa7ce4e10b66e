// Where the pass reads the input masks of a term by id: a literal word per
// 64 places, then as many words of '1' bits. A graph term held packed has
// exactly these as its input planes, so its masks are read in place; only the
// terms a pass makes, and graph terms held as text, have masks of their own
// here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro {

/// Makes an array by id at least `n` long, new places `value`, reserving a
/// quarter more at a time: the made terms of a pass take ids a little past
/// the graph's slots, and a vector's own growth would double the room, while
/// room reserved and never written takes no memory.
template <typename T, typename Allocator>
void GrowIdArray(std::vector<T, Allocator>& v, size_t n, const T& value) {
  if (v.size() >= n) return;
  if (v.capacity() < n) v.reserve(n + n / 4);
  v.resize(n, value);
}

class MaskStore {
 public:
  /// Serves the terms of `graph`, with `words` words per mask half.
  void Reset(const TermGraph* graph, size_t words) {
    graph_ = graph;
    words_ = words;
    made_.clear();
    text_.clear();
    madeBase_ = kNoMade;
  }

  /// From now on ids from `base` on are terms a pass makes.
  void StartMade(int32_t base) {
    madeBase_ = base;
    made_.clear();
  }
  /// The made terms are gone (or graph terms now): ids are graph slots again.
  void EndMade() {
    madeBase_ = kNoMade;
    made_ = std::vector<uint64_t>();
  }
  /// The masks of the made term `id` (id >= the base), to be written.
  uint64_t* Made(int32_t id) {
    const size_t at = static_cast<size_t>(id - madeBase_) * 2 * words_;
    if (at + 2 * words_ > made_.size()) made_.resize(std::max(at + 2 * words_, 2 * made_.size()), 0);
    return &made_[at];
  }
  /// The masks of the graph term in slot `id`, held as text, to be written.
  uint64_t* Text(int32_t id) {
    std::vector<uint64_t>& masks = text_[id];
    masks.assign(2 * words_, 0);
    return masks.data();
  }

  const uint64_t* Of(int32_t id) const {
    if (id >= madeBase_) return &made_[static_cast<size_t>(id - madeBase_) * 2 * words_];
    const Term& t = graph_->termPool[static_cast<size_t>(id)];
    return t.packed() ? t.inputWords() : text_.find(id)->second.data();
  }

 private:
  static constexpr int32_t kNoMade = std::numeric_limits<int32_t>::max();
  const TermGraph* graph_ = nullptr;
  size_t words_ = 0;
  int32_t madeBase_ = kNoMade;
  std::vector<uint64_t> made_;
  std::unordered_map<int32_t, std::vector<uint64_t>> text_;
};

}  // namespace tavro
