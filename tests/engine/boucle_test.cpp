#include "engine/boucle.hpp"

#include <gtest/gtest.h>

#include "dsp/filter_kind.hpp"
#include "rig.hpp"

namespace velunda::test {
namespace {

constexpr uint32_t kEnd = kStart + 5000;  // End is pressed then in every session below

// ---- failures: shown, the session ends (or goes on), nothing is kept ----

struct Failure {
  std::string name;
  InjectedFailure failure;  // call 0: none
  std::string message;
  uint32_t endsAt = kStart;  // kStart: the preparation failed, nothing ran
  int memoryFailAt = 0;
  friend void PrintTo(const Failure& f, std::ostream* os) { *os << f.name; }
};

class SessionFailure : public testing::TestWithParam<Failure> {};

TEST_P(SessionFailure, IsShownAndReleasesEverything) {
  const Failure& row = GetParam();
  VirtualCardConfig config;
  config.faults.failures = {row.failure};
  Rig rig(config, {KeyAt(kEnd, kScanEnd)});
  rig.memory.failAt = row.memoryFailAt;
  rig.dsp->FilterKind = "AUCUN";
  int applied = 0;
  SessionHooks hooks;
  hooks.ApplyOutputLevel = [&] { ++applied; };

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);

  EXPECT_EQ(rig.messages(), std::vector<std::string>{row.message});
  EXPECT_EQ(rig.clock.NowMs(), row.endsAt);
  EXPECT_EQ(applied, row.endsAt == kStart ? 0 : 1);
  EXPECT_EQ(rig.Speaker().empty(), row.endsAt == kStart);
  EXPECT_EQ(rig.events.PendingCount(), 0u);
  ExpectNothingHeld(rig);
}

std::vector<Failure> Failures() {
  using enum WaveOp;
  std::vector<Failure> rows = {
      {"OutOpen", {OutOpen, 1, 4}, "Erreur ouverture sortie son n°:4"},
      {"InOpen", {InOpen, 1, 4}, "Erreur ouverture entree son n°:4"},
      {"InOpenHighBits", {InOpen, 1, 0x10020}, "Erreur ouverture entree son n°:32"},
      {"InPrepare1", {InPrepare, 1, 11}, "Erreur préparation header éch. n°:11"},
      {"InPrepare2", {InPrepare, 2, 11}, "Erreur préparation header bis éch. n°:11"},
      {"InAdd1", {InAddBuffer, 1, 11}, "Erreur préparation buffer éch. n°:11"},
      {"InAdd2", {InAddBuffer, 2, 11}, "Erreur préparation buffer bis éch. n°:11"},
      {"OutPrepare1", {OutPrepare, 1, 11}, "Erreur préparation header n°:11"},
      {"OutPrepare2", {OutPrepare, 2, 11}, "Erreur préparation header bis n°:11"},
      {"OutWrite1", {OutWrite, 1, 11}, "Erreur de restitution des données n°11"},
      {"OutWrite2", {OutWrite, 2, 11}, "Erreur de restitution des données bis n°11"},
      // A played buffer that cannot be queued again ends the session (2666 at 8000 Hz).
      {"RequeuePrepare1", {OutPrepare, 3, 5}, "Erreur préparation header n°:5", kStart + 334},
      {"RequeueWrite1", {OutWrite, 3, 5}, "Erreur de restitution des données n°5", kStart + 334},
      {"RequeueWrite2",
       {OutWrite, 4, 5},
       "Erreur de restitution des données bis n°5",
       kStart + 667},
      // A filled one is only reported.
      {"RequeueInput", {InAddBuffer, 3, 5}, "Erreur préparation buffer éch. n°:5", kEnd},
  };
  // Allocation order: output header and buffer 1, 2, then input header and buffer 1, 2.
  const char* blocks[] = {"header de sortie",   "buffer de sortie", "header de sortie 2",
                          "buffer de sortie 2", "header d'entrée",  "buffer d'entrée",
                          "header d'entrée 2",  "buffer d'entrée 2"};
  for (int i = 0; i < 8; ++i) {
    const std::string message = std::string("Erreur allocation ") + blocks[i];
    rows.push_back({"Alloc" + std::to_string(i + 1), {}, message, kStart, i + 1});
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Each, SessionFailure, testing::ValuesIn(Failures()),
                         [](const auto& info) { return info.param.name; });

// ---- running ----

TEST(RunSession, IgnoresForeignNoticesAndDrainsWhatIsLeftForTheNextSession) {
  // Foreign notices first; End, a key, a key release and two clicks in the same millisecond.
  // The second session ignores a key release and a right click, takes a key, ends on a click.
  const uint32_t t = kStart + 500;
  Rig rig({}, {KeyAt(t, kScanEnd), KeyAt(t, kScanUp), At(t, WM_KEYUP), At(t, WM_LBUTTONDOWN),
               At(t, WM_LBUTTONDOWN), At(kStart + 1000, WM_KEYUP, MakeKeyLParam(kScanDown, true)),
               At(kStart + 1100, WM_RBUTTONDOWN), KeyAt(kStart + 1200, kScanUp),
               At(kStart + 1500, WM_LBUTTONDOWN)});
  int applied = 0, ups = 0, downs = 0, ended = 0;
  SessionHooks hooks;
  hooks.ApplyOutputLevel = [&] { ++applied; };
  hooks.OutputLevelUp = [&] { ++ups; };
  hooks.OutputLevelDown = [&] { ++downs; };
  hooks.EndSession = [&] { ++ended; };
  std::vector<uint8_t> data(16, 9);
  WaveHeader foreign;
  foreign.lpData = data.data();
  foreign.dwBufferLength = 16;
  rig.events.PostNotice(MM_WIM_DATA, &foreign);
  rig.events.PostNotice(MM_WOM_DONE, &foreign);
  rig.events.PostNotice(MM_WIM_DATA, nullptr);

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);
  EXPECT_EQ(foreign.dwFlags, 0u);
  EXPECT_EQ(data, std::vector<uint8_t>(16, 9));
  EXPECT_EQ(ups, 0);
  EXPECT_EQ(ended, 2);  // End's pass takes a click too
  EXPECT_EQ(rig.events.PendingCount(), 0u);
  ExpectNothingHeld(rig);

  RunSession(rig.engine, *rig.dsp, hooks, rig.platform);
  EXPECT_EQ(rig.clock.NowMs(), kStart + 1500);
  EXPECT_EQ(applied, 2);
  EXPECT_EQ(ended, 3);
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(downs, 0);
  EXPECT_TRUE(rig.messages().empty());
  ExpectNothingHeld(rig);
}

TEST(RunSession, RejectorShowsEachBlockUntilASearchHasDecided) {
  for (const bool search : {false, true}) {
    Rig rig({}, {At(kStart + 1100, WM_LBUTTONDOWN)});
    rig.dsp->FilterKind = std::string(kRejecteurParTfd);
    rig.dsp->BlockLength = 2048;
    rig.dsp->Rejecteur.DecisionMade = 1;
    int displays = 0;
    SessionHooks hooks;
    hooks.CarrierSearchActive = [search] { return search; };
    hooks.RejectorBlockDisplay = [&] { ++displays; };

    RunSession(rig.engine, *rig.dsp, hooks, rig.platform);

    // Blocks of 2048 at 8000 Hz fill every 256 ms; the search ends at the first.
    EXPECT_EQ(displays, search ? 0 : 4) << search;
    EXPECT_EQ(rig.clock.NowMs(), kStart + (search ? 256 : 1100)) << search;
    ExpectNothingHeld(rig);
  }
}

// ---- key decoding ----

using H = SessionHooks;
using Hook = H::Action H::*;

// A kind's own keys: Left, Right, Delete, Insert, Page Down (nullptr: the key does nothing).
struct KindKeys {
  std::string_view kind;
  Hook own[5];
  friend void PrintTo(const KindKeys& k, std::ostream* os) { *os << k.kind; }
};

const KindKeys kKinds[] = {
    {kBfoNumerique, {&H::BfoShiftDown, &H::BfoShiftUp, &H::BfoSwitchInversion}},
    {kPasseBas, {&H::LowPassCutoffDown, &H::LowPassCutoffUp}},
    {kPasseBande,
     {&H::BandPassCentreDown, &H::BandPassCentreUp, &H::BandPassNextWidth,
      &H::BandPassRequestCentring}},
    {kRejecteurParTfd,
     {&H::NotchDown, &H::NotchUp, &H::NotchSwitchWidth, &H::NotchSwitchAuto,
      &H::NotchNextThreshold}},
    {kReducteurGeneral, {nullptr, nullptr, &H::GeneralReducerNextState}},
    {kReducteurCw, {nullptr, nullptr, &H::CwReducerNextState}},
    {"AUTRE", {}}};

// The hooks (of every kind) that one key press calls in a session of `kind`.
std::vector<Hook> Decoded(std::string_view kind, uint8_t scan, bool extended, bool search) {
  std::vector<Hook> calls;
  SessionHooks hooks;
  for (Hook h : {&H::EndSession, &H::OutputLevelUp, &H::OutputLevelDown}) {
    hooks.*h = [&calls, h] { calls.push_back(h); };
  }
  for (const KindKeys& k : kKinds) {
    for (Hook h : k.own) {
      if (h != nullptr) {
        hooks.*h = [&calls, h] { calls.push_back(h); };
      }
    }
  }
  hooks.CarrierSearchActive = [search] { return search; };
  EngineState e;
  auto dsp = std::make_unique<DspState>();
  dsp->FilterKind = std::string(kind);
  DecodeKey(e, *dsp, hooks, MakeKeyLParam(scan, extended));
  EXPECT_EQ(e.StopRequested, scan == kScanEnd && extended ? 1 : 0);
  return calls;
}

class KeyTable : public testing::TestWithParam<KindKeys> {};

TEST_P(KeyTable, EachExtendedKeyCallsItsHook) {
  const KindKeys& k = GetParam();
  const std::pair<uint8_t, Hook> keys[] = {
      {kScanEnd, &H::EndSession}, {kScanUp, &H::OutputLevelUp}, {kScanDown, &H::OutputLevelDown},
      {kScanLeft, k.own[0]},      {kScanRight, k.own[1]},       {kScanDelete, k.own[2]},
      {kScanInsert, k.own[3]},    {kScanPageDown, k.own[4]}};
  for (const auto& [scan, hook] : keys) {
    const std::vector<Hook> none, one = hook ? std::vector<Hook>{hook} : none;
    EXPECT_EQ(Decoded(k.kind, scan, true, false), one) << int{scan};
    EXPECT_EQ(Decoded(k.kind, scan, false, false), none) << int{scan};
    // During a carrier search the rejector's own keys do nothing.
    const bool own = scan != kScanEnd && scan != kScanUp && scan != kScanDown;
    EXPECT_EQ(Decoded(k.kind, scan, true, true), own && k.kind == kRejecteurParTfd ? none : one)
        << int{scan};
  }
}

INSTANTIATE_TEST_SUITE_P(ByKind, KeyTable, testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.kind); });

}  // namespace
}  // namespace velunda::test
