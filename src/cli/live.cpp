#include "cli/live.hpp"

#include <unistd.h>

#include <iostream>
#include <memory>
#include <vector>

#include "cli/audio_file.hpp"
#include "cli/filter_setup.hpp"
#include "cli/options.hpp"
#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"
#include "engine/boucle.hpp"
#include "engine/engine_state.hpp"
#include "platform/alsa/alsa_sound_card.hpp"
#include "platform/terminal_event_source.hpp"
#include "platform/virtual/virtual_card.hpp"

namespace velunda {
namespace {

constexpr std::string_view kVirtualPrefix = "virtuelle:";

// The window's error boxes, on stderr; remembers that one was shown.
class CountingStderrBox final : public MessageBox {
 public:
  void ShowError(std::string_view text) override {
    ++shown;
    stderrBox_.ShowError(text);
  }
  int shown = 0;

 private:
  StderrMessageBox stderrBox_;
};

bool NeedsDegradedWarning(const std::string& kind) {
  return kind == kPasseBande || kind == kReducteurGeneral || kind == kReducteurCw ||
         kind == kRejecteurParTfd;
}

std::string RateText(int32_t measured) {
  if (measured == 0) {
    return "entrée refusée";
  }
  if (measured == kNoMeasurement) {
    return "pas de mesure";
  }
  return std::to_string(measured) + " éch/s";
}

// The recording the virtual card's input plays, read as offline mode reads it, at the rate of
// its file (.u8: the filter's).
bool ReadVirtualInput(const std::string& path, int32_t rawRate, std::vector<uint8_t>& samples,
                      int32_t& rate, std::string& error) {
  FileError fileError;
  rate = rawRate;
  auto reader = AudioReader::OpenAtFileRate(path, rate, fileError);
  if (!reader) {
    error = fileError.message;
    return false;
  }
  uint8_t block[4096];
  size_t got = 0;
  do {
    if (!reader->Read(block, sizeof(block), got, fileError)) {
      error = fileError.message;
      return false;
    }
    samples.insert(samples.end(), block, block + got);
  } while (got == sizeof(block));
  return true;
}

}  // namespace

bool ParseCardName(const std::string& name, CardChoice& choice, std::string& error) {
  choice = CardChoice{};
  if (name.rfind(kVirtualPrefix, 0) != 0) {
    if (name.empty()) {
      error = "velunda-filtre : --carte demande un nom de périphérique ALSA ou virtuelle:ENTREE";
      return false;
    }
    choice.alsaDevice = name;
    return true;
  }
  const std::string rest = name.substr(kVirtualPrefix.size());
  const size_t colon = rest.find(':');
  choice.isVirtual = true;
  choice.virtualInput = rest.substr(0, colon);
  if (colon != std::string::npos) {
    choice.virtualOutput = rest.substr(colon + 1);
  }
  if (choice.virtualInput.empty() || (colon != std::string::npos && choice.virtualOutput.empty())) {
    error =
        "velunda-filtre : carte virtuelle attendue sous la forme virtuelle:ENTREE.wav[:SORTIE.wav]";
    return false;
  }
  return true;
}

int32_t LiveSampleRate(const std::string& filterKind, const TestsCarteSonState& tests) {
  if (filterKind == kBfoNumerique) {
    if (tests.Rate6250OK != 0) {
      return 6250;
    }
    return tests.Rate8000OK != 0 ? 8000 : 0;
  }
  return tests.Rate8000OK != 0 ? 8000 : 11025;
}

int RunLive(const Options& options) {
  CardChoice choice;
  std::string error;
  if (!ParseCardName(options.card, choice, error)) {
    std::cerr << error << '\n';
    return kExitUsage;
  }
  SteadyClock clock;
  std::unique_ptr<SoundCard> card;
  int32_t fileRate = 0;
  if (choice.isVirtual) {
    VirtualCardConfig config;
    if (!ReadVirtualInput(choice.virtualInput, SampleRateOf(options), config.input, fileRate,
                          error)) {
      std::cerr << error << '\n';
      return kExitIo;
    }
    config.speakerWav = choice.virtualOutput;
    config.realTime = true;
    card = std::make_unique<VirtualSoundCard>(clock, std::move(config));
  } else {
    card = std::make_unique<AlsaSoundCard>(choice.alsaDevice);
  }

  TerminalEventSource events(*card, STDIN_FILENO);
  CountingStderrBox box;
  std::unique_ptr<SpeakerPorts> speaker = OpenSystemSpeaker();
  HeapMemory memory;
  const EnginePlatform platform{*card, events, box, clock, *speaker, memory};
  auto engine = std::make_unique<EngineState>();
  auto dsp = std::make_unique<DspState>();

  // What the main window's creation and its first timer tick do.
  CalibrateDelay(engine->Timing, clock);
  if (CheckSoundCardPresence(*engine, platform) == 0) {
    return kExitIo;
  }
  std::cout << "Test de la carte son " << options.card << "..." << std::endl;
  engine->CardTests.TestDone = 1;
  engine->CardTests.SoundCardOK = TestSoundCard(*engine, *dsp, platform);
  if (engine->CardTests.SoundCardOK == 0) {
    return kExitIo;
  }
  const TestsCarteSonState& tests = engine->CardTests;
  std::cout << "Fréquences mesurées : 8000 -> " << RateText(tests.Measured8000) << ", 6250 -> "
            << RateText(tests.Measured6250) << std::endl;

  const int32_t rate = LiveSampleRate(options.filterKind, tests);
  if (rate == 0) {
    box.ShowError(
        "Le BFO numérique n'est pas réalisable car votre carte son (non SB 16) ne supporte pas la "
        "fréquence d'échantillonnage de 8000 éch/sec.");
    return kExitIo;
  }
  if (tests.Rate8000OK == 0 && NeedsDegradedWarning(options.filterKind)) {
    box.ShowError(
        "Attention...Fe=11025 et non Fe=8000. Le fonctionnement passe en mode dégradé et devient "
        "aléatoire.");
  }
  if (options.Given("fe") && options.sampleRate != rate) {
    std::cerr << "velunda-filtre : --fe " << options.sampleRate
              << " ignoré, la carte fixe la fréquence.\n";
  }
  if (choice.isVirtual && fileRate != rate) {
    std::cerr << "velunda-filtre : " << choice.virtualInput << " est à " << fileRate
              << " Hz, joué à " << rate << " Hz.\n";
  }
  std::cout << "Fe=" << rate << std::endl;

  Options session = options;
  session.sampleRate = rate;
  if (!PrepareFilter(*dsp, session, clock, error)) {
    std::cerr << "velunda-filtre : " << error << '\n';
    return kExitUsage;
  }

  SessionHooks hooks;
  // Applying the output level is the session's first act once capture runs: the duration
  // counts from there.
  hooks.ApplyOutputLevel = [&] {
    if (options.durationSeconds) {
      events.EndAfter(*options.durationSeconds);
    }
  };
  std::cout << options.filterKind << " en marche à " << rate << " Hz, blocs de " << dsp->BlockLength
            << " ; Fin, q ou Ctrl-C pour arrêter." << std::endl;
  const int shownBefore = box.shown;
  RunSession(*engine, *dsp, hooks, platform);
  std::cout << "Session terminée." << std::endl;
  return box.shown == shownBefore ? kExitOk : kExitIo;
}

}  // namespace velunda
