#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph/add_term.hpp"
#include "graph/remove_term.hpp"
#include "graph/term_graph.hpp"
#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "support/thrown_text.hpp"

namespace tavro {
namespace {

using testing::CubeLines;
using testing::Describe;
using testing::Lines;
using testing::OutputLists;
using testing::Text;
using testing::ThrownBy;
using testing::VerifyGraph;

struct AddTermCase {
  const char* name;
  int inputs, outputs;
  CubeLines cubes;
  int output;
  std::string part;
  char value;
  testing::Thrown thrown;
  bool created;
  Lines terms;  // afterwards, in order
};

TEST(AddTerm, Outcomes) {
  const auto kConflict = Text("There is a conflict between outputs in PLA file.");
  const auto kRange = Text("Function AddTerm: output number out of range");
  const auto kValue = Text("Function AddTerm: Unacceptable output: {1,0,-} only");
  const AddTermCase cases[] = {
      {"'~' takes the character", 3, 2, {{"1-0", "~1"}}, 0, "1-0", '1', testing::kNothing, false, {"1-0 11"}},
      {"already there", 3, 2, {{"1-0", "11"}}, 0, "1-0", '1', testing::kNothing, false, {"1-0 11"}},
      {"another character", 3, 2, {{"1-0", "01"}}, 0, "1-0", '1', kConflict, false, {"1-0 01"}},
      {"weird character at the output", 3, 1, {{"1-0", "5"}}, 0, "1-0", '1', kConflict, false, {"1-0 5"}},
      {"new term", 3, 3, {{"1-0", "111"}}, 1, "11-", '-', testing::kNothing, true, {"1-0 111", "11- ~-~"}},
      {"impure part never matches", 2, 1, {{"1x", "~"}}, 0, "1x", '0', testing::kNothing, true, {"1x ~", "1x 0"}},
      {"output past the end", 2, 2, {{"1-", "~~"}}, 2, "1-", '1', kRange, false, {"1- ~~"}},
      {"negative output", 2, 2, {{"1-", "~~"}}, -1, "1-", '1', kRange, false, {"1- ~~"}},
      {"last output", 2, 2, {{"1-", "~~"}}, 1, "1-", '1', testing::kNothing, false, {"1- ~1"}},
      {"'~' refused before any change", 2, 1, {{"1-", "~"}}, 0, "1-", '~', kValue, false, {"1- ~"}},
      {"range tested first", 2, 1, {}, 1, "1-", 'x', kRange, false, {}},
      {"short part reaches AddCube", 2, 1, {}, 0, "1", '1', Text("wrong size of term inputs"), false, {}},
  };
  for (const AddTermCase& c : cases) {
    SCOPED_TRACE(c.name);
    TermGraph g;
    testing::Load(g, kTypeFdr, c.inputs, c.outputs, c.cubes);
    Term* made = nullptr;
    EXPECT_EQ(ThrownBy([&] { made = AddTerm(g, c.output, c.part, c.value); }), c.thrown);
    EXPECT_EQ(made, c.created ? g.terms.Last() : nullptr);
    EXPECT_EQ(Describe(g.terms), c.terms);
    EXPECT_EQ(g.termCount, static_cast<int32_t>(c.terms.size()));
    EXPECT_EQ(VerifyGraph(g), "");
  }
}

TEST(AddTerm, TakenCharacterJoinsTheEndOfTheList) {
  TermGraph g;
  testing::Load(g, kTypeFd, 3, 2, {{"1-0", "~1"}, {"111", "11"}});
  EXPECT_EQ(AddTerm(g, 0, "1-0", '1'), nullptr);
  EXPECT_EQ(OutputLists(g, 0), (std::vector<Lines>{{"111 11", "1-0 11"}, {}, {}, {}}));
  EXPECT_EQ(Describe(g.terms), (Lines{"1-0 11", "111 11"}));
  EXPECT_EQ(VerifyGraph(g), "");
}

TEST(RemoveTerm, LeavesOutputThenDeletesWhenNoOutputRefersToIt) {
  TermGraph g;
  testing::Load(g, kTypeFd, 3, 2, {{"1-0", "11"}, {"000", "1-"}});
  Term& t = *g.terms.First();
  RemoveTermFromOutput(g, 0, t);
  EXPECT_EQ(OutputLists(g, 0), (std::vector<Lines>{{"000 1-"}, {}, {}, {"1-0 ~1"}}));
  EXPECT_EQ(OutputLists(g, 1), (std::vector<Lines>{{"1-0 ~1"}, {}, {"000 1-"}, {}}));
  EXPECT_EQ(g.termCount, 2);
  EXPECT_EQ(VerifyGraph(g), "");

  RemoveTermFromOutput(g, 1, t);
  EXPECT_EQ(Describe(g.terms), Lines{"000 1-"});
  EXPECT_EQ(FindTerm(g, "1-0"), nullptr);
  EXPECT_EQ(OutputLists(g, 0), (std::vector<Lines>{{"000 1-"}, {}, {}, {}}));
  EXPECT_EQ(VerifyGraph(g), "");
}

TEST(RemoveTerm, CasesByCharacter) {
  struct Case {
    const char* name;
    std::string outputs;
    bool deleted;
    std::vector<Lines> output0;  // lists of output 0 afterwards
  };
  const Case cases[] = {
      {"don't care leaves dcTerms", "-1", false, {{}, {}, {}, {"01 ~1"}}},
      {"off leaves offTerms", "01", false, {{}, {}, {}, {"01 ~1"}}},
      {"'~' stays as it is", "~1", false, {{}, {}, {}, {"01 ~1"}}},
      {"all '~' is deleted at once", "~~", true, {{}, {}, {}, {}}},
      // A character outside the lists still ends in unspecifiedTerms.
      {"weird character", "51", false, {{}, {}, {}, {"01 ~1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TermGraph g;
    InitGraph(g, kTypeFdr, 2, 2, "", "");
    Term& t = AddCube(g, "01", c.outputs);
    RemoveTermFromOutput(g, 0, t);
    EXPECT_EQ(g.termCount, c.deleted ? 0 : 1);
    EXPECT_EQ(OutputLists(g, 0), c.output0);
    EXPECT_EQ(VerifyGraph(g), "");
  }
}

TEST(RemoveTerm, FreedSlotIsReusedCleanly) {
  TermGraph g;
  testing::Load(g, kTypeFd, 2, 1, {{"01", "1"}, {"11", "1"}});
  Term& a = *g.terms.First();
  const int32_t slot = a.slot;
  DeleteTerm(g, a);
  Term& b = AddCube(g, "01", "-");
  EXPECT_EQ(b.slot, slot);
  EXPECT_EQ(Describe(g.terms), (Lines{"11 1", "01 -"}));
  EXPECT_EQ(VerifyGraph(g), "");
}

}  // namespace
}  // namespace tavro
