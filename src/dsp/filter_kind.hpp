#pragma once
#include <string_view>

namespace velunda {

// The six values of FilterKind; any other text selects no filter.
inline constexpr std::string_view kPasseBas = "PASSEBAS";
inline constexpr std::string_view kPasseBande = "PASSEBANDE";
inline constexpr std::string_view kRejecteurParTfd = "REJECTEUR_PAR_TFD";
inline constexpr std::string_view kReducteurGeneral = "REDUCTEUR_GENERAL";
inline constexpr std::string_view kReducteurCw = "REDUCTEUR_CW";
inline constexpr std::string_view kBfoNumerique = "BFO_NUMERIQUE";

}  // namespace velunda
