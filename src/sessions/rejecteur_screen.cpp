// The carrier rejector screen, its keys and its display after each block.
#include <cmath>

#include "sessions/filter_screen.hpp"
#include "sessions/filter_settings.hpp"
#include "sessions/program_state.hpp"

namespace velunda {
namespace {

constexpr char kNoResult[] = "          ";  // ten spaces

const char* ThresholdText(int32_t threshold) {
  switch (threshold) {
    case 20001:
      return "Seuil très haut";
    case 5001:
      return "Seuil haut";
    case 101:
      return "Seuil très bas";
    default:
      return "Seuil bas";
  }
}

const char* WidthText(uint8_t wide) { return wide == 1 ? "Bande large  " : "Bande étroite"; }

void ShowFrequency(ProgramState& s) { WriteCell(s, 6, std::lrint(s.Dsp.Rejecteur.NotchFrequency)); }

// Manual mode only; the screen does not change at the ends.
void NotchDown(Session& session) {
  ProgramState& s = session.state;
  RejecteurState& r = s.Dsp.Rejecteur;
  if (r.NotchAuto != 0) {
    return;
  }
  r.CarrierFound = 0;
  if (r.NotchFrequency > 100) {
    r.NotchFrequency -= 50;
    DesignFilter(s.Dsp);
    ShowFrequency(s);
  }
}

void NotchUp(Session& session) {
  ProgramState& s = session.state;
  RejecteurState& r = s.Dsp.Rejecteur;
  if (r.NotchAuto != 0) {
    return;
  }
  r.CarrierFound = 0;
  if (r.NotchFrequency < 3300) {
    r.NotchFrequency += 50;
    DesignFilter(s.Dsp);
    ShowFrequency(s);
  }
}

void SwitchWidth(Session& session) {
  ProgramState& s = session.state;
  RejecteurState& r = s.Dsp.Rejecteur;
  r.NotchWide = r.NotchWide == 1 ? 0 : 1;
  DesignFilter(s.Dsp);
  WriteCell(s, 14, WidthText(r.NotchWide));
}

// Leaving the automatic mode keeps the stop band it last set.
void SwitchAuto(Session& session) {
  ProgramState& s = session.state;
  RejecteurState& r = s.Dsp.Rejecteur;
  if (r.NotchAuto == 0) {
    r.NotchAuto = 1;
    DesignFilter(s.Dsp);
    WriteCell(s, 22, "En cours");
  } else {
    r.NotchAuto = 0;
    WriteCell(s, 23, kNoResult);
    WriteCell(s, 22, "A l'arrêt");
  }
}

// 20001 -> 5001 -> 1001 -> 101 -> 20001
void NextThreshold(Session& session) {
  ProgramState& s = session.state;
  int32_t& t = s.Dsp.Rejecteur.NotchThreshold;
  t = t == 20001 ? 5001 : t == 5001 ? 1001 : t == 1001 ? 101 : 20001;
  WriteCell(s, 18, ThresholdText(t));
}

// Arrows move the notch (manual mode), Delete the width, Insert the automatic mode, Page Down
// the threshold.
constexpr ScreenKey kRejectorKeys[] = {{kScanLeft, NotchDown},
                                       {kScanRight, NotchUp},
                                       {kScanDelete, SwitchWidth},
                                       {kScanInsert, SwitchAuto},
                                       {kScanPageDown, NextThreshold}};

// After each block: the automatic search's result, and its frequency unless a centring runs
// (the band-pass screen shows its centre there).
void BlockDisplay(ProgramState& s, bool showFrequency) {
  RejecteurState& r = s.Dsp.Rejecteur;
  if (r.NotchAuto == 1 && r.DecisionMade == 1) {
    r.DecisionMade = 0;
  }
  if (r.NotchAuto != 1) {
    return;
  }
  WriteCell(s, 23, r.CarrierFound == 1 ? "Trouvé" : "Echec ");
  if (showFrequency) {
    ShowFrequency(s);
  }
}

class RejectorSessionScreen final : public FilterScreen {
 public:
  explicit RejectorSessionScreen(Session& session) : FilterScreen(session, kRejectorKeys) {}
  bool BlockDone() override {
    BlockDisplay(session_.state, true);
    return true;
  }
};

class CentringSessionScreen final : public FilterScreen {
 public:
  explicit CentringSessionScreen(Session& session) : FilterScreen(session, {}) {}
  bool BlockDone() override {
    if (session_.state.Dsp.Rejecteur.DecisionMade == 1) {
      return false;
    }
    BlockDisplay(session_.state, false);
    return true;
  }
};

}  // namespace

void BuildRejectorScreen(ProgramState& s) {
  const RejecteurState& r = s.Dsp.Rejecteur;
  BeginScreen(s, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18, 20, 21, 22, 23},
              "REJECTEUR MANU OU AUTO EN SERVICE", "Abandon du filtre réjecteur");
  WriteCell(s, 11, "Curseurs horizontaux");
  WriteCell(s, 3, "Fréquence de réjection (100 à 3300 Hz):");
  ShowFrequency(s);
  WriteCell(s, 12, "Touche de suppression");
  WriteCell(s, 13, "Filtre bande large ou bande étroite");
  WriteCell(s, 14, WidthText(r.NotchWide));
  WriteCell(s, 16, "Page down (bas)  ");
  WriteCell(s, 17, "Seuil du réjecteur automatique:");
  WriteCell(s, 18, ThresholdText(r.NotchThreshold));
  WriteCell(s, 20, "Touche d'insertion");
  WriteCell(s, 21, "Recherche automatique de la porteuse: ");
  WriteCell(s, 22, "A l'arrêt");
  WriteCell(s, 23, kNoResult);
}

std::unique_ptr<SessionScreen> RejectorScreen(Session& session) {
  return std::make_unique<RejectorSessionScreen>(session);
}

std::unique_ptr<SessionScreen> CentringScreen(Session& session) {
  return std::make_unique<CentringSessionScreen>(session);
}

}  // namespace velunda
