#include "cli/terminal_screen.hpp"

#include <algorithm>

namespace velunda {
namespace {

// The seven rows of the FilterScreen: key, description, value cells (0: none).
struct Row {
  int key, text, value, value2;
};
constexpr std::array<Row, 7> kRows = {{
    {8, 2, 0, 0},
    {9, 7, 0, 0},
    {10, 5, 4, 0},
    {11, 3, 6, 0},
    {12, 13, 14, 0},
    {16, 17, 18, 0},
    {20, 21, 22, 23},
}};

constexpr char kBold[] = "\x1b[1m";
constexpr char kRedBack[] = "\x1b[41m";
constexpr char kPlain[] = "\x1b[0m";

// The key the terminal ends a session with is q, not a click on the window.
constexpr char kWindowEndKey[] = "Fin (ou Click sur fenêtre)";
constexpr char kTerminalEndKey[] = "Fin ou q";

std::string Shown(const MainWindowModel& m, int panel) {
  if (panel == 0 || !Panel(m, panel).Visible) {
    return {};
  }
  const std::string& text = Panel(m, panel).Text;
  return text == kWindowEndKey ? kTerminalEndKey : text;
}

// The row a cell belongs to; null for the hint line and the rate box.
const Row* RowOf(int panel) {
  for (const Row& r : kRows) {
    if (panel == r.key || panel == r.text || panel == r.value || panel == r.value2) {
      return &r;
    }
  }
  return nullptr;
}

std::string PadTo(std::string text, int width) {
  const int w = TextWidth(text);
  if (w < width) {
    text.append(static_cast<size_t>(width - w), ' ');
  }
  return text;
}

// The first `width` characters of a UTF-8 text.
std::string Cut(const std::string& text, int width) {
  int seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == width) {
      return text.substr(0, i);
    }
  }
  return text;
}

std::string RightTrimmed(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// The cell whose log line a change of `panel` prints: a row's value (described by its label),
// else its text; the hint line and the rate box are their own.
int LogCell(int panel) {
  const Row* r = RowOf(panel);
  if (r == nullptr) {
    return panel;
  }
  return r->value != 0 ? r->value : r->text;
}

// A log line as the screen words it: "Fréquence de coupure (300 à 3000 Hz): 1200".
std::string LogLine(const MainWindowModel& m, int cell) {
  const Row* r = RowOf(cell);
  if (r == nullptr || r->value == 0) {
    return RightTrimmed(Shown(m, cell));
  }
  std::string line = RightTrimmed(Shown(m, r->text)) + " " + RightTrimmed(Shown(m, r->value));
  if (r->value2 != 0) {
    line += "  " + Shown(m, r->value2);
  }
  return RightTrimmed(line);
}

}  // namespace

int TextWidth(const std::string& text) {
  return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::vector<std::string> TerminalScreen::Lines(const MainWindowModel& m, int width) {
  // Columns as wide as the longest key and description shown.
  int keyWidth = 0;
  int textWidth = 0;
  for (const Row& r : kRows) {
    keyWidth = std::max(keyWidth, TextWidth(Shown(m, r.key)));
    textWidth = std::max(textWidth, TextWidth(RightTrimmed(Shown(m, r.text))));
  }
  std::vector<std::string> lines;
  for (const Row& r : kRows) {
    std::string line = PadTo(Shown(m, r.key), keyWidth + 2);
    if (r.value != 0 && Panel(m, r.value).Visible) {
      const std::string text = RightTrimmed(Shown(m, r.text));
      const std::string values =
          RightTrimmed(Shown(m, r.value) + (r.value2 != 0 ? "  " + Shown(m, r.value2) : ""));
      int column = textWidth + 2;
      if (width > 0) {
        // A row too wide for the terminal leaves the value column before it cuts its value.
        const int room = width - TextWidth(line) - TextWidth(values);
        column = std::min(column, std::max(TextWidth(text) + 1, room));
      }
      line += PadTo(text, column) + values;
    } else {
      line += Shown(m, r.text);
    }
    line = RightTrimmed(line);
    lines.push_back(width > 0 ? Cut(line, width) : line);
  }
  // The rate box at the right end of the screen's widest line, as in the window.
  int screenWidth = 60;
  for (const std::string& line : lines) {
    screenWidth = std::max(screenWidth, TextWidth(line));
  }
  if (width > 0) {
    screenWidth = std::min(screenWidth, width);
  }
  const std::string rate = Shown(m, 15);
  const int hintWidth = std::max(0, screenWidth - TextWidth(rate) - 1);
  lines.push_back(RightTrimmed(PadTo(Cut(Shown(m, 1), hintWidth), hintWidth) + " " + rate));
  return lines;
}

TerminalScreen::TerminalScreen(const MainWindowModel& model, std::ostream& out, bool inPlace,
                               int width)
    : model_(model), out_(out), inPlace_(inPlace), width_(width) {
  for (int panel = 1; panel <= kPanelCount; ++panel) {
    wasVisible_[static_cast<size_t>(panel)] = Panel(model, panel).Visible;
  }
}

bool TerminalScreen::ScreenShown() const {
  for (int panel = 2; panel <= kPanelCount; ++panel) {
    if (IsFilterScreenPanel(panel) && Panel(model_, panel).Visible) {
      return true;
    }
  }
  return false;
}

void TerminalScreen::PanelChanged(int panel) {
  if (inPlace_) {
    // A screen taken down stays on the terminal as it was last drawn: hiding draws nothing.
    if (Panel(model_, panel).Visible && ScreenShown()) {
      Draw();
    }
    return;
  }
  // Log mode: changes of shown cells only, one line per value (with its label) or text; a label
  // is never printed alone. A cell shown again prints its line at its next change.
  const int logCell = LogCell(panel);
  const PanelCell& cell = Panel(model_, panel);
  const auto i = static_cast<size_t>(logCell);
  if (cell.Visible != wasVisible_[static_cast<size_t>(panel)]) {
    wasVisible_[static_cast<size_t>(panel)] = cell.Visible;
    hasPrinted_[i] = false;
    return;
  }
  const std::string line = LogLine(model_, logCell);
  if (!Panel(model_, logCell).Visible || Panel(model_, logCell).Text.empty() ||
      (hasPrinted_[i] && printed_[i] == line)) {
    return;
  }
  hasPrinted_[i] = true;
  printed_[i] = line;
  out_ << line << '\n' << std::flush;
}

void TerminalScreen::Erase() {
  if (drawnLines_ > 0) {
    out_ << "\x1b[" << drawnLines_ << "F\x1b[J";
    drawnLines_ = 0;
  }
}

void TerminalScreen::SetSpectrumLine(const std::string& line) {
  if (!inPlace_ || line == spectrumLine_) {
    return;
  }
  spectrumLine_ = line;
  if (ScreenShown()) {
    Draw();
  }
}

void TerminalScreen::Draw() {
  std::vector<std::string> lines = Lines(model_, width_ > 1 ? width_ - 1 : 0);
  const size_t rateLine = lines.size() - 1;
  if (!spectrumLine_.empty()) {
    lines.push_back(width_ > 1 ? Cut(spectrumLine_, width_ - 1) : spectrumLine_);
  }
  std::string text;
  if (drawnLines_ > 0) {
    text += "\x1b[" + std::to_string(drawnLines_) + "F";
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    text += "\x1b[2K";
    const bool bold = i == 0;
    const bool red = i == rateLine && Panel(model_, 15).Colour == PanelColour::Red;
    if (red) {
      const std::string rate = Panel(model_, 15).Text;
      const size_t at = lines[i].rfind(rate);
      text += lines[i].substr(0, at) + kRedBack + rate + kPlain;
    } else {
      text += bold ? std::string(kBold) + lines[i] + kPlain : lines[i];
    }
    text += "\n";
  }
  out_ << text << std::flush;
  drawnLines_ = static_cast<int>(lines.size());
}

void TerminalScreen::PrintAbove(std::ostream& stream, const std::string& line) {
  if (!inPlace_) {
    stream << line << '\n' << std::flush;
    return;
  }
  const bool redraw = drawnLines_ > 0;
  Erase();
  out_ << std::flush;
  stream << line << '\n' << std::flush;
  if (redraw && ScreenShown()) {
    Draw();
  }
}

}  // namespace velunda
