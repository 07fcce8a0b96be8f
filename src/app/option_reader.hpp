#pragma once
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/option_table.hpp"

namespace velunda {

// The name a program's messages begin with.
std::string_view ProgramName(Program program);

// One French line naming the program: "velunda-filtre : " + text.
std::string Refusal(Program program, std::string_view text);

// The line printed under a refused command line: "velunda --aide donne la liste des options."
std::string UsageHint(Program program);

// A command line split into the program's options, with their values, and its other words.
struct CommandWords {
  Request request = Request::Run;  // --aide or --version: what follows was not read
  std::vector<std::pair<const OptionDef*, std::string>> options;
  std::vector<std::string> others;
  bool Has(std::string_view name) const;
};

// Splits the arguments after the program's name: --opt VAL, --opt=VAL, -x; "--" ends the options
// and "-" alone is a word. Refuses an option the program does not know, one given twice, one
// without its value or with a value it does not take. Returns "" or the French line.
std::string SplitWords(Program program, const std::vector<std::string>& args, CommandWords& words);

// Runs each option's parser in order and notes it as given. "" or the French line naming the
// bad value and the values allowed.
std::string ApplyOptions(Program program, const CommandWords& words, CommandLine& line);

// For a program that takes nothing but options: splits, refuses any other word, applies.
std::string ParseOnlyOptions(Program program, const std::vector<std::string>& args,
                             CommandLine& line);

// The whole --aide text: "Utilisation :" with the program's synopses, its notes, then every
// option the program accepts with its help.
std::string FormatUsage(Program program, std::initializer_list<std::string_view> synopses,
                        std::string_view notes);

// What --version prints: the program's name and version.
std::string VersionText(Program program);

}  // namespace velunda
