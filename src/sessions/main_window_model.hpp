#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velunda {

// The main window as the program's logic sees it: the text panels Panel1..Panel23 and the
// top-level menus. The Qt window and the terminal screen mirror it; tests read it directly.

inline constexpr int kPanelCount = 23;

enum class PanelColour : uint8_t { ButtonFace, Red };
enum class PanelAlign : uint8_t { Left, Centre };

struct PanelCell {
  std::string Text;
  bool Visible = false;
  PanelColour Colour = PanelColour::ButtonFace;
};

// Where a panel stands in the 459 x 339 client area, in logical pixels.
struct PanelGeometry {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 17;
  PanelAlign Align = PanelAlign::Left;
  bool Bold = false;  // 13 px bold instead of the window's 11 px
};

// Geometry of panel n (1..23).
const PanelGeometry& PanelLayout(int panel);

// Every FilterScreen panel (all but Panel1, the hint line, and Panel15, the rate box).
bool IsFilterScreenPanel(int panel);

// The six top-level menus, in menu-bar order.
enum class TopMenu : uint8_t { Aide, Mixer1, EntreGD1, Niveaudentre1, Actions1, Abandondulogiciel1 };
inline constexpr int kTopMenuCount = 6;

// Told of every change so the window repaints that panel at once: a session does not return to
// the window system's event loop between blocks.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void PanelChanged(int panel) = 0;
  virtual void MenuVisibilityChanged(TopMenu menu) = 0;
};

struct MainWindowModel {
  MainWindowModel();
  std::array<PanelCell, kPanelCount + 1> Panels{};  // indexed by panel number; 0 is unused
  std::array<bool, kTopMenuCount> MenuVisible{};
  MainWindowView* View = nullptr;
};

const PanelCell& Panel(const MainWindowModel& window, int panel);
void SetPanelText(MainWindowModel& window, int panel, std::string_view text);
void SetPanelVisible(MainWindowModel& window, int panel, bool visible);
void SetPanelColour(MainWindowModel& window, int panel, PanelColour colour);
void SetMenuVisible(MainWindowModel& window, TopMenu menu, bool visible);

}  // namespace velunda
