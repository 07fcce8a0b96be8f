#include "config/settings.hpp"

namespace velunda {

namespace {

uint8_t Byte(const ConfigurationState& config, size_t offset) {
  return offset < config.Configuration.size() ? static_cast<uint8_t>(config.Configuration[offset])
                                              : 0;
}

void SetByte(ConfigurationState& config, size_t offset, uint8_t value) {
  if (config.Configuration.size() <= offset) {
    config.Configuration.resize(offset + 1, ' ');
  }
  config.Configuration[offset] = static_cast<char>(value);
}

std::string Caption(const char* base, bool chosen, const char* suffix) {
  return chosen ? std::string(base) + suffix : std::string(base);
}

// Line volumes follow the input: one side only for a line, the left side for the microphone.
void SetLineVolumes(const SettingsState& settings, MixerState& mixer) {
  if (settings.LeftSelected || mixer.MicrophoneSelected) {
    mixer.LineVolumeLeft = settings.InputLevel;
    mixer.LineVolumeRight = 0;
  } else {
    mixer.LineVolumeLeft = 0;
    mixer.LineVolumeRight = settings.InputLevel;
  }
}

}  // namespace

void ApplyMixerMode(SettingsContext& context) {
  const uint8_t mode = Byte(context.Config, kModeOffset);
  auto& captions = context.Settings.Captions;
  captions.Software_adjustment = Caption("Réglage par le logiciel", mode == 1, "...choisi");
  captions.User_adjustment = Caption("Réglage par l'utilisateur", mode == 2, "...choisi");
  context.MixerControl.SoftwareMixer = mode == 1 ? 1 : 0;
  if (context.MixerControl.SoftwareMixer == 1) {
    CheckMixer(context);
    ApplyInputSelection(context);
    ApplyInputGain(context);
  }
}

void ApplyInputSelection(SettingsContext& context) {
  const uint8_t input = Byte(context.Config, kInputOffset);
  auto& settings = context.Settings;
  auto& mixer = context.MixerControl;
  settings.Captions.Entree_Gauche = Caption("Entrée ligne gauche", input == 1, "...choisie");
  settings.Captions.Entree_Droite = Caption("Entrée ligne droite", input == 2, "...choisie");
  settings.Captions.Microphon = Caption("Entrée microphone", input == 3, "...choisie");
  settings.LeftSelected = input == 1 ? 1 : 0;
  settings.RightSelected = input == 2 ? 1 : 0;
  mixer.MicrophoneSelected = input == 3 ? 1 : 0;
  if (settings.LeftSelected || mixer.MicrophoneSelected || settings.RightSelected) {
    SetLineVolumes(settings, mixer);
  }
  AdjustMixer(context.Device, mixer);
}

void ApplyInputGain(SettingsContext& context) {
  const uint8_t gain = Byte(context.Config, kGainOffset);
  auto& settings = context.Settings;
  auto& mixer = context.MixerControl;
  auto& captions = settings.Captions;
  captions.x0_25 = Caption("x 0,25", gain == 25, "...choisi");
  captions.x0_5 = Caption("x 0,5", gain == 5, "...choisi");
  captions.x1 = Caption("x 1", gain == 1, "...choisi");
  captions.x2 = Caption("x 2", gain == 2, "...choisi");
  captions.x4 = Caption("x 4", gain == 4, "...choisi");
  captions.x8 = Caption("x 8", gain == 8, "...choisi");
  mixer.InputGainPercent = gain == 2 ? 34 : gain == 4 ? 67 : gain == 8 ? 100 : 0;
  settings.InputLevel = gain == 25 ? 25 : gain == 5 ? 50 : 100;
  SetLineVolumes(settings, mixer);
  AdjustMixer(context.Device, mixer);
  SetInputGain(context.Device, mixer.InputGainPercent);
}

std::string_view MixerProblemMessage(const MixerResults& results) {
  if (!results.MixerFound) {
    return "PAS DE MIXER TROUVÉ!";
  }
  if (!results.RecordingFound) {
    return "PROBLÈME MIXER. PAS DE CONTRÔLE DE L'ENREGISTREMENT TROUVÉ!";
  }
  if (!results.PlaybackFound) {
    return "PROBLÈME MIXER. PAS DE CONTRÔLE DU VOLUME TROUVÉ!";
  }
  if (!results.WaveSourceFound) {
    return "PROBLÈME MIXER. PAS D'ENTRÉE SON (WAVE) TROUVÉE!";
  }
  if (!results.RecordingInputFound) {
    return "PROBLÈME MIXER. PAS D'ENTRÉE LIGNE EN ENREGISTREMENT TROUVÉE!";
  }
  if (!results.PlaybackInputFound) {
    return "PROBLÈME MIXER. PAS D'ENTRÉE LIGNE EN RESTITUTION TROUVÉE!";
  }
  return {};
}

void CheckMixer(SettingsContext& context) {
  auto& mixer = context.MixerControl;
  mixer.WaveOutputVolume = 100;
  mixer.SpeakerVolumeLeft = 20;
  mixer.SpeakerVolumeRight = 20;
  mixer.LineVolumeLeft = 100;
  mixer.LineVolumeRight = 100;
  mixer.PlaybackGain = 0;
  AdjustMixer(context.Device, mixer);
  const std::string_view problem = MixerProblemMessage(mixer.Results);
  if (!problem.empty()) {
    context.Problems.ReportMixerProblem(problem);
  }
}

void ChooseMixerMode(SettingsContext& context, uint8_t mode) {
  SetByte(context.Config, kModeOffset, mode);
  ApplyMixerMode(context);
  SaveConfiguration(context.Config, context.Messages);
}

void ChooseInput(SettingsContext& context, uint8_t input) {
  SetByte(context.Config, kInputOffset, input);
  ApplyInputSelection(context);
  SaveConfiguration(context.Config, context.Messages);
}

void ChooseInputGain(SettingsContext& context, uint8_t gainCode) {
  SetByte(context.Config, kGainOffset, gainCode);
  ApplyInputGain(context);
  SaveConfiguration(context.Config, context.Messages);
}

void LoadStartupSettings(SettingsContext& context) {
  SettingsOperations operations(context);
  LoadConfiguration(context.Config, context.Messages, operations);
  if (Byte(context.Config, kModeOffset) == 1) {
    CheckMixer(context);
  }
  ApplyInputSelection(context);
  ApplyInputGain(context);
}

}  // namespace velunda
