#pragma once
#include <string_view>

#include "sessions/filter_settings.hpp"

namespace velunda {

struct Options;

// Whether the FilterKind is one of the six identifiers.
bool FilterKnown(std::string_view kind);

// Whether the kind runs at 6250/8000 Hz in blocks of 2048 (the BFO) rather than 8000/11025.
bool IsBfoKind(std::string_view kind);

// The filter settings the command line gives: the filter, its rate (--fe or the filter's own),
// the blocks of the offline mode, the filter's values, and --coefficients and --diviseur in place
// of the calibrations.
FilterSettings FilterSettingsOf(const Options& options);

}  // namespace velunda
