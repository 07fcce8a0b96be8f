// The low-pass and band-pass screens and their keys.
#include <cmath>

#include "sessions/filter_screen.hpp"
#include "sessions/filter_settings.hpp"
#include "sessions/program_state.hpp"

namespace velunda {
namespace {

void ShowCutoff(ProgramState& s) {
  const PasseBasState& lp = s.Dsp.PasseBas;
  if (lp.LowPassBypass) {
    WriteCell(s, 6, "sans");
  } else {
    WriteCell(s, 6, std::lrint(lp.LowPassCutoff));
  }
}

void ShowCentre(ProgramState& s) {
  const PasseBandeState& bp = s.Dsp.PasseBande;
  if (bp.BandPassBypass) {
    WriteCell(s, 6, "sans");
  } else {
    WriteCell(s, 6, bp.BandPassCentre);
  }
}

void CutoffUp(Session& session) {
  ProgramState& s = session.state;
  PasseBasState& lp = s.Dsp.PasseBas;
  if (lp.LowPassCutoff < 3100) {
    lp.LowPassCutoff += 100;
  }
  if (lp.LowPassCutoff == 3100) {
    lp.LowPassBypass = true;
  }
  if (!lp.LowPassBypass) {
    DesignFilter(s.Dsp);
  }
  ShowCutoff(s);
}

void CutoffDown(Session& session) {
  ProgramState& s = session.state;
  PasseBasState& lp = s.Dsp.PasseBas;
  if (lp.LowPassCutoff > 300) {
    lp.LowPassCutoff -= 100;
  }
  if (lp.LowPassCutoff == 3000) {
    lp.LowPassBypass = false;
  }
  DesignFilter(s.Dsp);
  ShowCutoff(s);
}

void CentreUp(Session& session) {
  ProgramState& s = session.state;
  PasseBandeState& bp = s.Dsp.PasseBande;
  if (bp.BandPassCentre < 3350) {
    bp.BandPassCentre = static_cast<uint16_t>(bp.BandPassCentre + 50);
  }
  bp.BandPassBypass = bp.BandPassCentre == 3350;
  if (!bp.BandPassBypass) {
    DesignFilter(s.Dsp);
  }
  ShowCentre(s);
}

void CentreDown(Session& session) {
  ProgramState& s = session.state;
  PasseBandeState& bp = s.Dsp.PasseBande;
  if (bp.BandPassCentre > 100) {
    bp.BandPassCentre = static_cast<uint16_t>(bp.BandPassCentre - 50);
  }
  bp.BandPassBypass = false;
  DesignFilter(s.Dsp);
  ShowCentre(s);
}

// 120 -> 250 -> 500 -> 2000 -> 120; a width off the cycle stays.
void NextWidth(Session& session) {
  ProgramState& s = session.state;
  double& width = s.Dsp.PasseBande.BandPassWidth;
  if (width == 120) {
    width = 250;
  } else if (width == 250) {
    width = 500;
  } else if (width == 500) {
    width = 2000;
  } else if (width == 2000) {
    width = 120;
  }
  WriteCell(s, 14, std::lrint(width));
  DesignFilter(s.Dsp);
}

// The loop stops (see the key table); the band-pass session runs the centring, then the
// band-pass again.
void RequestCentring(Session& session) {
  ProgramState& s = session.state;
  s.Dsp.PasseBande.BandPassBypass = false;
  s.Sessions.SessionRepeat = true;
  s.Sessions.CentringRequested = true;
}

// Left and Right move the cut-off.
constexpr ScreenKey kLowPassKeys[] = {{kScanLeft, CutoffDown}, {kScanRight, CutoffUp}};

// Left and Right move the centre, Delete the width, Insert asks for the centring.
constexpr ScreenKey kBandPassKeys[] = {{kScanLeft, CentreDown},
                                       {kScanRight, CentreUp},
                                       {kScanDelete, NextWidth},
                                       {kScanInsert, RequestCentring, true}};

}  // namespace

void BuildLowPassScreen(ProgramState& s) {
  BeginScreen(s, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, "FILTRE PASSE-BAS EN SERVICE",
              "Abandon du filtre passe-bas");
  WriteCell(s, 11, "Curseurs horizontaux");
  WriteCell(s, 3, "Fréquence de coupure (300 à 3000 Hz):");
  ShowCutoff(s);
}

void BuildBandPassScreen(ProgramState& s) {
  BeginScreen(s, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18},
              "FILTRE PASSE-BANDE EN SERVICE", "Abandon du filtre passe-bande");
  WriteCell(s, 11, "Curseurs horizontaux");
  WriteCell(s, 3, "Fréquence centrale (100 à 3300 Hz):");
  ShowCentre(s);
  WriteCell(s, 12, "Touche de suppression");
  WriteCell(s, 13, "Largeur de bande (120, 250, 500 ou 2000 Hz): ");
  WriteCell(s, 14, std::lrint(s.Dsp.PasseBande.BandPassWidth));
  WriteCell(s, 16, "Touche d'insertion");
  WriteCell(s, 17, "Recherche automatique de porteuse (CW): ");
  WriteCell(s, 18, "A l'arrêt");
}

std::unique_ptr<SessionScreen> LowPassScreen(Session& session) {
  return std::make_unique<FilterScreen>(session, kLowPassKeys);
}

std::unique_ptr<SessionScreen> BandPassScreen(Session& session) {
  return std::make_unique<FilterScreen>(session, kBandPassKeys);
}

}  // namespace velunda
