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

/// What is wrong with a cube line, if anything.
enum class CubeLineFault { kNone, kInputLength, kOutputLength, kCharacter };

/// Cuts a trimmed cube line into its input and output parts, checks their
/// lengths, and maps them into inputs[0, inputCount) and outputs[0,
/// outputCount) (`outputMap` that of the file's type); the first fault found,
/// in that order. `pure` tells whether the input part was pure as written.
inline CubeLineFault MapCubeLine(std::string_view line, size_t inputCount, size_t outputCount,
                                 const CharMap& outputMap, char* inputs, char* outputs, bool& pure) {
  std::string_view rest = line;
  std::string_view inputPart;
  pure = CutPureInputPart(rest, inputCount, inputPart);
  if (!pure) {
    inputPart = CutToken(rest, kSeparators);
    if (inputPart.size() != inputCount) return CubeLineFault::kInputLength;
  }
  const std::string_view outputPart = CutToken(rest, kSeparators);
  if (outputPart.size() != outputCount) return CubeLineFault::kOutputLength;
  if (pure) {
    // The input map keeps '0', '1' and '-' as they are.
    std::memcpy(inputs, inputPart.data(), inputCount);
  } else if (!MapPart(inputPart, kInputMap, inputs)) {
    return CubeLineFault::kCharacter;
  }
  return MapPart(outputPart, outputMap, outputs) ? CubeLineFault::kNone : CubeLineFault::kCharacter;
}

/// True for the first characters of a trimmed cube line.
inline bool StartsCubeLine(char c) { return c == '-' || c == '~' || (c >= '0' && c <= '4'); }

}  // namespace tavro
