#pragma once

namespace velunda {

struct Options;

// Live mode of velunda-filtre (--carte NOM): filters a sound card's input in real time.
// Returns the process exit status.
int RunLive(const Options& options);

}  // namespace velunda
