#include "config/configuration.hpp"

#include <sys/stat.h>

#include <cstdlib>

#include "config/fonctions_fichiers.hpp"

namespace velunda {

namespace {

bool Absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

// Makes each missing folder on the way to `file`, mode 0700 as the XDG base directories ask;
// existing folders keep theirs. A failure shows at the write that follows.
void MakeFolders(const std::string& file) {
  for (size_t slash = file.find('/', 1); slash != std::string::npos;
       slash = file.find('/', slash + 1)) {
    ::mkdir(file.substr(0, slash).c_str(), 0700);
  }
}

constexpr char kMissingText[] =
    "Pas de présence du fichier de configuration CONFVEL.SER, donc paramètres par défaut.";
constexpr char kAlteredText[] =
    "Le fichier de configuration CONFVEL.SER est altéré, donc paramètres par défaut.";

// A start-up notice naming the file as chosen: CONFVEL.SER alone in the working directory.
std::string Naming(std::string text, const std::string& file) {
  return text.replace(text.find(kConfigurationFileName), sizeof kConfigurationFileName - 1, file);
}

}  // namespace

ConfigurationEnvironment ProcessEnvironment() {
  const char* home = std::getenv("HOME");
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  return {home != nullptr ? home : "", xdg != nullptr ? xdg : ""};
}

void ChooseConfigurationFile(ConfigurationState& config, std::string_view given,
                             const ConfigurationEnvironment& environment) {
  config.File = given.empty() ? kConfigurationFileName : given;
  config.MakeFolder = false;
  struct stat st {};
  if (!given.empty() || ::lstat(kConfigurationFileName, &st) == 0) {
    return;
  }
  std::string base = environment.xdgConfigHome;
  if (!Absolute(base)) {
    if (!Absolute(environment.home)) {
      return;
    }
    base = environment.home + "/.config";
  }
  config.File = base + "/velunda/" + kConfigurationFileName;
  config.MakeFolder = true;
}

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
  if (config.MakeFolder) {
    MakeFolders(config.File);
  }
  WriteTextFile(config.File, config.Configuration, messages);
}

bool ReadConfigurationFile(ConfigurationState& config, MessageBox& messages) {
  if (!TextFileExists(config.File)) {
    messages.ShowError(Naming(kMissingText, config.File));
    config.Configuration = DefaultConfiguration();
    return true;
  }
  int32_t count = 0;
  ReadTextFile(config.File, config.Configuration, count, messages);
  if (IsValidConfiguration(config.Configuration)) {
    return false;
  }
  config.Configuration = DefaultConfiguration();
  messages.ShowError(Naming(kAlteredText, config.File));
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
