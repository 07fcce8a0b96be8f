#pragma once
#include <cstdint>
#include <string>

#include "app/card_choice.hpp"

namespace velunda {

struct Options;

// Live mode of velunda-filtre (--carte NOM): tests the card, then runs the filter's action as
// the window's menu item does, its screen on the terminal and its keys from it. Returns the
// process exit status.
int RunLive(const Options& options);

// The lines that say a live session runs, each within 80 columns; with `spectrumKey` (a
// terminal), they also say that F2 shows the spectrum.
std::string StartNotice(const std::string& filterKind, int32_t rate, int32_t blockLength,
                        bool spectrumKey);

}  // namespace velunda
