#pragma once
#include <string>
#include <string_view>

#include "platform/message_box.hpp"

namespace velunda {

inline constexpr char kConfigurationFileName[] = "CONFVEL.SER";

// Byte offsets of the settings in the record.
inline constexpr size_t kGainOffset = 1;   // 25, 5, 1, 2, 4, 8
inline constexpr size_t kInputOffset = 4;  // 1 left line, 2 right line, 3 microphone
inline constexpr size_t kModeOffset = 6;   // 1 the program adjusts the mixer, 2 the user does

// The persisted settings: the bytes of CONFVEL.SER, no header, no terminator, and the file that
// holds them, chosen once at start-up.
struct ConfigurationState {
  std::string Configuration = "   ";
  std::string File = kConfigurationFileName;  // as the messages name it
  bool MakeFolder = false;                    // its missing folders are made (0700) at a write
};

// What the choice of the settings file reads from the environment.
struct ConfigurationEnvironment {
  std::string home;           // $HOME
  std::string xdgConfigHome;  // $XDG_CONFIG_HOME
};

// This process's environment.
ConfigurationEnvironment ProcessEnvironment();

// Chooses the settings file: `given` (--config) when not empty; else CONFVEL.SER in the working
// directory when there is one (files carried over keep working); else
// $XDG_CONFIG_HOME/velunda/CONFVEL.SER ($HOME/.config when that is unset or not absolute), its
// folder made at the first write; without an absolute HOME either, the working directory.
void ChooseConfigurationFile(ConfigurationState& config, std::string_view given,
                             const ConfigurationEnvironment& environment);

// The three settings applied at the end of a load, in this order.
class SettingsApplier {
 public:
  virtual ~SettingsApplier() = default;
  virtual void ApplyMixerMode() = 0;
  virtual void ApplyInputSelection() = 0;
  virtual void ApplyInputGain() = 0;
};

// Seven spaces with offsets 1, 4 and 6 set to 1.
std::string DefaultConfiguration();

// 7 to 10 bytes with a gain code, an input and a mixer mode in range.
bool IsValidConfiguration(std::string_view content);

// Reads the settings file into the record, with the start-up messages;
// true when it fell back to the defaults (missing, unreadable or altered file). Writes nothing.
bool ReadConfigurationFile(ConfigurationState& config, MessageBox& messages);

// Reads the settings file, falls back to the defaults (with a message, and
// writing them back) when it is missing or altered, then applies the three settings.
void LoadConfiguration(ConfigurationState& config, MessageBox& messages, SettingsApplier& settings);

// Writes the record to the settings file; a failure shows its message and is otherwise ignored.
void SaveConfiguration(const ConfigurationState& config, MessageBox& messages);

}  // namespace velunda
