#include "platform/program_name.hpp"

namespace velunda {
namespace {

std::string& Name() {
  static std::string name = "velunda-filtre";
  return name;
}

}  // namespace

void SetProgramName(std::string_view name) { Name() = std::string(name); }

const std::string& ProgramName() { return Name(); }

std::string ProgramLine(std::string_view text) { return Name() + " : " + std::string(text); }

}  // namespace velunda
