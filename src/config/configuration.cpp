#include "config/configuration.hpp"

#include "config/fonctions_fichiers.hpp"

namespace velunda {

std::string DefaultConfiguration() {
  std::string record(7, ' ');
  record[kGainOffset] = 1;
  record[kInputOffset] = 1;
  record[kModeOffset] = 1;
  return record;
}

bool IsValidConfiguration(std::string_view content) {
  const std::string_view text = content.substr(0, content.find('\0'));
  if (text.size() < 7 || text.size() > 10) {
    return false;
  }
  const auto gain = static_cast<unsigned char>(text[kGainOffset]);
  const auto input = static_cast<unsigned char>(text[kInputOffset]);
  const auto mode = static_cast<unsigned char>(text[kModeOffset]);
  const bool gainOk = gain == 25 || gain == 5 || gain == 1 || gain == 2 || gain == 4 || gain == 8;
  return gainOk && input >= 1 && input <= 3 && (mode == 1 || mode == 2);
}

void SaveConfiguration(const ConfigurationState& config, MessageBox& messages) {
  WriteTextFile(kConfigurationFileName, config.Configuration, messages);
}

bool ReadConfigurationFile(ConfigurationState& config, MessageBox& messages) {
  if (!TextFileExists(kConfigurationFileName)) {
    messages.ShowError(
        "Pas de présence du fichier de configuration CONFVEL.SER, donc paramètres par défaut.");
    config.Configuration = DefaultConfiguration();
    return true;
  }
  int32_t count = 0;
  ReadTextFile(kConfigurationFileName, config.Configuration, count, messages);
  if (IsValidConfiguration(config.Configuration)) {
    return false;
  }
  config.Configuration = DefaultConfiguration();
  messages.ShowError(
      "Le fichier de configuration CONFVEL.SER est altéré, donc paramètres par défaut.");
  return true;
}

void LoadConfiguration(ConfigurationState& config, MessageBox& messages,
                       SettingsApplier& settings) {
  if (ReadConfigurationFile(config, messages)) {
    SaveConfiguration(config, messages);
  }
  settings.ApplyMixerMode();
  settings.ApplyInputSelection();
  settings.ApplyInputGain();
}

}  // namespace velunda
