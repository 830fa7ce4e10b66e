// Fuzz harness for the whole run: the bytes are loaded as a PLA file, every
// output is reduced (full build) and searched, exactly as the program does,
// and every thrown value is caught as the entry point catches it. Beyond not
// crashing, the run must keep the graph's invariants, throw only the messages
// its input can cause, and print a valid answer for every output; the library,
// and a run on the number of threads the input asks for, must give the same
// lines, or the same message, on the same bytes.
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
#include "support/graph_verifier.hpp"
#include "tavro/tavro.hpp"
#include "tautology/report.hpp"

namespace tavro::fuzz {
namespace {

void ExpectValidGraph(const TermGraph& graph, const char* when) {
  const std::string problem = testing::VerifyGraph(graph);
  Expect(problem.empty(), std::string("graph invariant broken ") + when + ": " + problem);
}

// Every answer: the first OFF cube, else the first don't-care cube, else
// "tautology" when the ON cubes cover everything, else a cube no ON cube meets.
void ExpectValidReport(const TermGraph& graph, const std::string& report) {
  const std::vector<std::string> lines = ReportLines(report);
  Expect(lines.size() == static_cast<size_t>(graph.outputCount), "report has a wrong line count");
  for (int32_t output = 0; output < graph.outputCount; ++output) {
    const std::string& answer = lines[static_cast<size_t>(output)];
    const OutputTermLists& lists = graph.outputLists[static_cast<size_t>(output)];
    const std::string where = "output " + std::to_string(output) + ": ";
    if (!lists.offTerms.Empty()) {
      Expect(answer == lists.offTerms.First()->inputs().str(), where + "not the first OFF cube");
    } else if (!lists.dcTerms.Empty()) {
      Expect(answer == lists.dcTerms.First()->inputs().str(), where + "not the first don't-care cube");
    } else if (answer == "tautology") {
      if (graph.inputCount <= kMaxTableInputs) {
        for (bool held : TableOf(graph, output, '1')) Expect(held, where + "false tautology");
      }
      continue;
    } else {
      lists.onTerms.ForEach([&](const Term* t) {
        Expect(!testing::CubesMeet(t->inputs(), answer), where + "witness " + answer + " meets " + t->inputs());
      });
    }
    Expect(IsCube(answer, graph.inputCount), where + "answer is no cube: " + answer);
  }
}

// The library on the same text: the same result lines, or the same message.
void ExpectSameFromLibrary(std::string_view text, const std::string& outcome) {
  std::string got;
  try {
    const Report report = Check(ReadPlaText(text));
    for (int32_t output = 0; output < report.outputCount(); ++output) {
      got += (output > 0 ? "\n" : "") + report[output].text();
    }
  } catch (const Error& e) {
    got = e.message();
  }
  Expect(got == outcome, "the library gives \"" + got + "\" where the pipeline gives \"" + outcome + "\"");
}

// The same run on the threads the input asks for, read and decided there:
// the same lines, or the same message.
void ExpectSameOnThreads(std::string_view text, const std::string& outcome) {
  const int threads = ThreadsOf(text);
  const std::string got = OutcomeOf([&] {
    TermGraph graph;
    ParseOnThreads(text, graph, threads);
    return ReportOnThreads(graph, true, threads);
  });
  Expect(got == outcome, "on " + std::to_string(threads) + " threads \"" + got + "\" where one gives \"" + outcome + "\"");
}

}  // namespace
}  // namespace tavro::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavro;
  using namespace tavro::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!WithinBounds(text)) return -1;
  TermGraph graph;
  Stage stage = Stage::kLoad;
  try {
    ParsePlaText(text, graph);
    ExpectValidGraph(graph, "after loading");
    stage = Stage::kReduce;
    ReduceState state;
    for (int32_t output = 0; output < graph.outputCount; ++output) ReduceOutput(graph, output, state);
    ExpectValidGraph(graph, "after the reduction");
    stage = Stage::kReport;
    const std::string report = BuildReport(graph);
    ExpectValidReport(graph, report);
    ExpectSameFromLibrary(text, report);
    ExpectSameOnThreads(text, report);
  } catch (const char* message) {
    ExpectPlainMessage(message, stage);
    if (graph.termCount != -1) ExpectValidGraph(graph, "after an error");
    ExpectSameFromLibrary(text, message);
    ExpectSameOnThreads(text, message);
  } catch (const std::string& message) {
    ExpectStringMessage(message, stage);
    if (graph.termCount != -1) ExpectValidGraph(graph, "after an error");
    ExpectSameFromLibrary(text, message);
    ExpectSameOnThreads(text, message);
  } catch (const std::bad_alloc&) {
    Fail("out of memory on a bounded input");
  } catch (const std::exception& e) {
    // The entry point would print this text; none is meant to reach a user.
    Fail(std::string("unexpected exception: ") + e.what());
  }
  return 0;
}
