// Every tuning constant of the reduction pass, with the benchmark row it
// serves (bench/run's names) and what it gains there: reduce seconds of
// tavro-phases-bench, the pass without the strategy against the pass with it,
// least of three runs on one machine. None of them changes a result.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavro::tuning {

// Isolated terms (isolated_terms.cpp): a sample of kIsolatedSample members
// not yet looked at decides whether to look at all of them; they are when at
// least half of the sample is isolated. Random covers, where a term seldom
// meets another: random 200,000 / 32 / 16 3.15 against 0.77 s, nontaut 200,000
// 1.55 against 0.68 s, onoff-fr 200,000 2.18 against 0.66 s. On covers where
// terms meet, the sample stops the looking after the first pass.
inline constexpr size_t kIsolatedSample = 64;

// Checking at once (isolated_terms.cpp): when at least kCheckAtOnce graph
// terms wait for the check, all are checked in one sweep of the index of
// every term instead of one by one as the passes reach them. Random
// 1,000,000 / 32 / 16: 3.1 against 4.6 s, 4,000,000: 33 against 70 s;
// below the bound (onoff signet, where the passes would stop looking after a
// few outputs) the sweep would check terms that no pass checks.
inline constexpr size_t kCheckAtOnce = 4096;

// Class indexes (reduce_output.cpp): the members of a pass get indexes of
// their own, by character, unless the index of every term is built and fewer
// than one member in kClassIndexShare waits for a visit. Random 200,000 / 32
// / 16 1.24 against 0.77 s, nontaut 200,000 0.89 against 0.68 s, onoff-fr
// 200,000 1.03 against 0.66 s (always class indexes against this rule).
inline constexpr size_t kClassIndexShare = 8;

// Member rows (member_rows.hpp): a class of at most kRowMembers members at
// the start of a pass is searched by reading all its rows, instead of
// through a class index, whose upkeep costs more than reading a few thousand
// rows. Real set, files of many outputs with few members each: pdc 0.059
// against 0.029 s, xparc (onoff) 0.060 against 0.026 s, mainpla (onoff)
// 0.059 against 0.030 s, bca (fr) 0.033 against 0.016 s; split 10,000 0.040
// against 0.019 s. At 1,024 members bca (fr) takes 0.022 s; at 4,096
// minterms 2^13 takes 0.119 against 0.095 s.
inline constexpr size_t kRowMembers = 2048;

// Naming input parts (survivors.cpp): a term's candidates are looked up by
// their possible input parts, 3^dashes * (literals + 1) of them, when the
// index's leaves would list more than kTermsPerPart times as many terms.
// Split 200,000: 2.08 against 1.55 s.
inline constexpr double kTermsPerPart = 8;

// Naming without an index (reduce_output.cpp): when every term without a
// dash was decided isolated or not by sorting, and few members wait for a
// visit, their candidates are found by naming input parts, up to
// kNamedPartsAtMost parts for a term; a term with more has the index of every
// term built. Random 1,000,000 lines of 40 inputs, no '-': 0.59 against
// 1.35 s (indexes by class for the few members to visit).
inline constexpr double kNamedPartsAtMost = 4096;

// Candidate index shape (candidate_index.cpp): groups of `width` places with
// 3^width at most the number of terms over kTermsPerLeaf, so that a leaf lists
// two terms or more: a search reads fewer, longer lists, each list a cache
// miss. Against one term per leaf: random 200,000 / 32 / 16 0.75 against
// 0.50 s, nontaut 200,000 0.65 against 0.47 s, adjacent 200,000 1.98 against
// 1.66 s, minterms 2^18 7.6 against 5.4 s (minterms 2^13 0.085 against
// 0.107 s). At most kWidestGroup places (3^12 list heads, 4 MiB a group) and
// kMostGroups groups (beyond those the places are left out of the index:
// wide inputs add upkeep without making the two best groups much better).
inline constexpr size_t kTermsPerLeaf = 2;
inline constexpr int32_t kWidestGroup = 12;
inline constexpr int32_t kMostGroups = 16;

}  // namespace tavro::tuning
