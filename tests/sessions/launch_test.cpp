#include "sessions/launch.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "common/reference_filters.hpp"
#include "common/signals.hpp"
#include "dsp/filter_kind.hpp"
#include "dsp/process_block.hpp"
#include "session_rig.hpp"
#include "sessions/filter_screen.hpp"

namespace velunda::test {
namespace {

// What a session leaves behind: devices closed, menus, Panel1, screen saver back.
void ExpectIdle(SessionRig& rig) {
  const MainWindowModel& w = rig.state->Window;
  for (bool visible : w.MenuVisible) {
    EXPECT_TRUE(visible);
  }
  EXPECT_TRUE(Panel(w, 1).Visible);
  for (int panel = 2; panel <= kPanelCount; ++panel) {
    EXPECT_FALSE(IsFilterScreenPanel(panel) && Panel(w, panel).Visible) << "Panel" << panel;
  }
  EXPECT_FALSE(rig.card.InputOpen());
  EXPECT_FALSE(rig.card.OutputOpen());
  EXPECT_TRUE(rig.memory.live.empty());
  EXPECT_FALSE(rig.events.TimedOut());
}

using common::BandPass;
using common::Bfo;
using common::LowPass;
using common::Notch;
using common::Prepare;
using common::Reducer;

constexpr uint8_t L = kScanLeft, R = kScanRight, Del = kScanDelete, Ins = kScanInsert,
                  PgDn = kScanPageDown, Up = kScanUp, Down = kScanDown, F2 = kScanF2;

// ---- the keys of each screen, in a running session ----

struct KeyRow {
  std::string name;
  ActionItem item;
  std::function<void(ProgramState&)> setup;
  std::vector<uint8_t> keys;                      // 50 ms apart from kStart + 100, then End
  std::map<int, std::vector<std::string>> texts;  // each cell's successive texts, as built first
  std::vector<std::string> messages = {};
  friend void PrintTo(const KeyRow& row, std::ostream* os) { *os << row.name; }
};

class ScreenKeys : public testing::TestWithParam<KeyRow> {};

TEST_P(ScreenKeys, RewriteTheirCells) {
  const KeyRow& row = GetParam();
  std::vector<ScriptedEvent> script;
  uint32_t at = kStart + 100;
  for (uint8_t key : row.keys) {
    script.push_back(KeyAt(at, key));
    at += 50;
  }
  script.push_back(KeyAt(at, kScanEnd));
  SessionRig rig({}, script);
  if (row.setup) {
    row.setup(*rig.state);
  }
  rig.Launch(row.item);
  for (const auto& [panel, texts] : row.texts) {
    EXPECT_EQ(rig.Writes(panel), texts) << "Panel" << panel;
  }
  EXPECT_EQ(rig.messages(), row.messages);
  EXPECT_EQ(rig.clock.NowMs(), at);  // the session ran until End
  ExpectIdle(rig);
}

// Where a screen starts from.
using Setup = std::function<void(ProgramState&)>;
Setup Cutoff(double hz) {
  return [hz](ProgramState& s) { s.Dsp.PasseBas.LowPassCutoff = hz; };
}
Setup Centre(uint16_t hz) {
  return [hz](ProgramState& s) { s.Dsp.PasseBande.BandPassCentre = hz; };
}
// Without 6250 Hz the BFO runs at 8000 Hz, in steps of 7.8 Hz.
Setup Shift(int32_t shift, bool has6250 = true) {
  return [=](ProgramState& s) {
    s.Dsp.Bfo.BfoShift = shift;
    s.Engine.CardTests.Rate6250OK = has6250 ? 1 : 0;
  };
}
// Past the first start, whose calibration puts the notch back at 1000 Hz.
Setup NotchAt(double hz) {
  return [hz](ProgramState& s) {
    s.Dsp.Rejecteur.NotchTablesReady = s.Dsp.Rejecteur.RejectorCalibrated = true;
    s.Dsp.Rejecteur.NotchFrequency = hz;
  };
}

std::vector<KeyRow> KeyRows() {
  using enum ActionItem;
  using Row = KeyRow;
  return {
      Row("LowPassToBypassAndBack", Passe_bas, Cutoff(2900), {R, R, R, L, L},
          {{6, {"2900", "3000", "sans", "3000", "2900"}}}),
      Row("LowPassStopsAt300", Passe_bas, Cutoff(300), {L, L}, {{6, {"300"}}}),
      Row("BandPassToBypassAndBack", Passe_bande, Centre(3250), {R, R, R, L},
          {{6, {"3250", "3300", "sans", "3300"}}}),
      Row("BandPassStopsAt100", Passe_bande, Centre(100), {L}, {{6, {"100"}}}),
      Row("BandPassWidthCycle", Passe_bande, nullptr, {Del, Del, Del, Del},
          {{14, {"250", "500", "2000", "120", "250"}}}),
      Row("GeneralReducerCycle", Reducteur_bruit_general, nullptr, {Del, Del, Del},
          {{6, {"réduction faible", "réduction forte ", "pas de réduction", "réduction faible"}}}),
      Row("CwReducerCycle", Reducteur_bruit_CW_RTTY, nullptr, {Del, Del, Del, L, R, Ins},
          {{6, {"CW 0,4/1 KHz", "RTTY Baudot", "pas de réduction", "CW 0,4/1 KHz"}}}),
      Row("BfoShiftAt6250", BFO_numerique, nullptr, {R, R, L, L, L},
          {{6, {"0", "6", "12", "6", "0", "-6"}}}),
      Row("BfoShiftAt8000", BFO_numerique, Shift(0, false), {R, R, R, R, R},
          {{6, {"0", "7", "15", "23", "31", "39"}}}),
      Row("BfoTopAt6250", BFO_numerique, Shift(163), {R, R}, {{6, {"994", "1000"}}}),
      Row("BfoBottomAt6250", BFO_numerique, Shift(-163), {L, L}, {{6, {"-994", "-1000"}}}),
      Row("BfoTopAt8000", BFO_numerique, Shift(128, false), {R, R}, {{6, {"999", "1007"}}}),
      Row("BfoInversion", BFO_numerique, nullptr, {Del, Del},
          {{14, {"Normal", "Inversé", "Normal"}}}),
      Row("BfoInversionWithout6250", BFO_numerique, Shift(0, false), {Del}, {{14, {"Normal"}}},
          {kInversionRefused}),
      Row("RejectorThresholdCycle", RejecteurporteuseparTFD, nullptr, {PgDn, PgDn, PgDn, PgDn},
          {{18, {"Seuil bas", "Seuil très bas", "Seuil très haut", "Seuil haut", "Seuil bas"}}}),
      Row("RejectorStopsAt100", RejecteurporteuseparTFD, NotchAt(100), {L}, {{6, {"100"}}}),
      Row("RejectorArrows", RejecteurporteuseparTFD, nullptr, {R, L, L},
          {{6, {"1000", "1050", "1000", "950"}}}),
      Row("RejectorArrowsIgnoredInAutoMode", RejecteurporteuseparTFD, nullptr, {Ins, L, R},
          {{6, {"1000"}}, {22, {"A l'arrêt", "En cours"}}}),
      Row("RejectorWidth", RejecteurporteuseparTFD, nullptr, {Del, Del},
          {{14, {"Bande large  ", "Bande étroite", "Bande large  "}}}),
      Row("LevelUpAndDown", Reducteur_bruit_general, nullptr, {Up, Up, Down, Down, Down},
          {{4, {"20", "24", "28", "24", "20", "16"}}}),
  };
}

INSTANTIATE_TEST_SUITE_P(EveryScreen, ScreenKeys, testing::ValuesIn(KeyRows()),
                         [](const auto& info) { return info.param.name; });

// ---- the launch frame ----

// Menus hidden and screen saver off while the loop runs, all back after; the mixer menu goes
// only for the low-pass.
TEST(Launch, HidesMenusAndScreenSaverOnlyDuringTheSession) {
  for (ActionItem item : {ActionItem::Passe_bas, ActionItem::Reducteur_bruit_CW_RTTY}) {
    SessionRig rig({}, {KeyAt(kStart + 100, kScanEnd)});
    std::vector<bool> menusDuring;
    bool saverDuring = true;
    rig.platform.sessionStarted = [&] {
      menusDuring.assign(rig.state->Window.MenuVisible.begin(),
                         rig.state->Window.MenuVisible.end());
      saverDuring = rig.saver.active;
    };
    rig.Launch(item);
    const bool lowPass = item == ActionItem::Passe_bas;
    // Aide, Mixer1, EntreGD1, Niveaudentre1, Actions1, Abandondulogiciel1
    EXPECT_EQ(menusDuring, (std::vector<bool>{false, !lowPass, false, false, false, false}));
    EXPECT_FALSE(saverDuring);
    EXPECT_EQ(rig.saver.switches, (std::vector<bool>{false, true}));
    EXPECT_EQ(rig.state->Dsp.FilterKind, FilterKindOf(item));
    ExpectIdle(rig);
  }
}

// A screen saver that was off is left alone; a menu that was hidden stays hidden.
TEST(Launch, LeavesAloneWhatItDidNotChange) {
  SessionRig rig({}, {KeyAt(kStart + 100, kScanEnd)});
  rig.saver.active = false;
  SetMenuVisible(rig.state->Window, TopMenu::Aide, false);
  rig.Launch(ActionItem::Passe_bande);
  EXPECT_TRUE(rig.saver.switches.empty());
  EXPECT_FALSE(rig.state->Window.MenuVisible[static_cast<size_t>(TopMenu::Aide)]);
}

// The loudspeaker line is silenced before the loop, which brings the level back.
TEST(Launch, SilencesTheLoudspeakerThenAppliesTheLevel) {
  SessionRig rig({}, {KeyAt(kStart + 100, kScanEnd)});
  int32_t speakerAtStart = -1;
  rig.platform.sessionStarted = [&] { speakerAtStart = rig.state->MixerControl.SpeakerVolumeLeft; };
  rig.state->OutputLevel = 36;
  rig.Launch(ActionItem::Reducteur_bruit_general);
  EXPECT_EQ(speakerAtStart, 36);
  // The first write silences the loudspeaker fader; the level comes back on the same fader.
  const std::vector<MixerCall> writes = rig.mixer.Writes();
  ASSERT_FALSE(writes.empty());
  const MixerCall silence = writes.front();
  EXPECT_EQ(silence.Operation, "SetStereo");
  EXPECT_EQ(silence.Values, (std::vector<uint32_t>{2, 0, 0}));
  bool levelBack = false;
  for (const MixerCall& c : writes) {
    levelBack =
        levelBack || (c.Id == silence.Id && c.Values == std::vector<uint32_t>{2, 23592, 23592});
  }
  EXPECT_TRUE(levelBack);  // 36 % of 0..65535
}

// In the user's mixer mode nothing touches the mixer, so the loudspeaker never stays at 0.
TEST(Launch, UserMixerModeLeavesTheMixerAlone) {
  SessionRig rig({}, {KeyAt(kStart + 100, kScanUp), KeyAt(kStart + 200, kScanEnd)});
  rig.state->MixerControl.SoftwareMixer = 0;
  rig.Launch(ActionItem::Passe_bas);
  EXPECT_TRUE(rig.mixer.Writes().empty());
  EXPECT_EQ(rig.Writes(4), (std::vector<std::string>{"20", "24"}));
}

// A loop that cannot open the devices: its message, then the idle window, no screen left.
TEST(Launch, FailedLoopLeavesNoScreen) {
  VirtualCardConfig config;
  config.faults.outputInUse = true;
  SessionRig rig(config);
  rig.Launch(ActionItem::RejecteurporteuseparTFD);
  EXPECT_EQ(rig.messages().size(), 1u);
  ExpectIdle(rig);
}

TEST(Launch, NoSessionWithoutAUsableCard) {
  SessionRig rig;
  rig.state->Engine.CardTests.SoundCardOK = 0;
  rig.Launch(ActionItem::Passe_bas);
  EXPECT_TRUE(rig.Speaker().empty());
  EXPECT_EQ(rig.view.menuChanges, 0);
  EXPECT_TRUE(rig.saver.switches.empty());
}

struct BfoRateRow {
  std::string name;
  uint8_t ok8000, ok6250;
  std::string rateBox;
  int32_t binWidth;  // 0: refused
  friend void PrintTo(const BfoRateRow& row, std::ostream* os) { *os << row.name; }
};

class BfoRate : public testing::TestWithParam<BfoRateRow> {};

TEST_P(BfoRate, PicksTheRateOrRefuses) {
  const BfoRateRow& row = GetParam();
  SessionRig rig({}, {KeyAt(kStart + 100, kScanEnd)});
  rig.state->Engine.CardTests.Rate8000OK = row.ok8000;
  rig.state->Engine.CardTests.Rate6250OK = row.ok6250;
  rig.Launch(ActionItem::BFO_numerique);
  EXPECT_EQ(Panel(rig.state->Window, 15).Text, row.rateBox);
  if (row.binWidth == 0) {
    EXPECT_EQ(rig.messages(), std::vector<std::string>{kBfoRefused});
    EXPECT_TRUE(rig.Speaker().empty());
    EXPECT_EQ(rig.view.menuChanges, 0);
    EXPECT_TRUE(rig.Writes(2).empty());  // no screen
  } else {
    EXPECT_TRUE(rig.messages().empty());
    EXPECT_EQ(rig.state->Sessions.BfoBinWidth, row.binWidth);
    EXPECT_EQ(rig.card.LastOutputRate(), row.ok6250 ? 6250 : 8000);
    EXPECT_EQ(rig.state->Dsp.BlockLength, 2048);
  }
}

INSTANTIATE_TEST_SUITE_P(Cards, BfoRate,
                         testing::Values(BfoRateRow{"Both", 1, 1, "Fe=6250", 6103},
                                         BfoRateRow{"Only8000", 1, 0, "Fe=8000", 7812},
                                         BfoRateRow{"Neither", 0, 0, "Fe=11025", 0}),
                         [](const auto& info) { return info.param.name; });

// First band-pass start on a card without 8000 Hz, the launch running the card test itself.
TEST(Launch, DegradedModeOnACardWithout8000) {
  VirtualCardConfig config;
  config.faults.trueCaptureRate = {{8000, 11025}, {6250, 11025}};
  SessionRig rig(config);
  rig.state->Engine.CardTests = {};
  rig.state->Dsp.Rejecteur.DetectionDivisor = 4;
  bool notchesBeforeLoop = false;
  rig.platform.sessionStarted = [&] {
    notchesBeforeLoop = rig.state->Dsp.Rejecteur.NotchTablesReady;
    rig.events.PostKey(WM_KEYDOWN, MakeKeyLParam(kScanEnd, true));
  };
  rig.Launch(ActionItem::Passe_bande);

  EXPECT_EQ(rig.view.rateBox,
            (std::vector<std::string>{" (rouge)", "En test! (rouge)", "En test!", "Fe=11025"}));
  EXPECT_EQ(rig.messages(), std::vector<std::string>{kDegradedModeWarning});
  EXPECT_EQ(rig.state->Dsp.Rejecteur.NotchNyquist, 5512);
  EXPECT_EQ(rig.state->Dsp.BlockLength, 3675);
  EXPECT_EQ(rig.card.LastOutputRate(), 11025);
  EXPECT_TRUE(notchesBeforeLoop);
  ExpectIdle(rig);

  // The warning comes with the test only: a second start shows none.
  rig.journal.messages.clear();
  rig.EndEachSessionAtOnce();
  rig.Launch(ActionItem::Reducteur_bruit_general);
  EXPECT_TRUE(rig.messages().empty());
}

// The notch tables and the rejector's calibration are made once per run, by whichever of the
// band-pass and the rejector starts first.
TEST(Launch, NotchPreparationRunsOnce) {
  SessionRig rig;
  rig.EndEachSessionAtOnce();
  rig.Launch(ActionItem::Passe_bande);
  RejecteurState& r = rig.state->Dsp.Rejecteur;
  ASSERT_TRUE(r.NotchTablesReady);
  ASSERT_TRUE(r.RejectorCalibrated);
  r.WideNotchTable[0] = 123456;  // a second preparation would overwrite it
  const int32_t length = r.NotchLength;
  rig.Launch(ActionItem::RejecteurporteuseparTFD);
  EXPECT_EQ(r.WideNotchTable[0], 123456);
  EXPECT_EQ(r.NotchLength, length);
}

// The low-pass started after the band-pass filters with its own design.
TEST(Launch, LowPassRedesignsAfterAnotherFilter) {
  SessionRig rig;
  rig.EndEachSessionAtOnce();
  rig.Launch(ActionItem::Passe_bas);
  // The first pairs of the kernel: both filters have 200 taps.
  const auto pairs = [&] {
    const auto& c = rig.state->Dsp.Fir.coefficients;
    return std::vector<int32_t>(c.begin(), c.begin() + rig.state->Dsp.Fir.pairCount);
  };
  const std::vector<int32_t> lowPass = pairs();
  ASSERT_EQ(lowPass.size(), 100u);
  rig.Launch(ActionItem::Passe_bande);
  EXPECT_NE(pairs(), lowPass);
  rig.Launch(ActionItem::Passe_bas);
  EXPECT_EQ(pairs(), lowPass);
}

// ---- what the loudspeaker plays ----

struct LatencyRow {
  std::string name;
  ActionItem item;
  bool shortLatency;
  bool has8000;                       // false: the card captures at 11025 only
  int32_t rate;                       // the session's rate
  int32_t block;                      // the session's block length
  int32_t offlineBlock;               // the block length the reference runs in
  Prepare filter;                     // the last loop's filter as it starts
  std::vector<uint8_t> keys = {};     // pressed during the session, one a block
  std::vector<Prepare> changes = {};  // the filter each key makes, from the running one
  uint32_t endAt = kStart + 1600;
  bool carrier = false;  // the input: a 1230 Hz carrier, else two tones and noise
  friend void PrintTo(const LatencyRow& row, std::ostream* os) { *os << row.name; }
};

class Latency : public testing::TestWithParam<LatencyRow> {};

// The loudspeaker plays two silent blocks of the session's length, then exactly what a filter
// prepared apart from the session, by the design functions alone, makes of the input the last
// loop captured, run in other blocks. A key changes the filter from the next block on, and loses
// or repeats no block.
TEST_P(Latency, SpeakerPlaysAFilterPreparedApartTwoBlocksLate) {
  const LatencyRow& row = GetParam();
  VirtualCardConfig config;
  config.input =
      std::make_shared<MemoryLoop>(row.carrier ? common::Tone(1230, row.rate, 4 * 8000)
                                               : common::TonesAndNoise(24 * 2048, row.rate));
  std::vector<ScriptedEvent> script;
  for (size_t i = 0; i < row.keys.size(); ++i) {
    // F2 comes as the keyboard sends it: not extended.
    script.push_back(
        KeyAt(kStart + 400 + 350 * static_cast<uint32_t>(i), row.keys[i], row.keys[i] != F2));
  }
  script.push_back(KeyAt(row.endAt, kScanEnd));
  SessionRig rig(config, script);
  rig.state->Sessions.ShortLatency = row.shortLatency;
  rig.state->Engine.CardTests.Rate8000OK = row.has8000 ? 1 : 0;
  size_t firstBlock = 0, speakerAt = 0;  // where the last loop's capture and sound begin
  rig.platform.sessionStarted = [&] {
    firstBlock = rig.watched.captured.size();
    speakerAt = rig.Speaker().size();
  };
  std::map<size_t, size_t> keyAt;  // block from which each key applies -> its index
  rig.watched.afterKey = [&](size_t block) { keyAt.emplace(block - firstBlock, keyAt.size()); };
  rig.Launch(row.item);

  ASSERT_EQ(keyAt.size(), row.keys.size());  // End stops the loop before another poll
  // F2 shows the spectrum, which takes every block from then on (no window takes its frames).
  EXPECT_EQ(rig.state->Spectrum.QueueCount > 0,
            std::count(row.keys.begin(), row.keys.end(), F2) == 1);
  EXPECT_EQ(rig.card.LastOutputRate(), row.rate);
  const auto& blocks = rig.watched.captured;
  std::vector<uint8_t> input;
  for (size_t k = firstBlock; k < blocks.size(); ++k) {
    EXPECT_EQ(blocks[k].size(), static_cast<size_t>(row.block));
    input.insert(input.end(), blocks[k].begin(), blocks[k].end());
  }
  const size_t bl = static_cast<size_t>(row.block);
  const std::vector<uint8_t> speaker(rig.Speaker().begin() + static_cast<ptrdiff_t>(speakerAt),
                                     rig.Speaker().end());
  ASSERT_GE(speaker.size(), 4 * bl);
  EXPECT_EQ(std::vector<uint8_t>(speaker.begin(), speaker.begin() + 2 * bl),
            std::vector<uint8_t>(2 * bl, 128));

  auto filter = std::make_unique<DspState>();
  filter->SampleRate = row.rate;
  row.filter(*filter);
  filter->BlockLength = row.offlineBlock;
  const size_t ob = static_cast<size_t>(row.offlineBlock);
  std::vector<uint8_t> expected(input.size() / ob * ob);
  for (size_t i = 0; i < expected.size(); i += ob) {
    if (auto key = keyAt.find(i / ob); key != keyAt.end() && key->second < row.changes.size()) {
      // What the filter makes of this block with the key is no longer what it made without.
      DspState unchanged = *filter;
      std::vector<uint8_t> without(ob);
      ProcessBlock(unchanged, input.data() + i, without.data());
      row.changes[key->second](*filter);
      ProcessBlock(*filter, input.data() + i, expected.data() + i);
      EXPECT_NE(without, std::vector<uint8_t>(expected.begin() + static_cast<ptrdiff_t>(i),
                                              expected.begin() + static_cast<ptrdiff_t>(i + ob)))
          << "the key before block " << i / ob << " changed nothing";
      continue;
    }
    ProcessBlock(*filter, input.data() + i, expected.data() + i);
  }
  const size_t n = std::min(speaker.size() - 2 * bl, expected.size());
  ASSERT_GE(n, bl);
  expected.resize(n);
  EXPECT_EQ(std::vector<uint8_t>(speaker.begin() + static_cast<ptrdiff_t>(2 * bl),
                                 speaker.begin() + static_cast<ptrdiff_t>(2 * bl + n)),
            expected);
  // The filter does something: its output is not its input.
  EXPECT_NE(expected,
            std::vector<uint8_t>(input.begin(), input.begin() + static_cast<ptrdiff_t>(n)));
  ExpectIdle(rig);
}

// Keys that turn a reducer off.
const Prepare kGeneralOff = [](DspState& d) { d.ReducteurGeneral.VoiceReductionOff = true; };
const Prepare kCwOff = [](DspState& d) { d.ReducteurCw.CwReductionOff = true; };

// The rig's filters: 200 taps for the low-pass and the band-pass; the rejector as calibrated on
// a clock that does not move (1000 taps, whole 2048-point detection).
std::vector<LatencyRow> LatencyRows() {
  using enum ActionItem;
  using Row = LatencyRow;
  const Prepare lowPass = LowPass(1000, 200), bandPass = BandPass(800, 250, 200),
                general = Reducer("REDUCTEUR_GENERAL", 3), cw = Reducer("REDUCTEUR_CW", 0),
                bfo = Bfo(0, false), notch = Notch(1000, 1, 0, 1001, 1000, 1);
  return {
      Row("LowPassShort8000", Passe_bas, true, true, 8000, 128, 2666, lowPass),
      Row("LowPassShort11025", Passe_bas, true, false, 11025, 176, 3675, lowPass),
      Row("GeneralReducerShort8000", Reducteur_bruit_general, true, true, 8000, 128, 2666, general),
      Row("BfoShortKeeps2048", BFO_numerique, true, true, 6250, 2048, 2048, bfo),
      Row("RejectorShortKeeps2048", RejecteurporteuseparTFD, true, true, 8000, 2048, 2048, notch),
      Row("LowPassNormal8000", Passe_bas, false, true, 8000, 2666, 128, lowPass),
      // Keys that change the filter, one a block.
      Row("LowPassKeys", Passe_bas, false, true, 8000, 2666, 2666, lowPass, {R, L, L},
          {LowPass(1100, 200), LowPass(1000, 200), LowPass(900, 200)}),
      Row("BandPassKeys", Passe_bande, false, true, 8000, 2666, 2666, bandPass, {R, Del, L},
          {BandPass(850, 250, 200), BandPass(850, 500, 200), BandPass(800, 500, 200)}),
      Row("GeneralReducerKeys", Reducteur_bruit_general, false, true, 8000, 2666, 2666, general,
          {Del, Del}, {Reducer("REDUCTEUR_GENERAL", 1), kGeneralOff}),
      Row("CwReducerKeys", Reducteur_bruit_CW_RTTY, false, true, 8000, 2666, 2666, cw, {Del, Del},
          {Reducer("REDUCTEUR_CW", 1), kCwOff}),
      Row("BfoKeys", BFO_numerique, false, true, 6250, 2048, 2048, bfo, {R, Del, L},
          {Bfo(1, false), Bfo(1, true), Bfo(0, true)}),
      Row("RejectorKeys", RejecteurporteuseparTFD, false, true, 8000, 2048, 2048, notch,
          {R, Del, L},
          {Notch(1050, 1, 0, 1001, 1000, 1), Notch(1050, 0, 0, 1001, 1000, 1),
           Notch(1000, 0, 0, 1001, 1000, 1)}),
      // After the centring on a 1230 Hz carrier, the band-pass filters on the centre found.
      Row("BandPassAfterCentring", Passe_bande, false, true, 8000, 2666, 2666,
          BandPass(1250, 250, 200), {Ins}, {}, kStart + 3000, true),
      // The spectrum shown changes no byte of the sound (F2 and the feed are every screen's own),
      // a centring's and the BFO's transform blocks included.
      Row("LowPassSpectrum", Passe_bas, false, true, 8000, 2666, 2666, lowPass, {F2}),
      Row("BandPassCentringSpectrum", Passe_bande, false, true, 8000, 2666, 2666,
          BandPass(1250, 250, 200), {F2, Ins}, {}, kStart + 3000, true),
      Row("BfoSpectrum", BFO_numerique, false, true, 6250, 2048, 2048, bfo, {F2}),
  };
}

INSTANTIATE_TEST_SUITE_P(Modes, Latency, testing::ValuesIn(LatencyRows()),
                         [](const auto& info) { return info.param.name; });

// ---- the rejector's automatic mode and the band-pass centring ----

constexpr size_t kSecond = 8000;

// Insert again leaves the automatic mode: the result cell is blanked, the notch stays.
TEST(RejectorAuto, FindsA1230HzToneShowsItAfterEachBlockAndBlanksItWhenLeft) {
  VirtualCardConfig config;
  config.input = std::make_shared<MemoryLoop>(common::Tone(1230, 8000, 4 * kSecond));
  SessionRig rig(config, {KeyAt(kStart + 100, kScanInsert), KeyAt(kStart + 2000, kScanInsert),
                          KeyAt(kStart + 2500, kScanEnd)});
  rig.Launch(ActionItem::RejecteurporteuseparTFD);
  const auto& frequencies = rig.Writes(6);
  ASSERT_GE(frequencies.size(), 2u);
  const int found = std::stoi(frequencies.back());
  EXPECT_EQ(found % 50, 0);
  EXPECT_LE(std::abs(found - 1230), 50);
  EXPECT_EQ(rig.Writes(23),
            (std::vector<std::string>{"          ", "Echec ", "Trouvé", "          "}));
  EXPECT_EQ(rig.Writes(22), (std::vector<std::string>{"A l'arrêt", "En cours", "A l'arrêt"}));
  EXPECT_EQ(rig.state->Dsp.Rejecteur.NotchFrequency, found);
  ExpectIdle(rig);
}

// End leaves the automatic mode: the next session starts in manual mode.
TEST(RejectorAuto, SilenceGivesEchecAndKeepsTheNotch) {
  SessionRig rig({}, {KeyAt(kStart + 100, kScanInsert), KeyAt(kStart + 2500, kScanEnd)});
  rig.Launch(ActionItem::RejecteurporteuseparTFD);
  EXPECT_EQ(rig.Writes(6), std::vector<std::string>{"1000"});
  EXPECT_EQ(rig.Writes(23), (std::vector<std::string>{"          ", "Echec "}));
  EXPECT_EQ(rig.state->Dsp.Rejecteur.NotchAuto, 0);
}

struct CentringRow {
  std::string name;
  bool tone;
  uint16_t centre;
  bool bypass;
  std::string result;
  uint16_t found;  // the centre found, 0: near the tone's 1230 Hz
  bool shortLatency = false;
  friend void PrintTo(const CentringRow& row, std::ostream* os) { *os << row.name; }
};

class Centring : public testing::TestWithParam<CentringRow> {};

// Insert: "en cours", the result, the new centre; the band-pass then runs again, not bypassed,
// until End. Delete during the search does nothing.
TEST_P(Centring, SearchesThenFiltersAgain) {
  const CentringRow& row = GetParam();
  VirtualCardConfig config;
  if (row.tone) {
    config.input = std::make_shared<MemoryLoop>(common::Tone(1230, 8000, 4 * kSecond));
  }
  constexpr uint32_t kEndAt = kStart + 3000;
  SessionRig rig(config, {KeyAt(kStart + 400, kScanInsert), KeyAt(kStart + 600, kScanDelete),
                          KeyAt(kEndAt, kScanEnd)});
  ProgramState& s = *rig.state;
  s.Dsp.PasseBande.BandPassCentre = row.centre;
  s.Dsp.PasseBande.BandPassBypass = row.bypass;
  s.Dsp.Rejecteur.NotchThreshold = 20001;
  s.Sessions.ShortLatency = row.shortLatency;
  rig.Launch(ActionItem::Passe_bande);

  EXPECT_EQ(rig.Writes(18), (std::vector<std::string>{"A l'arrêt", "en cours", row.result}));
  EXPECT_EQ(rig.Writes(14), std::vector<std::string>{"250"});
  EXPECT_EQ(s.Dsp.Rejecteur.NotchWide, 1);
  const uint16_t centre = s.Dsp.PasseBande.BandPassCentre;
  if (row.found == 0) {
    EXPECT_EQ(centre % 50, 0);
    EXPECT_LE(std::abs(centre - 1230), 50);
  } else {
    EXPECT_EQ(centre, row.found);
  }
  EXPECT_EQ(rig.Writes(6).back(), std::to_string(centre));
  EXPECT_FALSE(s.Dsp.PasseBande.BandPassBypass);
  EXPECT_EQ(s.Dsp.FilterKind, kPasseBande);
  EXPECT_EQ(rig.card.LastOutputRate(), 8000);
  EXPECT_EQ(s.Dsp.BlockLength, row.shortLatency ? 128 : 2666);
  EXPECT_EQ(rig.clock.NowMs(), kEndAt);  // the band-pass ran again until End
  EXPECT_EQ(s.Dsp.Rejecteur.NotchThreshold, 20001);
  ExpectIdle(rig);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, Centring,
    // A constant input is no silence to the detection: its offset leaks into
    // the first bins, the strongest line is found at the lowest notch.
    testing::Values(CentringRow{"Carrier", true, 800, false, "trouvé    ", 0},
                    CentringRow{"CarrierWithShortBlocks", true, 800, false, "trouvé    ", 0, true},
                    CentringRow{"ConstantInputFromBypass", false, 3350, true, "trouvé    ", 100}),
    [](const auto& info) { return info.param.name; });

// End during the search ends the session; the rejector's settings are back.
TEST(Centring, EndDuringTheSearchEndsTheSession) {
  VirtualCardConfig config;
  config.input = std::make_shared<MemoryLoop>(common::Tone(1230, 8000, 4 * kSecond));
  SessionRig rig(config, {KeyAt(kStart + 400, kScanInsert), KeyAt(kStart + 420, kScanEnd)});
  ProgramState& s = *rig.state;
  s.Dsp.Rejecteur.NotchAuto = 0;
  s.Dsp.Rejecteur.NotchThreshold = 5001;
  rig.Launch(ActionItem::Passe_bande);
  EXPECT_EQ(rig.Writes(18)[1], "en cours");
  EXPECT_EQ(s.Dsp.Rejecteur.NotchAuto, 0);
  EXPECT_EQ(s.Dsp.Rejecteur.NotchThreshold, 5001);
  EXPECT_LT(rig.clock.NowMs(), kStart + 1000);
  ExpectIdle(rig);
}

}  // namespace
}  // namespace velunda::test
