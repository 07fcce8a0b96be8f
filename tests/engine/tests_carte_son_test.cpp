#include "engine/tests_carte_son.hpp"

#include <gtest/gtest.h>

#include "rig.hpp"

namespace velunda::test {
namespace {

using F = VirtualCardFaults;
using Box = std::vector<std::pair<std::string, bool>>;  // the rate box: caption, red
const std::string kImpossible = "Fonctionnement impossible car ";
const std::string kNoCard = kImpossible + "il n'y a pas de carte son";
const std::string kNoFormat = kImpossible + "format minimum non disponible.";
const std::string kInputBusy = kImpossible + "entrée carte son utilisée par une autre application.";
const std::string kOutputBusy =
    kImpossible + "sortie carte son utilisée par une autre application.";
const std::string kNoDuplex = kImpossible +
                              "soit la carte son (ou son driver) n'est pas full-duplex, soit le "
                              "PC n'est pas assez rapide.";

std::vector<std::string> Beeped(const std::string& message) {
  return {"tone on", "tone off", message};
}

// The timer before start-up, after it, and once more on a mended card: the test runs once.
Box RunTimer(Rig& rig) {
  Box box;
  const RateBoxWriter writer = [&](std::string_view text, bool red) {
    box.emplace_back(text, red);
  };
  Timer1Timer(rig.engine, *rig.dsp, rig.platform, writer);
  rig.engine.StartupDone = 1;
  Timer1Timer(rig.engine, *rig.dsp, rig.platform, writer);
  rig.card.Faults() = {};
  Timer1Timer(rig.engine, *rig.dsp, rig.platform, writer);
  return box;
}

// ---- refusals: the start-up presence check and the full test ----

struct Refusal {
  const char* name;
  bool presence;  // CheckSoundCardPresence, else the timer's test
  F faults;
  uint8_t result;
  std::vector<std::string> journal;
  friend void PrintTo(const Refusal& row, std::ostream* os) { *os << row.name; }
};

class CardRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(CardRefusal, BeepsThenShowsItsMessage) {
  const Refusal& row = GetParam();
  Rig rig({.faults = row.faults});
  if (row.presence) {
    EXPECT_EQ(CheckSoundCardPresence(rig.engine, rig.platform), row.result);
  } else {
    EXPECT_EQ(RunTimer(rig), (Box{{"En test!", true}, {"Fe=11025", false}}));
    EXPECT_EQ(rig.engine.CardTests.SoundCardOK, row.result);
  }
  EXPECT_EQ(rig.journal.entries, row.journal);
  ExpectNothingHeld(rig);
}

INSTANTIATE_TEST_SUITE_P(
    Each, CardRefusal,
    testing::Values(
        Refusal{"NoInput", false, F{.noInputDevice = true}, 0, Beeped(kNoCard)},
        Refusal{"NoOutput", false, F{.noOutputDevice = true}, 0, Beeped(kNoCard)},
        Refusal{"InputFormat", false, F{.inputLacksMinimumFormat = true}, 0, Beeped(kNoFormat)},
        Refusal{"OutputFormat", false, F{.outputLacksMinimumFormat = true}, 0, Beeped(kNoFormat)},
        Refusal{"InputBusy", false, F{.inputInUse = true}, 0, Beeped(kInputBusy)},
        Refusal{"OutputBusy", false, F{.outputInUse = true}, 0, Beeped(kOutputBusy)},
        Refusal{"HalfDuplex", false, F{.noFullDuplex = true}, 0, Beeped(kNoDuplex)},
        Refusal{"InputBusyOnSecondOpen", false, F{.failures = {{WaveOp::InOpen, 2, 4}}}, 0,
                Beeped(kInputBusy)},
        Refusal{"PresenceGood", true, F{}, 1, {}},
        Refusal{"PresenceNoInput", true, F{.noInputDevice = true}, 0, Beeped(kNoCard + ".")},
        // The presence check needs the format on one side only.
        Refusal{"PresenceFormatOnOutput", true, F{.inputLacksMinimumFormat = true}, 1, {}},
        Refusal{"PresenceNoFormat", true,
                F{.inputLacksMinimumFormat = true, .outputLacksMinimumFormat = true}, 0,
                Beeped(kImpossible + "le format minimum requis pour la carte son n'est pas "
                                     "disponible.")}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- rates ----

// The windows are open at both ends: 400 Hz off is refused.
TEST(RateAccepted, WindowsAreOpenAtBothEnds) {
  const int rows[][3] = {{8000, 8399, 1}, {8000, 8400, 0}, {8000, 7600, 0}, {8000, 7601, 1},
                         {8000, 0, 0},    {6250, 6649, 1}, {6250, 6650, 0}};
  for (const auto& [requested, measured, accepted] : rows) {
    EXPECT_EQ(RateAccepted(requested, measured), accepted == 1) << requested << " " << measured;
  }
}

// The rates a card really delivers, what the test measures (rate * 1000 div the ms between
// two full buffers) and the flags it sets.
struct TrueRates {
  int32_t delivered8000, delivered6250, measured8000, measured6250;
  uint8_t ok8000, ok6250;
  friend void PrintTo(const TrueRates& row, std::ostream* os) {
    *os << row.delivered8000 << " and " << row.delivered6250 << " Hz delivered";
  }
};

class RateTest : public testing::TestWithParam<TrueRates> {};

TEST_P(RateTest, MeasuresAndFlagsBothRates) {
  const TrueRates& row = GetParam();
  Rig rig({.faults = {.trueCaptureRate = {{8000, row.delivered8000}, {6250, row.delivered6250}}}});
  const std::string caption = row.ok8000 == 1 ? "Fe=8000" : "Fe=11025";
  EXPECT_EQ(RunTimer(rig), (Box{{"En test!", true}, {caption, false}}));
  EXPECT_EQ(rig.engine.CardTests.SoundCardOK, 1);
  EXPECT_EQ(rig.engine.CardTests.Measured8000, row.measured8000);
  EXPECT_EQ(rig.engine.CardTests.Measured6250, row.measured6250);
  EXPECT_EQ(rig.engine.CardTests.Rate8000OK, row.ok8000);
  EXPECT_EQ(rig.engine.CardTests.Rate6250OK, row.ok6250);
  EXPECT_EQ(rig.dsp->BlockLength, 6250);
  EXPECT_TRUE(rig.journal.entries.empty());  // neither beep nor box
  ExpectNothingHeld(rig);
}

INSTANTIATE_TEST_SUITE_P(Cards, RateTest,
                         testing::Values(TrueRates{8000, 6250, 8000, 6250, 1, 1},
                                         TrueRates{11025, 6250, 11019, 6250, 0, 1},
                                         TrueRates{8403, 6655, 8403, 6656, 0, 0},
                                         TrueRates{8394, 6649, 8394, 6648, 1, 1},
                                         TrueRates{7597, 5846, 7597, 5846, 0, 0},
                                         TrueRates{7604, 5851, 7604, 5852, 1, 1}),
                         [](const auto& info) {
                           return "Delivering" + std::to_string(info.param.delivered8000) + "And" +
                                  std::to_string(info.param.delivered6250);
                         });

TEST(MeasureCaptureRate, FailuresGiveNoMeasurementAndReleaseEverything) {
  struct Row {
    F faults;
    int memoryFailAt;
    std::vector<std::string> messages;
    uint32_t tookMs;
  };
  for (const Row& r : {
           Row{F{.bufferNeverFills = true}, 0, {}, kCaptureWaitLimitMs + 1},
           Row{F{.failures = {{WaveOp::InPrepare, 2, 11}}},
               0,
               {"Erreur préparation header bis éch. n°:11"},
               0},
           Row{F{.failures = {{WaveOp::InAddBuffer, 2, 11}}},
               0,
               {"Erreur préparation buffer bis éch. n°:11"},
               0},
           Row{F{}, 2, {"Erreur allocation buffer d'entrée"}, 0},
       }) {
    Rig rig({.faults = r.faults});
    rig.memory.failAt = r.memoryFailAt;
    EXPECT_EQ(MeasureCaptureRate(rig.engine, *rig.dsp, rig.platform, 8000), kNoMeasurement);
    EXPECT_EQ(rig.clock.NowMs() - kStart, r.tookMs);
    EXPECT_EQ(rig.messages(), r.messages);
    ExpectNothingHeld(rig);
  }
}

}  // namespace
}  // namespace velunda::test
