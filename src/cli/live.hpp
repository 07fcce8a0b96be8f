#pragma once
#include <cstdint>
#include <string>

#include "cli/card_choice.hpp"

namespace velunda {

class Clock;
struct Options;
struct ProgramState;
struct TestsCarteSonState;

// Live mode of velunda-filtre (--carte NOM): tests the card, then runs the filter's action as
// the window's menu item does, its screen on the terminal and its keys from it. Returns the
// process exit status.
int RunLive(const Options& options);

// The session's rate after the card test, as the action's launch picks it: the BFO runs at
// 6250, else 8000, else not at all (0); the others at 8000, else 11025.
int32_t LiveSampleRate(const std::string& filterKind, const TestsCarteSonState& tests);

// The filter settings the command line gives, into the program state before the launch; a given
// --coefficients replaces the first start's calibration. The rejector's tables are made here, at
// `rate`, so that the first start keeps --frequence.
void ApplyLiveSettings(ProgramState& state, const Options& options, int32_t rate, Clock& clock);

}  // namespace velunda
