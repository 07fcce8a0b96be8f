#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/option_table.hpp"

namespace velunda {

// What velunda-filtre was asked to do.
enum class CommandMode {
  Offline,     // FILTRE ENTREE SORTIE: filter a recording
  Live,        // FILTRE --carte NOM: filter a sound card's input in real time
  MixerTable,  // --table-de-mixage: show the sound card's mixer
  Help,        // --aide: print the usage and leave
  Version,     // --version: print the name and version and leave
  Devices,     // --cartes: list the capture and playback devices and leave
};

// The name that stands for standard input (as ENTREE) or standard output (as SORTIE).
inline constexpr std::string_view kStdStream = "-";

// The command line of velunda-filtre, parsed and validated: the options' settings (every
// filter's, whatever filter was chosen), what to do, and on what.
struct Options : CommandLine {
  CommandMode mode = CommandMode::Offline;
  std::string input;   // ENTREE (offline mode)
  std::string output;  // SORTIE (offline mode)
};

// Outcome of ParseOptions: on failure, `error` is one French line for stderr (exit status 2).
struct ParseResult {
  bool ok = false;
  std::string error;
};

// Parses the arguments after the program name into `options`.
ParseResult ParseOptions(const std::vector<std::string>& args, Options& options);

// The rate the filter runs at: --fe, else 8000 (6250 for the BFO).
int32_t SampleRateOf(const Options& options);

// Whether ENTREE or SORTIE is standard input or output.
bool IsStdStream(const std::string& name);

// Text printed by --aide.
std::string UsageText();

}  // namespace velunda
