#include "cli/mixer_table.hpp"

#include <iostream>
#include <memory>

#include "app/card_choice.hpp"
#include "audio_io/audio_file.hpp"
#include "cli/options.hpp"
#include "config/configuration.hpp"
#include "config/fonctions_fichiers.hpp"
#include "config/fonctions_mixer.hpp"
#include "config/settings.hpp"
#include "platform/simulated_mixer.hpp"

namespace velunda {

namespace mt = mixer_type;

namespace {

std::string Hex(uint32_t v) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), kDigits[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  return "0x" + s;
}

const char* LineKind(uint32_t type) {
  switch (type) {
    case mt::kDstSpeakers:
      return "haut-parleurs (DST_SPEAKERS)";
    case mt::kDstWaveIn:
      return "enregistrement (DST_WAVEIN)";
    case mt::kSrcLine:
      return "entrée ligne (SRC_LINE)";
    case mt::kSrcMicrophone:
      return "microphone (SRC_MICROPHONE)";
    case mt::kSrcWaveOut:
      return "sortie son wave (SRC_WAVEOUT)";
    case mt::kSrcAuxiliary:
      return "auxiliaire (SRC_AUXILIARY)";
    default:
      return "autre";
  }
}

const char* ControlKind(uint32_t type) {
  switch (type) {
    case mt::kMute:
      return "MUTE";
    case mt::kUnsigned:
      return "UNSIGNED";
    case mt::kVolume:
      return "VOLUME";
    case mt::kBass:
      return "BASS";
    case mt::kTreble:
      return "TREBLE";
    case mt::kMux:
      return "MUX";
    case mt::kMixer:
      return "MIXER";
    default:
      return "autre";
  }
}

void PrintLine(Mixer& mixer, const MixerLine& line, const std::string& title, std::ostream& out) {
  out << title << " « " << line.ShortName << " » : type " << Hex(line.ComponentType) << " "
      << LineKind(line.ComponentType) << ", " << line.Channels
      << (line.Channels > 1 ? " canaux, " : " canal, ") << line.Controls << " contrôle(s)\n";
  auto controls = mixer.LineControls(line.LineId);
  if (!controls) {
    out << "    contrôles illisibles\n";
    return;
  }
  for (const auto& c : *controls) {
    out << "    " << ControlKind(c.ControlType) << " (" << Hex(c.ControlType) << ")";
    if (c.ControlType == mt::kMux || c.ControlType == mt::kMixer) {
      out << ", " << c.Items << " entrée(s) :";
      auto items = mixer.ListItems(c);
      auto selection = mixer.GetItems(c.ControlId, c.Items);
      for (size_t k = 0; items && k < items->size(); ++k) {
        const bool on = selection && k < selection->size() && (*selection)[k];
        out << " [" << (on ? "x" : " ") << "] " << (*items)[k].Name;
      }
    } else if (c.ControlType == mt::kMute) {
      auto on = mixer.GetSwitch(c.ControlId);
      out << ", valeur " << (on ? (*on ? "1 (coupé)" : "0") : "illisible");
    } else {
      out << ", plage " << c.Minimum << " à " << c.Maximum;
      if (auto v = mixer.GetStereo(c.ControlId, line.Channels)) {
        out << ", valeur " << v->Left << " " << v->Right;
      } else {
        out << ", valeur illisible";
      }
    }
    out << "\n";
  }
}

}  // namespace

void PrintMixerTable(Mixer& mixer, const std::string& card, const std::string& configuration,
                     std::ostream& out) {
  out << "Table de mixage de la carte « " << card << " »\n";
  if (mixer.DeviceCount() == 0) {
    out << "Aucun mixer.\n";
  }
  const uint32_t destinations = mixer.DestinationCount();
  for (uint32_t d = 0; d < destinations; ++d) {
    auto line = mixer.LineByDestination(d);
    if (!line) {
      continue;
    }
    PrintLine(mixer, *line, "Destination " + std::to_string(d), out);
    for (uint32_t s = 0; s < line->Connections; ++s) {
      if (auto source = mixer.LineBySource(d, s)) {
        PrintLine(mixer, *source, "  Source " + std::to_string(s), out);
      }
    }
  }

  // The start-up check's set-up, on a copy of the mixer.
  const uint8_t input = static_cast<uint8_t>(configuration[kInputOffset]);
  const uint8_t gain = static_cast<uint8_t>(configuration[kGainOffset]);
  MixerState state;
  state.SoftwareMixer = 1;
  state.MicrophoneSelected = input == 3 ? 1 : 0;
  state.InputGainPercent = gain == 2 ? 34 : gain == 4 ? 67 : gain == 8 ? 100 : 0;
  state.SpeakerVolumeLeft = 20;
  state.SpeakerVolumeRight = 20;
  state.LineVolumeLeft = 100;
  state.LineVolumeRight = 100;
  SimulatedMixer copy(Snapshot(mixer));
  AdjustMixer(copy, state);

  const char* inputs[] = {"?", "ligne gauche", "ligne droite", "microphone"};
  out << "Entrée choisie : " << inputs[input <= 3 ? input : 0] << "\n";
  const MixerResults& r = state.Results;
  out << "MixerFound = " << int{r.MixerFound} << "\n"
      << "RecordingFound = " << int{r.RecordingFound} << "\n"
      << "PlaybackFound = " << int{r.PlaybackFound} << "\n"
      << "WaveSourceFound = " << int{r.WaveSourceFound} << "\n"
      << "RecordingInputFound = " << int{r.RecordingInputFound} << "\n"
      << "PlaybackInputFound = " << int{r.PlaybackInputFound} << "\n";
  const std::string_view problem = MixerProblemMessage(r);
  out << "Message au démarrage : " << (problem.empty() ? "aucun" : problem) << "\n";
}

int RunMixerTable(const Options& options, ConfigurationState& config) {
  const std::string card = options.card.empty() ? "default" : options.card;
  CardChoice choice;
  std::string error;
  if (!ParseCardName(card, choice, error)) {
    std::cerr << error << '\n';
    return kExitUsage;
  }
  std::string notice;
  std::unique_ptr<Mixer> mixer = OpenCardMixer(choice, MixerUse::Drive, &notice);
  if (!notice.empty()) {
    std::cerr << notice << '\n';
  }
  // The input selection of the configuration file, with the notices start-up would show (on
  // stderr), without writing anything.
  StderrMessageBox notices;
  ReadConfigurationFile(config, notices);
  PrintMixerTable(*mixer, card, config.Configuration, std::cout);
  return 0;
}

}  // namespace velunda
