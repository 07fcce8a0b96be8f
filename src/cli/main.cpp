#include <iostream>
#include <string>
#include <vector>

#include "app/card_choice.hpp"
#include "app/option_reader.hpp"
#include "audio_io/audio_file.hpp"
#include "audio_io/std_streams.hpp"
#include "cli/live.hpp"
#include "cli/mixer_table.hpp"
#include "cli/offline.hpp"
#include "cli/options.hpp"
#include "config/configuration.hpp"
#include "platform/clock.hpp"
#include "platform/program_name.hpp"

int main(int argc, char** argv) {
  using namespace velunda;
  SetProgramName("velunda-filtre");
  KeepStandardDescriptors();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << UsageText();
    return kExitUsage;
  }
  Options options;
  const ParseResult parsed = ParseOptions(args, options);
  if (!parsed.ok) {
    std::cerr << parsed.error << '\n' << UsageHint(Program::VelundaFiltre) << '\n';
    return kExitUsage;
  }
  switch (options.mode) {
    case CommandMode::Help:
      std::cout << UsageText();
      return kExitOk;
    case CommandMode::Version:
      std::cout << VersionText(Program::VelundaFiltre);
      return kExitOk;
    case CommandMode::Devices:
      std::cout << SoundDeviceListing();
      return kExitOk;
    case CommandMode::MixerTable: {
      ConfigurationState config;
      ChooseConfigurationFile(config, options.configFile, ProcessEnvironment());
      return RunMixerTable(options, config);
    }
    case CommandMode::Live:
      return RunLive(options);
    case CommandMode::Offline:
      break;
  }
  SteadyClock clock;
  return RunOffline(options, clock);
}
