#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "config/configuration.hpp"
#include "config/fonctions_mixer.hpp"
#include "platform/message_box.hpp"
#include "platform/mixer.hpp"

namespace velunda {

// Captions of the settings menu items; the chosen item carries the "...choisi(e)" suffix.
struct SettingsCaptions {
  std::string Software_adjustment = "Software adjustment";
  std::string User_adjustment = "User adjustment";
  std::string Entree_Gauche = "Entrée ligne gauche";
  std::string Entree_Droite = "Entrée ligne droite";
  std::string Microphon = "Entrée microphone";
  std::string x0_25 = "x 0,25";
  std::string x0_5 = "x 0,5";
  std::string x1 = "x 1";
  std::string x2 = "x 2";
  std::string x4 = "x 4";
  std::string x8 = "x 8";
};

// The settings kept besides those the mixer control reads (SoftwareMixer, MicrophoneSelected,
// the line volumes and InputGainPercent live in MixerState).
struct SettingsState {
  uint8_t LeftSelected = 0;
  uint8_t RightSelected = 0;
  int32_t InputLevel = 0;
  SettingsCaptions Captions;
};

// Where a mixer problem found by CheckMixer goes: the warning beep, then the hint line.
class MixerProblemReporter {
 public:
  virtual ~MixerProblemReporter() = default;
  virtual void ReportMixerProblem(std::string_view message) = 0;
};

// What the settings operations work on.
struct SettingsContext {
  ConfigurationState& Config;
  SettingsState& Settings;
  MixerState& MixerControl;
  Mixer& Device;
  MessageBox& Messages;
  MixerProblemReporter& Problems;
};

void ApplyMixerMode(SettingsContext& context);
void ApplyInputSelection(SettingsContext& context);
void ApplyInputGain(SettingsContext& context);
// Sets the mixer up with the start-up levels and reports the first missing line or control.
void CheckMixer(SettingsContext& context);

// Text for the first flag at 0, in the order of the check; empty when every flag is 1.
std::string_view MixerProblemMessage(const MixerResults& results);

// Menu commands: set one byte of the record, apply it, save the file.
void ChooseMixerMode(SettingsContext& context, uint8_t mode);      // 1 or 2
void ChooseInput(SettingsContext& context, uint8_t input);         // 1, 2 or 3
void ChooseInputGain(SettingsContext& context, uint8_t gainCode);  // 25, 5, 1, 2, 4 or 8

// The start-up part of the settings: load the configuration (which applies the three settings),
// check the mixer in the program's mode, then apply the input selection and gain again.
void LoadStartupSettings(SettingsContext& context);

// Binds the three apply operations for LoadConfiguration.
class SettingsOperations final : public SettingsApplier {
 public:
  explicit SettingsOperations(SettingsContext& context) : context_(context) {}
  void ApplyMixerMode() override { velunda::ApplyMixerMode(context_); }
  void ApplyInputSelection() override { velunda::ApplyInputSelection(context_); }
  void ApplyInputGain() override { velunda::ApplyInputGain(context_); }

 private:
  SettingsContext& context_;
};

}  // namespace velunda
