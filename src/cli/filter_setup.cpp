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

// The rejector's launch: notch tables and calibration on the first start (a given length or
// divisor replaces the calibration, the other keeps its start value), then the settings, the
// detection's launch settings and, with --auto, the switch to automatic mode.
void PrepareRejector(DspState& dsp, const Options& options, Clock& clock) {
  auto& r = dsp.Rejecteur;
  r.RejectorSampleRate = dsp.SampleRate;
  r.NotchNyquist = dsp.SampleRate / 2;
  if (options.tapCount || options.detectionDivisor) {
    if (!r.NotchTablesReady) {
      NotchDesignNarrow(dsp);
      NotchDesignWide(dsp);
      r.NotchTablesReady = true;
      r.RejectorCalibrated = true;
    }
    r.NotchLength = options.tapCount.value_or(r.NotchLength);
    r.DetectionDivisor = options.detectionDivisor.value_or(r.DetectionDivisor);
  } else {
    PrepareNotchTables(dsp, clock);
  }
  r.NotchFrequency = options.NotchFrequency;
  r.NotchWide = options.NotchWide ? 1 : 0;
  r.NotchThreshold = options.NotchThreshold;
  // Every rejector session starts in manual mode with the set for the chosen frequency and
  // width; --auto then acts as the Insert key: the detection is armed and that set filters
  // until the first carrier is found.
  r.NotchAuto = 0;
  PrepareRejectorRun(dsp);
  if (options.NotchAuto) {
    r.NotchAuto = 1;
    NotchStart(dsp);
  }
}

void PrepareGeneralReducer(DspState& dsp, const Options& options) {
  auto& r = dsp.ReducteurGeneral;
  r.VoiceReducerSampleRate = dsp.SampleRate;
  r.VoiceReductionOff = options.VoiceReductionOff;
  r.VoiceReductionLevel = options.VoiceReductionLevel;
  GeneralReducerSetup(dsp);
}

void PrepareCwReducer(DspState& dsp, const Options& options) {
  auto& r = dsp.ReducteurCw;
  r.CwReducerSampleRate = dsp.SampleRate;
  r.CwReductionOff = options.CwReductionOff;
  r.CwRttyMode = options.CwRttyMode;
  CwReducerSetup(dsp);
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

bool IsBfoKind(std::string_view kind) { return kind == kBfoNumerique; }

bool PrepareFilter(DspState& dsp, const Options& options, Clock& clock, std::string& error) {
  if (!FilterKnown(options.filterKind)) {
    error = "filtre inconnu : " + options.filterKind;
    return false;
  }
  dsp.SampleRate = SampleRateOf(options);
  const bool blocksOf2048 = IsBfoKind(options.filterKind) || options.filterKind == kRejecteurParTfd;
  dsp.BlockLength = blocksOf2048 ? 2048 : dsp.SampleRate / 3;
  dsp.CurrentSample = 128;
  if (options.filterKind == kPasseBas) {
    PrepareLowPass(dsp, options, clock);
  } else if (options.filterKind == kPasseBande) {
    PrepareBandPass(dsp, options, clock);
  } else if (options.filterKind == kRejecteurParTfd) {
    PrepareRejector(dsp, options, clock);
  } else if (options.filterKind == kReducteurGeneral) {
    PrepareGeneralReducer(dsp, options);
  } else if (options.filterKind == kReducteurCw) {
    PrepareCwReducer(dsp, options);
  } else {
    PrepareBfo(dsp, options);
  }
  dsp.FilterKind = options.filterKind;
  return true;
}

}  // namespace velunda
