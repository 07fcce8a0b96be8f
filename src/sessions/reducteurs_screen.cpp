// The two noise reducer screens and their Delete key.
#include "sessions/filter_screen.hpp"
#include "sessions/filter_settings.hpp"
#include "sessions/program_state.hpp"

namespace velunda {
namespace {

const char* GeneralStateText(const ReducteurGeneralState& r) {
  if (r.VoiceReductionOff) {
    return "pas de réduction";
  }
  return r.VoiceReductionLevel == 3 ? "réduction faible" : "réduction forte ";
}

const char* CwStateText(const ReducteurCwState& r) {
  if (r.CwReductionOff) {
    return "pas de réduction";
  }
  return r.CwRttyMode == 0 ? "CW 0,4/1 KHz" : "RTTY Baudot";
}

// none -> weak -> strong -> none
void NextGeneralState(Session& session) {
  ProgramState& s = session.state;
  ReducteurGeneralState& r = s.Dsp.ReducteurGeneral;
  if (r.VoiceReductionOff) {
    r.VoiceReductionLevel = 3;
    r.VoiceReductionOff = false;
    DesignFilter(s.Dsp);
  } else if (r.VoiceReductionLevel == 3) {
    r.VoiceReductionLevel = 1;
    DesignFilter(s.Dsp);
  } else {
    r.VoiceReductionOff = true;
  }
  WriteCell(s, 6, GeneralStateText(r));
}

// none -> CW -> RTTY -> none
void NextCwState(Session& session) {
  ProgramState& s = session.state;
  ReducteurCwState& r = s.Dsp.ReducteurCw;
  if (r.CwReductionOff) {
    r.CwRttyMode = 0;
    r.CwReductionOff = false;
    DesignFilter(s.Dsp);
  } else if (r.CwRttyMode == 0) {
    r.CwRttyMode = 1;
    DesignFilter(s.Dsp);
  } else {
    r.CwReductionOff = true;
  }
  WriteCell(s, 6, CwStateText(r));
}

// Delete moves each reducer to its next state.
constexpr ScreenKey kGeneralKeys[] = {{kScanDelete, NextGeneralState}};
constexpr ScreenKey kCwKeys[] = {{kScanDelete, NextCwState}};

}  // namespace

// Row 5 stays hidden on these screens: its value cell would show another screen's text.
void BuildGeneralReducerScreen(ProgramState& s) {
  BeginScreen(s, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, "REDUCTEUR DE BRUIT GENE. EN SERVICE",
              "Abandon du réducteur de bruit");
  WriteCell(s, 11, "Touche de suppression");
  WriteCell(s, 3, "Niveau de réduction:");
  WriteCell(s, 6, GeneralStateText(s.Dsp.ReducteurGeneral));
}

void BuildCwReducerScreen(ProgramState& s) {
  BeginScreen(s, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, "REDUCTEUR DE BRUIT CW/RTTY ",
              "Abandon du réducteur de bruit");
  WriteCell(s, 11, "Touche de suppression");
  WriteCell(s, 3, "CW ou RTTY 45 bauds (1275 à 1445 Hz):");
  WriteCell(s, 6, CwStateText(s.Dsp.ReducteurCw));
}

std::unique_ptr<SessionScreen> GeneralReducerScreen(Session& session) {
  return std::make_unique<FilterScreen>(session, kGeneralKeys);
}

std::unique_ptr<SessionScreen> CwReducerScreen(Session& session) {
  return std::make_unique<FilterScreen>(session, kCwKeys);
}

}  // namespace velunda
