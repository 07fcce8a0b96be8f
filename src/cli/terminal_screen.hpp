#pragma once
#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "sessions/main_window_model.hpp"

namespace velunda {

// The main window's FilterScreen on a terminal: one line per row (key, description, value),
// the hint line and the rate box below. On a terminal the lines are redrawn in place at each
// change; otherwise (a log, a pipe) each change of a shown value or text is printed as one line
// with the screen's own label: "Fréquence de coupure (300 à 3000 Hz): 1100". The end key reads
// "Fin ou q" (the window's "Fin (ou Click sur fenêtre)").
class TerminalScreen final : public MainWindowView {
 public:
  // `width`: the terminal's columns, lines are cut to fit (0: not cut).
  TerminalScreen(const MainWindowModel& model, std::ostream& out, bool inPlace, int width);

  void PanelChanged(int panel) override;
  void MenuVisibilityChanged(TopMenu) override {}

  // Prints `line` on `stream` above the screen, which is drawn again below it.
  void PrintAbove(std::ostream& stream, const std::string& line);

  // One more line under the screen, drawn in place only ("": none).
  void SetSpectrumLine(const std::string& line);

  // The screen's lines as drawn, without colours, cut to `width` columns when > 0.
  static std::vector<std::string> Lines(const MainWindowModel& model, int width = 0);

 private:
  void Draw();
  void Erase();
  bool ScreenShown() const;

  const MainWindowModel& model_;
  std::ostream& out_;
  bool inPlace_;
  int width_;
  int drawnLines_ = 0;
  std::string spectrumLine_;
  std::array<std::string, kPanelCount + 1> printed_{};  // last text printed per cell (log mode)
  std::array<bool, kPanelCount + 1> hasPrinted_{};
  std::array<bool, kPanelCount + 1> wasVisible_{};
};

// Display width of UTF-8 text (one column per character).
int TextWidth(const std::string& text);

}  // namespace velunda
