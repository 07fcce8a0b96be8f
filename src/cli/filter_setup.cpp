#include "cli/filter_setup.hpp"

#include <array>

#include "cli/options.hpp"
#include "dsp/filter_kind.hpp"

namespace velunda {
namespace {

constexpr std::array<std::string_view, 6> kAllKinds{
    kPasseBas, kPasseBande, kRejecteurParTfd, kReducteurGeneral, kReducteurCw, kBfoNumerique};

}  // namespace

bool FilterKnown(std::string_view kind) {
  for (auto known : kAllKinds) {
    if (kind == known) {
      return true;
    }
  }
  return false;
}

bool IsBfoKind(std::string_view kind) { return kind == kBfoNumerique; }

FilterSettings FilterSettingsOf(const Options& o) {
  FilterSettings s;
  s.kind = o.filterKind;
  s.rate = SampleRateOf(o);
  s.blockLength = BlockLengthOf(s.kind, s.rate, false);
  s.LowPassCutoff = o.LowPassCutoff;
  s.LowPassBypass = o.LowPassBypass;
  s.BandPassCentre = o.BandPassCentre;
  s.BandPassBypass = o.BandPassBypass;
  s.BandPassWidth = o.BandPassWidth;
  s.BfoShift = o.BfoShift;
  s.BfoInverted = o.BfoInverted;
  s.NotchFrequency = o.NotchFrequency;
  s.NotchWide = o.NotchWide;
  s.NotchAuto = o.NotchAuto;
  s.NotchThreshold = o.NotchThreshold;
  s.VoiceReductionOff = o.VoiceReductionOff;
  s.VoiceReductionLevel = o.VoiceReductionLevel;
  s.CwReductionOff = o.CwReductionOff;
  s.CwRttyMode = o.CwRttyMode;
  s.tapCount = o.tapCount;
  s.detectionDivisor = o.detectionDivisor;
  return s;
}

}  // namespace velunda
