#include "sessions/main_window_model.hpp"

namespace velunda {
namespace {

constexpr PanelGeometry Key(int top) { return {8, top, 121, 17, PanelAlign::Left, false}; }
constexpr PanelGeometry Text(int top, int width = 233) {
  return {136, top, width, 17, PanelAlign::Left, false};
}
constexpr PanelGeometry Value(int top) { return {376, top, 81, 17, PanelAlign::Centre, false}; }

// Rows at 96, 128, ... 288; the hint line and the rate box at 320.
constexpr std::array<PanelGeometry, kPanelCount + 1> kLayout = {{
    {},                                              // unused
    {8, 320, 385, 17, PanelAlign::Left, false},      // Panel1: hint line
    {136, 96, 321, 17, PanelAlign::Left, true},      // Panel2: title
    Text(192),                                       // Panel3
    Value(160),                                      // Panel4
    Text(160),                                       // Panel5
    Value(192),                                      // Panel6
    Text(128),                                       // Panel7
    {8, 96, 121, 17, PanelAlign::Left, true},        // Panel8: "TOUCHES"
    Key(128),                                        // Panel9
    Key(160),                                        // Panel10
    Key(192),                                        // Panel11
    Key(224),                                        // Panel12
    Text(224),                                       // Panel13
    Value(224),                                      // Panel14
    {400, 320, 57, 17, PanelAlign::Centre, false},   // Panel15: rate box
    Key(256),                                        // Panel16
    Text(256),                                       // Panel17
    Value(256),                                      // Panel18
    {},                                              // Panel19 does not exist
    Key(288),                                        // Panel20
    Text(288, 209),                                  // Panel21
    {352, 288, 49, 17, PanelAlign::Centre, false},   // Panel22
    {408, 288, 49, 17, PanelAlign::Centre, false},   // Panel23
}};

bool Valid(int panel) { return panel >= 1 && panel <= kPanelCount && panel != 19; }

}  // namespace

const PanelGeometry& PanelLayout(int panel) { return kLayout[Valid(panel) ? panel : 0]; }

bool IsFilterScreenPanel(int panel) { return Valid(panel) && panel != 1 && panel != 15; }

MainWindowModel::MainWindowModel() {
  Panels[1].Visible = true;
  Panels[15].Visible = true;
  MenuVisible.fill(true);
}

const PanelCell& Panel(const MainWindowModel& window, int panel) {
  return window.Panels[Valid(panel) ? panel : 0];
}

void SetPanelText(MainWindowModel& window, int panel, std::string_view text) {
  if (!Valid(panel)) {
    return;
  }
  window.Panels[panel].Text = text;
  if (window.View != nullptr) {
    window.View->PanelChanged(panel);
  }
}

void SetPanelVisible(MainWindowModel& window, int panel, bool visible) {
  if (!Valid(panel) || window.Panels[panel].Visible == visible) {
    return;
  }
  window.Panels[panel].Visible = visible;
  if (window.View != nullptr) {
    window.View->PanelChanged(panel);
  }
}

void SetPanelColour(MainWindowModel& window, int panel, PanelColour colour) {
  if (!Valid(panel) || window.Panels[panel].Colour == colour) {
    return;
  }
  window.Panels[panel].Colour = colour;
  if (window.View != nullptr) {
    window.View->PanelChanged(panel);
  }
}

void SetMenuVisible(MainWindowModel& window, TopMenu menu, bool visible) {
  const auto index = static_cast<size_t>(menu);
  if (index >= window.MenuVisible.size() || window.MenuVisible[index] == visible) {
    return;
  }
  window.MenuVisible[index] = visible;
  if (window.View != nullptr) {
    window.View->MenuVisibilityChanged(menu);
  }
}

}  // namespace velunda
