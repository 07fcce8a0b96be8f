#include "engine/boucle.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "rig.hpp"

namespace velunda::test {
namespace {

constexpr uint32_t kEnd = kStart + 5000;  // End is pressed then in every session below

// What the loop hands the screen, in order. End, a click, and the block numbered stopAtBlock
// (from 1) stop the loop.
struct RecordingScreen final : SessionScreen {
  void Started() override { calls.push_back("started"); }
  bool KeyDown(uint8_t scanCode) override {
    calls.push_back("key " + std::to_string(scanCode));
    return scanCode != kScanEnd;
  }
  bool Clicked() override {
    calls.push_back("click");
    return false;
  }
  bool BlockDone() override {
    calls.push_back("block");
    return ++blocks != stopAtBlock;
  }
  std::vector<std::string> calls;
  int blocks = 0;
  int stopAtBlock = 0;
};

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
  RecordingScreen screen;

  RunSession(rig.engine, *rig.dsp, screen, rig.platform);

  EXPECT_EQ(rig.messages(), std::vector<std::string>{row.message});
  EXPECT_EQ(rig.clock.NowMs(), row.endsAt);
  EXPECT_EQ(std::count(screen.calls.begin(), screen.calls.end(), "started"),
            row.endsAt == kStart ? 0 : 1);
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
  // Foreign notices first; End, a key, a key release and two clicks in the same millisecond:
  // the pass takes a click and End, the rest is drained. The second session ignores a key
  // release, a right click and a key without the extended flag, takes a key, ends on a click.
  const uint32_t t = kStart + 500;
  Rig rig({}, {KeyAt(t, kScanEnd), KeyAt(t, kScanUp), At(t, WM_KEYUP), At(t, WM_LBUTTONDOWN),
               At(t, WM_LBUTTONDOWN), At(kStart + 1000, WM_KEYUP, MakeKeyLParam(kScanDown, true)),
               At(kStart + 1100, WM_RBUTTONDOWN), KeyAt(kStart + 1150, kScanDown, false),
               KeyAt(kStart + 1200, kScanUp), At(kStart + 1500, WM_LBUTTONDOWN)});
  std::vector<uint8_t> data(16, 9);
  WaveHeader foreign;
  foreign.lpData = data.data();
  foreign.dwBufferLength = 16;
  rig.events.PostNotice(MM_WIM_DATA, &foreign);
  rig.events.PostNotice(MM_WOM_DONE, &foreign);
  rig.events.PostNotice(MM_WIM_DATA, nullptr);

  RecordingScreen first;
  RunSession(rig.engine, *rig.dsp, first, rig.platform);
  EXPECT_EQ(foreign.dwFlags, 0u);
  EXPECT_EQ(data, std::vector<uint8_t>(16, 9));
  EXPECT_EQ(first.calls, (std::vector<std::string>{"started", "block", "click", "key 79"}));
  EXPECT_EQ(rig.events.PendingCount(), 0u);
  ExpectNothingHeld(rig);

  RecordingScreen second;
  RunSession(rig.engine, *rig.dsp, second, rig.platform);
  EXPECT_EQ(rig.clock.NowMs(), kStart + 1500);
  EXPECT_EQ(second.calls,
            (std::vector<std::string>{"started", "block", "block", "key 72", "block", "click"}));
  EXPECT_TRUE(rig.messages().empty());
  ExpectNothingHeld(rig);
}

// Blocks of 2048 at 8000 Hz fill every 256 ms: the screen hears of each until it stops the loop.
TEST(RunSession, BlockDoneUntilTheScreenStopsTheLoop) {
  for (const int stopAtBlock : {0, 2}) {
    Rig rig({}, {At(kStart + 1100, WM_LBUTTONDOWN)});
    rig.dsp->BlockLength = 2048;
    RecordingScreen screen;
    screen.stopAtBlock = stopAtBlock;

    RunSession(rig.engine, *rig.dsp, screen, rig.platform);

    EXPECT_EQ(screen.blocks, stopAtBlock == 0 ? 4 : 2) << stopAtBlock;
    EXPECT_EQ(rig.clock.NowMs(), kStart + (stopAtBlock == 0 ? 1100 : 512)) << stopAtBlock;
    ExpectNothingHeld(rig);
  }
}

}  // namespace
}  // namespace velunda::test
