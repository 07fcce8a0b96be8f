#include "cli/detection_report.hpp"

#include <cstdio>

#include "dsp/dsp_state.hpp"

namespace velunda {

void ReportDecisions(DspState& dsp, uint64_t firstStep, int32_t rate, std::ostream& out) {
  RejecteurState& r = dsp.Rejecteur;
  for (uint8_t i = 0; i < r.DecisionCount; ++i) {
    const NotchDecision& d = r.Decisions[i];
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", static_cast<double>(d.sample - firstStep) / rate);
    out << time << (d.found ? " Trouvé " : " Echec ") << d.frequency << '\n';
  }
  r.DecisionCount = 0;
}

}  // namespace velunda
