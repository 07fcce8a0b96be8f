// The BFO screen and its keys.
#include "dsp/reconstructeur.hpp"
#include "sessions/filter_screen.hpp"
#include "sessions/program_state.hpp"

namespace velunda {
namespace {

constexpr int32_t kShiftLimit = 1000000;  // mHz

void ShowShift(ProgramState& s) {
  WriteCell(s, 6, BfoShiftText(s.Dsp.Bfo.BfoShift, s.Sessions.BfoBinWidth));
}

void ShowInversion(ProgramState& s) {
  WriteCell(s, 14, s.Dsp.Bfo.BfoInverted ? "Inversé" : "Normal");
}

// The cell is rewritten even when the limit stopped the change.
void ShiftDown(Session& session) {
  ProgramState& s = session.state;
  int32_t& shift = s.Dsp.Bfo.BfoShift;
  if (shift * s.Sessions.BfoBinWidth > -kShiftLimit) {
    --shift;
  }
  ShowShift(s);
}

void ShiftUp(Session& session) {
  ProgramState& s = session.state;
  int32_t& shift = s.Dsp.Bfo.BfoShift;
  if (shift * s.Sessions.BfoBinWidth < kShiftLimit) {
    ++shift;
  }
  ShowShift(s);
}

// The inversion needs the 6250 Hz rate.
void SwitchInversion(Session& session) {
  ProgramState& s = session.state;
  if (s.Engine.CardTests.Rate6250OK == 0) {
    session.platform.engine.box.ShowError(kInversionRefused);
    return;
  }
  s.Dsp.Bfo.BfoInverted = !s.Dsp.Bfo.BfoInverted;
  ShowInversion(s);
}

// Left and Right shift by one bin, Delete switches the inversion.
constexpr ScreenKey kBfoKeys[] = {
    {kScanLeft, ShiftDown}, {kScanRight, ShiftUp}, {kScanDelete, SwitchInversion}};

}  // namespace

std::string BfoShiftText(int32_t shift, int32_t binWidth) {
  return std::to_string(shift * binWidth / 1000);
}

void BuildBfoScreen(ProgramState& s) {
  BeginScreen(s, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, "BFO_NUMERIQUE EN SERVICE",
              "Abandon du BFO numérique");
  WriteCell(s, 11, "Curseurs horizontaux");
  WriteCell(s, 3, "Translation de fréquence, en Hz:");
  ShowShift(s);
  WriteCell(s, 12, "Touche de suppression");
  WriteCell(s, 13, "Inversion de spectre (USB-->LSB ou LSB-->USB)");
  ShowInversion(s);
}

std::unique_ptr<SessionScreen> BfoScreen(Session& session) {
  return std::make_unique<FilterScreen>(session, kBfoKeys);
}

}  // namespace velunda
