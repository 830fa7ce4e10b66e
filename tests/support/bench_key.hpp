// The benchmark folder beside the project (absent on some machines) and its
// answer key expected.tsv.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tavro::testing {

inline const std::filesystem::path kBench = std::filesystem::path(TAVRO_SOURCE_DIR) / ".." / "shared" / "bench";

struct KeyRow {
  std::string path;                 // relative to the bench folder
  std::vector<std::string> fields;  // the columns after the path
};

/// The rows of expected.tsv without comments and blank lines; none when it is absent.
inline std::vector<KeyRow> ReadAnswerKey() {
  std::ifstream in(kBench / "expected.tsv");
  std::vector<KeyRow> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream cells(line);
    KeyRow row;
    std::getline(cells, row.path, '\t');
    for (std::string cell; std::getline(cells, cell, '\t');) row.fields.push_back(cell);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace tavro::testing
