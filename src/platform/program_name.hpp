#pragma once
#include <string>
#include <string_view>

namespace velunda {

// The running program's name, which its error lines begin with; each main() sets it first.
void SetProgramName(std::string_view name);
const std::string& ProgramName();

// One French error line naming the running program: "velunda-filtre : " + text.
std::string ProgramLine(std::string_view text);

}  // namespace velunda
