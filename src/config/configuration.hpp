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

// The persisted settings: the bytes of CONFVEL.SER, no header, no terminator.
struct ConfigurationState {
  std::string Configuration = "   ";
};

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

// Reads CONFVEL.SER from the working directory into the record, with the start-up messages;
// true when it fell back to the defaults (missing, unreadable or altered file). Writes nothing.
bool ReadConfigurationFile(ConfigurationState& config, MessageBox& messages);

// Reads CONFVEL.SER from the working directory, falls back to the defaults (with a message, and
// writing them back) when it is missing or altered, then applies the three settings.
void LoadConfiguration(ConfigurationState& config, MessageBox& messages, SettingsApplier& settings);

// Writes the record to CONFVEL.SER; a failure shows its message and is otherwise ignored.
void SaveConfiguration(const ConfigurationState& config, MessageBox& messages);

}  // namespace velunda
