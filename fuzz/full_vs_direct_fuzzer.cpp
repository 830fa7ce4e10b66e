// Fuzz harness comparing the full build with the direct build: the same bytes
// are loaded into two graphs, the first reduced on every output, the second
// left as loaded. Both must call the same outputs tautologies; every witness
// must meet no ON cube of the function as loaded; an output answered early
// (by an OFF or don't-care cube) must be so answered by both; on small
// functions the reduction must keep every output's ON, OFF and don't-care
// sets; and the direct build must answer the same on the number of threads
// the input asks for.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"
#include "reduce/reduce_output.hpp"
#include "support/brute_force.hpp"
#include "support/graph_text.hpp"
#include "support/graph_verifier.hpp"
#include "tautology/report.hpp"

namespace tavro::fuzz {
namespace {

// Loads the text; false when loading fails (the same way for both builds).
bool Load(std::string_view text, TermGraph& graph) {
  try {
    ParsePlaText(text, graph);
    return true;
  } catch (const char* message) {
    ExpectPlainMessage(message, Stage::kLoad);
  } catch (const std::string& message) {
    ExpectStringMessage(message, Stage::kLoad);
  }
  return false;
}

// Reduces every output; false when the reduction ends in an error.
bool Reduce(TermGraph& graph) {
  try {
    ReduceState state;
    for (int32_t output = 0; output < graph.outputCount; ++output) ReduceOutput(graph, output, state);
  } catch (const char* message) {
    ExpectPlainMessage(message, Stage::kReduce);
    return false;
  }
  return true;
}

std::string Report(const TermGraph& graph) {
  try {
    return BuildReport(graph);
  } catch (const char* message) {
    ExpectPlainMessage(message, Stage::kReport);
  } catch (const std::string& message) {
    ExpectStringMessage(message, Stage::kReport);
  }
  return {};
}

void Compare(const TermGraph& full, const TermGraph& direct) {
  const std::string problem = testing::VerifyGraph(full);
  Expect(problem.empty(), "graph invariant broken by the reduction: " + problem);
  Expect(full.outputCount == direct.outputCount && full.inputCount == direct.inputCount,
         "the reduction changed the sizes");
  if (full.inputCount <= kMaxTableInputs) {
    for (int32_t output = 0; output < full.outputCount; ++output) {
      for (char value : {'1', '0', '-'}) {
        Expect(TableOf(full, output, value) == TableOf(direct, output, value),
               "the reduction changed the '" + std::string(1, value) + "' set of output " +
                   std::to_string(output));
      }
    }
  }
  const std::vector<std::string> fullAnswers = ReportLines(Report(full));
  const std::vector<std::string> directAnswers = ReportLines(Report(direct));
  const size_t outputs = static_cast<size_t>(full.outputCount);
  Expect(fullAnswers.size() == outputs && directAnswers.size() == outputs, "wrong report length");
  for (size_t j = 0; j < outputs; ++j) {
    const std::string& a = fullAnswers[j];
    const std::string& b = directAnswers[j];
    const std::string where = "output " + std::to_string(j) + " (full " + a + ", direct " + b + "): ";
    Expect((a == "tautology") == (b == "tautology"), where + "the builds disagree");
    const OutputTermLists& fullLists = full.outputLists[j];
    const OutputTermLists& directLists = direct.outputLists[j];
    Expect(fullLists.offTerms.Empty() == directLists.offTerms.Empty(), where + "OFF set gained or lost");
    Expect(fullLists.dcTerms.Empty() == directLists.dcTerms.Empty(), where + "don't-care set gained or lost");
    if (!directLists.offTerms.Empty()) {
      Expect(a == fullLists.offTerms.First()->inputs().str() && b == directLists.offTerms.First()->inputs().str(),
             where + "not the first OFF cube");
    } else if (!directLists.dcTerms.Empty()) {
      Expect(a == fullLists.dcTerms.First()->inputs().str() && b == directLists.dcTerms.First()->inputs().str(),
             where + "not the first don't-care cube");
    } else if (a != "tautology") {
      Expect(IsCube(a, full.inputCount) && IsCube(b, full.inputCount), where + "answer is no cube");
      directLists.onTerms.ForEach([&](const Term* t) {
        Expect(!testing::CubesMeet(t->inputs(), a), where + "full witness meets ON cube " + t->inputs());
        Expect(!testing::CubesMeet(t->inputs(), b), where + "direct witness meets ON cube " + t->inputs());
      });
    }
  }
}

}  // namespace
}  // namespace tavro::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavro;
  using namespace tavro::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!WithinBounds(text)) return -1;
  try {
    TermGraph full;
    TermGraph direct;
    if (!Load(text, full)) return 0;
    Expect(Load(text, direct), "the same text loaded once only");
    // The direct build's report on the threads the input asks for is the
    // one of a single thread.
    TermGraph threaded;
    const int threads = ThreadsOf(text);
    ParseOnThreads(text, threaded, threads);
    Expect(testing::GraphText(threaded) == testing::GraphText(direct), "read otherwise on " + std::to_string(threads) + " threads");
    Expect(OutcomeOf([&] { return ReportOnThreads(threaded, false, threads); }) ==
               OutcomeOf([&] { return BuildReport(direct); }),
           "the direct build answers otherwise on " + std::to_string(threads) + " threads");
    if (!Reduce(full)) return 0;
    Compare(full, direct);
  } catch (const std::bad_alloc&) {
    Fail("out of memory on a bounded input");
  } catch (const std::exception& e) {
    Fail(std::string("unexpected exception: ") + e.what());
  }
  return 0;
}
