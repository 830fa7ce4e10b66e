// Plain evaluators of cube covers, for checking answers against the function
// itself. Input characters other than '0' and '1' count as '-'.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "graph/term_graph.hpp"

namespace tavro::testing {

inline bool IsLiteral(char c) { return c == '0' || c == '1'; }

/// True when the two cubes share an input vector.
inline bool CubesMeet(const std::string& a, const std::string& b) {
  for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
    if (IsLiteral(a[k]) && IsLiteral(b[k]) && a[k] != b[k]) return false;
  }
  return true;
}

/// True when every vector of `inner` lies in `outer`.
inline bool CubeContains(const std::string& outer, const std::string& inner) {
  for (size_t k = 0; k < outer.size() && k < inner.size(); ++k) {
    if (IsLiteral(outer[k]) && outer[k] != inner[k]) return false;
  }
  return true;
}

/// True when some cube holds the input vector (a string of '0' and '1').
inline bool Covers(const std::vector<std::string>& cubes, const std::string& vector) {
  return std::any_of(cubes.begin(), cubes.end(), [&](const std::string& c) { return CubeContains(c, vector); });
}

/// Input vector number `bits` of `inputCount` variables, variable k being bit k.
inline std::string VectorText(uint64_t bits, int inputCount) {
  std::string vector(static_cast<size_t>(inputCount), '0');
  for (size_t k = 0; k < vector.size(); ++k) vector[k] = (bits >> k) & 1 ? '1' : '0';
  return vector;
}

/// The first of the 2^inputCount input vectors that no cube holds (keep it small).
inline std::optional<std::string> FirstUncoveredVector(const std::vector<std::string>& cubes, int inputCount) {
  for (uint64_t bits = 0; bits < (uint64_t{1} << inputCount); ++bits) {
    if (!Covers(cubes, VectorText(bits, inputCount))) return VectorText(bits, inputCount);
  }
  return std::nullopt;
}

inline bool CoversAllVectors(const std::vector<std::string>& cubes, int inputCount) {
  return !FirstUncoveredVector(cubes, inputCount);
}

/// True when every vector of `cube` lies in some cube of `cubes`: split on a
/// free variable of `cube` that a meeting cube fixes, until one cube holds it.
inline bool CubeCoveredBy(std::string cube, const std::vector<std::string>& cubes) {
  std::vector<std::string> meeting;
  for (const std::string& c : cubes) {
    if (CubeContains(c, cube)) return true;
    if (CubesMeet(c, cube)) meeting.push_back(c);
  }
  for (size_t k = 0; k < cube.size() && !meeting.empty(); ++k) {
    if (IsLiteral(cube[k]) || !IsLiteral(meeting[0][k])) continue;
    cube[k] = '0';
    const bool low = CubeCoveredBy(cube, meeting);
    cube[k] = '1';
    return low && CubeCoveredBy(cube, meeting);
  }
  return false;
}

/// Input parts of the terms of an output's list for one character, in order.
inline std::vector<std::string> OutputCubes(const TermGraph& graph, int32_t output, char value) {
  std::vector<std::string> cubes;
  OutputList(graph, output, value)->ForEach([&](const Term* t) { cubes.push_back(t->inputs()); });
  return cubes;
}

}  // namespace tavro::testing
