#include "ui/menu_table.hpp"

#include <algorithm>
#include <array>

#include "sessions/main_window_model.hpp"

namespace velunda {
namespace {

using C = SettingsCaptions;

constexpr MenuRow Bar(const char* name, const char* caption, const char* hint,
                      MenuCommand command = OpenMenu{}) {
  return {true, name, caption, hint, command};
}

// Items leave the hint line empty, but for the actions, which tell of the spectrum.
constexpr MenuRow Item(const char* name, const char* caption, MenuCommand command) {
  return {false, name, caption, "", command};
}
constexpr MenuRow Action(const char* name, const char* caption, ActionItem item) {
  return {false, name, caption, "Pendant le filtrage, F2 ouvre ou ferme le spectre", item};
}

constexpr std::array kRows = {
    Bar("Aide", "&Aide", "Informations et aides à l'utilisateur"),
    Item("Aproposde1", "A propos de...", HelpItem::Aproposde1),
    Item("Fonctionalitesdulogiciel1", "Fonctionalités du logiciel",
         HelpItem::Fonctionalitesdulogiciel1),
    Item("Guidedutilisation1", "Guide d'utilisation", HelpItem::Guidedutilisation1),

    Bar("Mixer1", "&Table de mixage",
        "Réglage de la table de mixage par le logiciel ou par l'utilisateur"),
    Item("Software_adjustment", "Software adjustment",
         SettingCommand{ChooseMixerMode, 1, &C::Software_adjustment}),
    Item("User_adjustment", "User adjustment",
         SettingCommand{ChooseMixerMode, 2, &C::User_adjustment}),

    Bar("EntreGD1", "&Entrée son",
        "Sélection de l'entrée de la carte son: ligne gauche, droite ou microphone."),
    Item("Entree_Gauche", "Entrée ligne gauche", SettingCommand{ChooseInput, 1, &C::Entree_Gauche}),
    Item("Entree_Droite", "Entrée ligne droite", SettingCommand{ChooseInput, 2, &C::Entree_Droite}),
    Item("Microphon", "Entrée microphone", SettingCommand{ChooseInput, 3, &C::Microphon}),

    Bar("Niveaudentre1", "&Niveau d'entrée",
        "Sélection de l'amplification du signal d'entrée BF (x2 à x8 pour cartes SB 16)"),
    Item("x0_25", "x 0,25", SettingCommand{ChooseInputGain, 25, &C::x0_25}),
    Item("x0_5", "x 0,5", SettingCommand{ChooseInputGain, 5, &C::x0_5}),
    Item("x1", "x 1", SettingCommand{ChooseInputGain, 1, &C::x1}),
    Item("x2", "x 2", SettingCommand{ChooseInputGain, 2, &C::x2}),
    Item("x4", "x 4", SettingCommand{ChooseInputGain, 4, &C::x4}),
    Item("x8", "x 8", SettingCommand{ChooseInputGain, 8, &C::x8}),

    Bar("Actions1", "Ac&tions",
        "Lancement des différents filtres, réducteur de bruit et réjecteur"),
    Action("Passe_bas", "Filtre passe-bas", ActionItem::Passe_bas),
    Action("Passe_bande", "Filtre passe-bande", ActionItem::Passe_bande),
    Action("Reducteur_bruit_general", "Réduction de bruit général",
           ActionItem::Reducteur_bruit_general),
    Action("Reducteur_bruit_CW_RTTY", "Réduction de bruit pour CW et RTTY ",
           ActionItem::Reducteur_bruit_CW_RTTY),
    Action("BFO_numerique", "BFO numérique et inversion fréquentielle", ActionItem::BFO_numerique),
    Action("RejecteurporteuseparTFD", "Réjection d'une porteuse",
           ActionItem::RejecteurporteuseparTFD),

    Bar("Abandondulogiciel1", "A&bandon du logiciel", "", LeaveProgram{}),
};

static_assert(std::count_if(kRows.begin(), kRows.end(),
                            [](const MenuRow& row) { return row.onBar; }) == kTopMenuCount);

}  // namespace

std::span<const MenuRow> MenuRows() { return kRows; }

}  // namespace velunda
