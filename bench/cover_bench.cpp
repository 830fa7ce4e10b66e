// Measures the cover check on the benchmark files: for every file of
// derived/onoff/, pla/ and pla/fr/ it loads the function, runs the check on
// the ON cubes of every output, compares the verdicts with the answer key
// (expected.tsv: 'T' must be proved, 'N' must not) and prints per file the
// outputs proved and the CPU time of the check, then the slowest five.
//
// Usage: tavro-cover-bench [bench folder [name part [rounds]]]   (default
// folder ../shared/bench, i.e. run from the project root; with a name part,
// only the files whose path contains it; with rounds, every output is checked
// that many times and its shortest time counts)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"
#include "tautology/cover_check.hpp"

namespace {

struct FileResult {
  std::string name;
  int32_t inputs = 0;
  int32_t outputs = 0;
  int32_t terms = 0;
  int32_t searched = 0;     // outputs without OFF and DC cubes
  int32_t proved = 0;       // of those, proved tautology by the check
  int32_t provedOther = 0;  // outputs with OFF or DC cubes whose ON cubes cover all
  int32_t expectedT = 0;
  int32_t wrong = 0;           // verdicts contradicting a 'T' or 'N' of the key
  double searchedSeconds = 0;  // check time over the searched outputs
  double allSeconds = 0;       // check time over all outputs
};

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

std::map<std::string, std::string> ReadAnswers(const std::filesystem::path& file) {
  std::map<std::string, std::string> answers;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    if (fields.size() == 7) answers[fields[0]] = fields[6];
  }
  return answers;
}

std::vector<std::string> PlaFiles(const std::filesystem::path& root, const char* folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(root / folder, error)) {
    if (entry.is_regular_file() && entry.path().extension() == ".pla") {
      files.push_back(std::string(folder) + "/" + entry.path().filename().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path root = argc > 1 ? argv[1] : "../shared/bench";
  const std::string only = argc > 2 ? argv[2] : "";
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  const auto answers = ReadAnswers(root / "expected.tsv");
  if (answers.empty()) {
    std::fprintf(stderr, "no answer key at %s\n", (root / "expected.tsv").string().c_str());
    return 1;
  }
  std::vector<std::string> files;
  for (const char* folder : {"derived/onoff", "pla", "pla/fr"}) {
    const auto found = PlaFiles(root, folder);
    files.insert(files.end(), found.begin(), found.end());
  }

  std::vector<FileResult> results;
  int failures = 0;
  std::printf("%-26s %5s %5s %6s %6s %6s %6s %5s %6s %10s %10s\n", "file", "in", "out", "terms",
              "search", "proved", "key_T", "wrong", "ON_cov", "search_ms", "all_ms");
  for (const std::string& name : files) {
    if (name.find(only) == std::string::npos) continue;
    const auto key = answers.find(name);
    if (key == answers.end()) {
      std::printf("%-26s no answer in the key, skipped\n", name.c_str());
      continue;
    }
    tavro::TermGraph graph;
    try {
      tavro::LoadPlaFileInto((root / name).string(), graph);
    } catch (const char* text) {
      std::printf("%-26s not loaded: %s\n", name.c_str(), text);
      continue;
    } catch (const std::string& text) {
      std::printf("%-26s not loaded: %s\n", name.c_str(), text.c_str());
      continue;
    }
    FileResult r;
    r.name = name;
    r.inputs = graph.inputCount;
    r.outputs = graph.outputCount;
    r.terms = graph.termCount;
    const size_t outputs = static_cast<size_t>(graph.outputCount);
    std::vector<double> best(outputs, 1e9);
    std::vector<char> verdict(outputs, 0);
    for (int round = 0; round < rounds; ++round) {
      for (size_t o = 0; o < outputs; ++o) {
        const double start = CpuSeconds();
        verdict[o] = tavro::OnCoverIsTautology(graph, static_cast<int32_t>(o)) ? 1 : 0;
        best[o] = std::min(best[o], CpuSeconds() - start);
      }
    }
    for (size_t o = 0; o < outputs; ++o) {
      const auto& lists = graph.outputLists[o];
      const bool searched = lists.offTerms.Empty() && lists.dcTerms.Empty();
      const bool covers = verdict[o] != 0;
      r.allSeconds += best[o];
      const char answer = o < key->second.size() ? key->second[o] : '?';
      if (answer == 'T') ++r.expectedT;
      if ((answer == 'T' && !covers) || (answer == 'N' && covers)) ++r.wrong;
      if (searched) {
        ++r.searched;
        r.searchedSeconds += best[o];
        if (covers) ++r.proved;
      } else if (covers) {
        ++r.provedOther;
      }
    }
    failures += r.wrong;
    std::printf("%-26s %5d %5d %6d %6d %6d %6d %5d %6d %10.3f %10.3f\n", name.c_str(), r.inputs,
                r.outputs, r.terms, r.searched, r.proved, r.expectedT, r.wrong, r.provedOther,
                1000 * r.searchedSeconds, 1000 * r.allSeconds);
    results.push_back(r);
  }

  double searchedTotal = 0;
  double allTotal = 0;
  int32_t proved = 0;
  int32_t expectedT = 0;
  for (const FileResult& r : results) {
    searchedTotal += r.searchedSeconds;
    allTotal += r.allSeconds;
    proved += r.proved;
    expectedT += r.expectedT;
  }
  std::printf(
      "\n%zu files: %d of %d expected tautologies proved, %d wrong verdicts; "
      "check CPU %.3f ms on searched outputs, %.3f ms on all outputs\n",
      results.size(), proved, expectedT, failures, 1000 * searchedTotal, 1000 * allTotal);
  std::sort(results.begin(), results.end(),
            [](const FileResult& a, const FileResult& b) { return a.allSeconds > b.allSeconds; });
  std::printf("slowest five (all outputs):\n");
  for (size_t k = 0; k < results.size() && k < 5; ++k) {
    std::printf("  %-26s %10.3f ms (searched outputs %.3f ms)\n", results[k].name.c_str(),
                1000 * results[k].allSeconds, 1000 * results[k].searchedSeconds);
  }
  return failures == 0 ? 0 : 2;
}
