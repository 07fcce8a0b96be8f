#include "engine/boucle.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "dsp/filter_kind.hpp"
#include "rig.hpp"

namespace velunda::test {
namespace {

constexpr uint32_t kStart = 1000;  // the manual clock's time at creation

bool AllSilent(const std::vector<uint8_t>& v) {
  return std::all_of(v.begin(), v.end(), [](uint8_t s) { return s == 128; });
}

void ExpectNothingHeld(const Rig& rig) {
  EXPECT_FALSE(rig.card.InputOpen());
  EXPECT_FALSE(rig.card.OutputOpen());
  EXPECT_TRUE(rig.memory.live.empty());
  EXPECT_EQ(rig.events.PendingInRange(MM_WOM_DONE, MM_WIM_DATA), 0u);
  EXPECT_FALSE(rig.events.TimedOut());
}

// ---- preparation failures ----

struct PrepFailure {
  const char* name;
  std::vector<InjectedFailure> failures;
  int memoryFailAt;
  std::vector<std::string> messages;
};

class PreparationFailure : public testing::TestWithParam<PrepFailure> {};

TEST_P(PreparationFailure, ReportsItsStepAndReleasesEverything) {
  VirtualCardConfig config;
  config.faults.failures = GetParam().failures;
  Rig rig(config, {KeyAt(kStart + 5000, kScanEnd)});
  rig.memory.failAt = GetParam().memoryFailAt;
  rig.dsp->FilterKind = std::string(kPasseBas);
  int applied = 0;
  SessionHooks hooks;
  hooks.ApplyOutputLevel = [&] { ++applied; };

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);

  EXPECT_EQ(rig.messages(), GetParam().messages);
  EXPECT_EQ(applied, 0);
  EXPECT_TRUE(rig.card.Speaker().empty());
  EXPECT_EQ(rig.clock.NowMs(), kStart);  // returned at once
  ExpectNothingHeld(rig);
}

std::vector<PrepFailure> PrepFailures() {
  std::vector<PrepFailure> rows = {
      {"OutOpen", {{WaveOp::OutOpen, 1, 4}}, 0, {"Erreur ouverture sortie son n°:4"}},
      {"InOpen", {{WaveOp::InOpen, 1, 4}}, 0, {"Erreur ouverture entree son n°:4"}},
      {"InOpenHighBits", {{WaveOp::InOpen, 1, 0x10020}}, 0, {"Erreur ouverture entree son n°:32"}},
      {"InPrepare1", {{WaveOp::InPrepare, 1, 11}}, 0, {"Erreur préparation header éch. n°:11"}},
      {"InPrepare2", {{WaveOp::InPrepare, 2, 11}}, 0, {"Erreur préparation header bis éch. n°:11"}},
      {"InAdd1", {{WaveOp::InAddBuffer, 1, 11}}, 0, {"Erreur préparation buffer éch. n°:11"}},
      {"InAdd2", {{WaveOp::InAddBuffer, 2, 11}}, 0, {"Erreur préparation buffer bis éch. n°:11"}},
      {"OutPrepare1", {{WaveOp::OutPrepare, 1, 11}}, 0, {"Erreur préparation header n°:11"}},
      {"OutPrepare2", {{WaveOp::OutPrepare, 2, 11}}, 0, {"Erreur préparation header bis n°:11"}},
      {"OutWrite1", {{WaveOp::OutWrite, 1, 11}}, 0, {"Erreur de restitution des données n°11"}},
      {"OutWrite2", {{WaveOp::OutWrite, 2, 11}}, 0, {"Erreur de restitution des données bis n°11"}},
  };
  // Allocation order: output header and buffer 1, 2, then input header and buffer 1, 2.
  const char* allocMessages[] = {
      "Erreur allocation header de sortie",   "Erreur allocation buffer de sortie",
      "Erreur allocation header de sortie 2", "Erreur allocation buffer de sortie 2",
      "Erreur allocation header d'entrée",    "Erreur allocation buffer d'entrée",
      "Erreur allocation header d'entrée 2",  "Erreur allocation buffer d'entrée 2"};
  const char* allocNames[] = {"AllocOutH1", "AllocOutB1", "AllocOutH2", "AllocOutB2",
                              "AllocInH1",  "AllocInB1",  "AllocInH2",  "AllocInB2"};
  for (int i = 0; i < 8; ++i) {
    rows.push_back({allocNames[i], {}, i + 1, {allocMessages[i]}});
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(EachStep, PreparationFailure, testing::ValuesIn(PrepFailures()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- running ----

struct RequeueFailure {
  const char* name;
  InjectedFailure failure;
  std::string message;
};

class OutputRequeueRefused : public testing::TestWithParam<RequeueFailure> {};

TEST_P(OutputRequeueRefused, EndsTheSessionThroughTeardown) {
  VirtualCardConfig config;
  config.faults.failures = {GetParam().failure};
  Rig rig(config);  // no End in the script: only the failure can stop the session
  rig.dsp->FilterKind = "AUCUN";

  RunSession(rig.engine, *rig.dsp, {}, rig.platform);

  EXPECT_EQ(rig.messages(), std::vector<std::string>{GetParam().message});
  ExpectNothingHeld(rig);
  EXPECT_EQ(rig.events.PendingCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OutputRequeueRefused,
    testing::Values(
        RequeueFailure{"Prepare1", {WaveOp::OutPrepare, 3, 5}, "Erreur préparation header n°:5"},
        RequeueFailure{"Write1", {WaveOp::OutWrite, 3, 5}, "Erreur de restitution des données n°5"},
        RequeueFailure{
            "Write2", {WaveOp::OutWrite, 4, 5}, "Erreur de restitution des données bis n°5"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunSession, InputRequeueFailureIsShownAndTheSessionGoesOn) {
  VirtualCardConfig config;
  config.faults.failures = {{WaveOp::InAddBuffer, 3, 5}};  // pair 1's first re-queue
  Rig rig(config, {KeyAt(kStart + 2000, kScanEnd)});
  rig.dsp->FilterKind = "AUCUN";

  RunSession(rig.engine, *rig.dsp, {}, rig.platform);

  EXPECT_EQ(rig.messages(), std::vector<std::string>{"Erreur préparation buffer éch. n°:5"});
  EXPECT_EQ(rig.clock.NowMs(), kStart + 2000);  // ended by End, not by the failure
  ExpectNothingHeld(rig);
}

TEST(RunSession, UnknownKindPlaysTheSilenceOfThePreparation) {
  VirtualCardConfig config;
  config.input = std::vector<uint8_t>(1000, 200);
  Rig rig(config, {KeyAt(kStart + 1500, kScanEnd)});
  rig.dsp->FilterKind = "PASSE_BAS";  // not exactly an identifier

  RunSession(rig.engine, *rig.dsp, {}, rig.platform);

  EXPECT_EQ(rig.card.Speaker().size(), 1500u * 8);
  EXPECT_TRUE(AllSilent(rig.card.Speaker()));
  EXPECT_TRUE(rig.messages().empty());
  ExpectNothingHeld(rig);
}

TEST(RunSession, ForeignNoticesAreIgnored) {
  VirtualCardConfig config;
  config.input = std::vector<uint8_t>(3000, 77);
  Rig rig(config, {KeyAt(kStart + 1200, kScanEnd)});
  rig.dsp->FilterKind = "AUCUN";
  std::vector<uint8_t> data(16, 9);
  WaveHeader foreign;
  foreign.lpData = data.data();
  foreign.dwBufferLength = 16;
  rig.events.PostNotice(MM_WIM_DATA, &foreign);
  rig.events.PostNotice(MM_WOM_DONE, &foreign);
  rig.events.PostNotice(MM_WIM_DATA, nullptr);

  RunSession(rig.engine, *rig.dsp, {}, rig.platform);

  EXPECT_TRUE(rig.messages().empty());
  EXPECT_EQ(foreign.dwFlags, 0u);
  EXPECT_EQ(data, std::vector<uint8_t>(16, 9));
  ExpectNothingHeld(rig);
}

TEST(RunSession, RightClickGoesOnLeftClickStops) {
  Rig rig({}, {{kStart + 400, WM_RBUTTONDOWN}, {kStart + 700, WM_LBUTTONDOWN}});
  rig.dsp->FilterKind = "AUCUN";
  int ended = 0;
  SessionHooks hooks;
  hooks.EndSession = [&] { ++ended; };

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);

  EXPECT_EQ(rig.clock.NowMs(), kStart + 700);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(rig.engine.StopRequested, 1);
  ExpectNothingHeld(rig);
}

TEST(RunSession, TeardownDrainsNoticesKeysAndClicks) {
  // End first, then keys, a key release and mouse traffic in the same millisecond.
  Rig rig({}, {KeyAt(kStart + 500, kScanEnd),
               KeyAt(kStart + 500, kScanUp),
               KeyAt(kStart + 500, kScanUp, false),
               {kStart + 500, WM_KEYUP, MakeKeyLParam(kScanUp, true)},
               {kStart + 500, WM_CHAR, 'a'},
               {kStart + 500, WM_RBUTTONDOWN},
               {kStart + 500, WM_LBUTTONUP},
               {kStart + 500, 0x200}});
  rig.dsp->FilterKind = "AUCUN";
  int applied = 0;
  int ups = 0;
  SessionHooks hooks;
  hooks.ApplyOutputLevel = [&] { ++applied; };
  hooks.OutputLevelUp = [&] { ++ups; };

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);

  EXPECT_EQ(applied, 1);
  EXPECT_LE(ups, 1);  // at most the one taken in End's pass
  EXPECT_EQ(rig.events.PendingCount(), 0u);
  ExpectNothingHeld(rig);
}

TEST(RunSession, KeysReachTheirHandlersBetweenBlocks) {
  Rig rig({}, {KeyAt(kStart + 100, kScanUp),
               KeyAt(kStart + 200, kScanUp, false),
               {kStart + 300, WM_KEYUP, MakeKeyLParam(kScanDown, true)},
               KeyAt(kStart + 400, kScanDown),
               KeyAt(kStart + 500, kScanLeft),
               KeyAt(kStart + 600, kScanEnd)});
  rig.dsp->FilterKind = std::string(kPasseBas);
  rig.dsp->PasseBas.LowPassBypass = true;
  std::vector<std::string> calls;
  SessionHooks hooks;
  hooks.OutputLevelUp = [&] { calls.push_back("up"); };
  hooks.OutputLevelDown = [&] { calls.push_back("down"); };
  hooks.LowPassCutoffDown = [&] { calls.push_back("cut-"); };
  hooks.EndSession = [&] { calls.push_back("end"); };

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);

  EXPECT_EQ(calls, (std::vector<std::string>{"up", "down", "cut-", "end"}));
}

TEST(RunSession, CarrierSearchStopsAfterTheDecision) {
  Rig rig;  // no End: the decision alone ends the session
  rig.dsp->FilterKind = std::string(kRejecteurParTfd);
  rig.dsp->BlockLength = 2048;
  int displays = 0;
  SessionHooks hooks;
  hooks.CarrierSearchActive = [] { return true; };
  hooks.RejectorBlockDisplay = [&] { ++displays; };
  rig.dsp->Rejecteur.DecisionMade = 1;
  rig.dsp->Rejecteur.NotchAuto = 0;

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);

  EXPECT_EQ(displays, 0);
  EXPECT_EQ(rig.clock.NowMs(), kStart + 256);  // the first block of 2048 at 8000 Hz
  ExpectNothingHeld(rig);
}

TEST(RunSession, RejectorShowsEachBlockOutsideASearch) {
  Rig rig({}, {{kStart + 1100, WM_LBUTTONDOWN}});
  rig.dsp->FilterKind = std::string(kRejecteurParTfd);
  rig.dsp->BlockLength = 2048;
  int displays = 0;
  SessionHooks hooks;
  hooks.CarrierSearchActive = [] { return false; };
  hooks.RejectorBlockDisplay = [&] { ++displays; };
  rig.dsp->Rejecteur.DecisionMade = 1;

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);

  EXPECT_EQ(displays, 4);  // blocks at 256, 512, 768 and 1024 ms
}

TEST(RunSession, ASecondSessionRunsCleanAfterTheFirst) {
  VirtualCardConfig config;
  config.input = std::vector<uint8_t>(5000, 30);
  Rig rig(config, {KeyAt(kStart + 600, kScanEnd), KeyAt(kStart + 1500, kScanEnd)});
  rig.dsp->FilterKind = "AUCUN";
  RunSession(rig.engine, *rig.dsp, {}, rig.platform);
  RunSession(rig.engine, *rig.dsp, {}, rig.platform);
  EXPECT_EQ(rig.clock.NowMs(), kStart + 1500);
  EXPECT_TRUE(rig.messages().empty());
  ExpectNothingHeld(rig);
}

// ---- key decoding ----

struct KeyCase {
  std::string kind;
  bool search;
  uint8_t scan;
  bool extended;
  std::vector<std::string> calls;
};

class KeyTable : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyTable, CallsTheHandlerOfTheKindAndKey) {
  const KeyCase& c = GetParam();
  EngineState e;
  DspState* dsp = new DspState;
  dsp->FilterKind = c.kind;
  std::vector<std::string> calls;
  SessionHooks h;
  auto rec = [&](const char* name) { return [&calls, name] { calls.emplace_back(name); }; };
  h.EndSession = rec("End");
  h.OutputLevelUp = rec("Up");
  h.OutputLevelDown = rec("Down");
  h.BfoShiftDown = rec("BfoDown");
  h.BfoShiftUp = rec("BfoUp");
  h.BfoSwitchInversion = rec("BfoInv");
  h.LowPassCutoffDown = rec("LpDown");
  h.LowPassCutoffUp = rec("LpUp");
  h.BandPassCentreDown = rec("BpDown");
  h.BandPassCentreUp = rec("BpUp");
  h.BandPassNextWidth = rec("BpWidth");
  h.BandPassRequestCentring = rec("BpCentring");
  h.NotchDown = rec("NotchDown");
  h.NotchUp = rec("NotchUp");
  h.NotchSwitchWidth = rec("NotchWidth");
  h.NotchSwitchAuto = rec("NotchAuto");
  h.NotchNextThreshold = rec("NotchThreshold");
  h.GeneralReducerNextState = rec("General");
  h.CwReducerNextState = rec("Cw");
  const bool search = c.search;
  h.CarrierSearchActive = [search] { return search; };

  DecodeKey(e, *dsp, h, MakeKeyLParam(c.scan, c.extended));

  EXPECT_EQ(calls, c.calls);
  EXPECT_EQ(e.StopRequested, c.scan == kScanEnd && c.extended ? 1 : 0);
  delete dsp;
}

std::vector<KeyCase> KeyCases() {
  const std::string bfo(kBfoNumerique), lp(kPasseBas), bp(kPasseBande), rej(kRejecteurParTfd),
      gen(kReducteurGeneral), cw(kReducteurCw);
  std::vector<KeyCase> rows;
  // Keys that act in every session, and nothing without the extended flag.
  for (const std::string& kind : {bfo, lp, bp, rej, gen, cw, std::string("AUTRE")}) {
    rows.push_back({kind, false, kScanEnd, true, {"End"}});
    rows.push_back({kind, false, kScanUp, true, {"Up"}});
    rows.push_back({kind, false, kScanDown, true, {"Down"}});
    for (uint8_t scan : {kScanEnd, kScanUp, kScanDown, kScanLeft, kScanDelete}) {
      rows.push_back({kind, false, scan, false, {}});
    }
  }
  const std::map<std::string, std::map<uint8_t, std::string>> table = {
      {bfo, {{kScanLeft, "BfoDown"}, {kScanRight, "BfoUp"}, {kScanDelete, "BfoInv"}}},
      {lp, {{kScanLeft, "LpDown"}, {kScanRight, "LpUp"}}},
      {bp,
       {{kScanLeft, "BpDown"},
        {kScanRight, "BpUp"},
        {kScanDelete, "BpWidth"},
        {kScanInsert, "BpCentring"}}},
      {rej,
       {{kScanLeft, "NotchDown"},
        {kScanRight, "NotchUp"},
        {kScanDelete, "NotchWidth"},
        {kScanInsert, "NotchAuto"},
        {kScanPageDown, "NotchThreshold"}}},
      {gen, {{kScanDelete, "General"}}},
      {cw, {{kScanDelete, "Cw"}}},
      {"AUTRE", {}},
  };
  for (const auto& [kind, actions] : table) {
    for (uint8_t scan : {kScanLeft, kScanRight, kScanDelete, kScanInsert, kScanPageDown}) {
      const auto it = actions.find(scan);
      rows.push_back({kind, false, scan, true,
                      it == actions.end() ? std::vector<std::string>{}
                                          : std::vector<std::string>{it->second}});
    }
  }
  // During a carrier search only End, Up and Down act.
  for (uint8_t scan : {kScanLeft, kScanRight, kScanDelete, kScanInsert, kScanPageDown}) {
    rows.push_back({rej, true, scan, true, {}});
  }
  rows.push_back({rej, true, kScanUp, true, {"Up"}});
  rows.push_back({rej, true, kScanEnd, true, {"End"}});
  // The search flag matters only to the rejector.
  rows.push_back({bp, true, kScanInsert, true, {"BpCentring"}});
  return rows;
}

INSTANTIATE_TEST_SUITE_P(ByKindAndKey, KeyTable, testing::ValuesIn(KeyCases()));

}  // namespace
}  // namespace velunda::test
