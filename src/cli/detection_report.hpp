#pragma once
#include <cstdint>
#include <ostream>

namespace velunda {

struct DspState;

// Prints the rejector's detection decisions taken since the last call, one line each: the time
// of the sample it was taken on (seconds, three decimals, counted from `firstStep`, the
// rejector's step count when audio started), "Trouvé" or "Echec", and NotchFrequency in Hz.
// Forgets them afterwards.
void ReportDecisions(DspState& dsp, uint64_t firstStep, int32_t rate, std::ostream& out);

}  // namespace velunda
