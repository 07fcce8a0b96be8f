#include "engine/tests_carte_son.hpp"

#include <gtest/gtest.h>

#include "rig.hpp"

namespace velunda::test {
namespace {

// Beeps and boxes in one journal, to check their order.
struct Journal final : MessageBox, SpeakerPorts {
  void ShowError(std::string_view text) override { entries.emplace_back(text); }
  void Out(uint16_t port, uint8_t value) override {
    if (port == 0x61) {
      entries.emplace_back((value & 3) == 3 ? "tone on" : "tone off");
      gate = value;
    }
  }
  uint8_t In(uint16_t port) override { return port == 0x61 ? gate : 0; }
  std::vector<std::string> entries;
  uint8_t gate = 0;
};

struct JournalRig : Rig {
  explicit JournalRig(VirtualCardConfig config) : Rig(std::move(config)) {}
  Journal journal;
  EnginePlatform p{card, events, journal, clock, journal, memory};
};

std::vector<std::string> Beeped(const std::string& message) {
  return {"tone on", "tone off", message};
}

void ExpectNothingHeld(const JournalRig& rig) {
  EXPECT_FALSE(rig.card.InputOpen());
  EXPECT_FALSE(rig.card.OutputOpen());
  EXPECT_TRUE(rig.memory.live.empty());
  EXPECT_EQ(rig.events.PendingInRange(MM_WOM_DONE, MM_WIM_DATA), 0u);
  EXPECT_EQ(rig.engine.Wave.OpenErrorMessages, 1);
}

const std::string kNoCard = "Fonctionnement impossible car il n'y a pas de carte son";
const std::string kNoFormat = "Fonctionnement impossible car format minimum non disponible.";
const std::string kInputBusy =
    "Fonctionnement impossible car entrée carte son utilisée par une autre application.";
const std::string kOutputBusy =
    "Fonctionnement impossible car sortie carte son utilisée par une autre application.";
const std::string kNoDuplex =
    "Fonctionnement impossible car soit la carte son (ou son driver) n'est pas full-duplex, soit "
    "le PC n'est pas assez rapide.";

struct Refusal {
  const char* name;
  VirtualCardFaults faults;
  std::string message;
};

class TestSoundCardRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(TestSoundCardRefusal, BeepsShowsItsMessageAndGivesZero) {
  VirtualCardConfig config;
  config.faults = GetParam().faults;
  JournalRig rig(config);
  rig.engine.CardTests.SoundCardOK = 1;

  EXPECT_EQ(TestSoundCard(rig.engine, *rig.dsp, rig.p), 0);

  EXPECT_EQ(rig.journal.entries, Beeped(GetParam().message));
  EXPECT_EQ(rig.engine.CardTests.Rate8000OK, 0);
  EXPECT_EQ(rig.engine.CardTests.Rate6250OK, 0);
  ExpectNothingHeld(rig);
}

VirtualCardFaults With(void (*set)(VirtualCardFaults&)) {
  VirtualCardFaults f;
  set(f);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    EachRefusal, TestSoundCardRefusal,
    testing::Values(
        Refusal{"NoInput", With([](VirtualCardFaults& f) { f.noInputDevice = true; }), kNoCard},
        Refusal{"NoOutput", With([](VirtualCardFaults& f) { f.noOutputDevice = true; }), kNoCard},
        Refusal{"InputFormat", With([](VirtualCardFaults& f) { f.inputLacksMinimumFormat = true; }),
                kNoFormat},
        Refusal{"OutputFormat",
                With([](VirtualCardFaults& f) { f.outputLacksMinimumFormat = true; }), kNoFormat},
        Refusal{"InputBusy", With([](VirtualCardFaults& f) { f.inputInUse = true; }), kInputBusy},
        Refusal{"OutputBusy", With([](VirtualCardFaults& f) { f.outputInUse = true; }),
                kOutputBusy},
        Refusal{"HalfDuplex", With([](VirtualCardFaults& f) { f.noFullDuplex = true; }), kNoDuplex},
        Refusal{"InputBusyOnSecondOpen", With([](VirtualCardFaults& f) {
                  f.failures = {{WaveOp::InOpen, 2, 4}};
                }),
                kInputBusy}),
    [](const auto& info) { return std::string(info.param.name); });

struct Presence {
  const char* name;
  VirtualCardFaults faults;
  uint8_t result;
  std::vector<std::string> journal;
};

class PresenceCheck : public testing::TestWithParam<Presence> {};

TEST_P(PresenceCheck, NeedsBothDevicesAndTheFormatOnOneSide) {
  VirtualCardConfig config;
  config.faults = GetParam().faults;
  JournalRig rig(config);
  EXPECT_EQ(CheckSoundCardPresence(rig.engine, rig.p), GetParam().result);
  EXPECT_EQ(rig.journal.entries, GetParam().journal);
  ExpectNothingHeld(rig);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, PresenceCheck,
    testing::Values(
        Presence{"Good", {}, 1, {}},
        Presence{"NoInput", With([](VirtualCardFaults& f) { f.noInputDevice = true; }), 0,
                 Beeped(kNoCard + ".")},
        Presence{"FormatOnOutputOnly",
                 With([](VirtualCardFaults& f) { f.inputLacksMinimumFormat = true; }),
                 1,
                 {}},
        Presence{"NoFormat", With([](VirtualCardFaults& f) {
                   f.inputLacksMinimumFormat = true;
                   f.outputLacksMinimumFormat = true;
                 }),
                 0,
                 Beeped("Fonctionnement impossible car le format minimum requis pour la carte "
                        "son n'est pas disponible.")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TestSoundCard, FormatOnOutputOnlyPassesPresenceButFailsTheTest) {
  VirtualCardConfig config;
  config.faults.inputLacksMinimumFormat = true;
  JournalRig rig(config);
  EXPECT_EQ(CheckSoundCardPresence(rig.engine, rig.p), 1);
  EXPECT_EQ(TestSoundCard(rig.engine, *rig.dsp, rig.p), 0);
  EXPECT_EQ(rig.journal.entries, Beeped(kNoFormat));
}

TEST(QueryCapabilities, NoInputDeviceLeavesItsMaskAndSaysNothing) {
  VirtualCardConfig config;
  config.faults.noInputDevice = true;
  Rig rig(config);
  rig.engine.Wave.InputFormats = 0x55;
  QueryCapabilities(rig.engine.Wave, rig.platform);
  EXPECT_EQ(rig.engine.Wave.InputDeviceCount, 0);
  EXPECT_EQ(rig.engine.Wave.InputFormats, 0x55u);
  EXPECT_EQ(rig.engine.Wave.OutputDeviceCount, 1);
  EXPECT_EQ(rig.engine.Wave.OutputFormats & WAVE_FORMAT_1M08, 1u);
  EXPECT_TRUE(rig.messages().empty());
}

// ---- rates ----

TEST(RateAccepted, WindowsAreOpenAtBothEnds) {
  struct Row {
    int32_t requested, measured;
    bool accepted;
  };
  for (const Row& r :
       {Row{8000, 8399, true}, Row{8000, 8400, false}, Row{8000, 7600, false},
        Row{8000, 7601, true}, Row{8000, 99999, false}, Row{8000, 0, false}, Row{6250, 5850, false},
        Row{6250, 5851, true}, Row{6250, 6649, true}, Row{6250, 6650, false}}) {
    EXPECT_EQ(RateAccepted(r.requested, r.measured), r.accepted)
        << r.requested << " " << r.measured;
  }
}

struct TrueRate {
  int32_t asked;
  int32_t delivered;
  int32_t measured;  // asked*1000 div the ms between the two full buffers
};

class MeasuredRate : public testing::TestWithParam<TrueRate> {};

TEST_P(MeasuredRate, IsTheDeliveredRateSeenThroughTheClock) {
  VirtualCardConfig config;
  config.faults.trueCaptureRate[GetParam().asked] = GetParam().delivered;
  Rig rig(config);
  EXPECT_EQ(MeasureCaptureRate(rig.engine, *rig.dsp, rig.platform, GetParam().asked),
            GetParam().measured);
  EXPECT_EQ(rig.dsp->BlockLength, GetParam().asked);
  EXPECT_TRUE(rig.messages().empty());
  EXPECT_TRUE(rig.memory.live.empty());
  EXPECT_FALSE(rig.card.InputOpen());
  EXPECT_EQ(rig.events.PendingInRange(MM_WOM_DONE, MM_WIM_DATA), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cards, MeasuredRate,
                         testing::Values(TrueRate{8000, 8000, 8000}, TrueRate{8000, 11025, 11019},
                                         TrueRate{8000, 8403, 8403}, TrueRate{8000, 8394, 8394},
                                         TrueRate{8000, 7597, 7597}, TrueRate{8000, 7604, 7604},
                                         TrueRate{6250, 6250, 6250}, TrueRate{6250, 6649, 6648},
                                         TrueRate{6250, 6655, 6656}, TrueRate{6250, 5846, 5846},
                                         TrueRate{6250, 5851, 5852}));

struct RateFlags {
  int32_t true8000;
  int32_t true6250;
  uint8_t rate8000OK;
  uint8_t rate6250OK;
};

class RateFlagsFromTest : public testing::TestWithParam<RateFlags> {};

TEST_P(RateFlagsFromTest, FollowTheMeasurement) {
  VirtualCardConfig config;
  config.faults.trueCaptureRate = {{8000, GetParam().true8000}, {6250, GetParam().true6250}};
  Rig rig(config);
  EXPECT_EQ(TestSoundCard(rig.engine, *rig.dsp, rig.platform), 1);
  EXPECT_EQ(rig.engine.CardTests.Rate8000OK, GetParam().rate8000OK);
  EXPECT_EQ(rig.engine.CardTests.Rate6250OK, GetParam().rate6250OK);
  EXPECT_EQ(rig.dsp->BlockLength, 6250);
  EXPECT_TRUE(rig.messages().empty());
  EXPECT_TRUE(rig.speaker.accesses.empty());
}

INSTANTIATE_TEST_SUITE_P(Cards, RateFlagsFromTest,
                         testing::Values(RateFlags{8000, 6250, 1, 1}, RateFlags{11025, 6250, 0, 1},
                                         RateFlags{8403, 6656, 0, 0}, RateFlags{7604, 5852, 1, 1},
                                         RateFlags{7597, 5846, 0, 0},
                                         RateFlags{8394, 11025, 1, 0}));

TEST(MeasureCaptureRate, ABufferThatNeverFillsGivesNoMeasurementAfterTheTimeLimit) {
  VirtualCardConfig config;
  config.faults.bufferNeverFills = true;
  Rig rig(config);
  const uint32_t start = rig.clock.NowMs();
  EXPECT_EQ(MeasureCaptureRate(rig.engine, *rig.dsp, rig.platform, 8000), kNoMeasurement);
  EXPECT_EQ(rig.clock.NowMs() - start, kCaptureWaitLimitMs + 1);
  EXPECT_TRUE(rig.memory.live.empty());
  EXPECT_FALSE(rig.card.InputOpen());
}

TEST(MeasureCaptureRate, RefusedOpenGivesZeroSilentlyDuringTheTests) {
  VirtualCardConfig config;
  config.faults.inputInUse = true;
  Rig rig(config);
  rig.engine.Wave.OpenErrorMessages = 0;
  EXPECT_EQ(MeasureCaptureRate(rig.engine, *rig.dsp, rig.platform, 8000), 0);
  EXPECT_TRUE(rig.messages().empty());
  rig.engine.Wave.OpenErrorMessages = 1;
  EXPECT_EQ(MeasureCaptureRate(rig.engine, *rig.dsp, rig.platform, 8000), 0);
  EXPECT_EQ(rig.messages(), std::vector<std::string>{"Erreur ouverture entree son n°:4"});
}

TEST(MeasureCaptureRate, FailedQueueingReleasesWhatWasPrepared) {
  for (const InjectedFailure& f :
       {InjectedFailure{WaveOp::InPrepare, 2, 11}, InjectedFailure{WaveOp::InAddBuffer, 2, 11}}) {
    VirtualCardConfig config;
    config.faults.failures = {f};
    Rig rig(config);
    EXPECT_EQ(MeasureCaptureRate(rig.engine, *rig.dsp, rig.platform, 8000), kNoMeasurement);
    EXPECT_EQ(rig.messages().size(), 1u);
    EXPECT_TRUE(rig.memory.live.empty());
    EXPECT_FALSE(rig.card.InputOpen());
  }
}

TEST(MeasureCaptureRate, FailedAllocationIsReportedAndNeverUsed) {
  Rig rig;
  rig.memory.failAt = 2;  // buffer of input pair 1
  EXPECT_EQ(MeasureCaptureRate(rig.engine, *rig.dsp, rig.platform, 8000), kNoMeasurement);
  EXPECT_EQ(rig.messages(), std::vector<std::string>{"Erreur allocation buffer d'entrée"});
  EXPECT_TRUE(rig.memory.live.empty());
  EXPECT_FALSE(rig.card.InputOpen());
}

// ---- the timer ----

TEST(Timer1Timer, RunsTheTestOnceAfterStartUp) {
  for (const bool slowCard : {false, true}) {
    VirtualCardConfig config;
    if (slowCard) {
      config.faults.trueCaptureRate[8000] = 11025;
    }
    Rig rig(config);
    std::vector<std::pair<std::string, bool>> box;
    const RateBoxWriter writer = [&](std::string_view caption, bool red) {
      box.emplace_back(caption, red);
    };
    Timer1Timer(rig.engine, *rig.dsp, rig.platform, writer);
    EXPECT_TRUE(box.empty());  // start-up not done
    rig.engine.StartupDone = 1;
    Timer1Timer(rig.engine, *rig.dsp, rig.platform, writer);
    Timer1Timer(rig.engine, *rig.dsp, rig.platform, writer);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"En test!", true}, {slowCard ? "Fe=11025" : "Fe=8000", false}};
    EXPECT_EQ(box, expected);
    EXPECT_EQ(rig.engine.CardTests.TestDone, 1);
    EXPECT_EQ(rig.engine.CardTests.SoundCardOK, 1);
  }
}

TEST(Timer1Timer, AFailedTestIsNotRepeated) {
  VirtualCardConfig config;
  config.faults.noFullDuplex = true;
  Rig rig(config);
  rig.engine.StartupDone = 1;
  int writes = 0;
  const RateBoxWriter writer = [&](std::string_view, bool) { ++writes; };
  Timer1Timer(rig.engine, *rig.dsp, rig.platform, writer);
  rig.card.Faults().noFullDuplex = false;
  Timer1Timer(rig.engine, *rig.dsp, rig.platform, writer);
  EXPECT_EQ(writes, 2);
  EXPECT_EQ(rig.engine.CardTests.SoundCardOK, 0);
  EXPECT_EQ(rig.messages(), std::vector<std::string>{kNoDuplex});
}

}  // namespace
}  // namespace velunda::test
