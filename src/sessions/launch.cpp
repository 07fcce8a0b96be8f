#include "sessions/launch.hpp"

#include <array>
#include <iterator>
#include <memory>

#include "config/fonctions_mixer.hpp"
#include "dsp/filter_kind.hpp"
#include "engine/boucle.hpp"
#include "engine/tests_carte_son.hpp"
#include "sessions/filter_screen.hpp"
#include "sessions/filter_settings.hpp"
#include "sessions/program_state.hpp"

namespace velunda {
namespace {

// What differs from one action to the next.
struct ActionTraits {
  ActionItem item;
  std::string_view kind;
  bool degradedWarning;
  bool hidesMixerMenu;
  void (*buildScreen)(ProgramState&);
  std::unique_ptr<SessionScreen> (*screen)(Session&);
};

constexpr ActionTraits kActions[] = {
    {ActionItem::Passe_bas, kPasseBas, false, true, BuildLowPassScreen, LowPassScreen},
    {ActionItem::Passe_bande, kPasseBande, true, false, BuildBandPassScreen, BandPassScreen},
    {ActionItem::Reducteur_bruit_general, kReducteurGeneral, true, false, BuildGeneralReducerScreen,
     GeneralReducerScreen},
    {ActionItem::Reducteur_bruit_CW_RTTY, kReducteurCw, true, false, BuildCwReducerScreen,
     CwReducerScreen},
    {ActionItem::BFO_numerique, kBfoNumerique, false, false, BuildBfoScreen, BfoScreen},
    {ActionItem::RejecteurporteuseparTFD, kRejecteurParTfd, true, false, BuildRejectorScreen,
     RejectorScreen},
};

const ActionTraits& TraitsOf(ActionItem item) {
  for (const ActionTraits& traits : kActions) {
    if (traits.item == item) {
      return traits;
    }
  }
  return kActions[std::size(kActions) - 1];
}

void ShowRate(ProgramState& s, int32_t rate) { WriteCell(s, 15, "Fe=" + std::to_string(rate)); }

// Step 1: the card test, when the timer has not run it yet.
void TestOnFirstUse(ProgramState& s, const LaunchPlatform& p, ActionItem item) {
  TestsCarteSonState& tests = s.Engine.CardTests;
  if (tests.TestDone != 0) {
    return;
  }
  SetPanelColour(s.Window, 15, PanelColour::Red);
  WriteCell(s, 15, "En test!");
  tests.TestDone = 1;
  tests.SoundCardOK = TestSoundCard(s.Engine, s.Dsp, p.engine);
  SetPanelColour(s.Window, 15, PanelColour::ButtonFace);
  if (WarnsDegraded(item, tests)) {
    p.engine.box.ShowError(kDegradedModeWarning);
  }
}

// Step 3: the action's rate, shown in the rate box; 0 when the BFO cannot run.
int32_t ChooseRate(ProgramState& s, const LaunchPlatform& p, ActionItem item) {
  const int32_t rate = SessionRate(item, s.Engine.CardTests);
  if (rate == 0) {
    p.engine.box.ShowError(kBfoRefused);
    ShowRate(s, 11025);
    return 0;
  }
  ShowRate(s, rate);
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

void RunLoop(Session& session, SessionScreen& screen) {
  RunSession(session.state.Engine, session.state.Dsp, screen, session.platform.engine);
}

// The automatic centring of a band-pass session: the rejector's detection, borrowed for one
// decision with every spectral line counting as a carrier, then the band-pass redesigned on the
// centre found. False when the user ended the session during the search.
bool CentreOnCarrier(Session& session) {
  ProgramState& s = session.state;
  DspState& dsp = s.Dsp;
  RejecteurState& r = dsp.Rejecteur;
  const uint8_t notchAuto = r.NotchAuto;
  const int32_t threshold = r.NotchThreshold;
  r.NotchAuto = 1;
  r.NotchThreshold = 0;
  WriteCell(s, 18, "en cours");
  dsp.FilterKind = kRejecteurParTfd;
  dsp.SampleRate = r.RejectorSampleRate;
  dsp.BlockLength = 2048;
  DesignFilter(dsp, DesignStep::RunStart);  // clears CarrierFound, arms the detection
  RunLoop(session, *CentringScreen(session));
  s.Spectrum.CentringCarrier = 0;
  if (r.MeanPeakPower <= 0) {
    WriteCell(s, 18, "échec     ");
  } else {
    WriteCell(s, 18, "trouvé    ");
    dsp.PasseBande.BandPassCentre = static_cast<uint16_t>(50 * r.NotchIndex);
    s.Spectrum.CentringCarrier = dsp.PasseBande.BandPassCentre;
  }
  dsp.PasseBande.BandPassBypass = false;
  WriteCell(s, 6, dsp.PasseBande.BandPassCentre);
  r.NotchAuto = notchAuto;
  r.NotchThreshold = threshold;
  s.Sessions.CentringRequested = false;
  dsp.FilterKind = kPasseBande;
  dsp.SampleRate = s.Sessions.BandPassSampleRate;
  dsp.BlockLength = PerSampleBlockLength(dsp.SampleRate, s.Sessions.ShortLatency);
  if (s.Sessions.EndRequested) {
    return false;
  }
  DesignFilter(dsp);
  return true;
}

// Step 13 of the band-pass: band-pass runs, each Insert making the next pass a centring.
void RunBandPass(Session& session, SessionScreen& screen) {
  SessionsState& ss = session.state.Sessions;
  while (ss.SessionRepeat) {
    ss.SessionRepeat = false;
    if (ss.CentringRequested && !CentreOnCarrier(session)) {
      return;
    }
    RunLoop(session, screen);
  }
}

// Step 3 and the preparation: the rate, then the filter prepared for it (for the band-pass, after
// the tables its centring borrows). False when the BFO cannot run.
bool PrepareSessionFilter(ProgramState& s, const LaunchPlatform& p, FilterSettings& settings,
                          ActionItem item) {
  settings.rate = ChooseRate(s, p, item);
  if (settings.rate == 0) {
    return false;
  }
  settings.blockLength = BlockLengthOf(settings.kind, settings.rate, s.Sessions.ShortLatency);
  if (item == ActionItem::Passe_bande) {
    s.Sessions.BandPassSampleRate = settings.rate;
    PrepareCentringTables(s.Dsp, settings.rate, p.engine.clock);  // once per run
  }
  PrepareFilter(s.Dsp, settings, p.engine.clock);
  if (item == ActionItem::BFO_numerique) {
    s.Sessions.BfoBinWidth = settings.rate * 1000 / 1024;
  }
  return true;
}

}  // namespace

const char* FilterKindOf(ActionItem item) { return TraitsOf(item).kind.data(); }

ActionItem ActionOf(std::string_view kind) {
  for (const ActionTraits& traits : kActions) {
    if (traits.kind == kind) {
      return traits.item;
    }
  }
  return ActionItem::RejecteurporteuseparTFD;
}

int32_t SessionRate(ActionItem item, const TestsCarteSonState& tests) {
  if (item == ActionItem::BFO_numerique) {
    if (tests.Rate6250OK != 0) {
      return 6250;
    }
    return tests.Rate8000OK != 0 ? 8000 : 0;
  }
  return tests.Rate8000OK != 0 ? 8000 : 11025;
}

bool WarnsDegraded(ActionItem item, const TestsCarteSonState& tests) {
  return TraitsOf(item).degradedWarning && tests.Rate8000OK == 0;
}

void LaunchAction(ProgramState& s, const LaunchPlatform& p, ActionItem item) {
  LaunchAction(s, p, SettingsKept(s.Dsp, FilterKindOf(item)));
}

void LaunchAction(ProgramState& s, const LaunchPlatform& p, FilterSettings settings) {
  const ActionTraits& traits = TraitsOf(ActionOf(settings.kind));
  TestOnFirstUse(s, p, traits.item);
  if (s.Engine.CardTests.SoundCardOK == 0 || !PrepareSessionFilter(s, p, settings, traits.item)) {
    return;
  }
  s.Engine.Wave.InputStereo = 0;
  s.Engine.Wave.InputEightBit = 1;
  s.Engine.Wave.OutputEightBit = 1;
  traits.buildScreen(s);
  SetMasterVolume(p.mixer, s.MixerControl, 0, 0);
  const bool screenSaverWasActive = p.screenSaver.IsActive();
  if (screenSaverWasActive) {
    p.screenSaver.SetActive(false);
  }
  s.Sessions.SessionRepeat = true;
  s.Sessions.CentringRequested = false;
  s.Sessions.EndRequested = false;
  s.Spectrum.CentringCarrier = 0;
  const HiddenMenus hidden = HideMenus(s, traits.hidesMixerMenu);

  Session session{s, p};
  const std::unique_ptr<SessionScreen> screen = traits.screen(session);
  if (traits.item == ActionItem::Passe_bande) {
    RunBandPass(session, *screen);
  } else {
    RunLoop(session, *screen);
  }

  // A loop that could not open the devices returns without EndSession: its screen goes too.
  HideFilterScreen(s);
  if (screenSaverWasActive) {
    p.screenSaver.SetActive(true);
  }
  ShowMenus(s, hidden);
  SetPanelVisible(s.Window, 1, true);
}

}  // namespace velunda
