#pragma once
#include <cstdint>
#include <string>

#include "cli/card_choice.hpp"

namespace velunda {

struct Options;
struct TestsCarteSonState;

// Live mode of velunda-filtre (--carte NOM): filters a sound card's input in real time.
// Returns the process exit status.
int RunLive(const Options& options);

// The session's rate after the card test, as the action's launch picks it: the BFO runs at
// 6250, else 8000, else not at all (0); the others at 8000, else 11025.
int32_t LiveSampleRate(const std::string& filterKind, const TestsCarteSonState& tests);

}  // namespace velunda
