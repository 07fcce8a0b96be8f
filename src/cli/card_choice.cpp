#include "cli/card_choice.hpp"

#include <string_view>
#include <vector>

#include "cli/audio_file.hpp"
#include "platform/alsa/alsa_sound_card.hpp"
#include "platform/safe_file.hpp"
#include "platform/virtual/virtual_card.hpp"

namespace velunda {
namespace {

constexpr std::string_view kVirtualPrefix = "virtuelle:";

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

// Whether the loudspeaker's recording could be written: checked before the session, so a bad
// name is refused at once rather than after the whole session. Leaves nothing behind.
bool CheckSpeakerOutput(const std::string& path, std::string& error) {
  SafeFile probe;
  if (const int err = probe.Open(path)) {
    error = "velunda-filtre : impossible d'écrire " + path + " : " + FileErrorReason(err);
    return false;
  }
  return true;
}

}  // namespace

bool ParseCardName(const std::string& name, CardChoice& choice, std::string& error,
                   const std::string& program) {
  choice = CardChoice{};
  if (name.rfind(kVirtualPrefix, 0) != 0) {
    if (name.empty()) {
      error = program + " : --carte demande un nom de périphérique ALSA ou virtuelle:ENTREE";
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
    error = program +
            " : carte virtuelle attendue sous la forme virtuelle:ENTREE.wav[:SORTIE.wav]";
    return false;
  }
  return true;
}

std::unique_ptr<SoundCard> OpenChosenCard(const CardChoice& choice, int32_t rawRate, Clock& clock,
                                          int32_t& fileRate, std::string& error) {
  if (!choice.isVirtual) {
    return std::make_unique<AlsaSoundCard>(choice.alsaDevice, PcmOpenGate{},
                                           choice.shortDelay ? kShortBlockTiming : AlsaTiming{});
  }
  VirtualCardConfig config;
  if (!choice.virtualOutput.empty() && !CheckSpeakerOutput(choice.virtualOutput, error)) {
    return nullptr;
  }
  if (!ReadVirtualInput(choice.virtualInput, rawRate, config.input, fileRate, error)) {
    return nullptr;
  }
  config.speakerWav = choice.virtualOutput;
  config.realTime = true;
  return std::make_unique<VirtualSoundCard>(clock, std::move(config));
}

std::string SpeakerWriteProblem(const CardChoice& choice, SoundCard& card) {
  auto* virtualCard = dynamic_cast<VirtualSoundCard*>(&card);
  if (virtualCard == nullptr || virtualCard->SpeakerWriteError() == 0) {
    return "";
  }
  return "velunda-filtre : erreur d'écriture de " + choice.virtualOutput + " : " +
         FileErrorReason(virtualCard->SpeakerWriteError());
}

}  // namespace velunda
