// How many rounds a randomized test takes. Sanitized builds (address,
// undefined behaviour, threads) run several times slower and take an eighth
// of them (at least one); the plain build, which runs the same tests, takes
// them all.
#pragma once

namespace tavro::testing {

#if TAVRO_SANITIZE_BUILD || TAVRO_TSAN_BUILD
inline constexpr int kRoundShare = 8;
#else
inline constexpr int kRoundShare = 1;
#endif

constexpr int Rounds(int rounds) { return rounds / kRoundShare > 0 ? rounds / kRoundShare : 1; }

}  // namespace tavro::testing
