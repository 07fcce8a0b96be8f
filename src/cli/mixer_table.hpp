#pragma once

namespace velunda {

struct Options;

// --table-de-mixage: shows and sets the sound card's mixer. Returns the process exit status.
int RunMixerTable(const Options& options);

}  // namespace velunda
