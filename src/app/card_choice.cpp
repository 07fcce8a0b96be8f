#include "app/card_choice.hpp"

#include <cerrno>
#include <string_view>

#include "audio_io/audio_file.hpp"
#include "audio_io/two_device_card.hpp"
#include "audio_io/virtual_card_files.hpp"
#include "platform/alsa/alsa_devices.hpp"
#include "platform/alsa/alsa_mixer.hpp"
#include "platform/alsa/alsa_pcm.hpp"
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

// "+150ppm" -> 150; false when `text` is no such figure (up to 10 %).
bool ParsePpm(const std::string& text, int32_t& ppm) {
  constexpr std::string_view kUnit = "ppm";
  if (text.size() < kUnit.size() + 2 || text.compare(text.size() - 3, 3, kUnit) != 0 ||
      (text[0] != '+' && text[0] != '-')) {
    return false;
  }
  const std::string digits = text.substr(1, text.size() - 1 - kUnit.size());
  if (digits.empty() || digits.size() > 6 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  ppm = std::stoi(digits) * (text[0] == '-' ? -1 : 1);
  return ppm >= -100000 && ppm <= 100000;
}

// A last ":±Nppm" of the loudspeaker's name is its clock's offset.
void TakePpm(CardChoice& choice) {
  const size_t colon = choice.virtualOutput.rfind(':');
  if (colon != std::string::npos &&
      ParsePpm(choice.virtualOutput.substr(colon + 1), choice.virtualPpm)) {
    choice.virtualOutput.resize(colon);
  }
}

bool IsVirtualName(const std::string& name) { return name.rfind(kVirtualPrefix, 0) == 0; }

// Whether `name` is an ALSA device that goes the way asked: false with a French line for an
// unknown name or one that only goes the other way. A device in use is there: the card test
// says so.
bool DeviceGoes(const std::string& name, PcmDirection direction, std::string& error) {
  const auto usable = [&name](PcmDirection d) {
    const int err = ProbePcm(name, d);
    return err == 0 || err == EBUSY;
  };
  const bool capture = direction == PcmDirection::Capture;
  if (usable(direction)) {
    return true;
  }
  const std::string list = capture ? "arecord -L" : "aplay -L";
  if (usable(capture ? PcmDirection::Playback : PcmDirection::Capture)) {
    error = ProgramLine(name + (capture ? " ne sait pas enregistrer" : " ne sait pas jouer") +
                        " : voir « " + list + " ».");
  } else {
    error = ProgramLine("périphérique " + std::string(capture ? "d'entrée" : "de sortie") +
                        " inconnu : " + name + " (voir « " + list + " »).");
  }
  return false;
}

// Two cards, each with its own clock, as one.
std::unique_ptr<SoundCard> TwoDevices(std::unique_ptr<SoundCard> capture,
                                      std::unique_ptr<SoundCard> playback) {
  return std::make_unique<TwoDeviceCard>(std::move(capture), std::move(playback));
}

}  // namespace

bool ParseCardNames(const std::string& card, const std::string& input, const std::string& output,
                    CardChoice& choice, std::string& error) {
  if (input.empty() && output.empty()) {
    return ParseCardName(card, choice, error);
  }
  const std::string both = card.empty() ? "default" : card;
  if (IsVirtualName(both) || IsVirtualName(input) || IsVirtualName(output)) {
    error = ProgramLine(
        "la carte virtuelle se donne avec --carte seule (virtuelle:ENTREE.wav:SORTIE.wav:+150ppm "
        "pour deux horloges).");
    return false;
  }
  const std::string capture = input.empty() ? both : input;
  const std::string playback = output.empty() ? both : output;
  if (!ParseCardName(capture, choice, error)) {
    return false;
  }
  if (playback != capture) {
    choice.playbackDevice = playback;
  }
  return true;
}

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
    TakePpm(choice);
  }
  if (choice.virtualInput.empty() || (colon != std::string::npos && choice.virtualOutput.empty())) {
    error = ProgramName() +
            " : carte virtuelle attendue sous la forme virtuelle:ENTREE.wav[:SORTIE.wav[:±Nppm]]";
    return false;
  }
  return true;
}

std::unique_ptr<SoundCard> OpenChosenCard(const CardChoice& choice, int32_t rawRate, Clock& clock,
                                          int32_t& fileRate, std::string& error) {
  if (!choice.isVirtual) {
    const AlsaTiming timing = choice.shortDelay ? kShortBlockTiming : AlsaTiming{};
    if (choice.playbackDevice.empty()) {
      return std::make_unique<AlsaSoundCard>(choice.alsaDevice, PcmOpenGate{}, timing);
    }
    if (!DeviceGoes(choice.alsaDevice, PcmDirection::Capture, error) ||
        !DeviceGoes(choice.playbackDevice, PcmDirection::Playback, error)) {
      return nullptr;
    }
    return TwoDevices(
        std::make_unique<AlsaSoundCard>(choice.alsaDevice, PcmOpenGate{}, timing),
        std::make_unique<AlsaSoundCard>(choice.playbackDevice, PcmOpenGate{}, timing));
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
  if (choice.virtualPpm == 0) {
    return std::make_unique<VirtualSoundCard>(clock, std::move(config));
  }
  // Two clocks: the line input on one card, the loudspeaker on another whose crystal is off.
  VirtualCardConfig loudspeaker;
  loudspeaker.speaker = std::move(config.speaker);
  loudspeaker.realTime = true;
  loudspeaker.clockPpm = choice.virtualPpm;
  return TwoDevices(std::make_unique<VirtualSoundCard>(clock, std::move(config)),
                    std::make_unique<VirtualSoundCard>(clock, std::move(loudspeaker)));
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
  if (auto* two = dynamic_cast<TwoDeviceCard*>(&card)) {
    return SpeakerWriteProblem(two->Playback());
  }
  auto* virtualCard = dynamic_cast<VirtualSoundCard*>(&card);
  auto* files =
      virtualCard != nullptr ? dynamic_cast<SpeakerFiles*>(virtualCard->Speaker()) : nullptr;
  if (files == nullptr || virtualCard->SpeakerWriteError() == 0) {
    return "";
  }
  return ProgramName() + " : erreur d'écriture de " + files->FailedPath() + " : " +
         FileErrorReason(virtualCard->SpeakerWriteError());
}

std::string CaptureLossProblem(SoundCard& card) {
  const uint32_t overruns = card.CaptureOverruns();
  if (overruns == 0) {
    return "";
  }
  return ProgramLine("entrée : du son a été perdu " + std::to_string(overruns) +
                     " fois, la machine ayant retenu la séance trop longtemps.");
}

std::string ClockProblem(SoundCard& card) {
  auto* two = dynamic_cast<TwoDeviceCard*>(&card);
  if (two == nullptr || !two->OutOfRange()) {
    return "";
  }
  return ProgramLine(
      "les horloges de l'entrée et de la sortie s'écartent de plus de 1 % : impossible de les "
      "accorder.");
}

}  // namespace velunda
