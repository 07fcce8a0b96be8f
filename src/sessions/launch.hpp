#pragma once
#include <cstdint>
#include <functional>

#include "engine/engine_platform.hpp"
#include "platform/mixer.hpp"
#include "platform/screen_saver.hpp"

namespace velunda {

struct ProgramState;

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

// One menu item's whole action: tests the card on first use, picks the rate, builds the
// action's FilterScreen in state.Window (Panel1 hidden, Panel15 showing the rate), silences the
// loudspeaker line, switches the screen saver off, hides the menus, prepares the filter and runs
// the session loop, keys included, until End or a click; then switches the screen saver back on
// and shows the hidden menus and Panel1 again. Returns when the session is over, or at once when
// the card is unusable or the BFO cannot run (its error box shown). Runs inside the menu handler:
// the window must keep nothing else running meanwhile (the loop polls the event source itself).
void LaunchAction(ProgramState& state, const LaunchPlatform& platform, ActionItem item);

// The six menu handlers, one per item.
inline void Passe_basClick(ProgramState& s, const LaunchPlatform& p) {
  LaunchAction(s, p, ActionItem::Passe_bas);
}
inline void Passe_bandeClick(ProgramState& s, const LaunchPlatform& p) {
  LaunchAction(s, p, ActionItem::Passe_bande);
}
inline void Reducteur_bruit_generalClick(ProgramState& s, const LaunchPlatform& p) {
  LaunchAction(s, p, ActionItem::Reducteur_bruit_general);
}
inline void Reducteur_bruit_CW_RTTYClick(ProgramState& s, const LaunchPlatform& p) {
  LaunchAction(s, p, ActionItem::Reducteur_bruit_CW_RTTY);
}
inline void BFO_numeriqueClick(ProgramState& s, const LaunchPlatform& p) {
  LaunchAction(s, p, ActionItem::BFO_numerique);
}
inline void RejecteurporteuseparTFDClick(ProgramState& s, const LaunchPlatform& p) {
  LaunchAction(s, p, ActionItem::RejecteurporteuseparTFD);
}

// The FilterKind an item runs.
const char* FilterKindOf(ActionItem item);

// Texts of the launch's boxes.
inline constexpr char kDegradedModeWarning[] =
    "Attention...Fe=11025 et non Fe=8000. Le fonctionnement passe en mode dégradé et devient "
    "aléatoire.";
inline constexpr char kBfoRefused[] =
    "Le BFO numérique n'est pas réalisable car votre carte son (non SB 16) ne supporte pas la "
    "fréquence d'échantillonnage de 8000 éch/sec.";

}  // namespace velunda
