#pragma once
#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/engine_platform.hpp"
#include "platform/mixer.hpp"
#include "platform/screen_saver.hpp"
#include "sessions/filter_settings.hpp"

namespace velunda {

struct ProgramState;
struct TestsCarteSonState;

// The six items of the "Ac&tions" menu, by their menu item names.
enum class ActionItem : uint8_t {
  Passe_bas,
  Passe_bande,
  Reducteur_bruit_general,
  Reducteur_bruit_CW_RTTY,
  BFO_numerique,
  RejecteurporteuseparTFD,
};

// What a session reaches besides the program state, chosen once by main().
struct LaunchPlatform {
  const EnginePlatform& engine;
  Mixer& mixer;
  ScreenSaver& screenSaver;
  // Optional: called each time a processing loop has started its devices and applied the output
  // level (velunda-filtre starts its --duree there, and presses Insert for --auto).
  std::function<void()> sessionStarted = {};
};

// One menu item's whole action: tests the card on first use, picks the rate, prepares the
// filter, builds the action's FilterScreen in state.Window (Panel1 hidden, Panel15 showing the
// rate), silences the loudspeaker line, switches the screen saver off, hides the menus and runs
// the session loop, keys included, until End or a click; then switches the screen saver back on
// and shows the hidden menus and Panel1 again. Returns when the session is over, or at once when
// the card is unusable or the BFO cannot run (its error box shown). Runs inside the menu handler:
// the window must keep nothing else running meanwhile (the loop polls the event source itself).
// The filter starts from the values the state keeps.
void LaunchAction(ProgramState& state, const LaunchPlatform& platform, ActionItem item);
// The same action from settings of the caller's own (velunda-filtre --carte: its command line);
// the launch chooses their rate and block length.
void LaunchAction(ProgramState& state, const LaunchPlatform& platform, FilterSettings settings);

// The FilterKind an item runs, and the item that runs a FilterKind.
const char* FilterKindOf(ActionItem item);
ActionItem ActionOf(std::string_view kind);

// The session's rate after the card test: the BFO runs at 6250, else 8000, else not at all (0);
// the others at 8000, else 11025.
int32_t SessionRate(ActionItem item, const TestsCarteSonState& tests);

// Whether the item warns that it runs degraded, the card lacking 8000 Hz.
bool WarnsDegraded(ActionItem item, const TestsCarteSonState& tests);

// Texts of the launch's boxes.
inline constexpr char kDegradedModeWarning[] =
    "Attention...Fe=11025 et non Fe=8000. Le fonctionnement passe en mode dégradé et devient "
    "aléatoire.";
inline constexpr char kBfoRefused[] =
    "Le BFO numérique n'est pas réalisable car votre carte son (non SB 16) ne supporte pas la "
    "fréquence d'échantillonnage de 8000 éch/sec.";

}  // namespace velunda
