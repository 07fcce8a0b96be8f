#include "sessions/launch.hpp"

#include <array>

#include "config/fonctions_mixer.hpp"
#include "dsp/filter_kind.hpp"
#include "engine/boucle.hpp"
#include "engine/tests_carte_son.hpp"
#include "sessions/filter_screen.hpp"
#include "sessions/program_state.hpp"

namespace velunda {
namespace {

// What differs from one action to the next.
struct ActionTraits {
  std::string_view kind;
  bool degradedWarning;
  bool hidesMixerMenu;
  void (*buildScreen)(ProgramState&);
};

ActionTraits TraitsOf(ActionItem item) {
  switch (item) {
    case ActionItem::Passe_bas:
      return {kPasseBas, false, true, BuildLowPassScreen};
    case ActionItem::Passe_bande:
      return {kPasseBande, true, false, BuildBandPassScreen};
    case ActionItem::Reducteur_bruit_general:
      return {kReducteurGeneral, true, false, BuildGeneralReducerScreen};
    case ActionItem::Reducteur_bruit_CW_RTTY:
      return {kReducteurCw, true, false, BuildCwReducerScreen};
    case ActionItem::BFO_numerique:
      return {kBfoNumerique, false, false, BuildBfoScreen};
    case ActionItem::RejecteurporteuseparTFD:
      break;
  }
  return {kRejecteurParTfd, true, false, BuildRejectorScreen};
}

void ShowRate(ProgramState& s, int32_t rate) { WriteCell(s, 15, "Fe=" + std::to_string(rate)); }

// Step 1: the card test, when the timer has not run it yet.
void TestOnFirstUse(ProgramState& s, const LaunchPlatform& p, const ActionTraits& traits) {
  TestsCarteSonState& tests = s.Engine.CardTests;
  if (tests.TestDone != 0) {
    return;
  }
  SetPanelColour(s.Window, 15, PanelColour::Red);
  WriteCell(s, 15, "En test!");
  tests.TestDone = 1;
  tests.SoundCardOK = TestSoundCard(s.Engine, s.Dsp, p.engine);
  SetPanelColour(s.Window, 15, PanelColour::ButtonFace);
  if (traits.degradedWarning && tests.Rate8000OK == 0) {
    p.engine.box.ShowError(kDegradedModeWarning);
  }
}

// Step 3: the action's rate, shown in the rate box; 0 when the BFO cannot run.
int32_t ChooseRate(ProgramState& s, const LaunchPlatform& p, ActionItem item) {
  const TestsCarteSonState& tests = s.Engine.CardTests;
  SessionsState& ss = s.Sessions;
  DspState& dsp = s.Dsp;
  if (item == ActionItem::BFO_numerique) {
    if (tests.Rate6250OK != 0) {
      ss.BfoSampleRate = 6250;
    } else if (tests.Rate8000OK != 0) {
      ss.BfoSampleRate = 8000;
    } else {
      p.engine.box.ShowError(kBfoRefused);
      ShowRate(s, 11025);
      return 0;
    }
    ShowRate(s, ss.BfoSampleRate);
    return ss.BfoSampleRate;
  }
  const int32_t rate = tests.Rate8000OK != 0 ? 8000 : 11025;
  ShowRate(s, rate);
  switch (item) {
    case ActionItem::Passe_bas:
      ss.LowPassSampleRate = rate;
      break;
    case ActionItem::Passe_bande:
      ss.BandPassSampleRate = rate;
      dsp.Rejecteur.RejectorSampleRate = rate;
      dsp.Rejecteur.NotchNyquist = rate / 2;
      break;
    case ActionItem::RejecteurporteuseparTFD:
      dsp.Rejecteur.RejectorSampleRate = rate;
      dsp.Rejecteur.NotchNyquist = rate / 2;
      break;
    case ActionItem::Reducteur_bruit_general:
      dsp.ReducteurGeneral.VoiceReducerSampleRate = rate;
      break;
    case ActionItem::Reducteur_bruit_CW_RTTY:
      dsp.ReducteurCw.CwReducerSampleRate = rate;
      break;
    case ActionItem::BFO_numerique:
      break;
  }
  return rate;
}

// The top-level menus a session hides; remembered so that only those come back.
using HiddenMenus = std::array<bool, kTopMenuCount>;

HiddenMenus HideMenus(ProgramState& s, bool mixerToo) {
  HiddenMenus hidden{};
  for (TopMenu menu : {TopMenu::Aide, TopMenu::Mixer1, TopMenu::EntreGD1, TopMenu::Niveaudentre1,
                       TopMenu::Actions1, TopMenu::Abandondulogiciel1}) {
    const auto i = static_cast<size_t>(menu);
    if ((menu != TopMenu::Mixer1 || mixerToo) && s.Window.MenuVisible[i]) {
      SetMenuVisible(s.Window, menu, false);
      hidden[i] = true;
    }
  }
  return hidden;
}

void ShowMenus(ProgramState& s, const HiddenMenus& hidden) {
  for (size_t i = 0; i < hidden.size(); ++i) {
    if (hidden[i]) {
      SetMenuVisible(s.Window, static_cast<TopMenu>(i), true);
    }
  }
}

void RunLoop(Session& session, const SessionHooks& hooks) {
  RunSession(session.state.Engine, session.state.Dsp, hooks, session.platform.engine);
}

// The automatic centring of a band-pass session: the rejector's detection, borrowed for one
// decision with every spectral line counting as a carrier. False when the user ended the session
// during the search.
bool CentreOnCarrier(Session& session, const SessionHooks& hooks) {
  ProgramState& s = session.state;
  DspState& dsp = s.Dsp;
  RejecteurState& r = dsp.Rejecteur;
  const uint8_t notchAuto = r.NotchAuto;
  const int32_t threshold = r.NotchThreshold;
  r.NotchAuto = 1;
  r.NotchThreshold = 0;
  WriteCell(s, 18, "en cours");
  s.Sessions.CarrierSearchActive = true;
  dsp.FilterKind = kRejecteurParTfd;
  dsp.SampleRate = r.RejectorSampleRate;
  dsp.BlockLength = 2048;
  PrepareRejectorRun(dsp);  // clears CarrierFound, arms the detection
  RunLoop(session, hooks);
  s.Sessions.CarrierSearchActive = false;
  if (r.MeanPeakPower <= 0) {
    WriteCell(s, 18, "échec     ");
  } else {
    WriteCell(s, 18, "trouvé    ");
    dsp.PasseBande.BandPassCentre = static_cast<uint16_t>(50 * r.NotchIndex);
  }
  dsp.PasseBande.BandPassBypass = false;
  WriteCell(s, 6, dsp.PasseBande.BandPassCentre);
  r.NotchAuto = notchAuto;
  r.NotchThreshold = threshold;
  s.Sessions.CentringRequested = false;
  dsp.FilterKind = kPasseBande;
  dsp.SampleRate = s.Sessions.BandPassSampleRate;
  dsp.BlockLength = PerSampleBlockLength(dsp.SampleRate, s.Sessions.ShortLatency);
  return !s.Sessions.EndRequested;
}

// Step 13 of the band-pass: band-pass runs, each Insert making the next pass a centring.
void RunBandPass(Session& session, const SessionHooks& hooks) {
  SessionsState& ss = session.state.Sessions;
  while (ss.SessionRepeat) {
    ss.SessionRepeat = false;
    if (ss.CentringRequested && !CentreOnCarrier(session, hooks)) {
      return;
    }
    BandPassSetup(session.state.Dsp);
    RunLoop(session, hooks);
  }
}

// Step 13: filter preparation and the processing loop.
void PrepareAndRun(Session& session, ActionItem item, const SessionHooks& hooks) {
  DspState& dsp = session.state.Dsp;
  switch (item) {
    case ActionItem::Passe_bas:
      if (!dsp.PasseBas.LowPassCalibrated) {
        LowPassCalibrate(dsp, session.platform.engine.clock);
      }
      LowPassDesign(dsp);
      break;
    case ActionItem::Passe_bande:
      RunBandPass(session, hooks);
      return;
    case ActionItem::Reducteur_bruit_general:
      GeneralReducerSetup(dsp);
      break;
    case ActionItem::Reducteur_bruit_CW_RTTY:
      CwReducerSetup(dsp);
      break;
    case ActionItem::BFO_numerique:
      break;
    case ActionItem::RejecteurporteuseparTFD:
      // Also step 6's transform and step 11's cleared CarrierFound: none is seen before.
      PrepareRejectorRun(dsp);
      break;
  }
  RunLoop(session, hooks);
}

}  // namespace

const char* FilterKindOf(ActionItem item) { return TraitsOf(item).kind.data(); }

void LaunchAction(ProgramState& s, const LaunchPlatform& p, ActionItem item) {
  const ActionTraits traits = TraitsOf(item);
  DspState& dsp = s.Dsp;
  TestOnFirstUse(s, p, traits);
  if (s.Engine.CardTests.SoundCardOK == 0) {
    return;
  }
  const int32_t rate = ChooseRate(s, p, item);
  if (rate == 0) {
    return;
  }
  const bool usesNotches =
      item == ActionItem::Passe_bande || item == ActionItem::RejecteurporteuseparTFD;
  if (usesNotches) {
    PrepareNotchTables(dsp, p.engine.clock);  // once per run
  }
  s.Engine.Wave.InputStereo = 0;
  s.Engine.Wave.InputEightBit = 1;
  s.Engine.Wave.OutputEightBit = 1;
  dsp.SampleRate = rate;
  const bool blocksOf2048 =
      item == ActionItem::BFO_numerique || item == ActionItem::RejecteurporteuseparTFD;
  dsp.BlockLength = blocksOf2048 ? 2048 : PerSampleBlockLength(rate, s.Sessions.ShortLatency);
  if (item == ActionItem::BFO_numerique) {
    dsp.Transform.WindowEnabled = false;
    dsp.Transform.TransformSize = 1024;
    TransformInit(dsp.Transform);
    s.Sessions.BfoBinWidth = dsp.SampleRate * 1000 / 1024;
  }
  traits.buildScreen(s);
  SetMasterVolume(p.mixer, s.MixerControl, 0, 0);
  const bool screenSaverWasActive = p.screenSaver.IsActive();
  if (screenSaverWasActive) {
    p.screenSaver.SetActive(false);
  }
  if (item == ActionItem::Passe_bande && !dsp.PasseBande.BandPassCalibrated) {
    BandPassCalibrate(dsp, p.engine.clock);
  }
  dsp.FilterKind = traits.kind;
  s.Sessions.SessionRepeat = true;
  s.Sessions.CentringRequested = false;
  s.Sessions.EndRequested = false;
  const HiddenMenus hidden = HideMenus(s, traits.hidesMixerMenu);

  Session session{s, p};
  const SessionHooks hooks = MakeSessionHooks(session);
  PrepareAndRun(session, item, hooks);

  // A loop that could not open the devices returns without EndSession: its screen goes too.
  HideFilterScreen(s);
  if (screenSaverWasActive) {
    p.screenSaver.SetActive(true);
  }
  ShowMenus(s, hidden);
  SetPanelVisible(s.Window, 1, true);
}

}  // namespace velunda
