#include "cli/filter_setup.hpp"

#include <array>

#include "cli/options.hpp"
#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"

namespace velunda {
namespace {

constexpr std::array<std::string_view, 6> kAllKinds{
    kPasseBas, kPasseBande, kRejecteurParTfd, kReducteurGeneral, kReducteurCw, kBfoNumerique};

void PrepareLowPass(DspState& dsp, const Options& options, Clock& clock) {
  auto& lp = dsp.PasseBas;
  lp.LowPassCutoff = options.LowPassCutoff;
  lp.LowPassBypass = options.LowPassBypass;
  if (options.tapCount) {
    lp.LowPassTapCount = *options.tapCount;
  } else if (!lp.LowPassCalibrated) {
    LowPassCalibrate(dsp, clock);
  }
  LowPassDesign(dsp);
}

void PrepareBandPass(DspState& dsp, const Options& options, Clock& clock) {
  auto& bp = dsp.PasseBande;
  bp.BandPassCentre = options.BandPassCentre;
  bp.BandPassBypass = options.BandPassBypass;
  bp.BandPassWidth = options.BandPassWidth;
  if (options.tapCount) {
    bp.BandPassTapCount = *options.tapCount;
  } else if (!bp.BandPassCalibrated) {
    BandPassCalibrate(dsp, clock);
  }
  BandPassSetup(dsp);
}

void PrepareBfo(DspState& dsp, const Options& options) {
  dsp.Bfo.BfoShift = options.BfoShift;
  dsp.Bfo.BfoInverted = options.BfoInverted;
  dsp.Transform.WindowEnabled = false;
  dsp.Transform.TransformSize = 1024;
  TransformInit(dsp.Transform);
}

}  // namespace

bool FilterKnown(std::string_view kind) {
  for (auto known : kAllKinds) {
    if (kind == known) {
      return true;
    }
  }
  return false;
}

bool FilterAvailable(std::string_view kind) {
  return kind == kPasseBas || kind == kPasseBande || kind == kBfoNumerique;
}

bool IsBfoKind(std::string_view kind) { return kind == kBfoNumerique; }

bool PrepareFilter(DspState& dsp, const Options& options, Clock& clock, std::string& error) {
  if (!FilterAvailable(options.filterKind)) {
    error = "le filtre " + options.filterKind + " n'est pas encore disponible";
    return false;
  }
  dsp.SampleRate = SampleRateOf(options);
  dsp.BlockLength = IsBfoKind(options.filterKind) ? 2048 : dsp.SampleRate / 3;
  dsp.CurrentSample = 128;
  if (options.filterKind == kPasseBas) {
    PrepareLowPass(dsp, options, clock);
  } else if (options.filterKind == kPasseBande) {
    PrepareBandPass(dsp, options, clock);
  } else {
    PrepareBfo(dsp, options);
  }
  dsp.FilterKind = options.filterKind;
  return true;
}

}  // namespace velunda
