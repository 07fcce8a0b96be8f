#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/boucle.hpp"
#include "sessions/launch.hpp"

namespace velunda {

struct ProgramState;

// What a key action works on: the whole program state and the session's services.
struct Session {
  ProgramState& state;
  const LaunchPlatform& platform;
};

// ---- cells ----

// Writes a cell's text; the model tells the window to repaint that cell at once.
void WriteCell(ProgramState& s, int panel, std::string_view text);
void WriteCell(ProgramState& s, int panel, int64_t value);

// Screen building: hides Panel1, shows exactly `cells` of the FilterScreen (every other
// FilterScreen cell is hidden, so no stale text of another screen shows), then writes the
// common rows with the action's title and abandon text.
void BeginScreen(ProgramState& s, std::initializer_list<int> cells, std::string_view title,
                 std::string_view abandon);

// Hides every FilterScreen cell.
void HideFilterScreen(ProgramState& s);

// End or a click: hides the screen, leaves the rejector's automatic mode and cancels a band-pass
// repeat.
void EndSession(ProgramState& s);

// ---- output level ----

void OutputLevelUp(Session& session);
void OutputLevelDown(Session& session);
// Loudspeaker and wave-output volumes from OutputLevel, sent through AdjustMixer.
void ApplyOutputLevel(Session& session);
// The next rung of the level ladder above or below `level`.
uint8_t LevelAbove(uint8_t level);
uint8_t LevelBelow(uint8_t level);

// ---- the screens: each builder shows its screen, each screen object takes its keys ----

void BuildLowPassScreen(ProgramState& s);
void BuildBandPassScreen(ProgramState& s);
void BuildGeneralReducerScreen(ProgramState& s);
void BuildCwReducerScreen(ProgramState& s);
void BuildBfoScreen(ProgramState& s);
void BuildRejectorScreen(ProgramState& s);

// One key of a screen's own table: an extended key's scan code and what it does.
struct ScreenKey {
  uint8_t scanCode;
  void (*action)(Session&);
  bool stopsLoop = false;  // the loop stops after the action
};

// A running session's screen as the loop sees it. Common to every screen: End and a click end
// the session, Up and Down move the output level, F2 shows or hides the spectrum; the other keys
// come from the screen's table.
class FilterScreen : public SessionScreen {
 public:
  FilterScreen(Session& session, std::span<const ScreenKey> keys)
      : session_(session), keys_(keys) {}
  // Applies the output level, then tells platform.sessionStarted.
  void Started() override;
  bool KeyDown(uint8_t scanCode) override;
  bool Clicked() override;
  // The block goes into the spectrum while it is shown.
  void BlockFiltered(const uint8_t* input, const uint8_t* output, int32_t length) override;
  bool BlockDone() override { return true; }

 protected:
  Session& session_;

 private:
  std::span<const ScreenKey> keys_;
};

std::unique_ptr<SessionScreen> LowPassScreen(Session& session);
std::unique_ptr<SessionScreen> BandPassScreen(Session& session);
std::unique_ptr<SessionScreen> GeneralReducerScreen(Session& session);
std::unique_ptr<SessionScreen> CwReducerScreen(Session& session);
std::unique_ptr<SessionScreen> BfoScreen(Session& session);
// Shows the automatic search's result after each block.
std::unique_ptr<SessionScreen> RejectorScreen(Session& session);
// The band-pass's automatic centring, on the band-pass screen: End, Up and Down only; after each
// block the rejector's display, until the block that brings the decision stops the loop.
std::unique_ptr<SessionScreen> CentringScreen(Session& session);

// Text of the BFO shift in hertz for `shift` bins of `binWidth` mHz.
std::string BfoShiftText(int32_t shift, int32_t binWidth);

inline constexpr char kInversionRefused[] =
    "L'inversion de spectre n'est pas réalisable car votre carte son (non SB 16) ne supporte pas "
    "la fréquence d'échantillonnage de 6250 éch/sec.";

}  // namespace velunda
