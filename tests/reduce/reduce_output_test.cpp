#include "reduce/reduce_output.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"
#include "reduce/reference_reduce.hpp"
#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

using testing::Text;
using testing::ThrownBy;
using testing::VerifyGraph;

using testing::CubeLines;
using testing::Describe;
using testing::Lines;

// Runs the reference pass or the indexed one on output `j`.
void Reduce(TermGraph& g, int32_t j, bool reference, const ReduceHooks* hooks = nullptr) {
  if (reference) {
    testing::ReferenceReduceOutput(g, j, hooks);
  } else if (hooks != nullptr) {
    ReduceState state;
    ReduceOutput(g, j, state, hooks);
  } else {
    ReduceOutput(g, j);
  }
}

// Re-scans reported during a pass, as "current -> resumed at" input parts.
struct RescanLog {
  Lines entries;
  ReduceHooks hooks;
  RescanLog() {
    hooks.onRescan = [this](std::string_view current, std::string_view resumeAt) {
      entries.push_back(std::string(current) + " -> " + std::string(resumeAt));
    };
  }
};

struct ReduceCase {
  const char* name;
  int inputs, outputs;
  CubeLines cubes;
  int output;
  Lines on, off, dc, unspecified;  // lists of the reduced output afterwards
  Lines terms;
  Lines rescans;
};

TEST(ReduceOutput, WorkedCases) {
  const ReduceCase cases[] = {
      {"no terms", 2, 1, {}, 0, {}, {}, {}, {}, {}, {}},
      {"every term '~' at the output", 2, 2, {{"1-", "~1"}, {"11", "~1"}}, 0,
       {}, {}, {}, {"1- ~1", "11 ~1"}, {"1- ~1", "11 ~1"}, {}},
      {"11 and 10 reduce to 1-", 2, 1, {{"11", "1"}, {"10", "1"}}, 0,
       {"1- 1"}, {}, {}, {}, {"1- 1"}, {"11 -> 1-"}},
      {"dash where t has a literal", 3, 1, {{"1-1", "1"}, {"-11", "1"}}, 0,
       {"1-1 1", "-11 1"}, {}, {}, {}, {"1-1 1", "-11 1"}, {}},
      {"two opposite literals", 2, 1, {{"11", "1"}, {"00", "1"}}, 0,
       {"11 1", "00 1"}, {}, {}, {}, {"11 1", "00 1"}, {}},
      {"literal under t's dash; expansion after t", 2, 1, {{"1-", "1"}, {"01", "1"}}, 0,
       {"1- 1", "-1 1"}, {}, {}, {}, {"1- 1", "-1 1"}, {}},
      {"contained cube is absorbed", 3, 1, {{"0-1", "0"}, {"011", "0"}, {"001", "0"}}, 0,
       {}, {"0-1 0"}, {}, {}, {"0-1 0"}, {}},
      {"ON never meets OFF or don't care", 2, 1, {{"11", "1"}, {"10", "0"}, {"01", "-"}}, 0,
       {"11 1"}, {"10 0"}, {"01 -"}, {}, {"11 1", "10 0", "01 -"}, {}},
      // The expansion 1- exists with '~' here: it takes the character in
      // place (first), the re-scan reaches it, and it absorbs 11.
      {"expansion held with '~' takes the character", 2, 2, {{"1-", "~1"}, {"11", "1~"}, {"10", "1~"}}, 0,
       {"1- 11"}, {}, {}, {}, {"1- 11"}, {"11 -> 1-"}},
      // The don't-care cube 1- holds the expansion of 11 and 10 with another
      // character: both stay, and nothing is thrown.
      {"expansion held with another character", 2, 1, {{"11", "1"}, {"10", "1"}, {"1-", "-"}}, 0,
       {"11 1", "10 1"}, {}, {"1- -"}, {}, {"11 1", "10 1", "1- -"}, {}},
      // --1 gives 1-- (held with '~') the character without a re-scan; 11-
      // then meets 10-, whose expansion 1-- already has it: 10- still leaves
      // the output and the re-scan still happens, reaching 1-- in its place.
      {"expansion already held with the character", 3, 1,
       {{"1--", "~"}, {"11-", "1"}, {"10-", "1"}, {"01-", "1"}, {"1-0", "1"}, {"--1", "1"}}, 0,
       {"--1 1", "1-- 1", "-1- 1"}, {}, {}, {}, {"1-- 1", "--1 1", "-1- 1"}, {"11- -> 1--"}},
      // -- absorbs -0, which stays alive for output 1; the expansion of 00
      // by 10 gives -0 the character back, but -0 is out of the list and
      // never absorbs 10.
      {"character given to a term taken out earlier", 2, 2,
       {{"--", "11"}, {"10", "--"}, {"00", "-~"}, {"-0", "11"}}, 0,
       {"-- 11"}, {}, {"10 --", "-0 -1"}, {}, {"-- 11", "10 --", "-0 -1"}, {"10 -> --"}},
      {"resume at the first place", 3, 2, {{"1--", "~1"}, {"01-", "~1"}, {"000", "1~"}, {"001", "1~"}}, 0,
       {"00- 1~"}, {}, {}, {"1-- ~1", "01- ~1"}, {"1-- ~1", "01- ~1", "00- 1~"}, {"000 -> 1--"}},
      {"resume at the block before", 3, 2,
       {{"1--", "~1"}, {"--1", "~1"}, {"01-", "~1"}, {"000", "1~"}, {"001", "1~"}}, 0,
       {"00- 1~"}, {}, {}, {"1-- ~1", "--1 ~1", "01- ~1"}, {"1-- ~1", "--1 ~1", "01- ~1", "00- 1~"},
       {"000 -> 01-"}},
  };
  for (const ReduceCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool reference : {false, true}) {
      SCOPED_TRACE(reference ? "reference" : "indexed");
      TermGraph g;
      testing::Load(g, kTypeFdr, c.inputs, c.outputs, c.cubes);
      RescanLog log;
      Reduce(g, c.output, reference, &log.hooks);
      EXPECT_EQ(testing::OutputLists(g, c.output), (std::vector<Lines>{c.on, c.off, c.dc, c.unspecified}));
      EXPECT_EQ(Describe(g.terms), c.terms);
      EXPECT_EQ(log.entries, c.rescans);
      EXPECT_EQ(VerifyGraph(g), "");
    }
  }
}

}  // namespace
}  // namespace tavro
