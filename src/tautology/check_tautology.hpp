// The per-output tautology decision.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/progress_hook.hpp"
#include "graph/term_graph.hpp"
#include "tautology/cover_check.hpp"

namespace tavro {

/// Figures of one search, for measurements.
struct SearchStats {
  int64_t branches = 0;  // assignments tried (one per branch on a term and variable)
  int64_t provedByCoverCheck = 0;  // outputs answered "tautology" without a search
};

/// Which cube an output gets that has neither OFF nor don't-care cubes and is
/// not a tautology.
enum class WitnessChoice {
  kFirstHole,  // the first one the depth-first search reaches
  kAnyHole,    // one the cover check finds on its way, usually far sooner
};

/// Which rule gave an output its result.
enum class AnswerRule : uint8_t {
  kFirstOffCube,       // the output has OFF cubes: the first one's input part
  kFirstDontCareCube,  // no OFF but don't-care cubes: the first one's input part
  kCoverCheck,         // the cover check proved the tautology or found the cube
  kSearch,             // the depth-first search decided
};

/// An output's result held compactly until it is written: "tautology", the
/// input part of a term (the first OFF or don't-care cube), or a cube given
/// by its literals (every other variable '-'), stored by the caller.
struct OutputAnswer {
  enum class Kind : uint8_t { kTautology, kTermInputs, kCube };
  Kind kind = Kind::kTautology;
  AnswerRule rule = AnswerRule::kCoverCheck;
  const Term* term = nullptr;  // kTermInputs
  size_t literalsBegin = 0;    // kCube: the caller's literals [literalsBegin, literalsEnd)
  size_t literalsEnd = 0;
};

/// Working memory of the cover check and the search, kept from one output to
/// the next: buffers grow to the largest output and are never cleared in
/// full, so that each output costs time in proportion to its own terms.
struct SearchBuffers;
struct SearchBuffersDeleter {
  void operator()(SearchBuffers* buffers) const;
};
struct TautologyChecker {
  TautologyChecker();
  CoverCheckMemory cover;
  std::unique_ptr<SearchBuffers, SearchBuffersDeleter> search;
  ProgressHook progress;  // told how many branches each search has tried
  /// Whether the search's buffers may be sized from the later outputs'
  /// lists; not while passes change those lists on another thread.
  bool lookAhead = true;
};

/// The decision of CheckTautology for one output, with `choice` naming the
/// witness of a searched output; a kCube answer's literals are appended to
/// `literals`. Adds the search's figures to `stats` when given. Throws as
/// CheckTautology.
OutputAnswer DecideOutput(TautologyChecker& checker, const TermGraph& graph, int32_t output,
                          WitnessChoice choice, std::vector<CubeLiteral>& literals,
                          SearchStats* stats = nullptr);

/// The text of an answer: "tautology" or a cube of inputCount characters.
std::string AnswerText(const TermGraph& graph, const OutputAnswer& answer,
                       const std::vector<CubeLiteral>& literals);

/// True when no ON term of the output meets the cube of `count` literals.
bool MeetsNoOnTerm(const TermGraph& graph, int32_t output, const CubeLiteral* literals, size_t count);

/// "tautology", or a cube of inputCount characters over '0', '1', '-' naming
/// input vectors on which the output is not 1: the input part of the first
/// OFF cube, else of the first don't-care cube, else "tautology" when the
/// cover check proves it, else the result of the search.
/// Throws "wrong number of output" for an index out of range, and "wrong set"
/// when the search branches on an input character other than '0', '1', '-'.
std::string CheckTautology(const TermGraph& graph, int32_t output);

/// CheckTautology that also adds the search's figures to `stats`.
std::string CheckTautology(const TermGraph& graph, int32_t output, SearchStats& stats);

/// The depth-first search of CheckTautology alone, on the output's ON terms,
/// without the early answers: "tautology" when they cover every input vector,
/// else a cube that no ON term meets. Throws as CheckTautology.
std::string SearchTautology(const TermGraph& graph, int32_t output, SearchStats* stats = nullptr);

}  // namespace tavro
