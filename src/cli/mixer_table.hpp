#pragma once
#include <cstdint>
#include <ostream>
#include <string>

#include "platform/mixer.hpp"

namespace velunda {

struct Options;
struct ConfigurationState;

// --table-de-mixage: shows what the program finds on the sound card's mixer, and the six
// diagnoses the mixer set-up would give, with the input chosen in `config`'s file. Changes
// nothing. Returns the process exit status.
int RunMixerTable(const Options& options, ConfigurationState& config);

// The table itself for `mixer`, with the input selection and gain code of the configuration
// record. Only reads the mixer: the set-up runs on a copy.
void PrintMixerTable(Mixer& mixer, const std::string& card, const std::string& configuration,
                     std::ostream& out);

}  // namespace velunda
