#include "sessions/filter_settings.hpp"

#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"
#include "sessions/sessions_state.hpp"

namespace velunda {
namespace {

void PrepareLowPass(DspState& dsp, const FilterSettings& s, Clock& clock) {
  PasseBasState& lp = dsp.PasseBas;
  lp.LowPassCutoff = s.LowPassCutoff;
  lp.LowPassBypass = s.LowPassBypass;
  if (s.tapCount) {
    lp.LowPassTapCount = *s.tapCount;
  } else if (!lp.LowPassCalibrated) {
    LowPassCalibrate(dsp, clock);
  }
}

void PrepareBandPass(DspState& dsp, const FilterSettings& s, Clock& clock) {
  PasseBandeState& bp = dsp.PasseBande;
  bp.BandPassCentre = s.BandPassCentre;
  bp.BandPassBypass = s.BandPassBypass;
  bp.BandPassWidth = s.BandPassWidth;
  if (s.tapCount) {
    bp.BandPassTapCount = *s.tapCount;
  } else if (!bp.BandPassCalibrated) {
    BandPassCalibrate(dsp, clock);
  }
}

void SetRejectorRate(DspState& dsp, int32_t rate) {
  dsp.Rejecteur.RejectorSampleRate = rate;
  dsp.Rejecteur.NotchNyquist = rate / 2;
}

// The tables on the first start, calibrated unless a length or divisor is given; the values
// after them, since the calibration puts the notch back at 1000 Hz. Every run starts in manual
// mode: the automatic mode is armed afterwards, as the Insert key arms it.
void PrepareRejector(DspState& dsp, const FilterSettings& s, Clock& clock) {
  RejecteurState& r = dsp.Rejecteur;
  SetRejectorRate(dsp, s.rate);
  if (s.tapCount || s.detectionDivisor) {
    if (!r.NotchTablesReady) {
      NotchDesignNarrow(dsp);
      NotchDesignWide(dsp);
      r.NotchTablesReady = true;
      r.RejectorCalibrated = true;
    }
    r.NotchLength = s.tapCount.value_or(r.NotchLength);
    r.DetectionDivisor = s.detectionDivisor.value_or(r.DetectionDivisor);
  } else {
    PrepareNotchTables(dsp, clock);
  }
  r.NotchFrequency = s.NotchFrequency;
  r.NotchWide = s.NotchWide ? 1 : 0;
  r.NotchThreshold = s.NotchThreshold;
  r.NotchAuto = 0;
}

void PrepareGeneralReducer(DspState& dsp, const FilterSettings& s) {
  ReducteurGeneralState& r = dsp.ReducteurGeneral;
  r.VoiceReducerSampleRate = s.rate;
  r.VoiceReductionOff = s.VoiceReductionOff;
  r.VoiceReductionLevel = s.VoiceReductionLevel;
}

void PrepareCwReducer(DspState& dsp, const FilterSettings& s) {
  ReducteurCwState& r = dsp.ReducteurCw;
  r.CwReducerSampleRate = s.rate;
  r.CwReductionOff = s.CwReductionOff;
  r.CwRttyMode = s.CwRttyMode;
}

void PrepareValues(DspState& dsp, const FilterSettings& s, Clock& clock) {
  const std::string_view kind = s.kind;
  if (kind == kPasseBas) {
    PrepareLowPass(dsp, s, clock);
  } else if (kind == kPasseBande) {
    PrepareBandPass(dsp, s, clock);
  } else if (kind == kRejecteurParTfd) {
    PrepareRejector(dsp, s, clock);
  } else if (kind == kReducteurGeneral) {
    PrepareGeneralReducer(dsp, s);
  } else if (kind == kReducteurCw) {
    PrepareCwReducer(dsp, s);
  } else if (kind == kBfoNumerique) {
    dsp.Bfo.BfoShift = s.BfoShift;
    dsp.Bfo.BfoInverted = s.BfoInverted;
  }
}

// The BFO's transform: 1024 points, no window.
void DesignBfo(DspState& dsp) {
  dsp.Transform.WindowEnabled = false;
  dsp.Transform.TransformSize = 1024;
  TransformInit(dsp.Transform);
}

}  // namespace

int32_t BlockLengthOf(std::string_view kind, int32_t rate, bool shortLatency) {
  if (kind == kBfoNumerique || kind == kRejecteurParTfd) {
    return 2048;
  }
  return PerSampleBlockLength(rate, shortLatency);
}

FilterSettings SettingsKept(const DspState& dsp, std::string_view kind) {
  FilterSettings s;
  s.kind = kind;
  s.rate = dsp.SampleRate;
  s.blockLength = dsp.BlockLength;
  s.LowPassCutoff = dsp.PasseBas.LowPassCutoff;
  s.LowPassBypass = dsp.PasseBas.LowPassBypass;
  s.BandPassCentre = dsp.PasseBande.BandPassCentre;
  s.BandPassBypass = dsp.PasseBande.BandPassBypass;
  s.BandPassWidth = dsp.PasseBande.BandPassWidth;
  s.BfoShift = dsp.Bfo.BfoShift;
  s.BfoInverted = dsp.Bfo.BfoInverted;
  const RejecteurState& r = dsp.Rejecteur;
  s.NotchFrequency = r.NotchFrequency;
  s.NotchWide = r.NotchWide == 1;
  s.NotchAuto = r.NotchAuto == 1;
  s.NotchThreshold = r.NotchThreshold;
  s.VoiceReductionOff = dsp.ReducteurGeneral.VoiceReductionOff;
  s.VoiceReductionLevel = dsp.ReducteurGeneral.VoiceReductionLevel;
  s.CwReductionOff = dsp.ReducteurCw.CwReductionOff;
  s.CwRttyMode = dsp.ReducteurCw.CwRttyMode;
  return s;
}

void PrepareFilter(DspState& dsp, const FilterSettings& settings, Clock& clock) {
  dsp.FilterKind = settings.kind;
  dsp.SampleRate = settings.rate;
  dsp.BlockLength = settings.blockLength;
  PrepareValues(dsp, settings, clock);
  DesignFilter(dsp, DesignStep::RunStart);
  if (settings.kind == kRejecteurParTfd && settings.NotchAuto) {
    dsp.Rejecteur.NotchAuto = 1;
    DesignFilter(dsp);
  }
}

void PrepareCentringTables(DspState& dsp, int32_t rate, Clock& clock) {
  SetRejectorRate(dsp, rate);
  PrepareNotchTables(dsp, clock);
}

void DesignFilter(DspState& dsp, DesignStep step) {
  const std::string_view kind = dsp.FilterKind;
  if (kind == kPasseBas) {
    LowPassDesign(dsp);
  } else if (kind == kPasseBande) {
    BandPassSetup(dsp);
  } else if (kind == kRejecteurParTfd && step == DesignStep::RunStart) {
    PrepareRejectorRun(dsp);
  } else if (kind == kRejecteurParTfd) {
    NotchStart(dsp);
  } else if (kind == kReducteurGeneral) {
    GeneralReducerSetup(dsp);
  } else if (kind == kReducteurCw) {
    CwReducerSetup(dsp);
  } else if (kind == kBfoNumerique) {
    DesignBfo(dsp);
  }
}

}  // namespace velunda
