// Finding the candidates of a current term t: the later terms of its
// character that have a literal wherever t has one and the opposite literal
// at no more than one of those places.
//
// The candidate index (candidate_index.hpp) yields a few terms among which
// all of them are; each is compared with t on packed literal masks, and the
// survivors are sorted into working-list order. One index holds every term of
// the graph and is kept from pass to pass; when many members are to be
// visited, each class of members gets an index of its own for the pass, which
// lists far fewer terms that are not candidates.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "common/bit_count.hpp"
#include "reduce/pass.hpp"
#include "reduce/tuning.hpp"

namespace tavro {
namespace {

using tuning::kTermsPerPart;
constexpr double kNoLimit = 1e18;

int32_t LiteralCount(const uint64_t* mask, size_t words) {
  int32_t n = 0;
  for (size_t w = 0; w < words; ++w) n += PopCount(mask[w]);
  return n;
}

// Appends to p.scratch.near the terms whose input part a candidate of t may have:
// '-', '0' or '1' at t's dashes, and t's literals with at most one of them
// flipped.
void NamePartsOfCandidates(Pass& p, const uint64_t* t) {
  const size_t words = p.words;
  std::vector<uint64_t>& part = p.scratch.part;
  part.assign(t, t + 2 * words);
  std::vector<int32_t>& dashes = p.scratch.dashPlaces;
  dashes.clear();
  for (size_t i = 0; i < static_cast<size_t>(p.graph.inputCount); ++i) {
    if ((t[i / 64] >> (i % 64) & 1) == 0) dashes.push_back(static_cast<int32_t>(i));
  }
  auto look = [&] {
    if (const int32_t u = Find(p, part.data()); u != kNone) p.scratch.near.push_back(u);
  };
  auto fill = [&](auto& self, size_t i) -> void {
    if (i == dashes.size()) {
      look();
      for (size_t w = 0; w < words; ++w) {
        for (uint64_t literals = t[w]; literals != 0; literals &= literals - 1) {
          const uint64_t bit = literals & (~literals + 1);
          part[words + w] ^= bit;
          look();
          part[words + w] ^= bit;
        }
      }
      return;
    }
    const size_t w = Idx(dashes[i]) / 64;
    const uint64_t bit = uint64_t{1} << (dashes[i] % 64);
    self(self, i + 1);  // '-'
    part[w] |= bit;
    self(self, i + 1);  // '0'
    part[words + w] |= bit;
    self(self, i + 1);  // '1'
    part[w] &= ~bit;
    part[words + w] &= ~bit;
  };
  fill(fill, 0);
}

}  // namespace

// kUnrelated, kContained, or the one variable at which `small` has the
// opposite of a literal of `big` (and a literal at every other one).
int32_t CompareMasks(const uint64_t* big, const uint64_t* small, size_t words) {
  int32_t differing = kContained;
  for (size_t w = 0; w < words; ++w) {
    const uint64_t literals = big[w];
    if ((small[w] & literals) != literals) return kUnrelated;
    const uint64_t opposite = (big[words + w] ^ small[words + w]) & literals;
    if (opposite == 0) continue;
    if (differing != kContained || (opposite & (opposite - 1)) != 0) return kUnrelated;
    differing = static_cast<int32_t>(w * 64) + std::countr_zero(opposite);
  }
  return differing;
}

// Puts the members of the pass into indexes of their own, one per class.
// Among many terms with characters elsewhere, or many candidates of other
// characters, the index of every term lists far more terms than a search
// needs. Built before the first visit, when the output's lists hold exactly
// the members.
void BuildClassIndexes(Pass& p) {
  CandidateSearch& search = p.memory.search;
  search.StartClasses();
  const auto dashOf = [&](int32_t s) { return p.memory.records[Idx(s)].dash; };
  std::vector<int32_t> slots;
  for (char v : {'1', '0', '-'}) {
    slots.clear();
    OutputList(p.graph, p.output, v)->ForEach([&](const Term* t) { slots.push_back(t->slot); });
    search.AddClass(ValueClass(v), p.graph.inputCount, slots, dashOf, p.memory.masks, p.words);
  }
}

namespace {

// The survivors of s among the candidates noted when s was found not
// isolated (or that joined the list when they were made).
void SurvivorsOfKnown(Pass& p, int32_t s, char v, const std::vector<SerialSlot>& known) {
  const ListPlace place = PlaceOf(p, s);
  const uint64_t* tm = MasksOf(p, s);
  bool isolated = true;
  for (const SerialSlot e : known) {
    if (!Alive(p.memory, e)) continue;
    isolated = false;
    const int32_t u = e.slot;
    if (ValueOf(p, u) != v || !(place < PlaceOf(p, u))) continue;
    const int32_t r = CompareMasks(tm, MasksOf(p, u), p.words);
    if (r != kUnrelated) p.scratch.survivors.push_back({u, r});
  }
  p.stats.comparisons += static_cast<int64_t>(known.size());
  // Every term it met is gone: it meets no other term now.
  if (!p.memory.search.byClass() && isolated) NoteIsolated(p.memory, s);
}

// The survivors of s among the terms an index (or the rows of a class, or the
// table of parts) names. A term met through the index with no candidate among
// all the graph's input parts, whatever their characters, is isolated.
void SurvivorsThroughIndex(Pass& p, int32_t s, char v) {
  const ListPlace place = PlaceOf(p, s);
  const int c = ValueClass(v);
  const uint64_t* tm = MasksOf(p, s);
  const int32_t literals = LiteralCount(tm, p.words);
  p.scratch.near.clear();
  // The input parts a candidate may have are 3^dashes * (literals + 1); a
  // term with few dashes among many similar terms (minterm tables, such as
  // the real set's b12_split and the minterms family) names them faster
  // through the table of parts than the leaves list its candidates. Impure
  // input parts are not in that table.
  const int32_t dash = p.memory.records[Idx(s)].dash;
  const double parts = std::pow(3.0, std::min(dash, 40)) * (literals + 1);
  const double most = p.memory.impureTerms != 0    ? kNoLimit
                      : p.nameParts && parts < 1e4 ? 0
                                                   : std::min(kTermsPerPart * parts, kNoLimit);
  CandidateSearch& search = p.memory.search;
  if (search.naming() && parts > tuning::kNamedPartsAtMost) {
    // Too many parts to name: the index of every term serves from here on.
    BuildIndexOfLiveTerms(p);
    search.StopNaming();
  }
  const bool listed = search.Near(c, tm, dash, p.words, static_cast<size_t>(most), p.scratch.near);
  if (!listed) NamePartsOfCandidates(p, tm);
  p.stats.comparisons += static_cast<int64_t>(p.scratch.near.size());
  bool isolated = true;
  for (int32_t u : p.scratch.near) {
    const bool member = search.byClass() ? search.ClassOf(u) == c : ValueOf(p, u) == v;
    if (u == s || (!member && !isolated)) continue;
    const int32_t r = CompareMasks(tm, MasksOf(p, u), p.words);
    if (r == kUnrelated) continue;
    isolated = false;
    if (member && place < PlaceOf(p, u)) p.scratch.survivors.push_back({u, r});
  }
  if (!search.byClass() && listed && isolated) NoteIsolated(p.memory, s);
}

}  // namespace

// Puts the surviving candidates of the current term s into p.scratch.survivors, in
// working-list order.
void FindSurvivors(Pass& p, int32_t s, char v) {
  std::vector<Survivor>& found = p.scratch.survivors;
  found.clear();
  const int c = ValueClass(v);
  if (c == kOtherClass) {
    // Only a term without literals can meet such a character without reading
    // a cell list, which refuses it; every later term with it is contained.
    if (LiteralCount(MasksOf(p, s), p.words) > 0) throw "wrong set";
    const ListPlace place = PlaceOf(p, s);
    for (int32_t u : p.others) {
      if (ValueOf(p, u) == v && place < PlaceOf(p, u)) found.push_back({u, kContained});
    }
  } else if (const std::vector<SerialSlot>* known = p.useKnown ? KnownCandidatesOf(p.memory, s) : nullptr) {
    SurvivorsOfKnown(p, s, v, *known);
  } else {
    SurvivorsThroughIndex(p, s, v);
  }
  std::sort(found.begin(), found.end(),
            [&](const Survivor& a, const Survivor& b) { return PlaceOf(p, a.id) < PlaceOf(p, b.id); });
}

}  // namespace tavro
