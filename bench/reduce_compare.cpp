// Times, in process CPU seconds, the reduction pass over every output of a
// generated cover, and optionally the plain list-based pass of the tests on the
// same cover, checking that both leave identical lists. Prints the pass's work
// counts and a digest of all lists, so that runs with different costs can be
// checked against each other on covers too large for the plain pass.
//
// Usage: tavro-reduce-compare KIND CUBES INPUTS OUTPUTS SEED [plain]
//        tavro-reduce-compare file PATH [plain]
//   KIND minterms: distinct random minterms (dense: many adjacent pairs)
//   KIND small:    random cubes with 0 to 2 dashes (many neighbours, many contained)
//   KIND mixed:    random cubes with a quarter of their characters '-'
//   KIND uniform:  random cubes over '0', '1', '-' alike (few neighbours)
// Every output gets '1' on about half the cubes, '0' or '-' on some, '~' on
// the rest.
// A file is read roughly, for timing only: '|' separates like a blank,
// keyword and comment lines are skipped but for .type, inputs other than 0
// and 1 count as '-', and outputs are mapped by type as the program's parser
// maps them.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "graph/term_graph.hpp"
#include "reduce/reduce_output.hpp"
#include "reduce/reference_reduce.hpp"

namespace {

using Cubes = std::vector<std::pair<std::string, std::string>>;

Cubes Generate(const std::string& kind, long cubes, int inputs, int outputs, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::unordered_set<std::string> seen;
  Cubes out;
  long attempts = 0;
  while (static_cast<long>(out.size()) < cubes && attempts++ < cubes * 20) {
    std::string in(static_cast<size_t>(inputs), '0');
    for (char& c : in) c = "01"[rng() % 2];
    if (kind == "small") {
      const uint64_t dashes = rng() % 3;
      for (uint64_t d = 0; d < dashes; ++d) in[rng() % in.size()] = '-';
    } else if (kind == "mixed") {
      for (char& c : in) c = rng() % 4 == 0 ? '-' : c;
    } else if (kind == "uniform") {
      for (char& c : in) c = "01-"[rng() % 3];
    }
    if (!seen.insert(in).second) continue;
    std::string o(static_cast<size_t>(outputs), '~');
    for (char& c : o) c = "1111100-~~"[rng() % 10];
    out.emplace_back(in, o);
  }
  return out;
}

struct Loaded {
  Cubes cubes;
  int inputs = 0, outputs = 0;
};

Loaded ReadRoughly(const std::string& path) {
  std::ifstream in(path);
  Loaded f;
  std::string line, type = "fd";
  while (std::getline(in, line)) {
    for (char& c : line) c = c == '|' ? ' ' : c;
    std::istringstream tokens(line);
    std::string first, second;
    if (!(tokens >> first)) continue;
    if (first[0] == '.' || first[0] == '#') {
      if (first == ".type") tokens >> type;
      continue;
    }
    tokens >> second;
    for (char& c : first) c = c == '0' || c == '1' ? c : '-';
    for (char& c : second) {
      const bool on = c == '1' || c == '4';
      const bool off = c == '0' && (type == "fr" || type == "fdr");
      const bool dc = (c == '-' || c == '2') && (type == "fd" || type == "fdr");
      c = on ? '1' : off ? '0' : dc ? '-' : '~';
    }
    f.inputs = static_cast<int>(first.size());
    f.outputs = static_cast<int>(second.size());
    f.cubes.emplace_back(first, second);
  }
  return f;
}

struct Result {
  double seconds = 0;
  tavro::ReduceStats stats;
  std::vector<std::string> lists;
  int32_t terms = 0;
  long on = 0;
};

Result Run(const Cubes& cubes, int inputs, int outputs, bool plain) {
  tavro::TermGraph g;
  tavro::InitGraph(g, tavro::kTypeFdr, inputs, outputs, "", "");
  for (const auto& [in, out] : cubes) {
    try {
      tavro::AddCube(g, in, out);
    } catch (const char*) {
      // A contradicting line ends a real run; here it is only skipped.
    }
  }
  Result r;
  tavro::ReduceHooks hooks;
  hooks.stats = &r.stats;
  tavro::ReduceState state;
  const std::clock_t start = std::clock();
  for (int32_t j = 0; j < outputs; ++j) {
    if (plain) {
      tavro::testing::ReferenceReduceOutput(g, j);
    } else {
      tavro::ReduceOutput(g, j, state, &hooks);
    }
  }
  r.seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  r.terms = g.termCount;
  auto dump = [&](const tavro::TermList& list) {
    std::string s;
    list.ForEach([&](const tavro::Term* t) { s += t->inputs() + t->outputs() + ","; });
    r.lists.push_back(s);
  };
  dump(g.terms);
  for (const tavro::OutputTermLists& l : g.outputLists) {
    dump(l.onTerms);
    dump(l.offTerms);
    dump(l.dcTerms);
    r.lists.push_back(std::to_string(l.unspecifiedCount));  // the terms themselves follow from `terms`
    r.on += l.onTerms.Count();
  }
  return r;
}

// A hash of all list contents, to tell runs with different settings apart.
size_t Digest(const std::vector<std::string>& lists) {
  size_t h = 0;
  for (const std::string& list : lists) h = h * 1000003u ^ std::hash<std::string>{}(list);
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 && !(argc >= 3 && std::string(argv[1]) == "file")) {
    std::fprintf(stderr, "usage: %s minterms|small|mixed|uniform CUBES INPUTS OUTPUTS SEED [plain]\n", argv[0]);
    return 2;
  }
  std::string kind = argv[1];
  Cubes cubes;
  int inputs = 0, outputs = 0, options = 6;
  if (kind == "file") {
    Loaded f = ReadRoughly(argv[2]);
    cubes = std::move(f.cubes);
    inputs = f.inputs;
    outputs = f.outputs;
    options = 3;
    kind = argv[2];
    kind = kind.substr(kind.find_last_of('/') + 1);
  } else {
    inputs = std::atoi(argv[3]);
    outputs = std::atoi(argv[4]);
    cubes = Generate(kind, std::atol(argv[2]), inputs, outputs, std::strtoull(argv[5], nullptr, 10));
  }
  bool withPlain = false;
  for (int i = options; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "plain") withPlain = true;
  }
  const Result fast = Run(cubes, inputs, outputs, false);
  std::printf("%-12s cubes %7zu inputs %3d outputs %2d | indexed %8.3f s | terms after %7d, ON cubes %7ld"
              " | visits %lld rescans %lld comparisons %lld | lists %016zx",
              kind.c_str(), cubes.size(), inputs, outputs, fast.seconds, fast.terms, fast.on,
              static_cast<long long>(fast.stats.visits), static_cast<long long>(fast.stats.rescans),
              static_cast<long long>(fast.stats.comparisons),
              Digest(fast.lists));
  if (withPlain) {
    const Result plain = Run(cubes, inputs, outputs, true);
    std::printf(" | plain %8.3f s | %s", plain.seconds,
                plain.lists == fast.lists ? "identical lists" : "LISTS DIFFER");
    if (plain.lists != fast.lists) {
      std::printf("\n");
      return 1;
    }
  }
  std::printf("\n");
  return 0;
}
