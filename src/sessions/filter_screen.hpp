#pragma once
#include <cstdint>
#include <initializer_list>
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

// End or a click: hides the screen, leaves the rejector's automatic mode, cancels a band-pass
// repeat and stops the loop.
void EndSession(ProgramState& s);

// ---- output level ----

void OutputLevelUp(Session& session);
void OutputLevelDown(Session& session);
// Loudspeaker and wave-output volumes from OutputLevel, sent through AdjustMixer.
void ApplyOutputLevel(Session& session);
// The next rung of the level ladder above or below `level`.
uint8_t LevelAbove(uint8_t level);
uint8_t LevelBelow(uint8_t level);

// ---- the screens: each builder shows its screen, each Bind fills its keys ----

void BuildLowPassScreen(ProgramState& s);
void BuildBandPassScreen(ProgramState& s);
void BuildGeneralReducerScreen(ProgramState& s);
void BuildCwReducerScreen(ProgramState& s);
void BuildBfoScreen(ProgramState& s);
void BuildRejectorScreen(ProgramState& s);

void BindLowPassKeys(SessionHooks& hooks, Session& session);
void BindBandPassKeys(SessionHooks& hooks, Session& session);
void BindReducerKeys(SessionHooks& hooks, Session& session);
void BindBfoKeys(SessionHooks& hooks, Session& session);
void BindRejectorKeys(SessionHooks& hooks, Session& session);

// After each block of a rejector session (and of a band-pass centring but its last block).
void RejectorBlockDisplay(ProgramState& s);

// Every hook of a session: the common keys, every screen's keys (the loop picks them by
// FilterKind), the block display and the output level at the loop's start.
SessionHooks MakeSessionHooks(Session& session);

// Text of the BFO shift in hertz for `shift` bins of `binWidth` mHz.
std::string BfoShiftText(int32_t shift, int32_t binWidth);

inline constexpr char kInversionRefused[] =
    "L'inversion de spectre n'est pas réalisable car votre carte son (non SB 16) ne supporte pas "
    "la fréquence d'échantillonnage de 6250 éch/sec.";

}  // namespace velunda
