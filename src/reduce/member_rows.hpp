// The members of one class of a pass, when they are few, as flat rows read in
// full by every search: a row per member with the first words of its literal
// and '1' masks, in one array per dashCount. A candidate of a current term t
// has a literal wherever t has one, so its dashCount is at most t's, and only
// those arrays are read. Adding a member appends a row; removing one moves the
// last row of its array into its place.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavro {

class MemberRows {
 public:
  /// Empties the rows, keeping their memory.
  void Reset() {
    for (std::vector<Row>& rows : byDash_) rows.clear();
  }

  /// Adds member `id` with dashCount `dash` and packed input part `masks`
  /// (`words` literal words, then as many '1' words).
  void Insert(int32_t id, int32_t dash, const uint64_t* masks, size_t words) {
    const size_t d = static_cast<size_t>(dash), i = static_cast<size_t>(id);
    if (d >= byDash_.size()) byDash_.resize(d + 1);
    if (i >= place_.size()) place_.resize(std::max(i + 1, place_.size() * 3 / 2));
    place_[i] = static_cast<int32_t>(byDash_[d].size());
    byDash_[d].push_back({masks[0], masks[words], id});
  }

  /// Takes member `id`, of dashCount `dash`, out.
  void Erase(int32_t id, int32_t dash) {
    std::vector<Row>& rows = byDash_[static_cast<size_t>(dash)];
    const size_t at = static_cast<size_t>(place_[static_cast<size_t>(id)]);
    rows[at] = rows.back();
    place_[static_cast<size_t>(rows[at].id)] = static_cast<int32_t>(at);
    rows.pop_back();
  }

  /// Appends the members of dashCount at most `dash` whose first words have a
  /// literal wherever t's have one and the opposite literal at no more than
  /// one of those places: every candidate of t, and on inputs of up to 64
  /// places nothing else (t among them, when a member).
  void Near(const uint64_t* t, size_t words, int32_t dash, std::vector<int32_t>& found) const {
    const uint64_t literals = t[0], ones = t[words];
    const size_t top = std::min(static_cast<size_t>(dash) + 1, byDash_.size());
    for (size_t d = 0; d < top; ++d) {
      for (const Row& row : byDash_[d]) {
        const uint64_t opposite = (row.ones ^ ones) & literals;
        if ((row.literals & literals) == literals && (opposite & (opposite - 1)) == 0) found.push_back(row.id);
      }
    }
  }

 private:
  struct Row {
    uint64_t literals, ones;
    int32_t id;
  };
  std::vector<std::vector<Row>> byDash_;
  std::vector<int32_t> place_;  // per id: its row's index in its array
};

}  // namespace tavro
