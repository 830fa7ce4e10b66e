// The characters of a cube line: which open one, and how the file's
// characters map onto those the term graph stores.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "pla/pla_lines.hpp"

namespace tavro {

/// Stored character for every file character; 0 marks a character the format
/// does not allow in a cube.
using CharMap = std::array<char, 256>;

/// The map of the file characters 0 1 2 3 4 - ~ onto `stored`, in that order.
constexpr CharMap MakeCharMap(std::string_view stored) {
  constexpr std::string_view kFileChars = "01234-~";
  CharMap map{};
  for (size_t i = 0; i < kFileChars.size(); ++i) {
    map[static_cast<unsigned char>(kFileChars[i])] = stored[i];
  }
  return map;
}

/// The input part's map, the same for every type.
inline constexpr CharMap kInputMap = MakeCharMap("01--1--");
/// The output part's map by type (PlaType), 0 meaning no type yet.
inline constexpr std::array<CharMap, 5> kOutputMaps = {
    CharMap{},                // no type yet: a cube line reads as fd
    MakeCharMap("~1~~1~~"),  // f: ON entries only
    MakeCharMap("~1-~1-~"),  // fd: ON and don't care
    MakeCharMap("01~~1~~"),  // fr: ON and OFF
    MakeCharMap("01-~1-~"),  // fdr: all three
};

/// Maps `part` into stored[0, part.size()); false when it holds a character
/// outside the map.
inline bool MapPart(std::string_view part, const CharMap& map, char* stored) {
  bool allowed = true;
  for (size_t i = 0; i < part.size(); ++i) {
    const char c = map[static_cast<unsigned char>(part[i])];
    stored[i] = c;
    if (c == 0) allowed = false;
  }
  return allowed;
}

/// A cube line's two parts, as written.
struct CubeLineParts {
  std::string_view inputs, outputs;
  bool pure = false;  // the input part holds '0', '1' and '-' only, and the line begins with it
};

/// What is wrong with a cube line's lengths, if anything.
enum class CubeLineFault { kNone, kInputLength, kOutputLength };

/// Cuts a trimmed cube line into its input and output parts and checks their
/// lengths, the input part's first. Nothing is written anywhere, so that the
/// caller gives a line room of the counts' size only once they fit.
inline CubeLineFault CutCubeLine(std::string_view line, size_t inputCount, size_t outputCount, CubeLineParts& parts) {
  std::string_view rest = line;
  parts.pure = CutPureInputPart(rest, inputCount, parts.inputs);
  if (!parts.pure) {
    parts.inputs = CutToken(rest, kSeparators);
    if (parts.inputs.size() != inputCount) return CubeLineFault::kInputLength;
  }
  parts.outputs = CutToken(rest, kSeparators);
  return parts.outputs.size() != outputCount ? CubeLineFault::kOutputLength : CubeLineFault::kNone;
}

/// Maps the parts CutCubeLine cut into inputs[0, inputs.size()) and
/// outputs[0, outputs.size()) (`outputMap` that of the file's type); false
/// when either holds a character outside its map.
inline bool MapCubeParts(const CubeLineParts& parts, const CharMap& outputMap, char* inputs, char* outputs) {
  if (parts.pure) {
    // The input map keeps '0', '1' and '-' as they are.
    std::memcpy(inputs, parts.inputs.data(), parts.inputs.size());
  } else if (!MapPart(parts.inputs, kInputMap, inputs)) {
    return false;
  }
  return MapPart(parts.outputs, outputMap, outputs);
}

/// True for the first characters of a trimmed cube line.
inline bool StartsCubeLine(char c) { return c == '-' || c == '~' || (c >= '0' && c <= '4'); }

}  // namespace tavro
