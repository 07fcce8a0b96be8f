#include "app/option_reader.hpp"

#include <algorithm>
#include <cctype>
#include <optional>

namespace velunda {
namespace {

// The option a word names ("--aide", "--help", "-h"), among the program's, or null.
const OptionDef* Lookup(Program program, std::string_view word) {
  for (const auto& def : OptionTable()) {
    if (!Accepts(def, program)) {
      continue;
    }
    if (word.starts_with("--")) {
      const std::string_view name = word.substr(2);
      if (name == def.name || (!def.synonym.empty() && name == def.synonym)) {
        return &def;
      }
    } else if (word.size() == 2 && def.shortName != '\0' && word[1] == def.shortName) {
      return &def;
    }
  }
  return nullptr;
}

// The value of the option at args[i]: after "=", or the next argument (then i moves to it).
std::string TakeValue(Program program, const OptionDef& def,
                      std::optional<std::string_view> inlineValue,
                      const std::vector<std::string>& args, size_t& i, std::string& value) {
  const std::string option = "l'option --" + std::string(def.name);
  if (def.valueName.empty()) {
    return inlineValue ? Refusal(program, option + " ne prend pas de valeur") : "";
  }
  if (inlineValue) {
    value = *inlineValue;
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    return Refusal(program, option + " demande une valeur");
  }
  return "";
}

// Reads the option at args[i] (and its value) into `words`.
std::string ReadOption(Program program, const std::vector<std::string>& args, size_t& i,
                       CommandWords& words) {
  std::string_view word = args[i];
  std::optional<std::string_view> inlineValue;
  if (auto eq = word.find('='); word.starts_with("--") && eq != std::string_view::npos) {
    inlineValue = word.substr(eq + 1);
    word = word.substr(0, eq);
  }
  const OptionDef* def = Lookup(program, word);
  if (def == nullptr) {
    return Refusal(program, "option inconnue : " + std::string(word));
  }
  if (def->request != Request::Run) {
    words.request = def->request;
    return "";
  }
  if (words.Has(def->name)) {
    return Refusal(program, "l'option --" + std::string(def->name) + " est donnée deux fois");
  }
  std::string value;
  auto error = TakeValue(program, *def, inlineValue, args, i, value);
  if (error.empty()) {
    words.options.emplace_back(def, std::move(value));
  }
  return error;
}

// "  --aide, --help, -h": the head of an option's lines in --aide.
std::string HelpHead(const OptionDef& def) {
  std::string head = "  --" + std::string(def.name);
  if (!def.valueName.empty()) {
    head += " " + std::string(def.valueName);
  }
  if (!def.synonym.empty()) {
    head += ", --" + std::string(def.synonym);
  }
  if (def.shortName != '\0') {
    head += std::string(", -") + def.shortName;
  }
  return head;
}

// Characters, not bytes, of UTF-8 text.
size_t Width(std::string_view text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// `help` in lines of at most `width` characters, each after `indent`, the first after `taken`
// more; a sentence that begins a line of the table starts a new paragraph.
std::string Reflow(std::string_view help, size_t width, const std::string& indent, size_t taken) {
  std::string text;
  size_t limit = width - std::min(width / 2, taken);
  size_t used = 0;
  size_t lastStart = 0;  // where the line's last word begins in `text`
  size_t at = 0;
  while (at < help.size()) {
    const size_t end = std::min(help.find_first_of(" \n", at), help.size());
    const std::string_view word = help.substr(at, end - at);
    const size_t wide = Width(word);
    const bool paragraph = at > 1 && help[at - 1] == '\n' &&
                           (help[at - 2] == '.' || help[at - 2] == ')') &&
                           std::isupper(static_cast<unsigned char>(help[at])) != 0;
    // A lone colon or semicolon, or a one-letter option, goes with the word before it.
    const bool glued = word == ":" || word == ";" ||
                       (word.size() <= 4 && word[0] == '-' &&
                        std::isalpha(static_cast<unsigned char>(word[1])) != 0);
    if (used > 0 && (paragraph || used + 1 + wide > limit)) {
      if (glued && !paragraph && lastStart > 0 && text[lastStart - 1] == ' ') {
        used = Width(std::string_view(text).substr(lastStart));
        text.replace(lastStart - 1, 1, "\n" + indent);
      } else {
        text += "\n" + indent;
        used = 0;
      }
      limit = width;
    }
    lastStart = text.size() + (used > 0 ? 1 : 0);
    text += (used > 0 ? " " : "") + std::string(word);
    used += (used > 0 ? 1 : 0) + wide;
    at = end + 1;
  }
  return text;
}

// Every option the program accepts, its help in a column beside it, within 80 columns.
std::string OptionsHelp(Program program) {
  constexpr size_t kColumn = 22;
  constexpr size_t kLine = 80;
  std::string text;
  for (const auto& def : OptionTable()) {
    if (!Accepts(def, program)) {
      continue;
    }
    std::string head = HelpHead(def);
    head.resize(std::max(kColumn, head.size() + 1), ' ');
    text += head +
            Reflow(def.help, kLine - kColumn, std::string(kColumn, ' '), head.size() - kColumn) +
            '\n';
  }
  return text;
}

}  // namespace

std::string_view ProgramName(Program program) {
  return program == Program::Velunda ? "velunda" : "velunda-filtre";
}

std::string Refusal(Program program, std::string_view text) {
  return std::string(ProgramName(program)) + " : " + std::string(text);
}

std::string UsageHint(Program program) {
  return std::string(ProgramName(program)) + " --aide donne la liste des options.";
}

bool CommandWords::Has(std::string_view name) const {
  return std::any_of(options.begin(), options.end(),
                     [&](const auto& option) { return option.first->name == name; });
}

std::string SplitWords(Program program, const std::vector<std::string>& args, CommandWords& words) {
  words = CommandWords{};
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size() && words.request == Request::Run; ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      words.others.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (auto error = ReadOption(program, args, i, words); !error.empty()) {
      return error;
    }
  }
  return "";
}

std::string ApplyOptions(Program program, const CommandWords& words, CommandLine& line) {
  for (const auto& [def, value] : words.options) {
    line.given.emplace_back(def->name);
    if (def->parse == nullptr) {
      continue;
    }
    if (auto allowed = def->parse(line, value); !allowed.empty()) {
      return Refusal(program, "valeur incorrecte pour --" + std::string(def->name) + " : « " +
                                  value + " » (" + allowed + ")");
    }
  }
  return "";
}

std::string ParseOnlyOptions(Program program, const std::vector<std::string>& args,
                             CommandLine& line) {
  line = CommandLine{};
  CommandWords words;
  auto error = SplitWords(program, args, words);
  line.request = words.request;
  if (!error.empty() || words.request != Request::Run) {
    return error;
  }
  if (!words.others.empty()) {
    return Refusal(program, "argument en trop : " + words.others.front());
  }
  return ApplyOptions(program, words, line);
}

std::string FormatUsage(Program program, std::initializer_list<std::string_view> synopses,
                        std::string_view notes) {
  std::string text;
  for (std::string_view synopsis : synopses) {
    text += (text.empty() ? "Utilisation : " : "              ") + std::string(synopsis) + "\n";
  }
  if (!notes.empty()) {
    text += "\n" + std::string(notes);
  }
  return text + "\nOptions :\n" + OptionsHelp(program);
}

std::string VersionText(Program program) {
  return std::string(ProgramName(program)) + " " + VELUNDA_VERSION + "\n";
}

}  // namespace velunda
