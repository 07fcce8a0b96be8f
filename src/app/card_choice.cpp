#include "app/card_choice.hpp"

#include <string_view>

#include "audio_io/audio_file.hpp"
#include "audio_io/virtual_card_files.hpp"
#include "platform/alsa/alsa_devices.hpp"
#include "platform/alsa/alsa_mixer.hpp"
#include "platform/alsa/alsa_sound_card.hpp"
#include "platform/program_name.hpp"
#include "platform/pulse/pulse_mixer.hpp"
#include "platform/safe_file.hpp"
#include "platform/simulated_mixer.hpp"
#include "platform/virtual/virtual_card.hpp"

namespace velunda {
namespace {

constexpr std::string_view kVirtualPrefix = "virtuelle:";

// Whether the loudspeaker's recording could be written: checked before the session, so a bad
// name is refused at once rather than after the whole session. Leaves nothing behind.
bool CheckSpeakerOutput(const std::string& path, std::string& error) {
  SafeFile probe;
  if (const int err = probe.Open(path)) {
    error = ProgramName() + " : impossible d'écrire " + path + " : " + FileErrorReason(err);
    return false;
  }
  return true;
}

// ALSA devices that lead to a sound server when one runs.
bool MayBeSoundServer(const std::string& device) {
  return device == "default" || device == "pulse" || device == "pipewire";
}

}  // namespace

bool ParseCardName(const std::string& name, CardChoice& choice, std::string& error) {
  choice = CardChoice{};
  if (name.rfind(kVirtualPrefix, 0) != 0) {
    if (name.empty()) {
      error = ProgramName() + " : --carte demande un nom de périphérique ALSA ou virtuelle:ENTREE";
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
    error = ProgramName() +
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
  fileRate = rawRate;
  config.input = OpenLineRecording(choice.virtualInput, fileRate, error);
  if (!config.input) {
    return nullptr;
  }
  if (!choice.virtualOutput.empty()) {
    config.speaker = std::make_shared<SpeakerFiles>(choice.virtualOutput);
  }
  config.realTime = true;
  return std::make_unique<VirtualSoundCard>(clock, std::move(config));
}

std::unique_ptr<Mixer> OpenCardMixer(const CardChoice& choice, MixerUse use, std::string* notice) {
  if (choice.isVirtual) {
    return std::make_unique<SimulatedMixer>(FullCardDescription());
  }
  std::unique_ptr<Mixer> mixer;
  if (use == MixerUse::Drive) {
    // Through a sound server the card's own lines are out of reach: the server is the mixer.
    if (MayBeSoundServer(choice.alsaDevice)) {
      mixer = OpenSoundServerMixer();
    }
    if (!mixer) {
      mixer = OpenAlsaMixer(choice.alsaDevice);
    }
    if (!mixer && notice != nullptr) {
      *notice = ProgramLine("impossible d'ouvrir le mixer de la carte " + choice.alsaDevice + ".");
    }
  }
  if (!mixer) {
    mixer = std::make_unique<SimulatedMixer>(NoMixerDescription());
  }
  return mixer;
}

std::string SoundDeviceListing() { return DeviceListing(ListAlsaDevices()); }

std::string SpeakerWriteProblem(SoundCard& card) {
  auto* virtualCard = dynamic_cast<VirtualSoundCard*>(&card);
  auto* files =
      virtualCard != nullptr ? dynamic_cast<SpeakerFiles*>(virtualCard->Speaker()) : nullptr;
  if (files == nullptr || virtualCard->SpeakerWriteError() == 0) {
    return "";
  }
  return ProgramName() + " : erreur d'écriture de " + files->FailedPath() + " : " +
         FileErrorReason(virtualCard->SpeakerWriteError());
}

}  // namespace velunda
