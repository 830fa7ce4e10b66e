// Checks PLA files in one process: for each file, how many outputs are
// tautologies, and a cube on which each other output is not 1.
#include <iostream>

#include <tavro/tavro.hpp>

int main(int argc, char** argv) {
  tavro::Options options;
  options.anyWitness = true;  // any cube will do: the cover check answers at once
  int failed = 0;
  for (int i = 1; i < argc; ++i) {
    try {
      const tavro::Report report = tavro::CheckPlaFile(argv[i], options);
      int tautologies = 0;
      for (int32_t output = 0; output < report.outputCount(); ++output) {
        const tavro::Result result = report[output];
        if (result.tautology) {
          ++tautologies;
        } else {
          std::cout << argv[i] << ": output " << output << " is not 1 on " << result.cube << "\n";
        }
      }
      std::cout << argv[i] << ": " << tautologies << " of " << report.outputCount() << " outputs are tautologies\n";
    } catch (const tavro::Error& e) {
      std::cerr << argv[i] << ": " << e.message() << (e.message().ends_with('\n') ? "" : "\n");
      failed = 1;
    }
  }
  return failed;
}
